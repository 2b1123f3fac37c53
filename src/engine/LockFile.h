#pragma once
// The contents of the folder's lock file (layout in Format.h).

#include <cstdint>
#include <string>
#include <vector>

namespace fatura::engine::lockfile {

struct Contents {
    std::uint32_t counter = 1;
    std::vector<std::string> tables; // slot n is tables[n - 1]
};

std::string encode(const Contents& contents);
// false for bytes that are not a lock file: a length beyond the bytes, an entry running past
// the list, more tables than a lock file holds.
bool decode(const std::string& bytes, Contents& contents);
// The counter after a write: 2147483647 is followed by 1.
std::uint32_t nextCounter(std::uint32_t counter);

} // namespace fatura::engine::lockfile
