#pragma once
// The definition of a table: its fields and indexes, as createTable writes them into new table
// files and as Cursor::definition() reports them for an open table. Names are code page 1254.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fatura::engine {

// The field kinds the engine stores. Tables with any other kind (dates, Booleans, BLOBs,
// computed fields, ...) are refused when opened.
enum class FieldKind : std::uint8_t {
    Text,          // 1..512 characters; trailing blanks are dropped when stored
    FixedText,     // as Text, but trailing blanks stay
    Float,         // 64-bit IEEE double
    Currency,      // a double holding a money amount
    Integer,       // signed 32-bit
    AutoIncrement, // signed 32-bit, assigned from the table's counter when posted as null
};

enum class CharCase : std::uint8_t { Unchanged = 0, Lower = 1, Upper = 2 };

struct FieldDef {
    std::string name;          // 1..60 characters, unique within the table regardless of case
    FieldKind kind = FieldKind::Text;
    std::uint16_t size = 0;    // characters of a text field, 1..512; 0 for other kinds
    bool required = false;     // must not be null when posted (auto-increment fields get a value)
    CharCase charCase = CharCase::Unchanged; // applied to text when stored
    std::string description;   // at most 60 characters
    std::string minValue;      // kept in the file, not enforced; at most 100 characters
    std::string maxValue;      // kept in the file, not enforced; at most 100 characters
    std::string defaultValue;  // put into a new record by Append; at most 100 characters
};

// Key field number standing for the system field RecordID.
inline constexpr int kRecordIdField = -1;

struct IndexDef {
    std::string name;                // empty for the primary index; at most 60 characters
    std::vector<int> keyFields;      // field numbers from 1, or kRecordIdField; 1..128 of them
    std::vector<bool> keyDescending; // per key field; missing entries count as ascending
    bool caseInsensitive = false;    // text keys compare upper-cased
    bool descending = false;
    bool unique = false;             // always true for the primary index
};

struct TableDefinition {
    std::vector<FieldDef> fields;    // 1..1024, numbered from 1 in this order
    IndexDef primaryIndex{{}, {kRecordIdField}, {}, false, false, true};
    std::vector<IndexDef> secondaryIndexes; // at most 30
    std::uint32_t localeId = 0;      // 0 = "ANSI Standard", the only locale compared as such
    std::uint32_t indexPageSize = 4096; // 1024..65536, a multiple of 512

    // Field number (from 1) of a name compared without regard to ASCII and code page 1254
    // letter case; 0 when there is none.
    int fieldNumber(std::string_view name) const;
};

} // namespace fatura::engine
