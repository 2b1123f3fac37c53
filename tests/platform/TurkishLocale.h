#pragma once
// Pins the regional settings of a test to Turkish: decimal comma, thousands dot, dd.MM.yyyy.
#include <QLocale>

namespace fatura::testing {
inline void pinTurkishLocale() { QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey)); }
} // namespace fatura::testing
