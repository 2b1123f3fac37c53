#pragma once
// A plain text field of the invoice page. It refuses, with a beep, characters that code page
// 1254 cannot hold, typed or pasted, so that what is stored is exactly what is shown.

#include <QLineEdit>

namespace fatura {

class TextEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TextEdit(QWidget* parent = nullptr);

    int tag() const { return tag_; }
    void setTag(int tag) { tag_ = tag; }

    // True when every character of text has a code page 1254 byte.
    static bool fitsCodePage1254(const QString& text);

signals:
    void focusEntered();
    void focusLeft();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void insertFromClipboard();

private:
    int tag_ = 0;
};

} // namespace fatura
