#include "Descriptors.h"

#include "Format.h"

#include <cstring>

namespace fatura::engine::descriptors {

namespace {

using namespace format;

struct KindCode {
    FieldKind kind;
    std::uint8_t type;
    std::uint8_t subtype;
};

const KindCode kKindCodes[] = {
    {FieldKind::Text, kTypeText, 0},
    {FieldKind::FixedText, kTypeText, kSubtypeFixedText},
    {FieldKind::Float, kTypeFloat, 0},
    {FieldKind::Currency, kTypeFloat, kSubtypeCurrency},
    {FieldKind::Integer, kTypeInteger, 0},
    {FieldKind::AutoIncrement, kTypeInteger, kSubtypeAutoInc},
};

bool isText(FieldKind kind)
{
    return kind == FieldKind::Text || kind == FieldKind::FixedText;
}

} // namespace

void encodeField(unsigned char* d, int number, const FieldDef& def, const FieldLayout& layout)
{
    std::memset(d, 0, kDescriptorSize);
    put<std::int16_t>(d, kFdNumber, static_cast<std::int16_t>(number));
    putShortString(d + kFdName, kNameWidth, def.name);
    putShortString(d + kFdDescription, kNameWidth, def.description);
    for (const KindCode& k : kKindCodes) {
        if (k.kind == def.kind) {
            d[kFdType] = k.type;
            d[kFdSubtype] = k.subtype;
        }
    }
    put<std::uint16_t>(d, kFdSize, layout.size);
    put<std::uint16_t>(d, kFdWidth, layout.width);
    put<std::uint16_t>(d, kFdOffset, layout.offset);
    d[kFdRequired] = def.required ? 1 : 0;
    d[kFdCharCase] = static_cast<unsigned char>(def.charCase);
    putShortString(d + kFdMin, kValueWidth, def.minValue);
    putShortString(d + kFdMax, kValueWidth, def.maxValue);
    putShortString(d + kFdDefault, kValueWidth, def.defaultValue);
}

bool decodeField(const unsigned char* d, int number, std::uint32_t offset, FieldDef& def)
{
    if (get<std::int16_t>(d, kFdNumber) != number)
        return false;
    if (!getShortString(d + kFdName, kNameWidth, def.name) || def.name.empty())
        return false;
    if (!getShortString(d + kFdDescription, kNameWidth, def.description))
        return false;
    bool known = false;
    for (const KindCode& k : kKindCodes) {
        if (k.type == d[kFdType] && k.subtype == d[kFdSubtype]) {
            def.kind = k.kind;
            known = true;
        }
    }
    if (!known || d[kFdComputed] != 0)
        return false;
    const auto size = get<std::uint16_t>(d, kFdSize);
    if (isText(def.kind) && (size < 1 || size > kMaxTextSize))
        return false;
    def.size = isText(def.kind) ? size : 0;
    if (get<std::uint16_t>(d, kFdWidth) != RecordLayout::storedWidth(def.kind, def.size))
        return false;
    if (get<std::uint16_t>(d, kFdOffset) != offset)
        return false;
    if (d[kFdCharCase] > static_cast<unsigned char>(CharCase::Upper))
        return false;
    def.required = d[kFdRequired] != 0;
    def.charCase = static_cast<CharCase>(d[kFdCharCase]);
    return getShortString(d + kFdMin, kValueWidth, def.minValue)
        && getShortString(d + kFdMax, kValueWidth, def.maxValue)
        && getShortString(d + kFdDefault, kValueWidth, def.defaultValue);
}

void encodeIndex(unsigned char* d, const IndexDef& def, std::uint32_t root)
{
    std::memset(d, 0, kDescriptorSize);
    putShortString(d + kIdName, kNameWidth, def.name);
    d[kIdDescending] = def.descending ? 1 : 0;
    d[kIdCaseInsensitive] = def.caseInsensitive ? 1 : 0;
    d[kIdUnique] = def.unique ? 1 : 0;
    d[kIdKeyCount] = static_cast<unsigned char>(def.keyFields.size());
    for (std::size_t i = 0; i < def.keyFields.size() && i < kMaxKeyFields; ++i) {
        d[kIdKeyDescending + i] = (i < def.keyDescending.size() && def.keyDescending[i]) ? 1 : 0;
        put<std::int16_t>(d, kIdKeyFields + 2 * i, static_cast<std::int16_t>(def.keyFields[i]));
    }
    put<std::uint32_t>(d, kIdRoot, root);
}

void encodeFullTextSlot(unsigned char* d)
{
    std::memset(d, 0, kDescriptorSize);
    putShortString(d + kIdName, kNameWidth, kFullTextName);
}

bool decodeIndex(const unsigned char* d, bool primary, int fieldCount, StoredIndex& index)
{
    IndexDef& def = index.def;
    if (!getShortString(d + kIdName, kNameWidth, def.name))
        return false;
    def.descending = d[kIdDescending] != 0;
    def.caseInsensitive = d[kIdCaseInsensitive] != 0;
    def.unique = primary || d[kIdUnique] != 0;
    const unsigned keyCount = d[kIdKeyCount];
    if (keyCount > kMaxKeyFields || (keyCount == 0 && !primary))
        return false;
    def.keyFields.clear();
    def.keyDescending.clear();
    for (unsigned i = 0; i < keyCount; ++i) {
        const int field = get<std::int16_t>(d, kIdKeyFields + 2 * i);
        if (field != kRecordIdField && (field < 1 || field > fieldCount))
            return false;
        def.keyFields.push_back(field);
        def.keyDescending.push_back(d[kIdKeyDescending + i] != 0);
    }
    // A primary index without key fields is the one on RecordID.
    if (def.keyFields.empty()) {
        def.keyFields.push_back(kRecordIdField);
        def.keyDescending.push_back(false);
    }
    index.root = get<std::uint32_t>(d, kIdRoot);
    return true;
}

} // namespace fatura::engine::descriptors
