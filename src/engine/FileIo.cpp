#include "FileIo.h"

#include "EngineError.h"

namespace fatura::engine::io {

void readExact(File& file, std::uint64_t offset, void* buffer, std::size_t n, const std::string& table)
{
    if (file.read(offset, buffer, n).bytes != n)
        throw EngineError::make(errc::ReadFailed, table);
}

void writeExact(File& file, std::uint64_t offset, const void* data, std::size_t n, const std::string& table)
{
    if (file.write(offset, data, n).bytes != n)
        throw EngineError::make(errc::WriteFailed, table);
}

std::uint64_t sizeOf(File& file, const std::string& table)
{
    std::uint64_t bytes = 0;
    if (file.size(bytes) != 0)
        throw EngineError::make(errc::ReadFailed, table);
    return bytes;
}

} // namespace fatura::engine::io
