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
    // Tab stop off, as both fields of the program have it.
    SpinEdit(int minimum, int maximum, int initial, QWidget* parent = nullptr);

    // The text as a whole number (optional sign, ASCII digits); the lower limit when it is
    // not one. Not brought within the limits; a number beyond int reads as INT_MIN/INT_MAX.
    int value() const;
    // Brings n within the limits (unless the two limits are equal) and writes it as decimal
    // digits.
    void setValue(int n);

    QString text() const;
    void setText(const QString& text);
    int minimum() const { return min_; }
    int maximum() const { return max_; }
    int singleStep() const { return 1; }

    QLineEdit* lineEdit() const { return edit_; }
    QToolButton* upButton() const { return up_; }
    QToolButton* downButton() const { return down_; }

    // Whether Tab may stop here, and whether clicking an arrow brings the focus along.
    void setTabStop(bool on);
    bool tabStop() const { return tabStop_; }

    // Holding an arrow down repeats the step after this delay, then at this interval.
    static constexpr int kRepeatDelayMs = 400;
    static constexpr int kRepeatIntervalMs = 100;

signals:
    // Every change of the text: typed, stepped or set.
    void textChanged(const QString& text);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void step(int delta);
    void clampOnLeave();

    int min_;
    int max_;
    bool tabStop_ = false;
    QLineEdit* edit_;
    QToolButton* up_;
    QToolButton* down_;
};

} // namespace fatura
