#pragma once
// Number text rules shared by the numeric entry field: display patterns, edit text,
// normalising and parsing typed text. All separators come from the given locale.

#include <QLocale>
#include <QString>
#include <optional>

namespace fatura {

// Writes value with a pattern of up to two sections ("pos;neg"): "0" always-written digit,
// "#" digit dropped when a trailing zero after the point, "." the decimal separator, ","
// before the point turns on thousands grouping. Characters before the first and after the
// last of those are written as they stand. Rounds to the pattern's decimals by first taking
// the value to 18 significant digits, then half away from zero. A value that rounds to zero
// is written with the first section, so no "-0,00" ever shows. Without a second section a
// negative value gets a leading "-". Infinities and NaN come out as "INF", "-INF", "NAN".
QString formatNumber(long double value, const QString& pattern, const QLocale& locale = QLocale());

// The edit text of a value: pattern "0.##", and empty for exactly 0.
QString editTextOf(long double value, const QLocale& locale = QLocale());

// value rounded to the given number of decimals by the same rule as formatNumber (18
// significant digits, then half away from zero), read back as the nearest long double.
// Requires a finite value and 0 <= decimals <= 18.
long double roundToDecimals(long double value, int decimals);

// Trims, drops thousands separators, maps "." and "," to the decimal separator, "" -> "0",
// "-" -> "-0".
QString normaliseNumberText(const QString& text, const QLocale& locale = QLocale());

// Parses normalised text: optional blanks, optional sign, digits with an optional decimal
// separator (at least one digit or the separator), an optional exponent ("E"/"e", optional
// sign, digits; a bare exponent letter counts as exponent 0 so that it can be typed before
// its digits), optional blanks. nullopt when the text is not such a number or its magnitude
// is beyond long double; magnitudes too small for long double read as 0. Never NaN or
// infinite, never -0.
std::optional<long double> parseNumberText(const QString& normalised, const QLocale& locale = QLocale());

} // namespace fatura
