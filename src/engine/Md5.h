#pragma once
// MD5 digests (RFC 1321) for the table signature and the record hashes.

#include <array>
#include <cstddef>
#include <cstdint>

namespace fatura::engine {

using Digest = std::array<unsigned char, 16>;

Digest md5(const void* data, std::size_t length);

} // namespace fatura::engine
