// Locates without an index: the records are looked at in primary index order until one
// matches, first through the locate cache, then by reading on in the data file. The cache is
// kept in step with this process's own changes here too.
#include "Table.h"

#include "Cp1254.h"
#include "EngineError.h"

#include <algorithm>
#include <numeric>

namespace fatura::engine {

using namespace format;

namespace {

// A stored text's first bytes against a search text (upper-cased already when caseInsensitive):
// -1 when they differ, 0 when they are equal and nothing beyond them counts, 1 when equal so
// far but the rest decides.
int comparePrefix(const unsigned char* prefix, const unsigned char* search, std::size_t limit, bool caseInsensitive)
{
    const std::size_t n = std::min(limit, LocateCache::kPrefix);
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char a = caseInsensitive ? cp1254::kUpper[prefix[i]] : prefix[i];
        if (a != search[i])
            return -1;
        if (a == 0)
            return 0;
    }
    return limit <= LocateCache::kPrefix ? 0 : 1;
}

} // namespace

bool Table::ScanSearch::matches(const unsigned char* record) const
{
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const FieldLayout& f = *fields[i];
        const std::size_t partial = i + 1 == fields.size() ? partialLength : 0;
        if (compareFieldValues(record + f.offset, search + f.offset, f, caseInsensitive, partial) != 0)
            return false;
    }
    return true;
}

std::size_t Table::ScanSearch::limitOf(std::size_t i) const
{
    return i + 1 == fields.size() && partialLength ? partialLength : std::size_t(fields[i]->width);
}

bool Table::findByScan(const std::vector<const FieldLayout*>& fields, const unsigned char* search,
                       bool caseInsensitive, std::size_t partialLength, RecordBytes& found)
{
    const ScanSearch s{fields, search, caseInsensitive, partialLength};
    const bool allText = std::all_of(fields.begin(), fields.end(), [](const FieldLayout* f) { return f->isText(); });
    LocateCache* cache = allText ? &locateCache_ : nullptr;
    try {
        if (cache) {
            if (!cache->covers(generation_, fields))
                cache->start(generation_, fields);
            const CacheAnswer answer = searchLocateCache(*cache, s, found);
            if (answer != CacheAnswer::ReadOn)
                return answer == CacheAnswer::Found;
        }
        return searchOnward(cache, s, found);
    } catch (...) {
        // A search cut short by a damaged record may have added records it did not mark as
        // held; the cache no longer says where it ends.
        locateCache_.clear();
        throw;
    }
}

// The records the cache holds, in order: those their first bytes leave open are read, a run at
// a time, and the first that matches is taken.
Table::CacheAnswer Table::searchLocateCache(LocateCache& cache, const ScanSearch& s, RecordBytes& found)
{
    std::vector<int> positions;
    std::vector<std::vector<unsigned char>> wanted;
    for (std::size_t k = 0; k < s.fields.size(); ++k) {
        positions.push_back(cache.position(*s.fields[k]));
        const unsigned char* value = s.search + s.fields[k]->offset + 1;
        std::vector<unsigned char> w(value, value + std::min<std::size_t>(s.fields[k]->width, LocateCache::kPrefix));
        w.resize(LocateCache::kPrefix, 0);
        if (s.caseInsensitive)
            for (unsigned char& c : w)
                c = cp1254::kUpper[c];
        wanted.push_back(std::move(w));
    }
    const std::size_t batch = std::max<std::size_t>(1, kRunBytes / recordLength());
    std::vector<RecordRef> pending;
    bool hit = false;
    auto resolve = [&] {
        readInOrder(pending, [&](std::uint32_t, const unsigned char* rec) {
            if (s.matches(rec)) {
                found.assign(rec, rec + recordLength());
                hit = true;
            }
            return !hit;
        });
        pending.clear();
        return hit;
    };
    for (std::size_t i = 0; i < cache.size(); ++i) {
        bool decided = true;
        bool differs = false;
        for (std::size_t k = 0; k < s.fields.size() && !differs; ++k) {
            const int r = comparePrefix(cache.prefix(positions[k], i), wanted[k].data(), s.limitOf(k), s.caseInsensitive);
            differs = r < 0;
            decided = decided && r == 0;
        }
        if (differs)
            continue;
        pending.emplace_back(cache.slot(i), cache.recordId(i));
        // A record its first bytes decide ends the search, once those before it are read.
        if ((decided || pending.size() >= batch) && resolve())
            return CacheAnswer::Found;
    }
    if (resolve())
        return CacheAnswer::Found;
    return cache.complete() ? CacheAnswer::Missing : CacheAnswer::ReadOn;
}

