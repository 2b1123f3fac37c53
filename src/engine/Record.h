#pragma once
// Where each field lies in a record slot, and reading and storing values there by the storing
// rules: text cut to size, trailing blanks dropped, character case applied, empty = null.

#include "Md5.h"
#include "TableDefinition.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fatura::engine {

struct FieldLayout {
    FieldKind kind = FieldKind::Text;
    std::uint16_t size = 0;   // declared characters of a text field
    std::uint16_t width = 0;  // stored value bytes
    std::uint16_t offset = 0; // of the null flag; the value follows
    CharCase charCase = CharCase::Unchanged;

    bool isText() const { return kind == FieldKind::Text || kind == FieldKind::FixedText; }
    bool isFloat() const { return kind == FieldKind::Float || kind == FieldKind::Currency; }
};

struct RecordLayout {
    std::vector<FieldLayout> fields; // fields[i] is field number i + 1
    std::uint32_t length = 0;        // L; may exceed the format's limit, which callers check

    static std::uint16_t storedWidth(FieldKind kind, std::uint16_t size);
    static RecordLayout of(const TableDefinition& definition);
};

using RecordBytes = std::vector<unsigned char>;

namespace record {

inline bool isNull(const unsigned char* rec, const FieldLayout& f) { return rec[f.offset] == 0; }

std::string text(const unsigned char* rec, const FieldLayout& f);   // empty when null
double number(const unsigned char* rec, const FieldLayout& f);      // 0 when null
std::int32_t integer(const unsigned char* rec, const FieldLayout& f);

void setNull(unsigned char* rec, const FieldLayout& f);
// Stores text by the storing rules; a text holding a zero byte ends there.
void setText(unsigned char* rec, const FieldLayout& f, std::string_view value);
void setDouble(unsigned char* rec, const FieldLayout& f, double value);
void setInteger(unsigned char* rec, const FieldLayout& f, std::int32_t value);

// The MD5 of the field area, bytes 25 .. L - 1.
Digest hash(const unsigned char* rec, std::uint32_t length);

// Shortest text that reads back as the same double, '.' as decimal separator.
std::string formatNumber(double value);
// A whole text that is a number ("12.5", "-3", "1e3"), blanks around allowed.
bool parseNumber(std::string_view text, double& value);

} // namespace record

} // namespace fatura::engine
