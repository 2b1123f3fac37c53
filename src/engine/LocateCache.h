#pragma once
// The first bytes of chosen text fields of the records, in primary index order, kept between
// locates that have no index to use: typing into a search box locates once per letter, and
// without this each letter would read the table again. Most records are then ruled out (or
// in) by their first bytes alone; only a record whose first bytes do not decide is read.
//
// The cache holds the records from the first in the order on, as far as locates have read;
// a locate that gets past its end reads on and adds to it. It belongs to one state of the
// table, its generation: the table moves the generation when it notices a change made by
// another process (or one of its own left half-done), which drops what is held. The table's
// own complete changes are carried into the cache instead (insertAt, replaceAt, eraseAt), so
// that the first keystroke after a save does not read the whole table again. It never holds
// more than its budget; what lies beyond is read each time.

#include "Record.h"

#include <cstdint>
#include <vector>

namespace fatura::engine {

class LocateCache {
public:
    static constexpr std::size_t kPrefix = 16;
    // Fields remembered for the next start: the find dialog's four search boxes.
    static constexpr std::size_t kMaxFields = 4;

    explicit LocateCache(std::size_t budgetBytes) : budget_(budgetBytes) {}

    // Whether the cache is for the table as it is at generation.
    bool holds(std::uint64_t generation) const { return valid_ && generation == generation_; }
    // ... and holds these fields.
    bool covers(std::uint64_t generation, const std::vector<const FieldLayout*>& fields) const;
    // Starts empty at generation, for these fields and the most recent of those asked for
    // before (up to kMaxFields), so that moving between search boxes, or the first search
    // after another process changed the table, fills them all in one pass.
    void start(std::uint64_t generation, const std::vector<const FieldLayout*>& fields);
    // Makes these fields (up to kMaxFields) the ones the next start keeps, with those asked for
    // most recently before; drops what is held unless it has them all already.
    void expect(const std::vector<const FieldLayout*>& fields);
    // Room for this many more records (as far as the budget goes), so that adding them one by
    // one does not copy what is held over and over.
    void reserve(std::size_t records);
    // Adds the next record in the order; false (and nothing added) once the budget is spent.
    bool add(std::uint32_t slot, std::int32_t recordId, const unsigned char* record);
    // The primary index entry of the last record added, where a later locate goes on from.
    // Any entry from that of the last record held up to (not including) that of the first
    // record not held will do.
    void setLastEntry(const unsigned char* entry, std::size_t size) { lastEntry_.assign(entry, entry + size); }
    // The records held reach the end of the table.
    void markComplete() { complete_ = true; }

    // For the table's own changes. insertAt may go over the budget; the caller then gives
    // records back from the end with truncate.
    void insertAt(std::size_t i, std::uint32_t slot, std::int32_t recordId, const unsigned char* record);
    void replaceAt(std::size_t i, const unsigned char* record);
    void eraseAt(std::size_t i);
    // Keeps the first n records; lastEntry is then the entry of the last of them (empty for 0).
    void truncate(std::size_t n, const unsigned char* lastEntry, std::size_t size);
    bool overBudget() const { return size() * bytesPerRecord() > budget_; }

    std::size_t size() const { return slots_.size(); }
    bool complete() const { return complete_; }
    std::uint32_t slot(std::size_t i) const { return slots_[i]; }
    std::int32_t recordId(std::size_t i) const { return recordIds_[i]; }
    // Where a field's first bytes are kept; -1 for a field not held.
    int position(const FieldLayout& field) const;
    const unsigned char* prefix(int position, std::size_t i) const
    {
        return prefixes_[static_cast<std::size_t>(position)].data() + i * kPrefix;
    }
    // The primary index entry of the last record held; empty when none is.
    const std::vector<unsigned char>& lastEntry() const { return lastEntry_; }

    // Drops the records held; the fields asked for are remembered for the next start.
    void clear();

private:
    void remember(const std::vector<const FieldLayout*>& fields);
    std::size_t bytesPerRecord() const { return sizeof(std::uint32_t) + sizeof(std::int32_t) + fields_.size() * kPrefix; }
    void copyPrefix(std::size_t field, const unsigned char* record, unsigned char* to) const;

    std::size_t budget_;
    std::uint64_t generation_ = 0;
    bool valid_ = false;
    bool complete_ = false;
    std::vector<std::uint32_t> slots_;
    std::vector<std::int32_t> recordIds_;
    std::vector<FieldLayout> fields_;                   // the most recently asked for last
    std::vector<std::vector<unsigned char>> prefixes_; // prefixes_[i] for fields_[i]
    std::vector<unsigned char> lastEntry_;
};

} // namespace fatura::engine
