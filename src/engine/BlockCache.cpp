#include "BlockCache.h"

#include <algorithm>

namespace fatura::engine {

void Block::markDirty(std::uint32_t from, std::uint32_t to)
{
    if (!dirty()) {
        dirtyFrom = from;
        dirtyTo = to;
    } else {
        dirtyFrom = std::min(dirtyFrom, from);
        dirtyTo = std::max(dirtyTo, to);
    }
}

Block* BlockCache::find(std::uint32_t number)
{
    auto it = blocks_.find(number);
    if (it == blocks_.end())
        return nullptr;
    it->second.used = ++tick_;
    return &it->second;
}

Block& BlockCache::insert(std::uint32_t number, std::vector<unsigned char> bytes)
{
    auto [it, added] = blocks_.try_emplace(number);
    if (!added)
        bytes_ -= it->second.bytes.size();
    bytes_ += bytes.size();
    it->second.bytes = std::move(bytes);
    it->second.markClean();
    it->second.used = ++tick_;
    return it->second;
}

void BlockCache::erase(std::uint32_t number)
{
    auto it = blocks_.find(number);
    if (it == blocks_.end())
        return;
    bytes_ -= it->second.bytes.size();
    blocks_.erase(it);
}

void BlockCache::clear()
{
    blocks_.clear();
    bytes_ = 0;
}

void BlockCache::trim()
{
    if (bytes_ <= capacity_)
        return;
    std::vector<std::pair<std::uint64_t, std::uint32_t>> clean;
    clean.reserve(blocks_.size());
    for (const auto& [number, block] : blocks_) {
        if (!block.dirty())
            clean.emplace_back(block.used, number);
    }
    std::sort(clean.begin(), clean.end());
    const std::size_t target = capacity_ / 4 * 3;
    for (const auto& [used, number] : clean) {
        if (bytes_ <= target)
            break;
        erase(number);
    }
}

} // namespace fatura::engine
