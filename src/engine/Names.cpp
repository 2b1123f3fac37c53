#include "Names.h"

namespace fatura::engine::names {

std::string bareTableName(std::string_view name)
{
    name = name.substr(0, name.find('\0'));
    const auto separator = name.find_last_of("/\\");
    if (separator != std::string_view::npos)
        name.remove_prefix(separator + 1);
    if (name.size() >= 4) {
        const std::string_view tail = name.substr(name.size() - 4);
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
        if (tail[0] == '.' && lower(tail[1]) == 'd' && lower(tail[2]) == 'a' && lower(tail[3]) == 't')
            name.remove_suffix(4);
    }
    return std::string(name.substr(0, 60));
}

std::string folderPath(std::string_view folder)
{
    std::string path(folder.empty() ? std::string_view(".") : folder);
    if (path.back() != '/')
        path.push_back('/');
    return path;
}

} // namespace fatura::engine::names
