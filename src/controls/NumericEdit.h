#pragma once
// The numeric entry field: a decimal amount held in extended precision, shown with a display
// pattern while it has no focus, edited as plain "0.##" text while it has it.
//
// text() is always the edit text; what the field paints without focus is displayText().
// Separators follow the default QLocale.

#include <QClipboard>
#include <QLineEdit>

namespace fatura {

class NumericEdit : public QLineEdit {
    Q_OBJECT
public:
    // Display patterns used on the invoice page.
    static constexpr const char* kAmountPattern = ",0.00;-,0.00";
    static constexpr const char* kQuantityPattern = ",0.##;-,0.##";
    // Every field keeps this many decimals; the edit text carries no more.
    static constexpr int kDecimals = 2;

    explicit NumericEdit(const QString& displayPattern = QString::fromLatin1(kAmountPattern), QWidget* parent = nullptr);

    // "Set value": stores x unrounded and rebuilds the edit text, discarding any typing.
    // Throws std::overflow_error for an infinite x and std::domain_error for NaN, leaving
    // the field as it was: such a figure is never stored.
    void setValue(long double x);
    // "Get value": parses the edit text (unparsable -> 0), stores the parsed two-decimal value
    // back and returns it. So every value read is rounded to two decimals.
    long double value();
    // The stored value as it stands, without reading the text.
    long double storedValue() const { return value_; }

    QString editText() const { return text(); } // what the user edits while the field has the focus
    // The stored value written with the display pattern. Not QLineEdit::displayText(), which
    // is the edit text as the line edit would draw it.
    QString displayText() const;
    QString displayPattern() const { return pattern_; }
    // What the field paints without focus: the display text, or, when that is wider than the
    // field, its right end behind a left elision mark. A figure is never cut so that what is
    // left reads as another, whole amount; the field's tooltip then holds the whole figure.
    QString shownText() const;

    // True between the focus coming in and a completed leave; the field paints the edit text
    // then. Stays true while the window is merely inactive or a popup has the keyboard.
    bool isEditing() const { return editing_; }

    // Tag 2 on the invoice page: recalculate the totals when the focus leaves.
    int tag() const { return tag_; }
    void setTag(int tag) { tag_ = tag; }

signals:
    // After the focus came in and the edit text was rebuilt.
    void focusEntered();
    // After the focus left and the typed text became the value; not emitted when the text
    // did not parse (the field then takes the focus back and the standard error box follows
    // from the event loop).
    void focusLeft();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    // Pastes as any text box does, then takes the value from the text at once. Text that does
    // not parse is undone: previous text back, all selected, focus kept, a beep.
    void insertFromClipboard(QClipboard::Mode mode = QClipboard::Clipboard);

private:
    QString withDecimalSeparator(QString typed) const;
    bool acceptsTyping(const QString& typed) const;
    void finishEditing();
    int textRoom() const;
    void refreshToolTip();

    QString pattern_;
    long double value_ = 0;
    int tag_ = 0;
    bool editing_ = false;
    // Hidden twin that draws the display text exactly as a line edit would draw it.
    QLineEdit* face_;
};

} // namespace fatura
