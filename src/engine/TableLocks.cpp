#include "TableLocks.h"

#include "EngineError.h"

namespace fatura::engine {

void ProcessTableLocks::lockRecord(std::uint32_t slot, const void* owner)
{
    if (!records_.emplace(slot, owner).second)
        throw EngineError::make(errc::RecordLock, table_);
}

void ProcessTableLocks::unlockRecord(std::uint32_t slot, const void* owner) noexcept
{
    auto it = records_.find(slot);
    if (it != records_.end() && it->second == owner)
        records_.erase(it);
}

} // namespace fatura::engine
