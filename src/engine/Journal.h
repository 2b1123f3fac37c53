#pragma once
// The journal that makes every change of a table atomic and, when asked, durable.
//
// A change (insert, post of an edit, delete) first gathers all the bytes it would write to the
// data file and the index file. They go as one record into the journal ring, a run of pages of
// the index file that no index uses, and only then to their places in the two files. A change
// cut short before its record is whole left the files untouched; one cut short after it is
// replayed from the record the next time the table is opened for writing. With syncing, the
// index file is synced once the record is written, so a change that returned survives a power
// cut as well: the writes in place need no sync of their own until the ring is full, when a
// checkpoint syncs both files and starts the ring again. Layout of the ring and of its header
// fields: Format.h.
//
// Every call that touches a file must run under the table write lock.

#include "Env.h"
#include "Format.h"

#include <cstdint>
#include <string>
#include <vector>

namespace fatura::engine {

enum class TableFile : std::uint8_t { Data = 0, Index = 1 };

class Journal {
public:
    explicit Journal(std::string table) : table_(std::move(table)) {}

    // Replays into the files the records the ring holds after its last checkpoint, then
    // checkpoints, before either file is loaded (a replay may be what makes the data file as
    // long as its header says). A file whose header is not an index file's is left to the
    // checks of loading. Engine error 8961 when the journal header fields are damaged.
    static void recover(File& data, File& index, const std::string& table);

    // Reads the journal header fields of a loaded index file and finds the end of the ring's
    // records. Reads only.
    void load(File& index);
    // No ring, as in a table made elsewhere or an index kept in memory.
    void reset();

    bool present() const { return fields_.present; }
    std::uint64_t ringOffset() const { return fields_.offset; }
    std::uint32_t ringBytes() const { return fields_.bytes; }
    // The last rebuild of the index did not finish.
    bool rebuilding() const { return fields_.rebuilding; }
    // The data file's change counter the index and the ring stand for; any other value in the
    // data file means the index was not written with it.
    std::uint32_t expectedDataCounter() const { return lastCounter_; }

    // The header fields of a new ring at offset (ringBytes long) in header, a 512-byte index
    // header image; the ring starts empty and stands for the data counter given.
    void install(unsigned char* header, std::uint64_t offset, std::uint32_t ringBytes, std::uint32_t dataCounter,
                 bool rebuilding);
    // The ring size for a table of this record length, index count and page size: room for the
    // largest change many times over, a whole number of pages.
    static std::uint32_t ringBytesFor(std::uint32_t recordLength, std::size_t indexes, std::uint32_t pageSize);

    // Gathering the writes of one change. Reads the header fields again first, as another
    // process may have checkpointed or appended since; othersWrote: the table is known to have
    // been changed by someone else since this object last looked.
    void begin(File& index, bool othersWrote);
    bool gathering() const { return gathering_; }
    void add(TableFile file, std::uint64_t offset, const void* bytes, std::size_t n);
    void abandon();
    // Writes the record (syncing the index file when durable), then the gathered writes to
    // their places. dataCounter: the data file's change counter once the change is made.
    // Returns false when the change is in the journal but could not all be put in place.
    bool commit(File& data, File& index, std::uint32_t dataCounter, bool durable);
    // Syncs both files when a record since the last checkpoint was written durably (or
    // always, with forceSync), and empties the ring; ends a rebuild.
    void checkpoint(File& data, File& index, bool forceSync = false);
    // Records since the last checkpoint: a closing table checkpoints when there are any.
    bool empty() const { return position_ == 0; }

private:
    struct Scan {
        std::uint64_t end = 0;
        std::uint32_t nextSeq = 0;
        std::uint32_t lastCounter = 0;
        std::size_t records = 0;
    };
    struct Fields {
        bool present = false;
        std::uint64_t offset = 0;
        std::uint32_t bytes = 0;
        std::uint32_t firstSeq = 0;
        std::uint32_t stamp = 0;
        bool rebuilding = false;
    };
    // The header fields from a 512-byte index header image; false when damaged.
    static bool decode(const unsigned char* header, Fields& fields);
    static void encode(const Fields& fields, unsigned char* header);
    // Walks the whole records after the checkpoint, calling apply for each when given.
    static Scan scan(File& index, const Fields& fields, File* replayData, File* replayIndex, const std::string& table);
    static void apply(const std::vector<unsigned char>& record, File& data, File& index, const std::string& table);
    void writeFields(File& index);
    // The header field bytes as last read or written, to notice cheaply that another process
    // changed them.
    void remember(const unsigned char* header);
    [[noreturn]] void writeFailed() const;

    std::string table_;
    Fields fields_;
    unsigned char fieldBytes_[format::kJnEnd - format::kJnMagic] = {};
    bool fieldsKnown_ = false;
    std::uint64_t position_ = 0; // where the next record goes, from the ring's start
    std::uint32_t nextSeq_ = 1;
    std::uint32_t lastCounter_ = 0;
    bool durableSinceCheckpoint_ = false;

    bool gathering_ = false;
    std::vector<unsigned char> record_; // the record being gathered, from its header on
    std::size_t items_ = 0;
};

} // namespace fatura::engine
