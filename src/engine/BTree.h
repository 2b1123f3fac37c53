#pragma once
// One index of the index file as a B+-tree of fixed-size pages (layout in Format.h).
//
// Every page read is checked before use (kind, owner, entry count, child numbers within the
// file), descents stop at a depth no sound tree reaches, and an iteration may enter at most as
// many pages as the file has: a damaged index gives engine error 12036, never a loop.
//
// Deleting never merges pages; a page left empty is freed and its parent forgets it, and a
// root with one child gives way to that child. Inserting at the end of a page (as appending
// records in RecordID order does) splits it so the old page stays full.

#include "IndexFile.h"
#include "IndexKey.h"
#include "Record.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace fatura::engine {

class BTree {
public:
    BTree(IndexFile& file, std::size_t index, const IndexKey& key);

    // A position on one entry; invalid (empty path) past either end.
    struct Iterator {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> path; // (page, child or entry)
        std::uint32_t entered = 0;
        bool valid() const { return !path.empty(); }
    };

    Iterator begin();
    Iterator last();
    // The first entry e for which cmp(e) >= 0; cmp must not decrease along the index order.
    template <typename Compare>
    Iterator lowerBound(Compare&& cmp);
    void next(Iterator& it);
    void prev(Iterator& it);
    const unsigned char* entry(const Iterator& it);
    // Appends up to max entries from it on (those left in its leaf page) to out, and moves it
    // past them; returns how many.
    std::uint32_t take(Iterator& it, std::uint32_t max, std::vector<unsigned char>& out);

    // 12036 when the very same entry is there already.
    void insert(const unsigned char* entry);
    // false when the entry is not there.
    bool erase(const unsigned char* entry);

    // Copies of neighbouring entries, for cursors that keep their place as an entry.
    bool firstEntry(RecordBytes& out);
    bool lastEntry(RecordBytes& out);
    bool entryAfter(const unsigned char* entry, RecordBytes& out);
    bool entryBefore(const unsigned char* entry, RecordBytes& out);
    // Whether another record (RecordID other than recordId) has the key of entry.
    bool hasOtherWithKey(const unsigned char* entry, std::int32_t recordId);


private:
    struct Node {
        std::uint32_t number;
        Block* block;
        bool leaf;
        std::uint32_t count;
        unsigned char* bytes() const { return block->bytes.data(); }
    };

    Node node(std::uint32_t number, std::size_t depth);
    // From page down to the leaf where entry belongs, noting each page and child taken.
    Node descendToLeaf(std::uint32_t page, const unsigned char* entry,
                       std::vector<std::pair<std::uint32_t, std::uint32_t>>& path);
    void enter(Iterator& it, std::uint32_t page, std::uint32_t position);
    void settleForward(Iterator& it);
    void settleBackward(Iterator& it);

    unsigned char* leafEntry(const Node& n, std::uint32_t i) const { return n.bytes() + format::kPgEntries + i * entrySize_; }
    unsigned char* separator(const Node& n, std::uint32_t i) const { return n.bytes() + format::kPgEntries + i * (entrySize_ + 4); }
    std::uint32_t child(const Node& n, std::uint32_t i) const;
    void setCount(Node& n, std::uint32_t count);
    void markChanged(Node& n, std::uint32_t from, std::uint32_t to);

    void insertIntoParents(std::vector<std::pair<std::uint32_t, std::uint32_t>>& path, RecordBytes separatorEntry,
                           std::uint32_t rightPage);
    void removeEmptyChild(std::vector<std::pair<std::uint32_t, std::uint32_t>>& path, std::uint32_t emptyPage);

    IndexFile& file_;
    std::uint8_t index_;
    const IndexKey& key_;
    std::uint32_t entrySize_;
    std::uint32_t leafCapacity_;
    std::uint32_t interiorCapacity_;
};

template <typename Compare>
BTree::Iterator BTree::lowerBound(Compare&& cmp)
{
    Iterator it;
    std::uint32_t page = file_.root(index_);
    while (page != 0) {
        Node n = node(page, it.path.size());
        ++it.entered;
        std::uint32_t lo = 0;
        std::uint32_t hi = n.count;
        while (lo < hi) {
            const std::uint32_t mid = (lo + hi) / 2;
            const unsigned char* e = n.leaf ? leafEntry(n, mid) : separator(n, mid);
            if (cmp(e) < 0)
                lo = mid + 1;
            else
                hi = mid;
        }
        it.path.emplace_back(page, lo);
        if (n.leaf) {
            settleForward(it);
            return it;
        }
        page = child(n, lo);
    }
    return it;
}

} // namespace fatura::engine
