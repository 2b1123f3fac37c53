#include "Record.h"

#include "Cp1254.h"
#include "Format.h"

#include <charconv>
#include <cstring>

namespace fatura::engine {

std::uint16_t RecordLayout::storedWidth(FieldKind kind, std::uint16_t size)
{
    switch (kind) {
    case FieldKind::Text:
    case FieldKind::FixedText:
        return static_cast<std::uint16_t>(size + 1);
    case FieldKind::Float:
    case FieldKind::Currency:
        return 8;
    case FieldKind::Integer:
    case FieldKind::AutoIncrement:
        return 4;
    }
    return 0;
}

RecordLayout RecordLayout::of(const TableDefinition& definition)
{
    RecordLayout layout;
    std::uint32_t offset = format::kSlotFields;
    for (const FieldDef& def : definition.fields) {
        FieldLayout f;
        f.kind = def.kind;
        f.size = (def.kind == FieldKind::Text || def.kind == FieldKind::FixedText) ? def.size : 0;
        f.width = storedWidth(def.kind, f.size);
        f.offset = static_cast<std::uint16_t>(offset);
        f.charCase = def.charCase;
        layout.fields.push_back(f);
        offset += f.width + 1u;
    }
    layout.length = (offset + 7u) / 8u * 8u;
    return layout;
}

namespace record {

std::string text(const unsigned char* rec, const FieldLayout& f)
{
    if (isNull(rec, f))
        return {};
    if (f.isText()) {
        const auto* value = reinterpret_cast<const char*>(rec + f.offset + 1);
        return std::string(value, strnlen(value, f.width));
    }
    if (f.isFloat())
        return formatNumber(number(rec, f));
    return std::to_string(integer(rec, f));
}

double number(const unsigned char* rec, const FieldLayout& f)
{
    if (isNull(rec, f))
        return 0.0;
    if (f.isFloat())
        return format::get<double>(rec, f.offset + 1u);
    if (f.isText()) {
        double value = 0.0;
        return parseNumber(text(rec, f), value) ? value : 0.0;
    }
    return integer(rec, f);
}

std::int32_t integer(const unsigned char* rec, const FieldLayout& f)
{
    return isNull(rec, f) ? 0 : format::get<std::int32_t>(rec, f.offset + 1u);
}

void setNull(unsigned char* rec, const FieldLayout& f)
{
    std::memset(rec + f.offset, 0, f.width + 1u);
}

void setText(unsigned char* rec, const FieldLayout& f, std::string_view value)
{
    value = value.substr(0, std::min<std::size_t>(value.find('\0'), f.size));
    if (f.kind != FieldKind::FixedText) {
        while (!value.empty() && value.back() == ' ')
            value.remove_suffix(1);
    }
    if (value.empty()) {
        setNull(rec, f);
        return;
    }
    std::string stored(value);
    if (f.charCase == CharCase::Upper)
        cp1254::toUpper(stored);
    else if (f.charCase == CharCase::Lower)
        cp1254::toLower(stored);
    rec[f.offset] = 1;
    unsigned char* bytes = rec + f.offset + 1;
    std::memset(bytes, 0, f.width);
    std::memcpy(bytes, stored.data(), stored.size());
}

void setDouble(unsigned char* rec, const FieldLayout& f, double value)
{
    rec[f.offset] = 1;
    format::put(rec, f.offset + 1u, value);
}

void setInteger(unsigned char* rec, const FieldLayout& f, std::int32_t value)
{
    rec[f.offset] = 1;
    format::put(rec, f.offset + 1u, value);
}

Digest hash(const unsigned char* rec, std::uint32_t length)
{
    return md5(rec + format::kSlotFields, length - format::kSlotFields);
}

std::string formatNumber(double value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

bool parseNumber(std::string_view text, double& value)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty())
        return false;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

} // namespace record

} // namespace fatura::engine
