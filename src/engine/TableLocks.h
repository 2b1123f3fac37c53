#pragma once
// The byte-range locks one process holds on a table's data file (offsets in Format.h): the
// record lock a cursor holds from Edit to Post or Cancel, the table write lock held during an
// insert, a change or a delete, and the reading lock that keeps readers and a writer apart.
//
// All cursors of the process on the table share one data File, and the locks of one File
// merge instead of conflicting. So the cursors' record locks are also kept here, and checked
// before the system is asked: two cursors of one process then conflict as two processes do,
// and releasing the write range leaves the record locks inside it in place.
//
// Waits go through Env::sleepMs. Used by one thread at a time, like the table it belongs to.

#include "Env.h"

#include <cstdint>
#include <map>
#include <string>

namespace fatura::engine {

class TableLocks {
public:
    // Attempts at a record or table lock: the first and 15 retries, 100 ms apart.
    static constexpr int kLockAttempts = 16;
    static constexpr unsigned kLockRetryMs = 100;
    // A reader waiting for a writer to finish (or a writer for the readers) tries this often,
    // this far apart: changes take microseconds, so the steps are short, and the whole wait
    // still covers a long rebuild of the indexes by another process.
    static constexpr int kReadingAttempts = 2500;
    static constexpr unsigned kReadingRetryMs = 2;

    // data must stay open as long as this object lives; table names the errors.
    TableLocks(Env& env, File& data, std::string table);
    TableLocks(const TableLocks&) = delete;
    TableLocks& operator=(const TableLocks&) = delete;

    // Engine error 10258 when owner holds the record already (at once) or when another cursor
    // or process holds it after every attempt.
    void lockRecord(std::uint32_t slot, const void* owner);
    void unlockRecord(std::uint32_t slot, const void* owner) noexcept;
    bool holdsRecord(std::uint32_t slot) const { return records_.count(slot) > 0; }

    // The table write lock, and with it the reading lock exclusively. Conflicts with the record
    // locks of every other process and of every cursor of this one except owner (the cursor
    // posting its own edit; null for none). Engine error 10241 when it cannot be had.
    void lockTable(const void* owner);
    void unlockTable() noexcept;
    bool holdsTable() const { return writing_; }

    // The reading lock, shared, for one reading operation; nests. Returns true for the
    // outermost hold, whose holder should bring its caches up to date. Engine error 10241 when
    // a writer of another process keeps it too long.
    bool lockReading();
    void unlockReading() noexcept;

    // The table write lock for a scope, for writes outside the changing operations (repairs
    // and rebuilds when a table is opened).
    class WriteLock {
    public:
        explicit WriteLock(TableLocks& locks, const void* owner = nullptr) : locks_(locks) { locks_.lockTable(owner); }
        ~WriteLock() { locks_.unlockTable(); }
        WriteLock(const WriteLock&) = delete;
        WriteLock& operator=(const WriteLock&) = delete;

    private:
        TableLocks& locks_;
    };

private:
    // Unlocks the write range (and the reading byte below it) except the bytes of the record
    // locks held in it.
    void releaseWriteRange(bool withReadingByte) noexcept;

    Env& env_;
    File& data_;
    std::string table_;
    std::map<std::uint32_t, const void*> records_; // slot -> the cursor holding it
    bool writing_ = false;
    int readers_ = 0; // nesting depth of this process's reading locks
};

} // namespace fatura::engine