// On from the end of the cache (or the first record) in primary index order, a run of records at
// a time until one matches. The runs start short, so that a match near the start costs little,
// and grow to the size that reads best while staying in the processor's cache.
bool Table::searchOnward(LocateCache* cache, const ScanSearch& s, RecordBytes& found)
{
    BTree& tree = primary();
    const IndexKey& key = *keys_[0];
    const std::size_t entrySize = key.entrySize();
    BTree::Iterator it;
    if (cache && !cache->lastEntry().empty()) {
        const unsigned char* last = cache->lastEntry().data();
        it = tree.lowerBound([&](const unsigned char* e) { return key.compare(e, last) <= 0 ? -1 : 1; });
    } else {
        it = tree.begin();
    }
    const std::size_t longest = std::max<std::size_t>(1, kRunBytes / recordLength());
    std::size_t run = std::min<std::size_t>(8, longest);
    std::vector<unsigned char> entries;
    std::vector<RecordRef> records;
    bool caching = cache != nullptr;
    bool reserved = false;
    bool hit = false;
    std::size_t added = 0;
    auto visit = [&](std::uint32_t slot, const unsigned char* rec) {
        if (caching && (caching = cache->add(slot, get<std::int32_t>(rec, kSlotRecordId), rec)))
            ++added;
        if (s.matches(rec)) {
            found.assign(rec, rec + recordLength());
            hit = true;
        }
        return !hit;
    };
    while (it.valid()) {
        entries.clear();
        while (it.valid() && entries.size() < run * entrySize)
            tree.take(it, static_cast<std::uint32_t>(run - entries.size() / entrySize), entries);
        records.clear();
        for (std::size_t at = 0; at < entries.size(); at += entrySize)
            records.emplace_back(key.slotOf(entries.data() + at), key.recordIdOf(entries.data() + at));
        added = 0;
        readInOrder(records, visit);
        if (added > 0)
            cache->setLastEntry(entries.data() + (added - 1) * entrySize, entrySize);
        if (hit)
            return true;
        // A search that got this far is likely to go on through much of the table; one that
        // stops early should not pay for taking the room.
        if (caching && !reserved && cache->size() >= kReserveAfter) {
            cache->reserve(data_.recordCount() - std::min<std::size_t>(cache->size(), data_.recordCount()));
            reserved = true;
        }
        run = std::min(run * 2, longest);
        index_.trim();
    }
    if (caching)
        cache->markComplete();
    return false;
}

// The records are read with plain reads into one buffer, slots lying close together in one
// read: records appended one after another lie in slot order, so a run is mostly one read.
// Plain reads rather than mapped views of the file: a file cut short by someone else then
// gives a read error instead of killing the process, and nothing stays mapped between locates.
template <typename F>
void Table::readInOrder(const std::vector<RecordRef>& records, F&& f)
{
    if (records.empty())
        return;
    const std::uint32_t length = recordLength();
    const std::uint32_t end = data_.nextSlot();
    const std::size_t n = records.size();
    runOrder_.resize(n);
    std::iota(runOrder_.begin(), runOrder_.end(), std::size_t(0));
    const auto bySlot = [&](std::size_t a, std::size_t b) { return records[a].first < records[b].first; };
    if (!std::is_sorted(runOrder_.begin(), runOrder_.end(), bySlot))
        std::sort(runOrder_.begin(), runOrder_.end(), bySlot);

    // Groups of slots [first, last] read at once; a gap up to kGapBytes is read through rather
    // than paying for another read.
    const std::uint32_t gapSlots = std::max<std::uint32_t>(1, kGapBytes / length);
    runGroups_.clear();
    runOffsets_.resize(n);
    std::size_t total = 0;
    for (const std::size_t k : runOrder_) {
        const std::uint32_t slot = records[k].first;
        if (slot == 0 || slot >= end)
            invalid();
        if (runGroups_.empty() || slot > runGroups_.back().last + gapSlots) {
            if (!runGroups_.empty())
                total += std::size_t(runGroups_.back().last - runGroups_.back().first + 1) * length;
            runGroups_.push_back({slot, slot, total});
        } else {
            runGroups_.back().last = std::max(runGroups_.back().last, slot);
        }
        runOffsets_[k] = runGroups_.back().at + std::size_t(slot - runGroups_.back().first) * length;
    }
    total += std::size_t(runGroups_.back().last - runGroups_.back().first + 1) * length;
    if (scanBuffer_.size() < total)
        scanBuffer_.resize(total);
    for (const ReadGroup& g : runGroups_)
        data_.readSlots(g.first, g.last - g.first + 1, scanBuffer_.data() + g.at);

    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char* rec = scanBuffer_.data() + runOffsets_[i];
        checkSlot(rec, records[i].first, records[i].second);
        if (!f(records[i].first, rec))
            return;
    }
}

