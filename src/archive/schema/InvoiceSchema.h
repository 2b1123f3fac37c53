#pragma once
// The invoice archive table: its name and its record layout, for the program, the tools that
// make the empty archive, and the tests.

#include "TableDefinition.h"

namespace fatura::archive {

using engine::TableDefinition;

inline constexpr const char* kInvoiceTableName = "fatura";

// REC_ID (auto-increment), TARIH, SAYIN1..3, VDAIRESI, VNO, M1..8, C1..8, F1..8, T1..8,
// YEKUN, KDV, TOPLAM, YANLIZ, B1..8; primary index on RecordID, no secondary index,
// locale "ANSI Standard".
TableDefinition invoiceTableDefinition();

} // namespace fatura::archive
