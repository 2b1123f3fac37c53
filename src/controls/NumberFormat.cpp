#include "NumberFormat.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

namespace fatura {
namespace {

// Decimal exponents beyond which a long double is certainly infinite or certainly zero.
constexpr long long kLargestMagnitude = LDBL_MAX_10_EXP;         // 4932
constexpr long long kSmallestMagnitude = LDBL_MIN_10_EXP - 20;   // below the smallest denormal

// LDBL_MAX taken to 18 significant digits, as the display rules write it. That text lies just
// above LDBL_MAX, so a plain conversion would call it an overflow; it has to read back.
constexpr std::string_view kLargestDigits = "118973149535723177";

bool isAsciiDigit(QChar c) { return c >= u'0' && c <= u'9'; }
bool isBlank(QChar c) { return c.unicode() <= u' '; }

// |value| * 10^decimals rounded to a whole number: the value is first taken to 18 significant
// decimal digits (nearest), then that digit string is rounded half away from zero. Returned as
// decimal digits without leading zeros ("0" for zero).
// The totals read and write a few dozen fields per keystroke, and the digit string below costs
// a full multi-precision conversion. For the everyday magnitudes the two-step rounding can only
// differ from rounding magnitude x 10^decimals directly when that product lies within a hair of
// a half: the 18-digit step moves it by at most 5e-5 here, the product itself is off by far
// less. Away from the half the direct result is the same, and far cheaper.
std::optional<unsigned long long> quickScaled(long double magnitude, int decimals)
{
    if (decimals < 0 || decimals > 2 || !(magnitude < 1e12L))
        return std::nullopt;
    const long double scaled = magnitude * (decimals == 0 ? 1.0L : decimals == 1 ? 10.0L : 100.0L);
    const long double whole = std::floor(scaled);
    const long double fraction = scaled - whole;
    if (std::fabs(fraction - 0.5L) < 1e-3L)
        return std::nullopt;
    return static_cast<unsigned long long>(whole) + (fraction > 0.5L ? 1 : 0);
}

std::string scaledDigits(long double magnitude, int decimals)
{
    if (magnitude == 0)
        return "0";
    if (const auto quick = quickScaled(magnitude, decimals))
        return std::to_string(*quick);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17Le", magnitude);
    std::string digits;
    const char* p = buf;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9')
            digits.push_back(*p);
    const long exponent = *p ? std::strtol(p + 1, nullptr, 10) : 0;

    // Digit i stands for 10^(exponent - i); the last one kept stands for 10^-decimals.
    const long keep = exponent + decimals + 1;
    if (keep < 0)
        return "0";
    if (keep == 0)
        return digits[0] >= '5' ? "1" : "0";
    if (keep >= long(digits.size())) {
        digits.append(std::size_t(keep) - digits.size(), '0');
        return digits;
    }
    const bool roundUp = digits[std::size_t(keep)] >= '5';
    digits.resize(std::size_t(keep));
    if (roundUp) {
        long i = keep - 1;
        for (; i >= 0 && digits[std::size_t(i)] == '9'; --i)
            digits[std::size_t(i)] = '0';
        if (i < 0)
            digits.insert(digits.begin(), '1');
        else
            ++digits[std::size_t(i)];
    }
    return digits;
}

// The long double nearest to digits * 10^exponent (digits: decimal digits, may be empty).
// nullopt when that is beyond the long double range.
std::optional<long double> decimalToLongDouble(std::string digits, long long exponent)
{
    const auto first = digits.find_first_not_of('0');
    if (first == std::string::npos)
        return 0.0L;
    digits.erase(0, first);
    while (digits.back() == '0') {
        digits.pop_back();
        ++exponent;
    }
    const long long magnitude = exponent + (long long)digits.size() - 1;
    if (magnitude > kLargestMagnitude)
        return std::nullopt;
    if (magnitude < kSmallestMagnitude)
        return 0.0L;

    const std::string text = digits + 'e' + std::to_string(exponent);
    long double value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec == std::errc() && std::isfinite(value))
        return value;
    if (magnitude < 0)
        return 0.0L;
    if (magnitude == kLargestMagnitude) {
        std::string padded = digits;
        padded.resize(std::max(padded.size(), kLargestDigits.size()), '0');
        std::string limit(kLargestDigits);
        limit.resize(padded.size(), '0');
        if (padded <= limit)
            return LDBL_MAX;
    }
    return std::nullopt;
}

struct Section {
    QString prefix;
    QString suffix;
    int minIntegerDigits = 0;
    bool grouping = false;
    int decimals = 0;
    int minDecimals = 0;
    bool hasDigits = false;
};

bool isPlaceholder(QChar c) { return c == u'0' || c == u'#' || c == u'.' || c == u','; }

Section parseSection(const QString& text)
{
    Section s;
    qsizetype first = 0;
    while (first < text.size() && !isPlaceholder(text[first]))
        ++first;
    qsizetype last = text.size() - 1;
    while (last >= first && !isPlaceholder(text[last]))
        --last;
    s.prefix = text.left(first);
    if (last < first)
        return s;
    s.hasDigits = true;
    s.suffix = text.mid(last + 1);
    const QString core = text.mid(first, last - first + 1);
    const qsizetype point = core.indexOf(u'.');
    const QString integerPart = point < 0 ? core : core.left(point);
    const QString fractionPart = point < 0 ? QString() : core.mid(point + 1);
    s.grouping = integerPart.contains(u',');
    s.minIntegerDigits = int(integerPart.count(u'0'));
    for (QChar c : fractionPart) {
        if (c == u'0' || c == u'#')
            ++s.decimals;
        if (c == u'0')
            s.minDecimals = s.decimals;
    }
    return s;
}

QString applySection(const Section& s, const std::string& scaled, const QLocale& locale)
{
    if (!s.hasDigits)
        return s.prefix;
    const std::size_t decimals = std::size_t(s.decimals);
    std::string integer = scaled.size() > decimals ? scaled.substr(0, scaled.size() - decimals) : std::string();
    std::string fraction = scaled.size() > decimals ? scaled.substr(scaled.size() - decimals)
                                                    : std::string(decimals - scaled.size(), '0') + scaled;
    integer.erase(0, std::min(integer.find_first_not_of('0'), integer.size()));
    if (integer.size() < std::size_t(s.minIntegerDigits))
        integer.insert(0, std::size_t(s.minIntegerDigits) - integer.size(), '0');
    while (fraction.size() > std::size_t(s.minDecimals) && fraction.back() == '0')
        fraction.pop_back();

    QString out = s.prefix;
    const QString group = locale.groupSeparator();
    for (std::size_t i = 0; i < integer.size(); ++i) {
        if (s.grouping && i > 0 && (integer.size() - i) % 3 == 0)
            out += group;
        out += QLatin1Char(integer[i]);
    }
    if (!fraction.empty()) {
        out += locale.decimalPoint();
        out += QLatin1String(fraction.data(), qsizetype(fraction.size()));
    }
    out += s.suffix;
    return out;
}

} // namespace

