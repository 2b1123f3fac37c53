#pragma once
// The data file of an open table: its header counters, its field descriptors and its record
// slots, with a bounded cache of recently read slots. Writes go straight to the file (and into
// the cache), or into the journal while it gathers a change; the header is written last by
// the operation that changed it.

#include "BlockCache.h"
#include "Env.h"
#include "Journal.h"
#include "Format.h"
#include "Record.h"
#include "TableDefinition.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace fatura::engine {

class DataFile {
public:
    explicit DataFile(std::string table) : table_(std::move(table)) {}

    // Writes the header and descriptors of a new, empty table; the definition must have
    // passed checkDefinition.
    static void writeNew(File& file, const TableDefinition& definition, double now, const std::string& table);

    void attach(std::unique_ptr<File> file) { file_ = std::move(file); }
    File& file() { return *file_; }
    // While the journal gathers a change, writes go to it instead of the file.
    void setJournal(Journal* journal) { journal_ = journal; }

    // Reads and checks the header and the field descriptors: 12035/12036 for another version
    // or no table at all, 8961 for more than 1024 fields, 10498 for an encrypted table, 12036
    // for descriptors or counters that cannot be, 9217 for a file shorter than its header says.
    void load();

    // Fields and locale from the descriptors; the indexes come from the index file.
    const TableDefinition& fields() const { return definition_; }
    const RecordLayout& layout() const { return layout_; }
    std::uint32_t recordLength() const { return layout_.length; }
    std::uint32_t pageSize() const { return get32(format::kPageSize); }
    std::uint64_t slotsOffset() const;
    std::uint64_t slotOffset(std::uint32_t slot) const { return slotsOffset() + std::uint64_t(slot - 1) * recordLength(); }

    std::uint32_t changeCounter() const { return get32(format::kChangeCounter); }
    std::uint32_t freeHead() const { return get32(format::kFreeHead); }
    std::uint32_t nextSlot() const { return get32(format::kNextSlot); }
    std::int32_t lastRecordId() const { return static_cast<std::int32_t>(get32(format::kLastRecordId)); }
    std::int32_t lastAutoIncrement() const { return static_cast<std::int32_t>(get32(format::kLastAutoInc)); }
    std::uint32_t recordCount() const { return get32(format::kRecordCount); }
    void setFreeHead(std::uint32_t v) { put32(format::kFreeHead, v); }
    void setNextSlot(std::uint32_t v) { put32(format::kNextSlot, v); }
    void setLastRecordId(std::int32_t v) { put32(format::kLastRecordId, static_cast<std::uint32_t>(v)); }
    void setLastAutoIncrement(std::int32_t v) { put32(format::kLastAutoInc, static_cast<std::uint32_t>(v)); }
    void setRecordCount(std::uint32_t v) { put32(format::kRecordCount, v); }

    // Whether the header's change counter on disk differs from the one last read or written.
    bool changedOnDisk();
    // Re-reads the header after someone else wrote it and forgets the cached slots.
    void reloadHeader();
    // +1 on the change counter, the time, and the header's changing bytes to the file.
    void writeHeader(double now);

    // A slot's L bytes, from the cache when there. Valid until trimCache() or dropCache().
    const unsigned char* readSlot(std::uint32_t slot);
    void writeSlot(std::uint32_t slot, const unsigned char* bytes);
    // All but the state byte and the link (bytes 5 .. L - 1).
    void writeSlotBody(std::uint32_t slot, const unsigned char* bytes);
    // Only the state byte and the link (bytes 0..4).
    void writeSlotHead(std::uint32_t slot, std::uint8_t state, std::uint32_t link);
    // Reads count whole slots from slot first on, bypassing the cache (table scans).
    void readSlots(std::uint32_t first, std::uint32_t count, unsigned char* buffer);

    void trimCache() { slots_.trim(); }
    void dropCache() { slots_.clear(); }


private:
    std::uint32_t get32(std::uint32_t offset) const { return format::get<std::uint32_t>(header_.data(), offset); }
    void put32(std::uint32_t offset, std::uint32_t v) { format::put(header_.data(), offset, v); }
    [[noreturn]] void invalid() const;
    void checkCounters();
    void write(std::uint64_t offset, const void* bytes, std::size_t n);

    std::string table_;
    std::unique_ptr<File> file_;
    Journal* journal_ = nullptr;
    std::array<unsigned char, format::kHeaderSize> header_{};
    TableDefinition definition_;
    RecordLayout layout_;
    BlockCache slots_{2u << 20};
};

} // namespace fatura::engine
