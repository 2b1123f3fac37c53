#pragma once
// The whole-number spin field: a text box with up and down arrow buttons. Its value is not
// stored: it is read from the text each time, and the text may stand outside the limits
// until the focus leaves.

#include <QWidget>

class QLineEdit;
class QToolButton;

namespace fatura {

class SpinEdit : public QWidget {
    Q_OBJECT
public:
    SpinEdit(int minimum, int maximum, int initial, QWidget* parent = nullptr);

    // The text as a whole number (optional sign, digits); the lower limit when it is not one.
    // Not brought within the limits.
    int value() const;
    // Brings n within the limits and writes it as decimal digits.
    void setValue(int n);

    QString text() const;
    void setText(const QString& text);
    int minimum() const { return min_; }
    int maximum() const { return max_; }

    QLineEdit* lineEdit() const { return edit_; }
    QToolButton* upButton() const { return up_; }
    QToolButton* downButton() const { return down_; }

    // Whether Tab may stop here (both fields of the program have none).
    void setTabStop(bool on);

signals:
    // Every change of the text: typed, stepped or set.
    void textChanged(const QString& text);

private:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void step(int delta);

    int min_;
    int max_;
    QLineEdit* edit_;
    QToolButton* up_;
    QToolButton* down_;
};

} // namespace fatura
