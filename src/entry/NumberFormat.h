#pragma once
// Number text rules shared by the numeric entry field: display patterns, edit text,
// normalising and parsing typed text. All separators come from the given locale.

#include <QLocale>
#include <QString>
#include <optional>

namespace fatura {

// Writes value with a pattern of up to two sections ("pos;neg"): "0" always-written digit,
// "#" digit dropped when a trailing zero after the point, "." the decimal separator, ","
// before the point turns on thousands grouping. Rounds to the pattern's decimals by first
// taking the value to 18 significant digits, then half away from zero.
QString formatNumber(long double value, const QString& pattern, const QLocale& locale = QLocale());

// The edit text of a value: pattern "0.##", and empty for exactly 0.
QString editTextOf(long double value, const QLocale& locale = QLocale());

// Trims, drops thousands separators, maps "." and "," to the decimal separator, "" -> "0",
// "-" -> "-0".
QString normaliseNumberText(const QString& text, const QLocale& locale = QLocale());

// Parses normalised text (sign, digits, optional decimals, optional exponent); nullopt when
// the text is not such a number.
std::optional<long double> parseNumberText(const QString& normalised, const QLocale& locale = QLocale());

} // namespace fatura
