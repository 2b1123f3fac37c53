#include "SayiOku.h"

#include <array>
#include <cmath>
#include <cstddef>

namespace fatura {
namespace {

// The words are code page 1254 bytes; the comment beside an escaped word is how it reads.
// Digit 0 has no word in either column, which is what lets a zero digit drop out of a group.
constexpr std::array<std::string_view, 10> kOnesWords = {
    "",
    "bir",
    "iki",
    "\xFC\xE7",       // üç
    "d\xF6rt",        // dört
    "be\xFE",         // beş
    "alt\xFD",        // altı
    "yedi",
    "sekiz",
    "dokuz",
};

constexpr std::array<std::string_view, 10> kTensWords = {
    "",
    "on",
    "yirmi",
    "otuz",
    "k\xFDrk",        // kırk
    "elli",
    "altm\xFD\xFE",   // altmış
    "yetmi\xFE",      // yetmiş
    "seksen",
    "doksan",
};

constexpr std::string_view kHundredWord = "y\xFCz";  // yüz

// By three-digit group counted from the right, the units group first.
constexpr std::array<std::string_view, 5> kScaleWords = {"", "bin", "milyon", "milyar", "trilyon"};

constexpr std::int64_t kNoWordsFrom = 1'000'000'000'000'000;  // 10^15: no scale word above trilyon

struct CurrencyUnits {
    std::string_view whole;
    std::string_view hundredths;
};

// Each unit begins with the space that parts it from the words before it.
constexpr std::array<CurrencyUnits, 3> kCurrencyUnits = {{
    {" TL", " KR"},
    {" EURO", " EUROCENT"},
    {" AZN", " QEP"},
}};

// The seven Turkish letters whose case mapping ASCII does not give: lower case at 0..6, the
// upper-case partner of each seven entries further on. I and i are here because Turkish pairs
// them as ı/I and i/İ, not as i/I.
constexpr std::size_t kUpperOffset = 7;
constexpr std::array<unsigned char, 14> kTurkishLetters = {
    0xF0, 0xFC, 0xFE, 0x69, 0xFD, 0xF6, 0xE7,  // ğ ü ş i ı ö ç
    0xD0, 0xDC, 0xDE, 0xDD, 0x49, 0xD6, 0xC7,  // Ğ Ü Ş İ I Ö Ç
};

using ByteMap = std::array<unsigned char, 256>;

constexpr ByteMap MakeCaseMap(TurkishCase direction)
{
    ByteMap map{};
    for (std::size_t byte = 0; byte < map.size(); ++byte)
        map[byte] = static_cast<unsigned char>(byte);
    for (unsigned char upper = 'A'; upper <= 'Z'; ++upper) {
        const auto lower = static_cast<unsigned char>(upper + 0x20);
        if (direction == TurkishCase::Lower)
            map[upper] = lower;
        else
            map[lower] = upper;
    }
    // After the ASCII rows on purpose: the Turkish pairs overrule them for I and i.
    const std::size_t offset = direction == TurkishCase::Upper ? kUpperOffset : 0;
    for (std::size_t pair = 0; pair < kUpperOffset; ++pair) {
        map[kTurkishLetters[pair]] = kTurkishLetters[pair + offset];
        map[kTurkishLetters[pair + kUpperOffset]] = kTurkishLetters[pair + offset];
    }
    return map;
}

constexpr ByteMap kToLower = MakeCaseMap(TurkishCase::Lower);
constexpr ByteMap kToUpper = MakeCaseMap(TurkishCase::Upper);

void MapInPlace(std::string& text, const ByteMap& map)
{
    for (char& ch : text)
        ch = static_cast<char>(map[static_cast<unsigned char>(ch)]);
}

void AppendGroup(std::string& out, unsigned hundreds, unsigned tens, unsigned ones)
{
    // 100 is "yüz" alone, never "biryüz".
    if (hundreds >= 2)
        out += kOnesWords[hundreds];
    if (hundreds >= 1)
        out += kHundredWord;
    out += kTensWords[tens];
    out += kOnesWords[ones];
}

// Written from the highest group down rather than by putting each group in front of the
// previous ones, so that the text grows at its end only.
void AppendNumber(std::string& out, std::int64_t n)
{
    if (n <= 0 || n >= kNoWordsFrom)
        return;
    std::array<unsigned, kScaleWords.size()> groups{};
    for (unsigned& group : groups) {
        group = static_cast<unsigned>(n % 1000);
        n /= 1000;
    }
    for (std::size_t g = groups.size(); g-- > 0;) {
        const unsigned value = groups[g];
        if (value == 0)
            continue;  // a group of zeros drops out together with its scale word
        // 1000 is "bin", never "birbin"; the higher scales keep their "bir" (birmilyon).
        if (!(g == 1 && value == 1))
            AppendGroup(out, value / 100, value / 10 % 10, value % 10);
        out += kScaleWords[g];
    }
}

// fraction is in [0, 1); the result is in 0..100.
//
// The product fraction * 100 needs up to 60 significant bits and a double keeps 53, so a product
// that is a hair off a half can land exactly on the half, and rounding half to even would then
// go the wrong way (0.005 is slightly above half a hundredth as a double and gives 1; 0.995 is
// slightly below and gives 99). The fused multiply-add yields the part the product lost, which
// says on which side of the half the true value lies. Only fractions of exactly 0.125, 0.375,
// 0.625 and 0.875 are true halves and go to the even neighbour.
int Hundredths(double fraction)
{
    const double scaled = fraction * 100.0;
    double rounded = std::nearbyint(scaled);
    if (std::fabs(scaled - rounded) == 0.5) {
        const double lost = std::fma(fraction, 100.0, -scaled);
        if (lost > 0)
            rounded = scaled + 0.5;
        else if (lost < 0)
            rounded = scaled - 0.5;
    }
    return static_cast<int>(rounded);
}

} // namespace

std::string AmountToWords(std::uint8_t caseSelector, std::uint8_t currencySelector, double amount)
{
    // Written so that NaN fails the test too; infinities and every whole part without words end
    // here, before any conversion to an integer.
    if (!(amount > 0.0 && amount < static_cast<double>(kNoWordsFrom)))
        return {};

    const double wholeAsDouble = std::trunc(amount);
    const auto whole = static_cast<std::int64_t>(wholeAsDouble);
    const int hundredths = Hundredths(amount - wholeAsDouble);  // exact subtraction
    if (whole == 0 && hundredths == 0)
        return {};

    const CurrencyUnits units =
        currencySelector < kCurrencyUnits.size() ? kCurrencyUnits[currencySelector] : CurrencyUnits{};

    std::string text;
    text.reserve(144);  // the longest text, 868,868,868,868,868.875 in euro, is 143 bytes
    if (whole > 0) {
        AppendNumber(text, whole);
        text += units.whole;
        if (hundredths > 0)
            text += ' ';
    }
    if (hundredths > 0) {
        AppendNumber(text, hundredths);
        text += units.hundredths;
    }

    if (caseSelector == 2)
        MapInPlace(text, kToLower);
    else if (caseSelector != 0)
        MapInPlace(text, kToUpper);
    return text;
}

std::string NumberToWords(std::int64_t n)
{
    std::string words;
    AppendNumber(words, n);
    return words;
}

std::string GroupToWords(std::string_view digits)
{
    if (digits.size() != 3)
        return {};
    for (char digit : digits) {
        if (digit < '0' || digit > '9')
            return {};
    }
    std::string words;
    AppendGroup(words, static_cast<unsigned>(digits[0] - '0'), static_cast<unsigned>(digits[1] - '0'),
                static_cast<unsigned>(digits[2] - '0'));
    return words;
}

std::string MapTurkishCase(std::string_view text, TurkishCase direction)
{
    std::string mapped(text);
    MapInPlace(mapped, direction == TurkishCase::Upper ? kToUpper : kToLower);
    return mapped;
}

} // namespace fatura
