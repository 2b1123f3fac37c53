#pragma once
// The in-memory object of one open table, shared by every cursor of the process on it: the
// data and index files, their caches, the index trees, and the operations that change the
// table. Each changing operation runs under the table write lock and brings the caches up to
// date first. Its writes reach the files through the journal (Journal.h), so that one cut
// short, by the program or the machine stopping half-way, is either wholly made or not at all
// once the table is opened again. Opening for writing replays what the journal holds and
// rebuilds an index that does not stand for the data file as it is.

#include "BTree.h"
#include "Cursor.h"
#include "DataFile.h"
#include "Env.h"
#include "IndexFile.h"
#include "IndexKey.h"
#include "Journal.h"
#include "LocateCache.h"
#include "Md5.h"
#include "Record.h"
#include "TableDefinition.h"
#include "TableLocks.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace fatura::engine {

class Database;

class Table {
public:
    // Opens the files of folder/name (folder ends with '/'). Without a database the table is
    // opened for checking only: read-only, outside the registry and the lock file, and a
    // missing or unreadable index file is an error instead of being rebuilt. readOnly: the
    // table is only read, and nothing is written to its files (an index that has to be rebuilt
    // is kept in memory).
    static std::shared_ptr<Table> open(Env& env, std::shared_ptr<Database> database, const std::string& folder,
                                       const std::string& name, bool exclusive, bool readOnly = false);
    ~Table();
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    const std::string& name() const { return name_; }
    const TableDefinition& definition() const { return definition_; }
    const RecordLayout& layout() const { return data_.layout(); }
    std::uint32_t recordLength() const { return data_.recordLength(); }
    bool readOnly() const { return readOnly_; }

    // Re-reads headers and forgets cached slots and pages when the change counter of the data
    // file header or of the index file header moved since this process last read or wrote it.
    // Callers hold the reading lock (ReadScope) or the table write lock.
    void refresh();

    // One reading operation: holds the reading lock, so that no writer of another process is
    // half-way through a change while it looks, and brings the caches up to date on entry.
    // Nests; only the outermost scope refreshes. Engine error 10241 when a writer keeps the
    // table too long. Take record locks before, never inside, and change nothing inside.
    class ReadScope {
    public:
        explicit ReadScope(Table& table);
        ~ReadScope();
        ReadScope(const ReadScope&) = delete;
        ReadScope& operator=(const ReadScope&) = delete;

    private:
        Table& table_;
    };
    TableStats stats();
    std::uint32_t recordCount();

    std::size_t indexCount() const { return trees_.size(); }
    BTree& index(std::size_t k) { return *trees_[k]; }
    const IndexKey& key(std::size_t k) const { return *keys_[k]; }
    BTree& primary() { return *trees_[0]; }

    // An in-use slot's L bytes (12036 when the slot is free or not the record the index
    // names); valid until the end of the current operation.
    const unsigned char* record(std::uint32_t slot, std::int32_t recordId);
    // A slot's bytes as they are, or null for a number outside the file.
    const unsigned char* peek(std::uint32_t slot);
    // Every slot in use, in slot order: f(slot, bytes). Reads large runs of slots at a time.
    template <typename F>
    void scan(F&& f);

    // The first record, in primary index order, whose fields equal those of search (a record
    // image holding the values looked for), compared as a locate compares: texts upper-cased
    // when caseInsensitive, the last field by partialLength when that is set. Reads the records
    // in that order until one matches, first asking the locate cache about those it holds.
    bool findByScan(const std::vector<const FieldLayout*>& fields, const unsigned char* search,
                    bool caseInsensitive, std::size_t partialLength, RecordBytes& found);

    // Text fields the coming findByScan calls will search: the locate cache keeps them all.
    void expectLocates(const std::vector<const FieldLayout*>& fields) { locateCache_.expect(fields); }

