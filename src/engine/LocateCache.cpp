#include "LocateCache.h"

#include <algorithm>
#include <cstring>

namespace fatura::engine {

bool LocateCache::covers(std::uint64_t generation, const std::vector<const FieldLayout*>& fields) const
{
    if (!holds(generation))
        return false;
    return std::all_of(fields.begin(), fields.end(), [this](const FieldLayout* f) { return position(*f) >= 0; });
}

int LocateCache::position(const FieldLayout& field) const
{
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        if (fields_[i].offset == field.offset)
            return static_cast<int>(i);
    }
    return -1;
}

void LocateCache::clear()
{
    valid_ = false;
    complete_ = false;
    std::vector<std::uint32_t>().swap(slots_);
    std::vector<std::int32_t>().swap(recordIds_);
    for (auto& prefixes : prefixes_)
        std::vector<unsigned char>().swap(prefixes);
    lastEntry_.clear();
}

void LocateCache::remember(const std::vector<const FieldLayout*>& fields)
{
    std::vector<FieldLayout> wanted;
    for (const FieldLayout& old : fields_) {
        if (std::none_of(fields.begin(), fields.end(), [&](const FieldLayout* f) { return f->offset == old.offset; }))
            wanted.push_back(old);
    }
    for (const FieldLayout* f : fields) {
        if (std::none_of(wanted.begin(), wanted.end(), [f](const FieldLayout& w) { return w.offset == f->offset; }))
            wanted.push_back(*f);
    }
    const std::size_t keep = std::max(kMaxFields, fields.size());
    if (wanted.size() > keep)
        wanted.erase(wanted.begin(), wanted.begin() + static_cast<long>(wanted.size() - keep));
    clear();
    fields_ = std::move(wanted);
    prefixes_.assign(fields_.size(), {});
}

void LocateCache::start(std::uint64_t generation, const std::vector<const FieldLayout*>& fields)
{
    remember(fields);
    generation_ = generation;
    valid_ = true;
}

void LocateCache::expect(const std::vector<const FieldLayout*>& fields)
{
    if (std::all_of(fields.begin(), fields.end(), [this](const FieldLayout* f) { return position(*f) >= 0; }))
        return;
    remember(fields);
}

void LocateCache::reserve(std::size_t records)
{
    const std::size_t total = std::min(slots_.size() + records, budget_ / bytesPerRecord());
    slots_.reserve(total);
    recordIds_.reserve(total);
    for (auto& prefixes : prefixes_)
        prefixes.reserve(total * kPrefix);
}

void LocateCache::copyPrefix(std::size_t field, const unsigned char* record, unsigned char* to) const
{
    const FieldLayout& f = fields_[field];
    // A copy of a known length is a few instructions; this runs for every record scanned.
    if (f.width >= kPrefix) {
        std::memcpy(to, record + f.offset + 1, kPrefix);
    } else {
        std::memset(to, 0, kPrefix);
        std::memcpy(to, record + f.offset + 1, f.width);
    }
}

bool LocateCache::add(std::uint32_t slot, std::int32_t recordId, const unsigned char* record)
{
    if (!valid_ || (slots_.size() + 1) * bytesPerRecord() > budget_)
        return false;
    slots_.push_back(slot);
    recordIds_.push_back(recordId);
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        std::vector<unsigned char>& prefixes = prefixes_[i];
        const FieldLayout& f = fields_[i];
        // This runs for every record scanned: a wide field's bytes go in without zeroing first.
        if (f.width >= kPrefix) {
            prefixes.insert(prefixes.end(), record + f.offset + 1, record + f.offset + 1 + kPrefix);
        } else {
            const std::size_t at = prefixes.size();
            prefixes.resize(at + kPrefix);
            copyPrefix(i, record, prefixes.data() + at);
        }
    }
    return true;
}

void LocateCache::insertAt(std::size_t i, std::uint32_t slot, std::int32_t recordId, const unsigned char* record)
{
    const auto at = static_cast<long>(i);
    slots_.insert(slots_.begin() + at, slot);
    recordIds_.insert(recordIds_.begin() + at, recordId);
    for (std::size_t k = 0; k < fields_.size(); ++k) {
        unsigned char bytes[kPrefix];
        copyPrefix(k, record, bytes);
        prefixes_[k].insert(prefixes_[k].begin() + at * static_cast<long>(kPrefix), bytes, bytes + kPrefix);
    }
}

void LocateCache::replaceAt(std::size_t i, const unsigned char* record)
{
    for (std::size_t k = 0; k < fields_.size(); ++k)
        copyPrefix(k, record, prefixes_[k].data() + i * kPrefix);
}

void LocateCache::eraseAt(std::size_t i)
{
    const auto at = static_cast<long>(i);
    slots_.erase(slots_.begin() + at);
    recordIds_.erase(recordIds_.begin() + at);
    for (auto& prefixes : prefixes_) {
        const auto from = prefixes.begin() + at * static_cast<long>(kPrefix);
        prefixes.erase(from, from + static_cast<long>(kPrefix));
    }
}

void LocateCache::truncate(std::size_t n, const unsigned char* lastEntry, std::size_t size)
{
    if (n >= slots_.size())
        return;
    slots_.resize(n);
    recordIds_.resize(n);
    for (auto& prefixes : prefixes_)
        prefixes.resize(n * kPrefix);
    complete_ = false;
    if (n == 0)
        lastEntry_.clear();
    else
        setLastEntry(lastEntry, size);
}

} // namespace fatura::engine
