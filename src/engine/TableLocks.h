#pragma once
// The locks a table takes around its changes: the record lock held from Edit to Post or
// Cancel, and the table write lock held during an insert, a change or a delete. This is the
// seam for locking between processes; the implementation here coordinates the cursors of this
// process only (processes sharing a table are not yet kept apart).

#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace fatura::engine {

class TableLocks {
public:
    virtual ~TableLocks() = default;
    // Engine error 10241 when the write lock cannot be had.
    virtual void lockTable() = 0;
    virtual void unlockTable() noexcept = 0;
    // Engine error 10258 when another cursor holds the record, or owner holds it already.
    virtual void lockRecord(std::uint32_t slot, const void* owner) = 0;
    virtual void unlockRecord(std::uint32_t slot, const void* owner) noexcept = 0;
};

// Record locks among the cursors of this process; the table write lock is always granted,
// since the engine is driven by one thread at a time per table.
class ProcessTableLocks final : public TableLocks {
public:
    explicit ProcessTableLocks(std::string table) : table_(std::move(table)) {}

    void lockTable() override {}
    void unlockTable() noexcept override {}
    void lockRecord(std::uint32_t slot, const void* owner) override;
    void unlockRecord(std::uint32_t slot, const void* owner) noexcept override;

private:
    std::string table_;
    std::map<std::uint32_t, const void*> records_;
};

} // namespace fatura::engine
