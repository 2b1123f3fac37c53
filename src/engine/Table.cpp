#include "Table.h"

#include "Cp1254.h"
#include "Database.h"
#include "EngineError.h"
#include "MemEnv.h"

#include <algorithm>
#include <cerrno>
#include <exception>
#include <numeric>

namespace fatura::engine {

using namespace format;

namespace {

// Opens a table file for reading and writing, or for reading only when it carries the
// read-only attribute, when only that succeeds, or when readOnlyWanted.
std::unique_ptr<File> openTableFile(Env& env, const std::string& path, Share share, bool readOnlyWanted,
                                    const std::string& table, bool& readOnly)
{
    FileAttributes attributes;
    if (env.attributes(path, attributes) != 0)
        throw EngineError::make(errc::NotFound, table);
    readOnly = readOnlyWanted || attributes.readOnly;
    std::unique_ptr<File> file;
    OsError error = env.open(path, readOnly ? Access::ReadOnly : Access::ReadWrite, share, Disposition::OpenExisting, file);
    // Only a file that may not be written is opened for reading instead: one held by another
    // process (a sharing violation) stays refused, or exclusive use would quietly become
    // shared reading.
    if ((error == EACCES || error == EPERM || error == EROFS) && !readOnly) {
        error = env.open(path, Access::ReadOnly, share, Disposition::OpenExisting, file);
        readOnly = error == 0;
    }
    if (error != 0)
        throw EngineError::fromOsError(error, table);
    return file;
}

std::int32_t nextCounterValue(std::int32_t last)
{
    return last >= kMaxCounter ? 1 : last + 1;
}

} // namespace

class Table::WriteScope {
public:
    explicit WriteScope(Table& table, const void* owner = nullptr)
        : table_(table), exceptions_(std::uncaught_exceptions())
    {
        if (table.readOnly_)
            throw EngineError::make(errc::AccessDenied, table.name_);
        // The generation is not moved here: refresh() moves it when another process or a
        // failed change of ours altered the table, and our own changes keep the locate cache
        // up to date themselves.
        table.locks_->lockTable(owner);
        try {
            table.refresh();
        } catch (...) {
            table.locks_->unlockTable();
            throw;
        }
    }

