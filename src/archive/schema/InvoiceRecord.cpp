#include "InvoiceRecord.h"

#include <iterator>

namespace fatura::archive {

namespace {

constexpr auto T = InvoiceFieldKind::Text;
constexpr auto N = InvoiceFieldKind::Number;

// Three fields are spelt differently from their controls: VDAIRESI, VNO and YANLIZ. Row 1's
// description holds 20 characters where the other rows hold 50.
constexpr InvoiceFieldMap kRecord[] = {
    {"TARIH", "TARIH", T, 20},
    {"SAYIN1", "SAYIN1", T, 75},
    {"SAYIN2", "SAYIN2", T, 75},
    {"SAYIN3", "SAYIN3", T, 75},
    {"VERGIDAIRESI", "VDAIRESI", T, 35},
    {"VERGIHESAPNO", "VNO", T, 30},
    {"M1", "M1", N, 0}, {"M2", "M2", N, 0}, {"M3", "M3", N, 0}, {"M4", "M4", N, 0},
    {"M5", "M5", N, 0}, {"M6", "M6", N, 0}, {"M7", "M7", N, 0}, {"M8", "M8", N, 0},
    {"C1", "C1", T, 20}, {"C2", "C2", T, 50}, {"C3", "C3", T, 50}, {"C4", "C4", T, 50},
    {"C5", "C5", T, 50}, {"C6", "C6", T, 50}, {"C7", "C7", T, 50}, {"C8", "C8", T, 50},
    {"F1", "F1", N, 0}, {"F2", "F2", N, 0}, {"F3", "F3", N, 0}, {"F4", "F4", N, 0},
    {"F5", "F5", N, 0}, {"F6", "F6", N, 0}, {"F7", "F7", N, 0}, {"F8", "F8", N, 0},
    {"T1", "T1", N, 0}, {"T2", "T2", N, 0}, {"T3", "T3", N, 0}, {"T4", "T4", N, 0},
    {"T5", "T5", N, 0}, {"T6", "T6", N, 0}, {"T7", "T7", N, 0}, {"T8", "T8", N, 0},
    {"YEKUN", "YEKUN", N, 0},
    {"KDV", "KDV", N, 0},
    {"TOPLAM", "TOPLAM", N, 0},
    {"YALNIZ", "YANLIZ", T, 150},
    {"B1", "B1", T, 10}, {"B2", "B2", T, 10}, {"B3", "B3", T, 10}, {"B4", "B4", T, 10},
    {"B5", "B5", T, 10}, {"B6", "B6", T, 10}, {"B7", "B7", T, 10}, {"B8", "B8", T, 10},
};

} // namespace

std::span<const InvoiceFieldMap> invoiceRecordMap() { return kRecord; }

} // namespace fatura::archive
