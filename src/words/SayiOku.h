// SayiOku: a money amount written out in Turkish words, as the "YALNIZ" line of an invoice
// states the grand total ("BİRMİLYONİKİYÜZOTUZDÖRTBİNBEŞYÜZALTMIŞYEDİ TL SEKSENDOKUZ KR").
//
// Every text here, argument or result, is code page 1254 (Windows-1254) bytes in a std::string,
// one byte per letter; nothing in this module knows Qt or any other encoding. The functions are
// pure: no state, no locale, no allocation beyond the returned string, and they never throw
// anything but std::bad_alloc.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace fatura {

enum class TurkishCase { Lower, Upper };

// The amount in words with its currency units: the whole units, the whole unit, then one space,
// the hundredths and the hundredths unit. The words of one number are written together without
// spaces; spaces appear only inside the unit strings and between the two parts.
//
// caseSelector: 0 keeps the text as built (words in lower case, units upper case as below);
//   2 maps the whole text to lower case; 1 and every other value to upper case.
// currencySelector: 0 " TL"/" KR", 1 " EURO"/" EUROCENT", 2 " AZN"/" QEP", any other value
//   no units at all.
// amount: the whole part is the amount truncated toward zero; the hundredths are its fractional
//   part times 100, rounded to nearest with a half going to the even neighbour. The rounding is
//   done on the exact value of the double, so 1.125 gives 12 and 1.375 gives 38. The hundredths
//   are never carried into the whole part (1.999 is "bir TL yüz KR").
//
// The longest result is 135 bytes with TL and KR and 143 with EURO and EUROCENT
// (868,868,868,868,868.875), so it fits the invoice's 150-character words field.
//
// The result is empty when the amount is zero, negative, below half a hundredth, not finite,
// or 10^15 and above (the largest whole part with words is 999,999,999,999,999). Every two-decimal
// amount with a whole part below 2^46 keeps the hundredths it was typed with; above that the
// nearest double is a sixty-fourth or coarser and its own hundredths are what is written.
std::string AmountToWords(std::uint8_t caseSelector, std::uint8_t currencySelector, double amount);

// The Turkish words of n in lower case ("birmilyonbin" for 1,001,000, "bin" for 1000, "birtrilyon"
// for 10^12). Empty when n is not positive, and when n is 10^15 or more, which has no scale word.
std::string NumberToWords(std::int64_t n);

// The words of one three-digit group, hundreds digit first: "115" is "yüzonbeş", "040" is "kırk",
// "000" is empty. Anything other than exactly three characters '0'..'9' gives empty text.
std::string GroupToWords(std::string_view digits);

// Every letter of text mapped to the given case, one byte for one byte, with the Turkish dotted
// and dotless i: lower case turns 'I' into 'ı', upper case turns 'i' into 'İ'. ASCII letters and
// the seven Turkish letters ç ğ ı i ö ş ü change case; every other byte (digits, punctuation,
// â, é, ...) is copied unchanged.
std::string MapTurkishCase(std::string_view text, TurkishCase direction);

} // namespace fatura
