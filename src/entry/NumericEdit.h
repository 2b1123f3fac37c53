#pragma once
// The numeric entry field: a decimal amount held in extended precision, shown with a display
// pattern while it has no focus, edited as plain "0.##" text while it has it.

#include <QLineEdit>

namespace fatura {

class NumericEdit : public QLineEdit {
    Q_OBJECT
public:
    // Display patterns used on the invoice page.
    static constexpr const char* kAmountPattern = ",0.00;-,0.00";
    static constexpr const char* kQuantityPattern = ",0.##;-,0.##";

    explicit NumericEdit(const QString& displayPattern = QString::fromLatin1(kAmountPattern), QWidget* parent = nullptr);

    // "Set value": stores x unrounded and rebuilds the edit text.
    void setValue(long double x);
    // "Get value": parses the edit text (unparsable -> 0), stores the parsed two-decimal value
    // back and returns it. So every value read is rounded to two decimals.
    long double value();
    // The stored value as it stands, without reading the text.
    long double storedValue() const { return value_; }

    QString editText() const;     // what the user edits while the field has the focus
    QString displayText() const;  // the stored value written with the display pattern

    // Tag 2 on the invoice page: recalculate the totals when the focus leaves.
    int tag() const { return tag_; }
    void setTag(int tag) { tag_ = tag; }

signals:
    // After the focus came in and the edit text was rebuilt.
    void focusEntered();
    // After the focus left and the typed text became the value; not emitted when the text
    // did not parse (the field then takes the focus back).
    void focusLeft();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void insertFromClipboard();

private:
    QString pattern_;
    long double value_ = 0;
    int tag_ = 0;
};

} // namespace fatura