// ---------------------------------------------------------------------------------------------
// The locate cache across this process's own changes. The cache's order is that of the primary
// index; where it is on RecordID alone, where a record stands in it follows from its RecordID
// and the cache is changed in place. Any other primary index would need the keys of the records
// held, which the cache does not keep: it is dropped instead.

bool Table::primaryOnRecordIdAlone() const
{
    const auto& parts = keys_[0]->parts();
    return std::all_of(parts.begin(), parts.end(), [](const IndexKey::Part& p) { return p.recordId; });
}

// The primary index entry of a record; a key on RecordID alone reads nothing of the record.
RecordBytes Table::primaryEntryOf(const unsigned char* record, std::uint32_t slot, std::int32_t recordId) const
{
    return keys_[0]->build(record, recordId, slot);
}

std::size_t Table::locateCachePosition(const unsigned char* entry) const
{
    const IndexKey& key = *keys_[0];
    RecordBytes held(key.entrySize());
    std::size_t lo = 0;
    std::size_t hi = locateCache_.size();
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        key.build(nullptr, locateCache_.recordId(mid), locateCache_.slot(mid), held.data());
        if (key.compare(held.data(), entry) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

bool Table::locateCacheReaches(const unsigned char* entry) const
{
    const std::vector<unsigned char>& last = locateCache_.lastEntry();
    return locateCache_.complete() || (!last.empty() && keys_[0]->compare(entry, last.data()) <= 0);
}

// The part every hook shares: nothing to do when the cache is not current; a cache that cannot
// be kept (primary index on user fields, a failure inside) is dropped; a record past the cached
// run is left to be read where it lies. change(at) gets the record's place in the cache.
template <typename Change>
void Table::keepLocateCache(const unsigned char* record, std::uint32_t slot, std::int32_t recordId,
                            Change&& change) noexcept
{
    LocateCache& cache = locateCache_;
    if (!cache.holds(generation_))
        return;
    try {
        if (!primaryOnRecordIdAlone()) {
            cache.clear();
            return;
        }
        const RecordBytes entry = primaryEntryOf(record, slot, recordId);
        if (!locateCacheReaches(entry.data()))
            return;
        change(locateCachePosition(entry.data()));
    } catch (...) {
        cache.clear();
    }
}

void Table::keepLocateCacheOnInsert(const unsigned char* record) noexcept
{
    const auto slot = get<std::uint32_t>(record, kSlotLink);
    const auto recordId = get<std::int32_t>(record, kSlotRecordId);
    keepLocateCache(record, slot, recordId, [&](std::size_t at) {
        LocateCache& cache = locateCache_;
        if (at < cache.size() && cache.recordId(at) == recordId) {
            cache.clear();
            return;
        }
        cache.insertAt(at, slot, recordId, record);
        if (cache.overBudget()) {
            const std::size_t keep = cache.size() - 1;
            const RecordBytes last = keep > 0 ? primaryEntryOf(nullptr, cache.slot(keep - 1), cache.recordId(keep - 1))
                                              : RecordBytes{};
            cache.truncate(keep, last.data(), last.size());
        }
    });
}

void Table::keepLocateCacheOnUpdate(const unsigned char* record) noexcept
{
    const auto slot = get<std::uint32_t>(record, kSlotLink);
    const auto recordId = get<std::int32_t>(record, kSlotRecordId);
    keepLocateCache(record, slot, recordId, [&](std::size_t at) {
        LocateCache& cache = locateCache_;
        if (at < cache.size() && cache.recordId(at) == recordId && cache.slot(at) == slot)
            cache.replaceAt(at, record);
        else
            cache.clear(); // the cache should have held it
    });
}

void Table::keepLocateCacheOnErase(std::uint32_t slot, std::int32_t recordId) noexcept
{
    keepLocateCache(nullptr, slot, recordId, [&](std::size_t at) {
        LocateCache& cache = locateCache_;
        if (at < cache.size() && cache.recordId(at) == recordId && cache.slot(at) == slot)
            cache.eraseAt(at);
        else
            cache.clear();
    });
}

} // namespace fatura::engine