    // record: a full slot image; the system fields and auto-increment values are filled in.
    // durable: the files are synced so that the change survives a power cut once the call
    // returns.
    void insert(RecordBytes& record, bool durable = true);
    // Writes record over its slot, which must still hold the copy whose hash is expected.
    // owner: the cursor holding the slot's record lock, which the table write lock then spares.
    void update(const Digest& expected, RecordBytes& record, const void* owner = nullptr, bool durable = true);
    // Deletes the record in slot; compareHash false skips the check against expected.
    void erase(std::uint32_t slot, std::int32_t recordId, const Digest& expected, bool compareHash,
               bool durable = true);

    TableLocks& locks() { return *locks_; }

    // Internal: the data and index files, for checking them.
    DataFile& dataFile() { return data_; }
    IndexFile& indexFile() { return index_; }
    const Journal& journal() const { return journal_; }

private:
    // One changing operation: the table write lock (excluding readers), the caches brought up
    // to date under it, and the caches dropped when the change fails half-way. The table must
    // be open with its trees built; to write while opening, take TableLocks::WriteLock.
    class WriteScope;

    Table(Env& env, std::string name);
    // Reads both files' headers, replaying the journal first when writable, and makes the
    // index anew when it is missing, short or does not stand for the data file.
    // repair: under the write lock, so the journal is replayed and overlong files are cut.
    void loadFiles(std::unique_ptr<File> indexFile, bool writable, bool checking, bool repair = true);
    // Whether opening for writing has to replay the journal or make the index anew. Reads only.
    bool repairDueAtOpen(File* indexFile);
    // A new index file: with the descriptors of the index area given (the first 25088 bytes
    // of an index file), else with the primary index on RecordID alone; filled from the
    // records, in memory and then, when writable, over the file at indexPath_.
    void remakeIndexFile(std::vector<unsigned char> descriptors, std::unique_ptr<File> disk, bool writable);
    void reloadMemoryIndex();
    void buildTrees();
    void rebuildIndexes();
    // The start of every change, under the write lock: the journal ring is made where the
    // index file has none, and a change another process left unapplied is replayed.
    void beginChange();
    void commitChange(bool durable);
    // Files longer than their headers say end where the headers say.
    void cutOverlongFiles();
    // What a locate without an index looks for, and how a record is compared with it.
    struct ScanSearch {
        const std::vector<const FieldLayout*>& fields;
        const unsigned char* search;
        bool caseInsensitive;
        std::size_t partialLength;

        bool matches(const unsigned char* record) const;
        // How many leading characters of field i count.
        std::size_t limitOf(std::size_t i) const;
    };
    enum class CacheAnswer { Found, Missing, ReadOn };
    using RecordRef = std::pair<std::uint32_t, std::int32_t>; // slot, RecordID

    // The phases of findByScan: what the locate cache answers, then reading on from its end.
    CacheAnswer searchLocateCache(LocateCache& cache, const ScanSearch& s, RecordBytes& found);
    bool searchOnward(LocateCache* cache, const ScanSearch& s, RecordBytes& found);
    // Reads the records and calls f(slot, bytes) for each in the given order while it returns
    // true. 12036 for a slot that does not hold that record.
    template <typename F>
    void readInOrder(const std::vector<RecordRef>& records, F&& f);