    // A change that failed half-way leaves the files as far as it got; the caches then
    // describe neither, so everything is read again.
    ~WriteScope()
    {
        if (std::uncaught_exceptions() > exceptions_) {
            table_.stale_ = true;
            table_.data_.dropCache();
            table_.index_.dropCache();
        }
        table_.locks_->unlockTable();
    }

private:
    Table& table_;
    int exceptions_;
};

Table::ReadScope::ReadScope(Table& table) : table_(table)
{
    if (!table.locks_->lockReading())
        return;
    try {
        table.refresh();
    } catch (...) {
        table.locks_->unlockReading();
        throw;
    }
}

Table::ReadScope::~ReadScope()
{
    table_.locks_->unlockReading();
}

Table::Table(Env& env, std::string name) : env_(env), name_(std::move(name)), data_(name_), index_(name_) {}

Table::~Table() = default;

void Table::invalid() const
{
    throw EngineError::make(errc::NotValid, name_);
}

std::shared_ptr<Table> Table::open(Env& env, std::shared_ptr<Database> database, const std::string& folder,
                                   const std::string& name, bool exclusive)
{
    std::shared_ptr<Table> table(new Table(env, name));
    const bool checking = database == nullptr;
    table->database_ = std::move(database);
    const Share share = exclusive ? Share::Exclusive : Share::Shared;
    const std::string base = folder + name;

    bool dataReadOnly = false;
    table->data_.attach(openTableFile(env, base + ".dat", share, checking, name, dataReadOnly));
    table->locks_ = std::make_unique<TableLocks>(env, table->data_.file(), name);
    table->data_.load();
    const bool indexReadOnly = table->openIndex(base + ".idx", share, checking);
    const bool filesReadOnly = dataReadOnly || indexReadOnly;
    table->readOnly_ = filesReadOnly;
    table->buildTrees();

    if (!checking) {
        Database& db = *table->database_;
        if (!db.lockFileUsable())
            table->readOnly_ = true;
        else if (!exclusive && !filesReadOnly && !db.enter(name))
            table->readOnly_ = true;
        if (table->rebuilt_ && !dataReadOnly) {
            // Another process may have the table open already and be about to read or write.
            TableLocks::WriteLock writing(*table->locks_);
            table->rebuildIndexes();
        } else if (table->rebuilt_) {
            table->rebuildIndexes();
        }
    }
    return table;
}

// Returns whether the index file could only be had for reading.
bool Table::openIndex(const std::string& path, Share share, bool checking)
{
    try {
        bool readOnly = false;
        index_.attach(openTableFile(env_, path, share, checking, name_, readOnly));
        index_.load(static_cast<int>(data_.fields().fields.size()), data_.pageSize());
        return readOnly;
    } catch (const EngineError& e) {
        if (checking || (e.code() != errc::NotFound && e.code() != errc::ReadFailed))
            throw;
    }
    index_.attach(nullptr);
    rebuilt_ = true;
    return createIndexFile(path, share);
}

// A fresh index file with the primary index on RecordID. When none can be written in the
// folder the table still opens, read-only, with the index kept in memory.
bool Table::createIndexFile(const std::string& path, Share share)
{
    std::unique_ptr<File> file;
    bool readOnly = false;
    if (env_.open(path, Access::ReadWrite, share, Disposition::CreateAlways, file) != 0) {
        privateEnv_ = std::make_unique<MemEnv>();
        if (privateEnv_->open("index", Access::ReadWrite, Share::Shared, Disposition::CreateAlways, file) != 0)
            throw EngineError::make(errc::OutOfMemory, name_);
        readOnly = true;
    }
    IndexDef primary;
    primary.keyFields = {kRecordIdField};
    primary.keyDescending = {false};
    primary.unique = true;
    IndexFile::writeNew(*file, primary, {}, name_);
    index_.attach(std::move(file));
    index_.load(static_cast<int>(data_.fields().fields.size()), data_.pageSize());
    return readOnly;
}

void Table::buildTrees()
{
    trees_.clear();
    keys_.clear();
    definition_ = data_.fields();
    const auto& stored = index_.indexes();
    for (std::size_t k = 0; k < stored.size(); ++k) {
        keys_.push_back(std::make_unique<IndexKey>(stored[k].def, data_.layout()));
        const std::uint32_t usable = data_.pageSize() - kPgEntries;
        if (usable / (keys_.back()->entrySize() + 4) < kMinEntriesPerPage)
            invalid();
        trees_.push_back(std::make_unique<BTree>(index_, k, *keys_.back()));
        if (k == 0)
            definition_.primaryIndex = stored[k].def;
        else
            definition_.secondaryIndexes.push_back(stored[k].def);
    }
}

void Table::rebuildIndexes()
{
    std::vector<std::vector<unsigned char>> entries(trees_.size());
    std::size_t count = 0;
    scan([&](std::uint32_t slot, const unsigned char* bytes) {
        const auto recordId = get<std::int32_t>(bytes, kSlotRecordId);
        for (std::size_t k = 0; k < trees_.size(); ++k) {
            std::vector<unsigned char>& flat = entries[k];
            const std::size_t size = keys_[k]->entrySize();
            flat.resize(flat.size() + size);
            keys_[k]->build(bytes, recordId, slot, flat.data() + flat.size() - size);
        }
        ++count;
    });
    std::vector<std::uint32_t> order(count);
    for (std::size_t k = 0; k < trees_.size(); ++k) {
        const IndexKey& key = *keys_[k];
        const unsigned char* flat = entries[k].data();
        const std::size_t size = key.entrySize();
        std::iota(order.begin(), order.end(), 0u);
        std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
            return key.compare(flat + a * size, flat + b * size) < 0;
        });
        for (std::size_t i = 0; i < count; ++i) {
            trees_[k]->insert(flat + order[i] * size);
            // Written pages stay cached but clean, so the cache can be kept within bounds.
            if (i % 4096 == 4095) {
                index_.flush();
                index_.trim();
            }
        }
        std::vector<unsigned char>().swap(entries[k]);
    }
    index_.flush();
    index_.trim();
}

