#pragma once
// Pieces of JSON text for the table dumps of `tablo`: code page 1254 values turned into UTF-8
// string literals, and numbers in their shortest round-trip form.

#include <string>
#include <string_view>

namespace fatura::tools {

// Code page 1254 bytes as UTF-8. The bytes the code page leaves undefined come out as the
// C1 control characters of the same number, so no stored byte is lost or merged with another.
std::string cp1254ToUtf8(std::string_view text);

// Appends utf8 as a quoted JSON string: quote, backslash and every control character below
// 0x20 and DEL are escaped; everything else is copied as it is.
void appendJsonString(std::string& out, std::string_view utf8);

// Appends value in the shortest form that reads back as the same double ("0.1", "118.5",
// "1e+21", "-0"). JSON has no NaN or infinity: those are written as the strings "NaN",
// "Infinity" and "-Infinity", so that a dump neither breaks a JSON reader nor passes them off
// as null or as a number.
void appendJsonNumber(std::string& out, double value);

} // namespace fatura::tools
