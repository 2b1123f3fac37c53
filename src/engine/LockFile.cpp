#include "LockFile.h"

#include "Format.h"

namespace fatura::engine::lockfile {

std::string encode(const Contents& contents)
{
    std::string list;
    for (const std::string& name : contents.tables) {
        const std::size_t length = std::min<std::size_t>(name.size(), 255);
        list.push_back(static_cast<char>(length));
        list.append(name, 0, length);
    }
    std::string bytes(8, '\0');
    format::put<std::uint32_t>(bytes.data(), 0, contents.counter);
    format::put<std::uint32_t>(bytes.data(), 4, static_cast<std::uint32_t>(list.size() + 4));
    return bytes + list;
}

bool decode(const std::string& bytes, Contents& contents)
{
    if (bytes.size() < 8)
        return false;
    contents.counter = format::get<std::uint32_t>(bytes.data(), 0);
    const std::uint32_t m = format::get<std::uint32_t>(bytes.data(), 4);
    if (m < 4 || m - 4 > bytes.size() - 8)
        return false;
    contents.tables.clear();
    std::size_t at = 8;
    const std::size_t end = 8 + (m - 4);
    while (at < end) {
        const std::size_t length = static_cast<unsigned char>(bytes[at]);
        if (at + 1 + length > end || contents.tables.size() >= format::kMaxTables)
            return false;
        contents.tables.emplace_back(bytes, at + 1, length);
        at += 1 + length;
    }
    return true;
}

std::uint32_t nextCounter(std::uint32_t counter)
{
    return counter >= static_cast<std::uint32_t>(format::kMaxCounter) ? 1 : counter + 1;
}

} // namespace fatura::engine::lockfile
