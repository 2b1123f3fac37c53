#pragma once
// Recently used record slots or index pages of one file, bounded in bytes. Pointers into a
// block stay valid until trim() or clear(), which callers run only between operations, so one
// operation may hold several blocks at once. Dirty blocks are never evicted.

#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace fatura::engine {

struct Block {
    std::vector<unsigned char> bytes;
    std::uint32_t dirtyFrom = 0; // dirty byte range [dirtyFrom, dirtyTo)
    std::uint32_t dirtyTo = 0;
    // The first headBytes bytes are dirty too, apart from the range (0 when they are not).
    std::uint32_t headBytes = 0;
    std::uint64_t used = 0;

    bool dirty() const { return dirtyFrom < dirtyTo || headBytes > 0; }
    void markDirty(std::uint32_t from, std::uint32_t to);
    void markDirty() { markDirty(0, static_cast<std::uint32_t>(bytes.size())); }
    void markHeadDirty(std::uint32_t n) { headBytes = std::max(headBytes, n); }
    void markClean() { dirtyFrom = dirtyTo = headBytes = 0; }
};

class BlockCache {
public:
    explicit BlockCache(std::size_t capacityBytes) : capacity_(capacityBytes) {}

    Block* find(std::uint32_t number);
    Block& insert(std::uint32_t number, std::vector<unsigned char> bytes);
    void erase(std::uint32_t number);
    void clear();
    // Evicts the least recently used clean blocks until the cache holds at most three quarters
    // of its capacity.
    void trim();

private:
    std::unordered_map<std::uint32_t, Block> blocks_;
    std::size_t capacity_;
    std::size_t bytes_ = 0;
    std::uint64_t tick_ = 0;
};

} // namespace fatura::engine
