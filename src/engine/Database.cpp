#include "Database.h"

#include "EngineError.h"
#include "Format.h"
#include "LockFile.h"
#include "Table.h"

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

bool endsWithDat(const std::string& name)
{
    return name.size() > 4 && name.compare(name.size() - 4, 4, ".dat") == 0;
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

void Database::openLockFile()
{
    const std::string path = folder_ + std::string(format::kLockFileName);
    FileAttributes attributes;
    if (env_.attributes(path, attributes) != 0) {
        std::unique_ptr<File> created;
        if (env_.open(path, Access::ReadWrite, Share::Shared, Disposition::CreateNew, created) != 0)
            return;
        lockfile::Contents contents;
        std::vector<std::string> names;
        env_.listFolder(folder_, names);
        for (const std::string& name : names) {
            if (endsWithDat(name) && contents.tables.size() < format::kMaxTables)
                contents.tables.push_back(name.substr(0, name.size() - 4));
        }
        const std::string bytes = lockfile::encode(contents);
        if (created->write(0, bytes.data(), bytes.size()).bytes != bytes.size() || created->sync() != 0)
            return;
        env_.setHidden(path);
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
    std::uint64_t size = 0;
    if (lockFile_->size(size) != 0 || size > 8 + format::kMaxTables * 256u)
        return false;
    std::string bytes(size, '\0');
    if (lockFile_->read(0, bytes.data(), bytes.size()).bytes != bytes.size())
        return false;
    lockfile::Contents contents;
    if (!lockfile::decode(bytes, contents))
        return false;
    for (const std::string& entered : contents.tables) {
        if (entered == name)
            return true;
    }
    if (contents.tables.size() >= format::kMaxTables)
        throw EngineError::make(errc::DatabaseFull, folder_);
    contents.tables.push_back(name);
    contents.counter = lockfile::nextCounter(contents.counter);
    bytes = lockfile::encode(contents);
    return lockFile_->write(0, bytes.data(), bytes.size()).bytes == bytes.size() && lockFile_->sync() == 0;
}

} // namespace fatura::engine
