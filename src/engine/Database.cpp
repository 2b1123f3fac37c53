#include "Database.h"

#include "EngineError.h"
#include "Format.h"
#include "LockFile.h"
#include "Table.h"

#include <algorithm>
#include <cerrno>
#include <utility>

namespace fatura::engine {

namespace {

std::mutex registryMutex;
std::map<std::pair<Env*, std::string>, std::weak_ptr<Database>>& registry()
{
    static auto* databases = new std::map<std::pair<Env*, std::string>, std::weak_ptr<Database>>;
    return *databases;
}

constexpr int kLockFileAttempts = 11;
constexpr unsigned kLockFileRetryMs = 100;
// Reading or writing the lock file takes moments; its guard byte is tried again this often
// after the first attempt.
constexpr int kGuardAttempts = 1 + 32768;
constexpr unsigned kGuardRetryMs = 3;
// The most a lock file can hold: its two counts and 4096 names of 255 characters.
constexpr std::uint64_t kMaxLockFileBytes = 8 + std::uint64_t(format::kMaxTables) * 256;

bool endsWithDat(const std::string& name)
{
    return name.size() > 4 && name.compare(name.size() - 4, 4, ".dat") == 0;
}

// The guard byte of the lock file, held for one read or write of the whole file: engine error
// 10221 (reading) or 10223 (writing) when it cannot be had.
class LockFileGuard {
public:
    LockFileGuard(Env& env, File& file, LockKind kind, const std::string& folder) : file_(file)
    {
        for (int attempt = 0; attempt < kGuardAttempts; ++attempt) {
            if (attempt > 0)
                env.sleepMs(kGuardRetryMs);
            const OsError e = file.lock(format::kLockFileGuardByte, 1, kind);
            if (e == 0)
                return;
            if (e != EAGAIN)
                break;
        }
        throw EngineError::make(kind == LockKind::Shared ? errc::LockFileReadLock : errc::LockFileWriteLock, folder);
    }
    ~LockFileGuard() { file_.unlock(format::kLockFileGuardByte, 1); }
    LockFileGuard(const LockFileGuard&) = delete;
    LockFileGuard& operator=(const LockFileGuard&) = delete;

private:
    File& file_;
};

enum class ReadResult { Read, Unreadable, Failed };

// Unreadable: the bytes are no lock file (cut short by a crash, garbled, too many tables).
ReadResult readContents(File& file, lockfile::Contents& contents)
{
    std::uint64_t size = 0;
    if (file.size(size) != 0)
        return ReadResult::Failed;
    std::string bytes(std::min(size, kMaxLockFileBytes), '\0');
    if (file.read(0, bytes.data(), bytes.size()).bytes != bytes.size())
        return ReadResult::Failed;
    return lockfile::decode(bytes, contents) ? ReadResult::Read : ReadResult::Unreadable;
}

bool contains(const lockfile::Contents& contents, const std::string& name)
{
    return std::find(contents.tables.begin(), contents.tables.end(), name) != contents.tables.end();
}

bool writeWhole(File& file, const lockfile::Contents& contents)
{
    const std::string bytes = lockfile::encode(contents);
    return file.write(0, bytes.data(), bytes.size()).bytes == bytes.size() && file.sync() == 0;
}

} // namespace

std::shared_ptr<Database> Database::get(Env& env, const std::string& folder)
{
    std::lock_guard guard(registryMutex);
    auto& databases = registry();
    std::erase_if(databases, [](const auto& entry) { return entry.second.expired(); });
    const auto key = std::make_pair(&env, folder);
    if (auto alive = databases[key].lock())
        return alive;
    std::shared_ptr<Database> database(new Database(env, folder));
    database->openLockFile();
    databases[key] = database;
    return database;
}

Database::Database(Env& env, std::string folder) : env_(env), folder_(std::move(folder)) {}

Database::~Database() = default;

lockfile::Contents Database::initialContents(std::uint32_t counter)
{
    lockfile::Contents contents;
    contents.counter = counter;
    std::vector<std::string> names;
    env_.listFolder(folder_, names);
    for (const std::string& name : names) {
        if (endsWithDat(name) && contents.tables.size() < format::kMaxTables)
            contents.tables.push_back(name.substr(0, name.size() - 4));
    }
    return contents;
}

void Database::openLockFile()
{
    const std::string path = folder_ + std::string(format::kLockFileName);
    FileAttributes attributes;
    if (env_.attributes(path, attributes) != 0) {
        std::unique_ptr<File> created;
        const OsError e = env_.open(path, Access::ReadWrite, Share::Shared, Disposition::CreateNew, created);
        if (e == 0) {
            // Another process may open the new, still empty file before it is written; it
            // then finds no lock file in it and writes one itself, as after a crash.
            try {
                LockFileGuard writing(env_, *created, LockKind::Exclusive, folder_);
                lockfile::Contents contents;
                if (readContents(*created, contents) != ReadResult::Read && !writeWhole(*created, initialContents(1)))
                    return;
            } catch (const EngineError&) {
                // Whoever holds the new file's guard is writing it.
            }
            env_.setHidden(path);
        } else if (e != EEXIST) {
            return;
        }
    }
    for (int attempt = 0; attempt < kLockFileAttempts; ++attempt) {
        if (attempt > 0)
            env_.sleepMs(kLockFileRetryMs);
        std::unique_ptr<File> file;
        if (env_.open(path, Access::ReadWrite, Share::Shared, Disposition::OpenExisting, file) == 0) {
            lockFile_ = std::move(file);
            return;
        }
    }
}

std::shared_ptr<Table> Database::table(const std::string& name, bool exclusive, bool readOnly)
{
    std::lock_guard guard(tablesMutex_);
    auto it = tables_.find(name);
    if (it != tables_.end()) {
        if (auto open = it->second.table.lock()) {
            if (it->second.exclusive || exclusive)
                throw EngineError::make(errc::AccessDenied, name);
            // One opened only for reading cannot serve a writer; the writer gets its own,
            // which the reader's notices through the change counter as if another process.
            if (!it->second.readOnly || readOnly)
                return open;
        }
    }
    std::shared_ptr<Table> opened = Table::open(env_, shared_from_this(), folder_, name, exclusive, readOnly);
    tables_[name] = {opened, exclusive, readOnly};
    return opened;
}

bool Database::enter(const std::string& name)
{
    std::lock_guard guard(lockFileMutex_);
    if (!lockFile_)
        return false;
    lockfile::Contents contents;
    {
        LockFileGuard reading(env_, *lockFile_, LockKind::Shared, folder_);
        const ReadResult read = readContents(*lockFile_, contents);
        if (read == ReadResult::Failed)
            return false;
        if (read == ReadResult::Read && contains(contents, name))
            return true;
    }
    // Read again under the write lock: another process may have entered tables meanwhile.
    LockFileGuard writing(env_, *lockFile_, LockKind::Exclusive, folder_);
    const ReadResult read = readContents(*lockFile_, contents);
    if (read == ReadResult::Failed)
        return false;
    if (read == ReadResult::Unreadable) {
        // Left empty or cut short by a crash, or garbled: nothing but the list of names is
        // lost, and no lock depends on a table's place in it, so it is written anew.
        std::uint32_t counter = 0;
        if (lockFile_->read(0, &counter, sizeof counter).bytes != sizeof counter)
            counter = 0;
        contents = initialContents(lockfile::nextCounter(counter));
        if (!contains(contents, name) && contents.tables.size() >= format::kMaxTables)
            throw EngineError::make(errc::DatabaseFull, folder_);
        if (!contains(contents, name))
            contents.tables.push_back(name);
        return writeWhole(*lockFile_, contents);
    }
    if (contains(contents, name))
        return true;
    if (contents.tables.size() >= format::kMaxTables)
        throw EngineError::make(errc::DatabaseFull, folder_);
    contents.tables.push_back(name);
    contents.counter = lockfile::nextCounter(contents.counter);
    return writeWhole(*lockFile_, contents);
}

} // namespace fatura::engine
