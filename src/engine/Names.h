#pragma once
// Table names and database folders as the engine turns them into file names.

#include <string>
#include <string_view>

namespace fatura::engine::names {

// The bare table name: without any folder part (after the last '/' or '\'), without a
// trailing ".dat" (any letter case), cut at a zero byte and to 60 characters. It never
// contains a separator, so the table's files always lie in the database folder itself.
std::string bareTableName(std::string_view name);

// The folder with a trailing '/'; an empty folder is the current one, "./".
std::string folderPath(std::string_view folder);

} // namespace fatura::engine::names
