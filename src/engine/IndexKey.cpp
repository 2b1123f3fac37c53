#include "IndexKey.h"

#include "Cp1254.h"
#include "Format.h"

#include <cmath>
#include <cstring>

namespace fatura::engine {

namespace {

template <typename T>
int threeWay(T a, T b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

int compareDoubles(double a, double b)
{
    if (a < b)
        return -1;
    if (b < a)
        return 1;
    // Equal, or a NaN on either side: NaN sorts after every number so the order stays total.
    return threeWay(std::isnan(a), std::isnan(b));
}

} // namespace

int compareFieldValues(const unsigned char* a, const unsigned char* b, const FieldLayout& field,
                       bool caseInsensitive, std::size_t partialLength)
{
    if (a[0] != b[0] || a[0] == 0)
        return threeWay(a[0] != 0, b[0] != 0);
    ++a;
    ++b;
    if (field.isText()) {
        const std::size_t limit = partialLength ? std::min<std::size_t>(partialLength, field.width) : field.width;
        for (std::size_t i = 0; i < limit; ++i) {
            unsigned char ca = a[i];
            unsigned char cb = b[i];
            if (caseInsensitive) {
                ca = cp1254::kUpper[ca];
                cb = cp1254::kUpper[cb];
            }
            if (ca != cb)
                return ca < cb ? -1 : 1;
            if (ca == 0)
                return 0;
        }
        return 0;
    }
    if (field.isFloat())
        return compareDoubles(format::get<double>(a, 0), format::get<double>(b, 0));
    return threeWay(format::get<std::int32_t>(a, 0), format::get<std::int32_t>(b, 0));
}

IndexKey::IndexKey(const IndexDef& def, const RecordLayout& layout) : def_(def)
{
    std::uint32_t offset = 0;
    for (std::size_t i = 0; i < def.keyFields.size(); ++i) {
        Part p;
        p.recordId = def.keyFields[i] == kRecordIdField;
        if (!p.recordId)
            p.field = layout.fields.at(static_cast<std::size_t>(def.keyFields[i] - 1));
        p.offset = offset;
        p.width = p.recordId ? 4u : p.field.width + 1u;
        const bool keyDescending = i < def.keyDescending.size() && def.keyDescending[i];
        p.descending = keyDescending != def.descending;
        offset += p.width;
        parts_.push_back(p);
    }
    keySize_ = offset;
    entrySize_ = offset + 8;
}

void IndexKey::build(const unsigned char* record, std::int32_t recordId, std::uint32_t slot,
                     unsigned char* entry) const
{
    for (const Part& p : parts_) {
        if (p.recordId)
            format::put(entry, p.offset, recordId);
        else
            std::memcpy(entry + p.offset, record + p.field.offset, p.width);
    }
    format::put(entry, keySize_, recordId);
    format::put(entry, keySize_ + 4, slot);
}

RecordBytes IndexKey::build(const unsigned char* record, std::int32_t recordId, std::uint32_t slot) const
{
    RecordBytes entry(entrySize_);
    build(record, recordId, slot, entry.data());
    return entry;
}

int IndexKey::comparePart(const Part& p, const unsigned char* a, const unsigned char* b,
                          std::size_t partialLength) const
{
    int r;
    if (p.recordId)
        r = threeWay(format::get<std::int32_t>(a, p.offset), format::get<std::int32_t>(b, p.offset));
    else
        r = compareFieldValues(a + p.offset, b + p.offset, p.field, def_.caseInsensitive, partialLength);
    return p.descending ? -r : r;
}

int IndexKey::compareKeys(const unsigned char* a, const unsigned char* b) const
{
    for (const Part& p : parts_) {
        if (const int r = comparePart(p, a, b, 0))
            return r;
    }
    return 0;
}

int IndexKey::compare(const unsigned char* a, const unsigned char* b) const
{
    if (const int r = compareKeys(a, b))
        return r;
    int r = threeWay(recordIdOf(a), recordIdOf(b));
    if (r == 0)
        r = threeWay(slotOf(a), slotOf(b));
    return def_.descending ? -r : r;
}

int IndexKey::comparePrefix(const unsigned char* entry, const unsigned char* search, std::size_t count,
                            std::size_t partialLength) const
{
    for (std::size_t i = 0; i < count && i < parts_.size(); ++i) {
        const bool last = i + 1 == count;
        if (const int r = comparePart(parts_[i], entry, search, last ? partialLength : 0))
            return r;
    }
    return 0;
}

std::int32_t IndexKey::recordIdOf(const unsigned char* entry) const
{
    return format::get<std::int32_t>(entry, keySize_);
}

std::uint32_t IndexKey::slotOf(const unsigned char* entry) const
{
    return format::get<std::uint32_t>(entry, keySize_ + 4);
}

} // namespace fatura::engine
