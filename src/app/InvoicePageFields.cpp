#include "InvoicePageFields.h"

#include "InvoicePage.h"
#include "NumericEdit.h"
#include "TextEdit.h"

#include <stdexcept>

namespace fatura {

namespace {

// The record's controls are fixed; a name the page does not have is a fault of the program.
template <class Control>
Control& existing(Control* control, const QString& name)
{
    if (!control)
        throw std::logic_error("The invoice page has no control " + name.toStdString());
    return *control;
}

} // namespace

QString InvoicePageFields::text(const QString& control) const { return existing(page_.text(control), control).text(); }

void InvoicePageFields::setText(const QString& control, const QString& text)
{
    existing(page_.text(control), control).setText(text);
}

long double InvoicePageFields::number(const QString& control) { return existing(page_.number(control), control).value(); }

void InvoicePageFields::setNumber(const QString& control, long double value)
{
    existing(page_.number(control), control).setValue(value);
}

void InvoicePageFields::focusDate() { existing(page_.text(QStringLiteral("TARIH")), QStringLiteral("TARIH")).setFocus(Qt::OtherFocusReason); }

} // namespace fatura