    // The locate cache follows this process's complete changes instead of being dropped; each
    // runs last in the change it follows, and never throws.
    void keepLocateCacheOnInsert(const unsigned char* record) noexcept;
    void keepLocateCacheOnUpdate(const unsigned char* record) noexcept;
    void keepLocateCacheOnErase(std::uint32_t slot, std::int32_t recordId) noexcept;
    template <typename Change>
    void keepLocateCache(const unsigned char* record, std::uint32_t slot, std::int32_t recordId,
                         Change&& change) noexcept;
    bool primaryOnRecordIdAlone() const;
    RecordBytes primaryEntryOf(const unsigned char* record, std::uint32_t slot, std::int32_t recordId) const;
    // Where a record with this primary entry stands, or would stand, among those held.
    std::size_t locateCachePosition(const unsigned char* entry) const;
    // Whether the records the cache holds reach as far as this primary entry.
    bool locateCacheReaches(const unsigned char* entry) const;
    // 12036 unless the slot image is in use and holds that record.
    void checkSlot(const unsigned char* rec, std::uint32_t slot, std::int32_t recordId) const
    {
        if (rec[format::kSlotState] != format::kSlotInUse || format::get<std::uint32_t>(rec, format::kSlotLink) != slot
            || format::get<std::int32_t>(rec, format::kSlotRecordId) != recordId)
            invalid();
    }
    void checkRequired(const unsigned char* record) const;
    void checkUnique(const unsigned char* record, std::int32_t recordId, std::uint32_t slot);
    [[noreturn]] void invalid() const;

    Env& env_;
    std::string name_;
    std::shared_ptr<Database> database_;
    // Holds an index kept in memory when none can be written; outlives the files below.
    std::unique_ptr<Env> privateEnv_;
    // Memory indexes whose making failed part-way: the index may still hold a file of one.
    std::vector<std::unique_ptr<Env>> failedEnvs_;
    std::string indexPath_;
    Share share_ = Share::Shared;
    Journal journal_;
    DataFile data_;
    IndexFile index_;
    TableDefinition definition_;
    std::vector<std::unique_ptr<IndexKey>> keys_;
    std::vector<std::unique_ptr<BTree>> trees_;
    std::unique_ptr<TableLocks> locks_;
    bool readOnly_ = false;
    bool rebuilt_ = false;
    bool stale_ = false;
    bool othersWrote_ = false; // refresh() saw another's change since the last change made here
    // Moves with every change noticed from another process, or left half-done by this one.
    std::uint64_t generation_ = 0;
    // Room for the first bytes of four searched fields of 100,000 records.
    LocateCache locateCache_{8u << 20};
    std::vector<unsigned char> scanBuffer_;
    static constexpr std::uint32_t kScanBytes = 256u << 10;
    // A locate reads at most this much at a time: the run stays in the processor's cache
    // between the read and the look at each record.
    static constexpr std::uint32_t kRunBytes = 128u << 10;
    // Records a locate's cache holds before it takes room for the rest of the table.
    static constexpr std::size_t kReserveAfter = 4096;
    // Slots closer than this in a run are read through in one read.
    static constexpr std::uint32_t kGapBytes = 8u << 10;
    struct ReadGroup {
        std::uint32_t first;
        std::uint32_t last;
        std::size_t at; // in scanBuffer_
    };
    std::vector<std::size_t> runOrder_;
    std::vector<std::size_t> runOffsets_;
    std::vector<ReadGroup> runGroups_;

};

template <typename F>
void Table::scan(F&& f)
{
    const std::uint32_t length = recordLength();
    const std::uint32_t end = data_.nextSlot();
    // Runs of slots small enough to stay in the processor's cache between the read that fills
    // the buffer and the look at each slot.
    const std::uint32_t run = std::max<std::uint32_t>(1, kScanBytes / length);
    scanBuffer_.resize(std::size_t(run) * length);
    for (std::uint32_t first = 1; first < end; first += run) {
        const std::uint32_t count = std::min(run, end - first);
        data_.readSlots(first, count, scanBuffer_.data());
        for (std::uint32_t i = 0; i < count; ++i) {
            const unsigned char* slot = scanBuffer_.data() + std::size_t(i) * length;
            if (slot[format::kSlotState] == format::kSlotDeleted)
                continue;
            if (slot[format::kSlotState] != format::kSlotInUse
                || format::get<std::uint32_t>(slot, format::kSlotLink) != first + i)
                invalid();
            f(first + i, slot);
        }
    }
}

} // namespace fatura::engine