void Table::refresh()
{
    data_.trimCache();
    index_.trim();
    if (!stale_ && !data_.changedOnDisk() && !index_.changedOnDisk())
        return;
    stale_ = true;
    ++generation_;
    data_.reloadHeader();
    index_.reload();
    buildTrees();
    stale_ = false;
}

TableStats Table::stats()
{
    ReadScope reading(*this);
    TableStats s;
    s.recordCount = data_.recordCount();
    s.nextSlot = data_.nextSlot();
    s.freeSlotHead = data_.freeHead();
    s.lastRecordId = data_.lastRecordId();
    s.lastAutoIncrement = data_.lastAutoIncrement();
    s.recordLength = static_cast<std::uint16_t>(data_.recordLength());
    s.changeCounter = data_.changeCounter();
    s.indexPageSize = data_.pageSize();
    s.indexPages = index_.nextPage() - 1;
    return s;
}

std::uint32_t Table::recordCount()
{
    ReadScope reading(*this);
    return data_.recordCount();
}

const unsigned char* Table::record(std::uint32_t slot, std::int32_t recordId)
{
    const unsigned char* r = data_.readSlot(slot);
    if (r[kSlotState] != kSlotInUse || get<std::uint32_t>(r, kSlotLink) != slot
        || get<std::int32_t>(r, kSlotRecordId) != recordId)
        invalid();
    return r;
}

const unsigned char* Table::peek(std::uint32_t slot)
{
    if (slot == 0 || slot >= data_.nextSlot())
        return nullptr;
    return data_.readSlot(slot);
}

void Table::checkRequired(const unsigned char* record) const
{
    const auto& fields = data_.layout().fields;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (definition_.fields[i].required && record::isNull(record, fields[i]))
            throw EngineError::requiredValue(cp1254::toUtf8(definition_.fields[i].name), name_);
    }
}

void Table::checkUnique(const unsigned char* record, std::int32_t recordId, std::uint32_t slot)
{
    for (std::size_t k = 0; k < trees_.size(); ++k) {
        if (!keys_[k]->definition().unique)
            continue;
        const RecordBytes entry = keys_[k]->build(record, recordId, slot);
        if (trees_[k]->hasOtherWithKey(entry.data(), recordId))
            throw EngineError::duplicateKey(cp1254::toUtf8(keys_[k]->definition().name), name_);
    }
}

void Table::insert(RecordBytes& record)
{
    WriteScope scope(*this);
    const std::uint32_t length = recordLength();

    std::uint32_t slot = data_.freeHead();
    std::uint32_t nextFree = 0;
    if (slot != 0) {
        const unsigned char* freed = data_.readSlot(slot);
        nextFree = get<std::uint32_t>(freed, kSlotLink);
        if (freed[kSlotState] != kSlotDeleted || nextFree >= data_.nextSlot() || nextFree == slot)
            invalid();
    } else {
        slot = data_.nextSlot();
        if (slot - 1 >= kMaxSlots || data_.slotOffset(slot) + length > kMaxDataFileBytes)
            throw EngineError::make(errc::TableFull, name_);
    }

    const std::int32_t recordId = nextCounterValue(data_.lastRecordId());
    // A value the engine hands out becomes the new last value even when it wrapped round to 1;
    // keeping the larger one instead would hand out 1 again forever after the wrap.
    std::int32_t lastAutoInc = data_.lastAutoIncrement();
    const std::int32_t assigned = nextCounterValue(lastAutoInc);
    std::vector<std::int32_t> given;
    bool anyAssigned = false;
    for (const FieldLayout& f : data_.layout().fields) {
        if (f.kind != FieldKind::AutoIncrement)
            continue;
        if (record::isNull(record.data(), f)) {
            record::setInteger(record.data(), f, assigned);
            anyAssigned = true;
        } else {
            given.push_back(record::integer(record.data(), f));
        }
    }
    if (anyAssigned)
        lastAutoInc = assigned;
    for (const std::int32_t value : given)
        lastAutoInc = std::max(lastAutoInc, value);

    checkRequired(record.data());
    checkUnique(record.data(), recordId, slot);

    record[kSlotState] = kSlotInUse;
    put<std::uint32_t>(record.data(), kSlotLink, slot);
    put<std::int32_t>(record.data(), kSlotRecordId, recordId);
    const Digest digest = record::hash(record.data(), length);
    std::copy(digest.begin(), digest.end(), record.begin() + kSlotHash);

    // A new slot lies beyond the header's count of slots until the header is written. A freed
    // slot keeps its state and its link to the rest of the free chain until the header no
    // longer names it. Index entries come last: an entry for a slot that holds no record
    // would stop every walk through the index, a record without its entry only hides.
    const bool reused = slot != data_.nextSlot();
    if (reused)
        data_.writeSlotBody(slot, record.data());
    else
        data_.writeSlot(slot, record.data());
    if (reused)
        data_.setFreeHead(nextFree);
    else
        data_.setNextSlot(slot + 1);
    data_.setRecordCount(data_.recordCount() + 1);
    data_.setLastRecordId(recordId);
    data_.setLastAutoIncrement(lastAutoInc);
    data_.writeHeader(env_.localTimeDays());
    if (reused)
        data_.writeSlotHead(slot, kSlotInUse, slot);

    for (std::size_t k = 0; k < trees_.size(); ++k) {
        const RecordBytes entry = keys_[k]->build(record.data(), recordId, slot);
        trees_[k]->insert(entry.data());
    }
    index_.flush();
    keepLocateCacheOnInsert(record.data());
}

