#include "BTree.h"

#include <cstring>

namespace fatura::engine {

using namespace format;

namespace {

// A tree of pages holding at least four entries each is shallower than this for any file
// below 2^32 pages; a deeper descent means the pages link in a circle.
constexpr std::size_t kMaxDepth = 24;
constexpr std::uint32_t kFromEnd = 0xFFFFFFFFu;

} // namespace

BTree::BTree(IndexFile& file, std::size_t index, const IndexKey& key)
    : file_(file),
      index_(static_cast<std::uint8_t>(index)),
      key_(key),
      entrySize_(key.entrySize()),
      leafCapacity_((file.pageSize() - kPgEntries) / key.entrySize()),
      interiorCapacity_((file.pageSize() - kPgEntries) / (key.entrySize() + 4))
{
}

BTree::Node BTree::node(std::uint32_t number, std::size_t depth)
{
    if (depth >= kMaxDepth)
        file_.invalid();
    Block& block = file_.page(number);
    const unsigned char* b = block.bytes.data();
    Node n{number, &block, b[kPgKind] == kPageLeaf, get<std::uint16_t>(b, kPgCount)};
    if ((b[kPgKind] != kPageLeaf && b[kPgKind] != kPageInterior) || b[kPgIndex] != index_)
        file_.invalid();
    if (n.count > (n.leaf ? leafCapacity_ : interiorCapacity_))
        file_.invalid();
    return n;
}

std::uint32_t BTree::child(const Node& n, std::uint32_t i) const
{
    if (i == 0)
        return get<std::uint32_t>(n.bytes(), kPgLink);
    return get<std::uint32_t>(separator(n, i - 1), entrySize_);
}

// A page's head (count and link) and one run of its entries changed. Kept apart so that adding
// or taking one entry writes the few bytes that moved, not all those before them.
void BTree::markChanged(Node& n, std::uint32_t from, std::uint32_t to)
{
    file_.markDirty(*n.block, n.number, 0, kPgEntries);
    if (from < to)
        file_.markDirty(*n.block, n.number, from, to);
}

void BTree::setCount(Node& n, std::uint32_t count)
{
    n.count = count;
    put<std::uint16_t>(n.bytes(), kPgCount, static_cast<std::uint16_t>(count));
}

void BTree::enter(Iterator& it, std::uint32_t page, std::uint32_t position)
{
    if (++it.entered > file_.nextPage() + kMaxDepth)
        file_.invalid();
    it.path.emplace_back(page, position);
}

// Moves from the path's current position to the nearest entry at or after it: the position
// of an interior page is the child to enter next, that of a leaf the entry.
void BTree::settleForward(Iterator& it)
{
    while (!it.path.empty()) {
        auto [page, pos] = it.path.back();
        const Node n = node(page, it.path.size() - 1);
        if (n.leaf ? pos < n.count : pos <= n.count) {
            if (n.leaf)
                return;
            enter(it, child(n, pos), 0);
            continue;
        }
        it.path.pop_back();
        if (!it.path.empty())
            ++it.path.back().second;
    }
}

// The mirror image: a leaf position is one past the entry wanted, an interior position one
// past the child to enter next; kFromEnd stands for the page's end.
void BTree::settleBackward(Iterator& it)
{
    while (!it.path.empty()) {
        auto& [page, pos] = it.path.back();
        const Node n = node(page, it.path.size() - 1);
        const std::uint32_t end = n.leaf ? n.count : n.count + 1;
        if (pos == kFromEnd || pos > end)
            pos = end;
        if (pos > 0) {
            --pos;
            if (n.leaf)
                return;
            enter(it, child(n, pos), kFromEnd);
            continue;
        }
        it.path.pop_back();
    }
}

BTree::Iterator BTree::begin()
{
    Iterator it;
    if (const std::uint32_t root = file_.root(index_)) {
        enter(it, root, 0);
        settleForward(it);
    }
    return it;
}

BTree::Iterator BTree::last()
{
    Iterator it;
    if (const std::uint32_t root = file_.root(index_)) {
        enter(it, root, kFromEnd);
        settleBackward(it);
    }
    return it;
}

void BTree::next(Iterator& it)
{
    if (it.valid()) {
        ++it.path.back().second;
        settleForward(it);
    }
}

void BTree::prev(Iterator& it)
{
    if (it.valid())
        settleBackward(it);
}

const unsigned char* BTree::entry(const Iterator& it)
{
    const auto [page, pos] = it.path.back();
    const Node n = node(page, it.path.size() - 1);
    return leafEntry(n, pos);
}

std::uint32_t BTree::take(Iterator& it, std::uint32_t max, std::vector<unsigned char>& out)
{
    if (!it.valid())
        return 0;
    auto& [page, pos] = it.path.back();
    const Node n = node(page, it.path.size() - 1);
    const std::uint32_t count = std::min(max, n.count - pos);
    out.insert(out.end(), leafEntry(n, pos), leafEntry(n, pos) + std::size_t(count) * entrySize_);
    pos += count;
    settleForward(it);
    return count;
}

namespace {

// The first of count sorted entries that sorts above entry, or at or above it when pastEqual
// is false.
template <typename EntryAt>
std::uint32_t bound(const IndexKey& key, std::uint32_t count, const unsigned char* entry, EntryAt at, bool pastEqual)
{
    std::uint32_t lo = 0;
    std::uint32_t hi = count;
    while (lo < hi) {
        const std::uint32_t mid = (lo + hi) / 2;
        const int c = key.compare(at(mid), entry);
        if (c < 0 || (pastEqual && c == 0))
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

} // namespace

BTree::Node BTree::descendToLeaf(std::uint32_t page, const unsigned char* entry,
                                 std::vector<std::pair<std::uint32_t, std::uint32_t>>& path)
{
    Node n = node(page, 0);
    while (!n.leaf) {
        const std::uint32_t at = bound(key_, n.count, entry, [&](std::uint32_t i) { return separator(n, i); }, true);
        path.emplace_back(n.number, at);
        n = node(child(n, at), path.size());
    }
    return n;
}

void BTree::insert(const unsigned char* entry)
{
    std::uint32_t page = file_.root(index_);
    if (page == 0) {
        page = file_.allocate(kPageLeaf, index_);
        file_.setRoot(index_, page);
    }
    std::vector<std::pair<std::uint32_t, std::uint32_t>> path;
    Node n = descendToLeaf(page, entry, path);

    const std::uint32_t lo = bound(key_, n.count, entry, [&](std::uint32_t i) { return leafEntry(n, i); }, true);
    if (lo > 0 && key_.compare(leafEntry(n, lo - 1), entry) == 0)
        file_.invalid();

    const std::uint32_t count = n.count;
    if (count < leafCapacity_) {
        std::memmove(leafEntry(n, lo + 1), leafEntry(n, lo), std::size_t(count - lo) * entrySize_);
        std::memcpy(leafEntry(n, lo), entry, entrySize_);
        setCount(n, count + 1);
        markChanged(n, kPgEntries + lo * entrySize_, kPgEntries + (count + 1) * entrySize_);
        return;
    }

    // Split: all entries with the new one in order, then the lower part stays. Appending at
    // the end keeps the old page full and starts the new one with the new entry alone.
    std::vector<unsigned char> all(std::size_t(count + 1) * entrySize_);
    std::memcpy(all.data(), leafEntry(n, 0), std::size_t(lo) * entrySize_);
    std::memcpy(all.data() + std::size_t(lo) * entrySize_, entry, entrySize_);
    std::memcpy(all.data() + std::size_t(lo + 1) * entrySize_, leafEntry(n, lo), std::size_t(count - lo) * entrySize_);
    const std::uint32_t total = count + 1;
    const std::uint32_t leftCount = lo == count ? count : total / 2;

    const std::uint32_t rightPage = file_.allocate(kPageLeaf, index_);
    Node right = node(rightPage, path.size());
    std::memcpy(leafEntry(right, 0), all.data() + std::size_t(leftCount) * entrySize_,
                std::size_t(total - leftCount) * entrySize_);
    setCount(right, total - leftCount);
    file_.markDirty(*right.block, right.number, 0, file_.pageSize());

    std::memcpy(leafEntry(n, 0), all.data(), std::size_t(leftCount) * entrySize_);
    std::memset(leafEntry(n, leftCount), 0, std::size_t(count - leftCount) * entrySize_);
    setCount(n, leftCount);
    file_.markDirty(*n.block, n.number, kPgCount, kPgEntries + count * entrySize_);

    RecordBytes separatorEntry(leafEntry(right, 0), leafEntry(right, 0) + entrySize_);
    path.emplace_back(n.number, 0);
    insertIntoParents(path, std::move(separatorEntry), rightPage);
}

// path ends with the page that split; separatorEntry is the lowest entry of its new right
// sibling rightPage, which goes into the parent just after the split page.
void BTree::insertIntoParents(std::vector<std::pair<std::uint32_t, std::uint32_t>>& path, RecordBytes separatorEntry,
                              std::uint32_t rightPage)
{
    const std::uint32_t pairSize = entrySize_ + 4;
    while (true) {
        const std::uint32_t splitPage = path.back().first;
        path.pop_back();
        if (path.empty()) {
            const std::uint32_t rootPage = file_.allocate(kPageInterior, index_);
            Node root = node(rootPage, 0);
            put<std::uint32_t>(root.bytes(), kPgLink, splitPage);
            std::memcpy(separator(root, 0), separatorEntry.data(), entrySize_);
            put<std::uint32_t>(separator(root, 0), entrySize_, rightPage);
            setCount(root, 1);
            file_.markDirty(*root.block, root.number, 0, file_.pageSize());
            file_.setRoot(index_, rootPage);
            return;
        }
        const auto [page, childIndex] = path.back();
        Node n = node(page, path.size() - 1);
        const std::uint32_t count = n.count;
        if (count < interiorCapacity_) {
            std::memmove(separator(n, childIndex + 1), separator(n, childIndex), std::size_t(count - childIndex) * pairSize);
            std::memcpy(separator(n, childIndex), separatorEntry.data(), entrySize_);
            put<std::uint32_t>(separator(n, childIndex), entrySize_, rightPage);
            setCount(n, count + 1);
            markChanged(n, kPgEntries + childIndex * pairSize, kPgEntries + (count + 1) * pairSize);
            return;
        }

        // Split an interior page: separators and children in order with the new pair, the
        // middle separator moves up. Appending at the end moves the new one up and leaves
        // the new page with a single child.
        std::vector<unsigned char> pairs(std::size_t(count + 1) * pairSize);
        std::memcpy(pairs.data(), separator(n, 0), std::size_t(childIndex) * pairSize);
        std::memcpy(pairs.data() + std::size_t(childIndex) * pairSize, separatorEntry.data(), entrySize_);
        put<std::uint32_t>(pairs.data() + std::size_t(childIndex) * pairSize, entrySize_, rightPage);
        std::memcpy(pairs.data() + std::size_t(childIndex + 1) * pairSize, separator(n, childIndex),
                    std::size_t(count - childIndex) * pairSize);
        const std::uint32_t total = count + 1;
        const std::uint32_t up = childIndex == count ? count : total / 2;

        const std::uint32_t newPage = file_.allocate(kPageInterior, index_);
        Node right = node(newPage, path.size() - 1);
        const unsigned char* upPair = pairs.data() + std::size_t(up) * pairSize;
        put<std::uint32_t>(right.bytes(), kPgLink, get<std::uint32_t>(upPair, entrySize_));
        std::memcpy(separator(right, 0), upPair + pairSize, std::size_t(total - up - 1) * pairSize);
        setCount(right, total - up - 1);
        file_.markDirty(*right.block, right.number, 0, file_.pageSize());

        std::memcpy(separator(n, 0), pairs.data(), std::size_t(up) * pairSize);
        std::memset(separator(n, up), 0, std::size_t(count - up) * pairSize);
        setCount(n, up);
        file_.markDirty(*n.block, n.number, kPgCount, kPgEntries + count * pairSize);

        separatorEntry.assign(upPair, upPair + entrySize_);
        rightPage = newPage;
    }
}

bool BTree::erase(const unsigned char* entry)
{
    std::uint32_t page = file_.root(index_);
    if (page == 0)
        return false;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> path;
    Node n = descendToLeaf(page, entry, path);
    const std::uint32_t lo = bound(key_, n.count, entry, [&](std::uint32_t i) { return leafEntry(n, i); }, false);
    if (lo == n.count || key_.compare(leafEntry(n, lo), entry) != 0)
        return false;

    const std::uint32_t count = n.count;
    std::memmove(leafEntry(n, lo), leafEntry(n, lo + 1), std::size_t(count - lo - 1) * entrySize_);
    std::memset(leafEntry(n, count - 1), 0, entrySize_);
    setCount(n, count - 1);
    markChanged(n, kPgEntries + lo * entrySize_, kPgEntries + count * entrySize_);
    if (count - 1 == 0 && !path.empty())
        removeEmptyChild(path, n.number);

    // A root interior page with one child gives way to the child.
    while (const std::uint32_t root = file_.root(index_)) {
        const Node r = node(root, 0);
        if (r.leaf || r.count > 0)
            break;
        file_.setRoot(index_, child(r, 0));
        file_.release(root);
    }
    return true;
}

void BTree::removeEmptyChild(std::vector<std::pair<std::uint32_t, std::uint32_t>>& path, std::uint32_t emptyPage)
{
    const std::uint32_t pairSize = entrySize_ + 4;
    while (!path.empty()) {
        file_.release(emptyPage);
        const auto [page, childIndex] = path.back();
        path.pop_back();
        Node n = node(page, path.size());
        if (n.count == 0) {
            // Its only child is gone: the interior page is empty in turn.
            if (path.empty()) {
                file_.release(page);
                file_.setRoot(index_, 0);
                return;
            }
            emptyPage = page;
            continue;
        }
        const std::uint32_t count = n.count;
        if (childIndex == 0) {
            put<std::uint32_t>(n.bytes(), kPgLink, child(n, 1));
            std::memmove(separator(n, 0), separator(n, 1), std::size_t(count - 1) * pairSize);
        } else {
            std::memmove(separator(n, childIndex - 1), separator(n, childIndex), std::size_t(count - childIndex) * pairSize);
        }
        std::memset(separator(n, count - 1), 0, pairSize);
        setCount(n, count - 1);
        markChanged(n, kPgEntries + (childIndex == 0 ? 0 : childIndex - 1) * pairSize, kPgEntries + count * pairSize);
        return;
    }
}

bool BTree::firstEntry(RecordBytes& out)
{
    Iterator it = begin();
    if (!it.valid())
        return false;
    const unsigned char* e = entry(it);
    out.assign(e, e + entrySize_);
    return true;
}

bool BTree::lastEntry(RecordBytes& out)
{
    Iterator it = last();
    if (!it.valid())
        return false;
    const unsigned char* e = entry(it);
    out.assign(e, e + entrySize_);
    return true;
}

bool BTree::entryAfter(const unsigned char* current, RecordBytes& out)
{
    Iterator it = lowerBound([&](const unsigned char* e) { return key_.compare(e, current) <= 0 ? -1 : 1; });
    if (!it.valid())
        return false;
    const unsigned char* e = entry(it);
    // In a sound tree the entry found is the larger; anything else is a damaged page order,
    // and returning it could walk a cursor in circles.
    if (key_.compare(e, current) <= 0)
        file_.invalid();
    out.assign(e, e + entrySize_);
    return true;
}

bool BTree::entryBefore(const unsigned char* current, RecordBytes& out)
{
    Iterator it = lowerBound([&](const unsigned char* e) { return key_.compare(e, current) < 0 ? -1 : 1; });
    if (it.valid())
        prev(it);
    else
        it = last();
    if (!it.valid())
        return false;
    const unsigned char* e = entry(it);
    if (key_.compare(e, current) >= 0)
        file_.invalid();
    out.assign(e, e + entrySize_);
    return true;
}

bool BTree::hasOtherWithKey(const unsigned char* probe, std::int32_t recordId)
{
    Iterator it = lowerBound([&](const unsigned char* e) { return key_.compareKeys(e, probe); });
    for (; it.valid(); next(it)) {
        const unsigned char* e = entry(it);
        if (key_.compareKeys(e, probe) != 0)
            return false;
        if (key_.recordIdOf(e) != recordId)
            return true;
    }
    return false;
}

} // namespace fatura::engine
