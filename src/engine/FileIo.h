#pragma once
// Whole reads and writes of a table file: fewer bytes than asked is engine error 9217 (read)
// or 9218 (write), whatever the operating system said.

#include "Env.h"

#include <cstdint>
#include <string>

namespace fatura::engine::io {

// table: the name the error carries (UTF-8).
void readExact(File& file, std::uint64_t offset, void* buffer, std::size_t n, const std::string& table);
void writeExact(File& file, std::uint64_t offset, const void* data, std::size_t n, const std::string& table);
std::uint64_t sizeOf(File& file, const std::string& table);

} // namespace fatura::engine::io
