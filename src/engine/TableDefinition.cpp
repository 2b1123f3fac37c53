#include "TableDefinition.h"

#include "Cp1254.h"
#include "Format.h"
#include "IndexKey.h"
#include "Record.h"
#include "TableTools.h"

#include <set>

namespace fatura::engine {

namespace {

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (cp1254::upper(static_cast<unsigned char>(a[i])) != cp1254::upper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::string checkIndex(const IndexDef& index, const TableDefinition& definition, const RecordLayout& layout,
                       const std::string& label)
{
    if (index.name.size() > 60)
        return label + ": name longer than 60 characters";
    if (index.keyFields.empty() || index.keyFields.size() > format::kMaxKeyFields)
        return label + ": needs 1 to 128 key fields";
    for (const int field : index.keyFields) {
        if (field != kRecordIdField && (field < 1 || field > static_cast<int>(definition.fields.size())))
            return label + ": key field " + std::to_string(field) + " does not exist";
    }
    const IndexKey key(index, layout);
    const std::uint32_t usable = definition.indexPageSize - format::kPgEntries;
    if (usable / (key.entrySize() + 4) < format::kMinEntriesPerPage)
        return label + ": key too long for the index page size";
    return {};
}

} // namespace

int TableDefinition::fieldNumber(std::string_view name) const
{
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (sameName(fields[i].name, name))
            return static_cast<int>(i + 1);
    }
    return 0;
}

std::string checkDefinition(const TableDefinition& definition)
{
    if (definition.fields.empty() || definition.fields.size() > format::kMaxFields)
        return "a table has 1 to 1024 fields";
    const std::uint32_t page = definition.indexPageSize;
    if (page < format::kMinPageSize || page > format::kMaxPageSize || page % 512 != 0)
        return "the index page size must be a multiple of 512 from 1024 to 65536";
    for (std::size_t i = 0; i < definition.fields.size(); ++i) {
        const FieldDef& f = definition.fields[i];
        const std::string label = "field " + std::to_string(i + 1);
        if (f.name.empty() || f.name.size() > 60)
            return label + ": the name must have 1 to 60 characters";
        if (f.name.find('\0') != std::string::npos)
            return label + ": the name holds a zero byte";
        if (definition.fieldNumber(f.name) != static_cast<int>(i + 1))
            return label + ": the name " + cp1254::toUtf8(f.name) + " is used twice";
        if ((f.kind == FieldKind::Text || f.kind == FieldKind::FixedText) && (f.size < 1 || f.size > format::kMaxTextSize))
            return label + ": a text field holds 1 to 512 characters";
        if (f.description.size() > 60)
            return label + ": description longer than 60 characters";
        if (f.minValue.size() > 100 || f.maxValue.size() > 100 || f.defaultValue.size() > 100)
            return label + ": minimum, maximum or default longer than 100 characters";
        if (static_cast<unsigned>(f.charCase) > static_cast<unsigned>(CharCase::Upper))
            return label + ": unknown character case";
    }
    const RecordLayout layout = RecordLayout::of(definition);
    if (layout.length > format::kMaxRecordLength)
        return "the record is longer than 65534 bytes";
    if (!definition.primaryIndex.name.empty())
        return "the primary index has no name";
    if (std::string e = checkIndex(definition.primaryIndex, definition, layout, "primary index"); !e.empty())
        return e;
    if (definition.secondaryIndexes.size() > format::kMaxSecondaryIndexes)
        return "at most 30 secondary indexes";
    std::set<std::string> names;
    for (const IndexDef& index : definition.secondaryIndexes) {
        const std::string label = "index " + cp1254::toUtf8(index.name);
        if (index.name.empty())
            return "a secondary index needs a name";
        std::string upper = index.name;
        cp1254::toUpper(upper);
        if (!names.insert(upper).second)
            return label + ": the name is used twice";
        if (std::string e = checkIndex(index, definition, layout, label); !e.empty())
            return e;
    }
    return {};
}

} // namespace fatura::engine
