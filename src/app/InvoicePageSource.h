#pragma once
// The invoice page as printing reads it: its fields by name, and the focus moved to TARIH.

#include "InvoicePage.h"
#include "InvoicePrint.h"
#include "NumericEdit.h"
#include "TextEdit.h"

namespace fatura {

class InvoicePageSource final : public InvoiceSource {
public:
    explicit InvoicePageSource(InvoicePage& page) : page_(page) {}

    void focusDate() override { page_.text(QStringLiteral("TARIH"))->setFocus(Qt::OtherFocusReason); }
    QString text(const QString& name) override { return page_.text(name)->text(); }
    long double value(const QString& name) override { return page_.number(name)->value(); }

private:
    InvoicePage& page_;
};

} // namespace fatura
