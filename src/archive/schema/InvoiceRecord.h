#pragma once
// The invoice record: which control of the invoice page each field of the archive table is
// stored from and loaded into. The table's definition is made from this same list, so the
// page, the record and the table files cannot drift apart.

#include <cstdint>
#include <span>
#include <string_view>

namespace fatura::archive {

enum class InvoiceFieldKind : std::uint8_t { Text, Number };

struct InvoiceFieldMap {
    std::string_view control; // object name of the control on the invoice page
    std::string_view field;   // field of table fatura
    InvoiceFieldKind kind;
    std::uint16_t size;       // characters of a text field; 0 for a number
};

// Every field of the record after REC_ID, in the table's field order. REC_ID belongs to the
// engine and never crosses to the page; the tax rate ORAN is not part of the record.
std::span<const InvoiceFieldMap> invoiceRecordMap();

} // namespace fatura::archive
