#include "TableLocks.h"

#include "EngineError.h"
#include "Format.h"

#include <cerrno>

namespace fatura::engine {

using namespace format;

namespace {

std::uint64_t recordByte(std::uint32_t slot)
{
    return kRecordLockBase - slot;
}

} // namespace

TableLocks::TableLocks(Env& env, File& data, std::string table) : env_(env), data_(data), table_(std::move(table)) {}

void TableLocks::lockRecord(std::uint32_t slot, const void* owner)
{
    if (slot == 0 || slot > kWriteLockLength)
        throw EngineError::make(errc::RecordLock, table_);
    auto held = records_.find(slot);
    if (held != records_.end() && held->second == owner)
        throw EngineError::make(errc::RecordLock, table_);
    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
        if (attempt > 0)
            env_.sleepMs(kLockRetryMs);
        // Another cursor of this process, or this process writing: the system would grant
        // the byte, as the locks of one File merge.
        if (records_.count(slot) || writing_)
            continue;
        const OsError e = data_.lock(recordByte(slot), 1, LockKind::Exclusive);
        if (e == 0) {
            records_.emplace(slot, owner);
            return;
        }
        if (e != EAGAIN)
            break;
    }
    throw EngineError::make(errc::RecordLock, table_);
}

void TableLocks::unlockRecord(std::uint32_t slot, const void* owner) noexcept
{
    auto it = records_.find(slot);
    if (it == records_.end() || it->second != owner)
        return;
    records_.erase(it);
    // While this process writes, the byte is part of the write range and stays locked until
    // that is released.
    if (!writing_)
        data_.unlock(recordByte(slot), 1);
}

void TableLocks::lockTable(const void* owner)
{
    if (writing_)
        throw EngineError::make(errc::TableLock, table_);
    auto othersHoldRecords = [&] {
        for (const auto& [slot, holder] : records_) {
            if (holder != owner)
                return true;
        }
        return false;
    };
    // Mostly nobody is in the way: the reading byte lies just below the write range, and one
    // call takes both. Otherwise each is waited for by its own rule.
    if (!othersHoldRecords()
        && data_.lock(kReadingByte, kWriteLockLength + 1, LockKind::Exclusive) == 0) {
        writing_ = true;
        return;
    }
    bool locked = false;
    for (int attempt = 0; attempt < kLockAttempts && !locked; ++attempt) {
        if (attempt > 0)
            env_.sleepMs(kLockRetryMs);
        if (othersHoldRecords())
            continue;
        const OsError e = data_.lock(kWriteLockStart, kWriteLockLength, LockKind::Exclusive);
        if (e == 0)
            locked = true;
        else if (e != EAGAIN)
            break;
    }
    if (!locked)
        throw EngineError::make(errc::TableLock, table_);
    // Readers of other processes finish the operation they are in; new ones wait for this
    // change to be written whole.
    for (int attempt = 0; attempt < kReadingAttempts; ++attempt) {
        if (attempt > 0)
            env_.sleepMs(kReadingRetryMs);
        const OsError e = data_.lock(kReadingByte, 1, LockKind::Exclusive);
        if (e == 0) {
            writing_ = true;
            return;
        }
        if (e != EAGAIN)
            break;
    }
    releaseWriteRange(false);
    throw EngineError::make(errc::TableLock, table_);
}

void TableLocks::unlockTable() noexcept
{
    if (!writing_)
        return;
    writing_ = false;
    // A reading operation of this process around the change keeps its shared hold: turning
    // the lock back to shared never leaves the byte free for a writer to slip in.
    if (readers_ > 0)
        data_.lock(kReadingByte, 1, LockKind::Shared);
    releaseWriteRange(readers_ == 0);
}

void TableLocks::releaseWriteRange(bool withReadingByte) noexcept
{
    // Record bytes lie at falling offsets for rising slots: walk the held slots from the
    // highest, which is the lowest byte, upward through the range.
    std::uint64_t from = withReadingByte ? kReadingByte : kWriteLockStart;
    for (auto it = records_.rbegin(); it != records_.rend(); ++it) {
        const std::uint64_t byte = recordByte(it->first);
        if (byte > from)
            data_.unlock(from, byte - from);
        from = byte + 1;
    }
    if (kRecordLockBase > from)
        data_.unlock(from, kRecordLockBase - from);
}

bool TableLocks::lockReading()
{
    if (readers_ > 0 || writing_) {
        ++readers_;
        return readers_ == 1;
    }
    for (int attempt = 0; attempt < kReadingAttempts; ++attempt) {
        if (attempt > 0)
            env_.sleepMs(kReadingRetryMs);
        const OsError e = data_.lock(kReadingByte, 1, LockKind::Shared);
        // A file system without byte-range locks leaves readers unguarded rather than
        // unable to read at all.
        if (e == 0 || e != EAGAIN) {
            ++readers_;
            return true;
        }
    }
    throw EngineError::make(errc::TableLock, table_);
}

void TableLocks::unlockReading() noexcept
{
    if (readers_ == 0)
        return;
    if (--readers_ == 0 && !writing_)
        data_.unlock(kReadingByte, 1);
}

} // namespace fatura::engine
