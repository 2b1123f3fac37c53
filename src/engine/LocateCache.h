#pragma once
// The first bytes of chosen text fields of the records, in primary index order, kept between
// locates that have no index to use: typing into a search box locates once per letter, and
// without this each letter would read the table again. Most records are then ruled out (or
// in) by their first bytes alone; only a record whose first bytes do not decide is read.
//
// The cache holds the records from the first in the order on, as far as locates have read;
// a locate that gets past its end reads on and adds to it. It belongs to one state of the
// table: it is valid while the table's generation (changed by every write of this process and
// every change noticed from another) is the one it was started at. It never holds more than
// its budget; what lies beyond is read each time.

#include "Record.h"

#include <cstdint>
#include <vector>

namespace fatura::engine {

class LocateCache {
public:
    static constexpr std::size_t kPrefix = 16;

    explicit LocateCache(std::size_t budgetBytes) : budget_(budgetBytes) {}

    // Whether the cache is for the table as it is at generation and holds these fields.
    bool covers(std::uint64_t generation, const std::vector<const FieldLayout*>& fields) const;
    // Starts empty at generation, for these fields and those held before when the generation
    // is the same.
    void start(std::uint64_t generation, const std::vector<const FieldLayout*>& fields);
    // Room for this many more records (as far as the budget goes), so that adding them one by
    // one does not copy what is held over and over.
    void reserve(std::size_t records);
    // Adds the next record in the order; false (and nothing added) once the budget is spent.
    bool add(std::uint32_t slot, std::int32_t recordId, const unsigned char* record);
    // The primary index entry of the last record added, where a later locate goes on from.
    void setLastEntry(const unsigned char* entry, std::size_t size) { lastEntry_.assign(entry, entry + size); }
    // The records held reach the end of the table.
    void markComplete() { complete_ = true; }

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

    void clear();

private:
    std::size_t budget_;
    std::uint64_t generation_ = 0;
    bool valid_ = false;
    bool complete_ = false;
    std::vector<std::uint32_t> slots_;
    std::vector<std::int32_t> recordIds_;
    std::vector<FieldLayout> fields_;
    std::vector<std::vector<unsigned char>> prefixes_; // prefixes_[i] for fields_[i]
    std::vector<unsigned char> lastEntry_;
};

} // namespace fatura::engine
