#pragma once
// The index file of an open table: its header, the index descriptors and a bounded cache of
// index pages. Changed pages stay in the cache, marked dirty, until flush(), which the end of
// every changing operation calls; then only the changed bytes of each page are written, into
// the journal while it gathers a change.

#include "BlockCache.h"
#include "Descriptors.h"
#include "Env.h"
#include "Format.h"
#include "Journal.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace fatura::engine {

class IndexFile {
public:
    explicit IndexFile(std::string table) : table_(std::move(table)) {}

    // Writes the header and descriptors of an index file without pages.
    static void writeNew(File& file, const IndexDef& primary, const std::vector<IndexDef>& secondaries,
                         const std::string& table);

    void attach(std::unique_ptr<File> file) { file_ = std::move(file); }
    std::unique_ptr<File> detach() { return std::move(file_); }
    bool attached() const { return file_ != nullptr; }
    File& file() { return *file_; }
    void setJournal(Journal* journal) { journal_ = journal; }

    // Adds pages of zero bytes at the end for the journal ring and writes the header with the
    // new page count and the ring's fields at once (never through the journal).
    void appendRing(std::uint32_t pages, Journal& journal, std::uint32_t dataCounter, bool rebuilding);
    // Forgets every page: the indexes become empty and the file ends after the descriptors.
    // Writes nothing; for an index file being made anew in memory.
    void clearPages();

    // Reads and checks the header and the descriptors: 12035/12036 for another version or no
    // index file, 8961 for more than 30 secondary indexes, 9217 for a file shorter than its
    // header says, 12036 for descriptors naming fields the table lacks.
    void load(int fieldCount, std::uint32_t pageSize);
    // After another process changed the table: header and descriptors again, no cached page.
    void reload();
    // Whether the header's change counter on disk differs from the one last read or written.
    bool changedOnDisk();

    // [0] the primary index, then the secondary ones.
    const std::vector<descriptors::StoredIndex>& indexes() const { return indexes_; }
    std::uint32_t root(std::size_t index) const { return indexes_[index].root; }
    void setRoot(std::size_t index, std::uint32_t page);

    std::uint32_t pageSize() const { return pageSize_; }
    std::uint32_t nextPage() const { return get32(format::kIxNextPage); }
    std::uint32_t freeHead() const { return get32(format::kIxFreePageHead); }

    // A page's bytes; 12036 for a number outside the file. Valid until trim() or dropCache().
    Block& page(std::uint32_t number);
    // Marks [from, to) of a page changed, to be written by flush().
    void markDirty(Block& page, std::uint32_t number, std::uint32_t from, std::uint32_t to);
    // A zeroed page of the given kind and owner, from the free chain or the end of the file.
    std::uint32_t allocate(std::uint8_t kind, std::uint8_t index);
    void release(std::uint32_t number);

    void flush();
    void trim() { pages_.trim(); }
    void dropCache()
    {
        pages_.clear();
        dirtyPages_.clear();
    }

    [[noreturn]] void invalid() const;

private:
    std::uint32_t get32(std::uint32_t offset) const { return format::get<std::uint32_t>(header_.data(), offset); }
    void put32(std::uint32_t offset, std::uint32_t v) { format::put(header_.data(), offset, v); }
    void readHeaderAndDescriptors();
    void write(std::uint64_t offset, const void* bytes, std::size_t n);

    std::string table_;
    std::unique_ptr<File> file_;
    Journal* journal_ = nullptr;
    std::array<unsigned char, format::kHeaderSize> header_{};
    std::vector<descriptors::StoredIndex> indexes_;
    int fieldCount_ = 0;
    std::uint32_t pageSize_ = 0;
    bool headerDirty_ = false;
    std::vector<bool> rootDirty_;
    std::vector<std::uint32_t> dirtyPages_; // pages marked dirty since the last flush
    BlockCache pages_{4u << 20};
};

} // namespace fatura::engine
