#pragma once
// The in-memory object of one database folder: its lock file and the tables of the folder that
// this process has open. One object per (Env, folder) at a time, shared by the folder's tables
// and released with the last of them.

#include "Env.h"
#include "LockFile.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace fatura::engine {

class Table;

class Database : public std::enable_shared_from_this<Database> {
public:
    // The folder's object, made (with its lock file) when none is alive. folder ends with '/'.
    static std::shared_ptr<Database> get(Env& env, const std::string& folder);
    ~Database();

    // False when the lock file could neither be made nor opened: tables open read-only.
    bool lockFileUsable() const { return lockFile_ != nullptr; }

    // The open table of that name, or the table opened now. Engine error 11013 when it is open
    // exclusively, or exclusive use is asked while it is open. readOnly: the caller only reads;
    // a table opened so is opened again for the next caller that writes.
    std::shared_ptr<Table> table(const std::string& name, bool exclusive, bool readOnly = false);

    // Enters the table in the lock file unless it is there; a lock file that holds no valid
    // list (left empty or cut short by a crash, garbled) is written anew from the folder's
    // tables. Engine error 9480 when the lock file holds the most tables it can, 10221 or
    // 10223 when another process keeps it locked for too long; false when it cannot be read or
    // written.
    bool enter(const std::string& name);

private:
    Database(Env& env, std::string folder);
    void openLockFile();
    // The names of the folder's data files, in the folder's order, as a new lock file lists.
    lockfile::Contents initialContents(std::uint32_t counter);

    Env& env_;
    std::string folder_;
    std::unique_ptr<File> lockFile_;
    std::mutex lockFileMutex_;
    std::mutex tablesMutex_;
    struct OpenTable {
        std::weak_ptr<Table> table;
        bool exclusive = false;
        bool readOnly = false;
    };
    std::map<std::string, OpenTable> tables_;
};

} // namespace fatura::engine
