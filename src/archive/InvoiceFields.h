#pragma once
// What the archive needs of the invoice page: the controls' contents by control name and the
// focus move that completes the field being edited. The page lives in another module; the
// archive only ever sees it through this view.

#include <QString>

namespace fatura::archive {

class InvoiceFields {
public:
    virtual ~InvoiceFields() = default;

    // Text of a text field, exactly as it stands.
    virtual QString text(const QString& control) const = 0;
    virtual void setText(const QString& control, const QString& text) = 0;
    // Value of a numeric entry field, read as the field reads it (rounded to two decimals).
    virtual long double number(const QString& control) = 0;
    virtual void setNumber(const QString& control, long double value) = 0;
    // Moves the focus to TARIH; leaving a number field on the way recomputes the totals.
    virtual void focusDate() = 0;
};

} // namespace fatura::archive
