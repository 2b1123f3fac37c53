#pragma once
// The invoice page as the archive sees it: its controls by name, and the focus move to TARIH.

#include "InvoiceFields.h"

namespace fatura {

class InvoicePage;

class InvoicePageFields final : public archive::InvoiceFields {
public:
    explicit InvoicePageFields(InvoicePage& page) : page_(page) {}

    QString text(const QString& control) const override;
    void setText(const QString& control, const QString& text) override;
    long double number(const QString& control) override;
    void setNumber(const QString& control, long double value) override;
    void focusDate() override;

private:
    InvoicePage& page_;
};

} // namespace fatura