QString formatNumber(long double value, const QString& pattern, const QLocale& locale)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");

    const QStringList sections = pattern.split(u';');
    const Section positive = parseSection(sections.value(0));
    const bool hasNegative = sections.size() > 1 && !sections[1].isEmpty();
    const Section negative = hasNegative ? parseSection(sections[1]) : positive;

    if (value < 0) {
        const std::string scaled = scaledDigits(-value, negative.decimals);
        if (scaled != "0") {
            const QString text = applySection(negative, scaled, locale);
            return hasNegative ? text : QLatin1Char('-') + text;
        }
    }
    return applySection(positive, scaledDigits(std::fabs(value), positive.decimals), locale);
}

QString editTextOf(long double value, const QLocale& locale)
{
    if (value == 0)
        return QString();
    return formatNumber(value, QStringLiteral("0.##"), locale);
}

long double roundToDecimals(long double value, int decimals)
{
    // An exact whole number divided by an exact power of ten is the nearest long double to
    // the decimal, as reading its digits back would give.
    if (const auto quick = quickScaled(std::fabs(value), decimals)) {
        if (*quick == 0)
            return 0.0L;
        const long double rounded = static_cast<long double>(*quick) / (decimals == 0 ? 1.0L : decimals == 1 ? 10.0L : 100.0L);
        return value < 0 ? -rounded : rounded;
    }
    const std::optional<long double> rounded =
        decimalToLongDouble(scaledDigits(std::fabs(value), decimals), -decimals);
    if (!rounded)
        return value;
    if (*rounded == 0)
        return 0.0L;
    return value < 0 ? -*rounded : *rounded;
}

QString normaliseNumberText(const QString& text, const QLocale& locale)
{
    const QString point = locale.decimalPoint();
    const QString group = locale.groupSeparator();

    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    QString t = text.mid(begin, end - begin);

    if (!group.isEmpty() && group != point)
        t.remove(group);
    if (point != QLatin1String(".") && group != QLatin1String("."))
        t.replace(u'.', point);
    if (point != QLatin1String(",") && group != QLatin1String(","))
        t.replace(u',', point);

    if (t.isEmpty())
        return QStringLiteral("0");
    if (t == QLatin1String("-"))
        return QStringLiteral("-0");
    return t;
}

std::optional<long double> parseNumberText(const QString& normalised, const QLocale& locale)
{
    const QString point = locale.decimalPoint();
    const QString& s = normalised;
    const qsizetype n = s.size();
    qsizetype i = 0;

    while (i < n && isBlank(s[i]))
        ++i;
    bool negative = false;
    if (i < n && (s[i] == u'+' || s[i] == u'-'))
        negative = s[i++] == u'-';

    std::string digits;
    long long fractionDigits = 0;
    bool separator = false;
    while (i < n && isAsciiDigit(s[i]))
        digits.push_back(char(s[i++].unicode()));
    if (!point.isEmpty() && QStringView(s).mid(i).startsWith(point)) {
        separator = true;
        i += point.size();
        while (i < n && isAsciiDigit(s[i])) {
            digits.push_back(char(s[i++].unicode()));
            ++fractionDigits;
        }
    }
    if (digits.empty() && !separator)
        return std::nullopt;

    long long exponent = 0;
    if (i < n && (s[i] == u'E' || s[i] == u'e')) {
        ++i;
        bool exponentNegative = false;
        if (i < n && (s[i] == u'+' || s[i] == u'-'))
            exponentNegative = s[i++] == u'-';
        // Past a billion the result is infinite or zero whatever the digits say.
        constexpr long long kCap = 1'000'000'000;
        while (i < n && isAsciiDigit(s[i])) {
            exponent = std::min(kCap, exponent * 10 + (s[i++].unicode() - u'0'));
        }
        if (exponentNegative)
            exponent = -exponent;
    }
    while (i < n && isBlank(s[i]))
        ++i;
    if (i != n)
        return std::nullopt;

    const std::optional<long double> magnitude = decimalToLongDouble(std::move(digits), exponent - fractionDigits);
    if (!magnitude)
        return std::nullopt;
    if (*magnitude == 0)
        return 0.0L;
    return negative ? -*magnitude : *magnitude;
}

} // namespace fatura
