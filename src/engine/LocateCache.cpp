#include "LocateCache.h"

#include <algorithm>
#include <cstring>

namespace fatura::engine {

bool LocateCache::covers(std::uint64_t generation, const std::vector<const FieldLayout*>& fields) const
{
    if (!valid_ || generation != generation_)
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
    prefixes_.clear();
    fields_.clear();
    lastEntry_.clear();
}

void LocateCache::start(std::uint64_t generation, const std::vector<const FieldLayout*>& fields)
{
    std::vector<FieldLayout> wanted;
    if (valid_ && generation == generation_)
        wanted = fields_;
    for (const FieldLayout* f : fields) {
        if (std::none_of(wanted.begin(), wanted.end(), [f](const FieldLayout& w) { return w.offset == f->offset; }))
            wanted.push_back(*f);
    }
    clear();
    prefixes_.resize(wanted.size());
    fields_ = std::move(wanted);
    generation_ = generation;
    valid_ = true;
}

void LocateCache::reserve(std::size_t records)
{
    const std::size_t perRecord = sizeof(std::uint32_t) + sizeof(std::int32_t) + fields_.size() * kPrefix;
    const std::size_t total = std::min(slots_.size() + records, budget_ / perRecord);
    slots_.reserve(total);
    recordIds_.reserve(total);
    for (auto& prefixes : prefixes_)
        prefixes.reserve(total * kPrefix);
}

bool LocateCache::add(std::uint32_t slot, std::int32_t recordId, const unsigned char* record)
{
    const std::size_t perRecord = sizeof slot + sizeof recordId + fields_.size() * kPrefix;
    if (!valid_ || (slots_.size() + 1) * perRecord > budget_)
        return false;
    slots_.push_back(slot);
    recordIds_.push_back(recordId);
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        const FieldLayout& f = fields_[i];
        std::vector<unsigned char>& prefixes = prefixes_[i];
        const std::size_t at = prefixes.size();
        // A copy of a known length is a few instructions; this runs for every record scanned.
        if (f.width >= kPrefix) {
            prefixes.insert(prefixes.end(), record + f.offset + 1, record + f.offset + 1 + kPrefix);
        } else {
            prefixes.resize(at + kPrefix, 0);
            std::memcpy(prefixes.data() + at, record + f.offset + 1, f.width);
        }
    }
    return true;
}

} // namespace fatura::engine
