#pragma once
// Code page 1254 (Windows Turkish) helpers: the ANSI case mappings the engine compares and
// stores texts with, and conversion to UTF-8 for messages.

#include <string>
#include <string_view>

namespace fatura::engine::cp1254 {

// The ANSI upper-case mapping of code page 1254, byte for byte. It is the locale-neutral
// mapping, not the Turkish one: 'i' and the dotless 'ı' both become 'I', and 'İ' stays.
extern const unsigned char kUpper[256];
// The inverse, for fields whose character case is "lower": 'I' and 'İ' both become 'i'.
extern const unsigned char kLower[256];

inline unsigned char upper(unsigned char c) { return kUpper[c]; }

void toUpper(std::string& text);
void toLower(std::string& text);

// Code page 1254 text as UTF-8. The five bytes the code page leaves undefined come out as the
// control characters of the same number, as the system's conversion does.
std::string toUtf8(std::string_view text);

} // namespace fatura::engine::cp1254