void Table::update(const Digest& expected, RecordBytes& record, const void* owner)
{
    WriteScope scope(*this, owner);
    const std::uint32_t length = recordLength();
    const auto slot = get<std::uint32_t>(record.data(), kSlotLink);
    const auto recordId = get<std::int32_t>(record.data(), kSlotRecordId);
    if (slot == 0 || slot >= data_.nextSlot())
        throw EngineError::make(errc::RecordChanged, name_);
    const unsigned char* current = data_.readSlot(slot);
    const RecordBytes old(current, current + length);
    if (old[kSlotState] != kSlotInUse || get<std::int32_t>(old.data(), kSlotRecordId) != recordId
        || !std::equal(expected.begin(), expected.end(), old.begin() + kSlotHash))
        throw EngineError::make(errc::RecordChanged, name_);

    checkRequired(record.data());
    checkUnique(record.data(), recordId, slot);

    record[kSlotState] = kSlotInUse;
    const Digest digest = record::hash(record.data(), length);
    std::copy(digest.begin(), digest.end(), record.begin() + kSlotHash);
    data_.writeSlot(slot, record.data());

    for (std::size_t k = 0; k < trees_.size(); ++k) {
        const RecordBytes before = keys_[k]->build(old.data(), recordId, slot);
        const RecordBytes after = keys_[k]->build(record.data(), recordId, slot);
        if (before == after)
            continue;
        if (!trees_[k]->erase(before.data()))
            invalid();
        trees_[k]->insert(after.data());
    }
    index_.flush();
    data_.writeHeader(env_.localTimeDays());
    keepLocateCacheOnUpdate(record.data());
}

void Table::erase(std::uint32_t slot, std::int32_t recordId, const Digest& expected, bool compareHash)
{
    WriteScope scope(*this);
    if (slot == 0 || slot >= data_.nextSlot())
        throw EngineError::make(errc::RecordChanged, name_);
    const unsigned char* current = data_.readSlot(slot);
    const RecordBytes old(current, current + recordLength());
    if (old[kSlotState] != kSlotInUse || get<std::int32_t>(old.data(), kSlotRecordId) != recordId
        || (compareHash && !std::equal(expected.begin(), expected.end(), old.begin() + kSlotHash)))
        throw EngineError::make(errc::RecordChanged, name_);
    if (data_.recordCount() == 0)
        invalid();

    for (std::size_t k = 0; k < trees_.size(); ++k) {
        const RecordBytes entry = keys_[k]->build(old.data(), recordId, slot);
        if (!trees_[k]->erase(entry.data()))
            invalid();
    }
    // The entries go first, so that no index names a freed slot; the header last, so that the
    // free chain never starts at a slot still in use.
    index_.flush();
    data_.writeSlotHead(slot, kSlotDeleted, data_.freeHead());
    data_.setFreeHead(slot);
    data_.setRecordCount(data_.recordCount() - 1);
    data_.writeHeader(env_.localTimeDays());
    keepLocateCacheOnErase(slot, recordId);
}

} // namespace fatura::engine
