#pragma once
// The print layout's fixed table: which settings key belongs to which check box of the
// settings page and which print label, with the position the built-in default file gives it.

#include <array>

namespace fatura {

inline constexpr int kLayoutEntries = 43;

struct LayoutEntry {
    const char* key;      // settings key, and the hint of the check box
    const char* checkBox; // object name of the check box on the settings page
    int printLabel;       // 1 ... 42; 0 for the page margins
    int defaultTop;       // report pixels; millimetres for the page margins
    int defaultLeft;
};

inline constexpr std::array<LayoutEntry, kLayoutEntries> kLayoutTable{{
    {"TARIH", "A1", 1, 16, 400},
    {"SAYIN1", "A2", 2, 40, 32},
    {"SAYIN2", "A3", 3, 64, 32},
    {"SAYIN3", "A4", 4, 88, 32},
    {"VERGIDAIRESI", "A5", 5, 120, 72},
    {"VERGIHESAPNO", "A6", 6, 120, 344},
    {"M1", "A7", 7, 192, 32},
    {"M2", "A8", 8, 216, 32},
    {"M3", "A9", 9, 240, 32},
    {"M4", "A10", 10, 264, 32},
    {"M5", "A11", 11, 288, 32},
    {"M6", "A12", 12, 312, 32},
    {"M7", "A13", 13, 336, 32},
    {"M8", "A14", 14, 360, 32},
    {"C1", "A15", 15, 192, 104},
    {"C2", "A16", 16, 216, 104},
    {"C3", "A17", 17, 240, 104},
    {"C4", "A18", 18, 264, 104},
    {"C5", "A19", 19, 288, 104},
    {"C6", "A20", 20, 312, 104},
    {"C7", "A21", 21, 336, 104},
    {"C8", "A22", 22, 360, 104},
    {"F1", "A23", 23, 192, 293},
    {"F2", "A24", 24, 216, 293},
    {"F3", "A25", 25, 240, 293},
    {"F4", "A26", 26, 264, 293},
    {"F5", "A27", 27, 288, 293},
    {"F6", "A28", 28, 312, 293},
    {"F7", "A29", 29, 336, 293},
    {"F8", "A30", 30, 360, 293},
    {"T1", "A31", 31, 192, 398},
    {"T2", "A32", 32, 216, 398},
    {"T3", "A33", 33, 240, 398},
    {"T4", "A34", 34, 264, 398},
    {"T5", "A35", 35, 288, 398},
    {"T6", "A36", 36, 312, 398},
    {"T7", "A37", 37, 336, 398},
    {"T8", "A38", 38, 360, 398},
    {"YEKUN", "A39", 39, 392, 398},
    {"KDV", "A40", 40, 416, 398},
    {"TOPLAM", "A41", 41, 440, 398},
    {"YALNIZ", "A42", 42, 488, 32},
    {"RAPOR_SAYFASI", "A43", 0, 10, 10},
}};

// The last entry holds the page's top and left margins rather than a printed field.
inline constexpr int kPageMarginsEntry = kLayoutEntries - 1;

// Table indices in the order the check boxes are created. The tax number's box came before the
// tax office's, and that order shows in saving (keys missing from the file are appended in it),
// in nudging and in the Tab order.
inline constexpr std::array<int, kLayoutEntries> kLayoutCreationOrder = [] {
    std::array<int, kLayoutEntries> order{};
    for (int i = 0; i < kLayoutEntries; ++i)
        order[i] = i;
    order[4] = 5;
    order[5] = 4;
    return order;
}();

inline constexpr char kLayoutSection[] = "FATURE_AYAR";

// What an entry reads as when its key is missing from the file.
inline constexpr const char* fallbackPosition(int entry)
{
    return entry == kPageMarginsEntry ? "10 | 10" : "0 | 0";
}

} // namespace fatura
