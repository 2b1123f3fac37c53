#pragma once
// A plain text field of the invoice page. It refuses, with a beep, characters that code page
// 1254 cannot hold, typed or pasted, so that what is stored is exactly what is shown.
// Text set by the program is taken as it comes, and shown from its beginning: the caret goes
// to the start (setText, clear, or any other change made outside the field's own handling of
// the user's keys and mouse). A typed text also goes back to its beginning once the focus leaves.

#include <QClipboard>
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
    // Focus came in, by any means; not when the window merely becomes active again.
    void focusEntered();
    // Focus went to another control; not when a popup opens or another window is activated.
    void focusLeft();

protected:
    bool event(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // Pastes as any text box does, unless the clipboard holds a character code page 1254
    // cannot hold: then nothing changes and it beeps.
    void insertFromClipboard(QClipboard::Mode mode = QClipboard::Clipboard);

private:
    void leave();

    int tag_ = 0;
    bool entered_ = false;
    int handling_ = 0; // events of this field being handled; caret moves outside them are the program's
};

} // namespace fatura
