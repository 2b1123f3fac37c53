#pragma once
// The first bytes of chosen text fields of every record, kept between locates that have no
// index to use: typing into a search box locates once per letter, and without this each
// letter would read the whole table again. Most records are then ruled out (or in) by their
// first bytes alone; only a record whose first bytes do not decide is read.
//
// The cache belongs to one state of the table: it is valid while the table's generation
// (changed by every write from this process and every change noticed from another) is the one
// it was built at. It never holds more than its budget; a table too large for it is scanned.

#include "Record.h"

#include <cstdint>
#include <map>
#include <vector>

namespace fatura::engine {

class LocateCache {
public:
    static constexpr std::size_t kPrefix = 16;

    explicit LocateCache(std::size_t budgetBytes) : budget_(budgetBytes) {}

    // Whether the cache holds these fields for the table as it is at generation.
    bool covers(std::uint64_t generation, const std::vector<const FieldLayout*>& fields) const;

    // Starts over for a table of slots - 1 slots at generation, for the given fields plus those
    // already held when the generation is the same. False (and empty) when over budget.
    bool start(std::uint64_t generation, std::uint32_t slots, const std::vector<const FieldLayout*>& fields);
    // Records one slot in use while the table is scanned after start().
    void add(std::uint32_t slot, const unsigned char* record);

    std::uint32_t slots() const { return static_cast<std::uint32_t>(recordIds_.size()); }
    // 0 for a slot not in use.
    std::int32_t recordId(std::uint32_t slot) const { return recordIds_[slot]; }
    const unsigned char* prefix(const FieldLayout& field, std::uint32_t slot) const
    {
        return prefixes_.at(field.offset).data() + std::size_t(slot) * kPrefix;
    }

    void clear();

private:
    std::size_t budget_;
    std::uint64_t generation_ = 0;
    bool valid_ = false;
    std::vector<std::int32_t> recordIds_;
    std::map<std::uint16_t, std::vector<unsigned char>> prefixes_; // by the field's offset
    std::vector<FieldLayout> fields_;
};

} // namespace fatura::engine
