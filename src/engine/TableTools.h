#pragma once
// Table files outside the cursor: making a new table and checking an existing one.

#include "Env.h"
#include "TableDefinition.h"

#include <string>
#include <vector>

namespace fatura::engine {

// The first reason the engine cannot store a table of this definition, or empty when it can:
// field and index counts and sizes, names, key field numbers, the record length limit.
std::string checkDefinition(const TableDefinition& definition);

// Writes the files of a new, empty table (data file and index file) into folder. The table
// name follows the rules of Cursor::open. Never overwrites: when either file exists the call
// fails with engine error 11013 and changes nothing. A definition that checkDefinition
// refuses throws std::invalid_argument with that reason. env: Env::defaultEnv() when null.
void createTable(const std::string& folder, const std::string& tableName,
                 const TableDefinition& definition, Env* env = nullptr);

// Checks every invariant of the table's files without changing them: headers and descriptors,
// file lengths against the header, the record count, the free slot chain, each slot's number,
// hash and value encodings, the index pages' structure and order, and that each index holds
// exactly the records in use. Returns one line of text (UTF-8) per fault; empty when sound.
// A table that cannot be opened at all gives one fault with the engine error's text.
std::vector<std::string> verifyTable(const std::string& folder, const std::string& tableName,
                                     Env* env = nullptr);

} // namespace fatura::engine
