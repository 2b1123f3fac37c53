#include "LocateCache.h"

#include "Format.h"

#include <algorithm>
#include <cstring>

namespace fatura::engine {

bool LocateCache::covers(std::uint64_t generation, const std::vector<const FieldLayout*>& fields) const
{
    if (!valid_ || generation != generation_)
        return false;
    return std::all_of(fields.begin(), fields.end(), [this](const FieldLayout* f) { return prefixes_.count(f->offset) > 0; });
}

void LocateCache::clear()
{
    valid_ = false;
    recordIds_.clear();
    recordIds_.shrink_to_fit();
    prefixes_.clear();
    fields_.clear();
}

bool LocateCache::start(std::uint64_t generation, std::uint32_t slots, const std::vector<const FieldLayout*>& fields)
{
    std::vector<FieldLayout> wanted;
    if (valid_ && generation == generation_)
        wanted = fields_;
    for (const FieldLayout* f : fields) {
        if (std::none_of(wanted.begin(), wanted.end(), [f](const FieldLayout& w) { return w.offset == f->offset; }))
            wanted.push_back(*f);
    }
    clear();
    const std::size_t bytes = std::size_t(slots) * (sizeof(std::int32_t) + wanted.size() * kPrefix);
    if (bytes > budget_) {
        // Only the fields asked for now, if those fit.
        wanted.clear();
        for (const FieldLayout* f : fields)
            wanted.push_back(*f);
        if (std::size_t(slots) * (sizeof(std::int32_t) + wanted.size() * kPrefix) > budget_)
            return false;
    }
    generation_ = generation;
    recordIds_.assign(slots, 0);
    for (const FieldLayout& f : wanted)
        prefixes_[f.offset].assign(std::size_t(slots) * kPrefix, 0);
    fields_ = std::move(wanted);
    valid_ = true;
    return true;
}

void LocateCache::add(std::uint32_t slot, const unsigned char* record)
{
    if (!valid_ || slot >= recordIds_.size())
        return;
    recordIds_[slot] = format::get<std::int32_t>(record, format::kSlotRecordId);
    for (const FieldLayout& f : fields_) {
        const std::size_t length = std::min<std::size_t>(kPrefix, f.width);
        std::memcpy(prefixes_[f.offset].data() + std::size_t(slot) * kPrefix, record + f.offset + 1, length);
    }
}

} // namespace fatura::engine
