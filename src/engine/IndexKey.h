#pragma once
// Index entries: how a record's key is laid out in an index page and how two entries compare.
// An entry holds, per key field, the field's null flag and value bytes exactly as in the
// record (RecordID as 4 bytes), then the RecordID and the slot number, so entries are unique
// and the key of a record can be checked against its slot byte for byte.

#include "Record.h"
#include "TableDefinition.h"

#include <cstdint>
#include <vector>

namespace fatura::engine {

// Compares two stored values of a field (null flag and value bytes): null first, texts by
// unsigned bytes up to their end, upper-cased first when caseInsensitive; with partialLength
// set only that many leading characters of texts count, and a text that ends before them is
// the smaller.
int compareFieldValues(const unsigned char* a, const unsigned char* b, const FieldLayout& field,
                       bool caseInsensitive, std::size_t partialLength = 0);

class IndexKey {
public:
    struct Part {
        bool recordId = false;
        FieldLayout field;           // when not recordId
        std::uint32_t offset = 0;    // in the entry
        std::uint32_t width = 0;     // in the entry
        bool descending = false;
    };

    IndexKey(const IndexDef& def, const RecordLayout& layout);

    std::uint32_t entrySize() const { return entrySize_; }
    const std::vector<Part>& parts() const { return parts_; }
    const IndexDef& definition() const { return def_; }

    void build(const unsigned char* record, std::int32_t recordId, std::uint32_t slot,
               unsigned char* entry) const;
    RecordBytes build(const unsigned char* record, std::int32_t recordId, std::uint32_t slot) const;

    // Order of whole entries: key parts, then RecordID, then slot.
    int compare(const unsigned char* a, const unsigned char* b) const;
    // Key parts only: equal keys of a unique index are duplicates.
    int compareKeys(const unsigned char* a, const unsigned char* b) const;
    // The first `count` key parts of an entry against those of a search entry; the last of them
    // by partialLength when that is set (a partial text key).
    int comparePrefix(const unsigned char* entry, const unsigned char* search, std::size_t count,
                      std::size_t partialLength) const;

    std::int32_t recordIdOf(const unsigned char* entry) const;
    std::uint32_t slotOf(const unsigned char* entry) const;

private:
    int comparePart(const Part& p, const unsigned char* a, const unsigned char* b,
                    std::size_t partialLength) const;

    IndexDef def_;
    std::vector<Part> parts_;
    std::uint32_t keySize_ = 0;
    std::uint32_t entrySize_ = 0;
};

} // namespace fatura::engine
