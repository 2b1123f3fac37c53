#include "Table.h"

#include "Cp1254.h"
#include "Database.h"
#include "EngineError.h"
#include "FileIo.h"
#include "MemEnv.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
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
            table.beginChange();
        } catch (...) {
            table.journal_.abandon();
            table.locks_->unlockTable();
            throw;
        }
    }

    // A change that failed half-way reached no file, or is in the journal whole; either way
    // the caches describe neither, so everything is read again.
    ~WriteScope()
    {
        if (std::uncaught_exceptions() > exceptions_) {
            table_.journal_.abandon();
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

Table::Table(Env& env, std::string name)
    : env_(env),
      name_(std::move(name)),
      journal_(name_),
      data_(name_),
      index_(name_)
{
    data_.setJournal(&journal_);
    index_.setJournal(&journal_);
}

// A table closed cleanly leaves an empty journal, so that the next opening has nothing to look
// at and a table copied while closed carries no pending records.
Table::~Table()
{
    if (readOnly_ || !locks_ || !journal_.present() || journal_.empty() || !index_.attached())
        return;
    try {
        TableLocks::WriteLock writing(*locks_);
        journal_.begin(index_.file(), true);
        journal_.abandon();
        if (journal_.expectedDataCounter() == data_.changeCounter())
            journal_.checkpoint(data_.file(), index_.file());
    } catch (...) {
        // The records stay in the ring; the next opening replays them.
    }
}

void Table::invalid() const
{
    throw EngineError::make(errc::NotValid, name_);
}

std::shared_ptr<Table> Table::open(Env& env, std::shared_ptr<Database> database, const std::string& folder,
                                   const std::string& name, bool exclusive, bool readOnly)
{
    std::shared_ptr<Table> table(new Table(env, name));
    const bool checking = database == nullptr;
    table->database_ = std::move(database);
    const Share share = exclusive ? Share::Exclusive : Share::Shared;
    const std::string base = folder + name;
    const bool readOnlyAsked = checking || readOnly;
    table->indexPath_ = base + ".idx";
    table->share_ = share;

    bool dataReadOnly = false;
    table->data_.attach(openTableFile(env, base + ".dat", share, readOnlyAsked, name, dataReadOnly));
    table->locks_ = std::make_unique<TableLocks>(env, table->data_.file(), name);
    bool indexReadOnly = false;
    std::unique_ptr<File> indexFile;
    try {
        indexFile = openTableFile(env, table->indexPath_, share, readOnlyAsked, name, indexReadOnly);
    } catch (const EngineError& e) {
        if (checking || e.code() != errc::NotFound)
            throw;
    }
    const bool filesReadOnly = dataReadOnly || indexReadOnly;
    const bool writable = !readOnlyAsked && !filesReadOnly && table->database_->lockFileUsable();
    if (writable) {
        try {
            TableLocks::WriteLock writing(*table->locks_);
            table->loadFiles(std::move(indexFile), true, checking, true);
        } catch (const EngineError& e) {
            // Record locks of another process keep the write lock away: that process is alive,
            // so the journal's records are in place unless a change of it is half-made, and
            // the table is opened without replaying; the reading lock keeps writers off while
            // the headers are read.
            if (e.code() != errc::TableLock || table->index_.attached())
                throw;
            // A writer that kept the reading lock throughout has been waited for long enough.
            File& data = table->data_.file();
            if (data.lock(kReadingByte, 1, LockKind::Shared) == EAGAIN)
                throw;
            data.unlock(kReadingByte, 1);
            table->locks_->lockReading();
            try {
                if (table->repairDueAtOpen(indexFile.get()))
                    throw;
                table->loadFiles(std::move(indexFile), true, checking, false);
            } catch (...) {
                table->locks_->unlockReading();
                throw;
            }
            table->locks_->unlockReading();
        }
    } else {
        table->loadFiles(std::move(indexFile), false, checking);
    }
    table->readOnly_ = table->readOnly_ || !writable;

    if (!checking && !readOnlyAsked && !filesReadOnly) {
        Database& db = *table->database_;
        if (db.lockFileUsable() && !exclusive && !db.enter(name))
            table->readOnly_ = true;
    }
    return table;
}

bool Table::repairDueAtOpen(File* indexFile)
{
    if (!indexFile)
        return true;
    try {
        std::uint32_t dataCounter = 0;
        io::readExact(data_.file(), kChangeCounter, &dataCounter, sizeof dataCounter, name_);
        if (io::sizeOf(*indexFile, name_) < kPagesOffset)
            return true;
        Journal peek(name_);
        peek.load(*indexFile);
        return peek.present() && (peek.rebuilding() || peek.expectedDataCounter() != dataCounter);
    } catch (const EngineError&) {
        return true;
    }
}

void Table::loadFiles(std::unique_ptr<File> indexFile, bool writable, bool checking, bool repair)
{
    if (writable && repair && indexFile)
        Journal::recover(data_.file(), *indexFile, name_);
    data_.load();
    const auto fieldCount = static_cast<int>(data_.fields().fields.size());
    if (indexFile) {
        index_.attach(std::move(indexFile));
        try {
            index_.load(fieldCount, data_.pageSize());
            journal_.load(index_.file());
        } catch (const EngineError& e) {
            if (checking || e.code() != errc::ReadFailed)
                throw;
            // An index file cut short is made anew, as one that is missing.
            remakeIndexFile({}, index_.detach(), writable);
            return;
        }
        const bool disagrees = journal_.present()
            && (journal_.rebuilding() || journal_.expectedDataCounter() != data_.changeCounter());
        if (disagrees && !checking) {
            // Written by this engine for another state of the data file (another table's, or
            // a change made without it): its descriptors stay, its pages are made anew.
            std::vector<unsigned char> descriptors(kPagesOffset);
            io::readExact(index_.file(), 0, descriptors.data(), descriptors.size(), name_);
            remakeIndexFile(std::move(descriptors), index_.detach(), writable);
            return;
        }
        buildTrees();
        if (writable && repair)
            cutOverlongFiles();
        return;
    }
    if (checking)
        throw EngineError::make(errc::NotFound, name_);
    remakeIndexFile({}, nullptr, writable);
}

void Table::remakeIndexFile(std::vector<unsigned char> descriptors, std::unique_ptr<File> disk, bool writable)
{
    rebuilt_ = true;
    auto memory = std::make_unique<MemEnv>();
    // A failure after the index took the memory file must not free the file's Env under it.
    struct KeepOnFailure {
        std::unique_ptr<MemEnv>& memory;
        std::vector<std::unique_ptr<Env>>& failed;
        int exceptions = std::uncaught_exceptions();
        ~KeepOnFailure()
        {
            if (std::uncaught_exceptions() > exceptions && memory)
                failed.push_back(std::move(memory));
        }
    } keep{memory, failedEnvs_};
    std::unique_ptr<File> file;
    if (memory->open("index", Access::ReadWrite, Share::Shared, Disposition::CreateAlways, file) != 0)
        throw EngineError::make(errc::OutOfMemory, name_);
    const auto fieldCount = static_cast<int>(data_.fields().fields.size());
    if (descriptors.empty()) {
        IndexDef primary;
        primary.keyFields = {kRecordIdField};
        primary.keyDescending = {false};
        primary.unique = true;
        IndexFile::writeNew(*file, primary, {}, name_);
    } else {
        std::memset(descriptors.data() + kJnMagic, 0, kJnEnd - kJnMagic);
        put<std::uint32_t>(descriptors.data(), kIxNextPage, 1);
        put<std::uint32_t>(descriptors.data(), kIxFreePageHead, 0);
        for (std::uint32_t k = 0; k <= kFullTextSlot; ++k)
            put<std::uint32_t>(descriptors.data(), kHeaderSize + k * kDescriptorSize + kIdRoot, 0);
        io::writeExact(*file, 0, descriptors.data(), descriptors.size(), name_);
    }
    index_.attach(std::move(file));
    index_.load(fieldCount, data_.pageSize());
    index_.clearPages();
    index_.flush();
    buildTrees();
    rebuildIndexes();

    if (writable && !disk) {
        if (env_.open(indexPath_, Access::ReadWrite, share_, Disposition::CreateAlways, disk) != 0)
            disk.reset();
    }
    if (!writable || !disk) {
        // Kept in memory: nothing may be written, or nothing can be.
        privateEnv_ = std::move(memory);
        journal_.reset();
        readOnly_ = true;
        return;
    }

    const std::uint32_t page = data_.pageSize();
    index_.appendRing(Journal::ringBytesFor(recordLength(), trees_.size(), page) / page, journal_,
                      data_.changeCounter(), true);
    const std::string image = memory->contents("index");
    // The header first, saying that the rebuild is under way, so that a rebuild cut short is
    // made again; the pages; then the header saying it is done.
    File& target = *disk;
    io::writeExact(target, 0, image.data(), kHeaderSize, name_);
    if (target.sync() != 0 || target.truncate(image.size()) != 0)
        throw EngineError::make(errc::WriteFailed, name_);
    io::writeExact(target, kHeaderSize, image.data() + kHeaderSize, image.size() - kHeaderSize, name_);
    journal_.checkpoint(data_.file(), target, true);
    if (target.sync() != 0)
        throw EngineError::make(errc::WriteFailed, name_);
    index_.attach(std::move(disk));
    index_.load(fieldCount, page);
    buildTrees();
    journal_.load(index_.file());
    cutOverlongFiles();
}

void Table::cutOverlongFiles()
{
    const std::uint64_t dataLength = data_.slotOffset(data_.nextSlot());
    if (io::sizeOf(data_.file(), name_) > dataLength && data_.file().truncate(dataLength) != 0)
        throw EngineError::make(errc::WriteFailed, name_);
    const std::uint64_t indexLength = kPagesOffset + std::uint64_t(index_.nextPage() - 1) * index_.pageSize();
    if (io::sizeOf(index_.file(), name_) > indexLength && index_.file().truncate(indexLength) != 0)
        throw EngineError::make(errc::WriteFailed, name_);
}

void Table::beginChange()
{
    journal_.begin(index_.file(), othersWrote_);
    othersWrote_ = false;
    if (!journal_.present()) {
        journal_.abandon();
        const std::uint32_t page = data_.pageSize();
        index_.appendRing(Journal::ringBytesFor(recordLength(), trees_.size(), page) / page, journal_,
                          data_.changeCounter(), false);
        journal_.begin(index_.file(), false);
    }
    if (journal_.expectedDataCounter() == data_.changeCounter())
        return;
    // Another process stopped after writing its change to the journal and before it was all
    // in place: it is put in place now.
    journal_.abandon();
    Journal::recover(data_.file(), index_.file(), name_);
    ++generation_;
    data_.reloadHeader();
    index_.reload();
    buildTrees();
    journal_.load(index_.file());
    if (journal_.expectedDataCounter() != data_.changeCounter()) {
        std::vector<unsigned char> descriptors(kPagesOffset);
        io::readExact(index_.file(), 0, descriptors.data(), descriptors.size(), name_);
        remakeIndexFile(std::move(descriptors), index_.detach(), true);
    }
    journal_.begin(index_.file(), false);
}

void Table::commitChange(bool durable)
{
    index_.flush();
    if (!journal_.commit(data_.file(), index_.file(), data_.changeCounter(), durable)) {
        stale_ = true;
        data_.dropCache();
        index_.dropCache();
    }
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
    othersWrote_ = true;
    ++generation_;
    data_.reloadHeader();
    if (privateEnv_)
        reloadMemoryIndex();
    else
        index_.reload();
    buildTrees();
    stale_ = false;
}

// An index kept in memory knows nothing of changes made to the table since it was built: the
// index file is taken instead when it now stands for the data file, else the index is built
// again.
void Table::reloadMemoryIndex()
{
    const auto fieldCount = static_cast<int>(data_.fields().fields.size());
    std::unique_ptr<File> disk;
    if (env_.open(indexPath_, Access::ReadOnly, share_, Disposition::OpenExisting, disk) == 0) {
        std::unique_ptr<File> memory = index_.detach();
        index_.attach(std::move(disk));
        try {
            index_.load(fieldCount, data_.pageSize());
            journal_.load(index_.file());
            if (journal_.present() && !journal_.rebuilding()
                && journal_.expectedDataCounter() == data_.changeCounter()) {
                memory.reset();
                privateEnv_.reset();
                return;
            }
        } catch (const EngineError&) {
        }
        index_.attach(std::move(memory));
    }
    journal_.reset();
    std::vector<unsigned char> descriptors(kPagesOffset);
    io::readExact(index_.file(), 0, descriptors.data(), descriptors.size(), name_);
    remakeIndexFile(std::move(descriptors), nullptr, false);
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

void Table::insert(RecordBytes& record, bool durable)
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

    // Readers in other processes that do not take the write lock see the writes in this order
    // as the journal puts them in place: a new slot lies beyond the header's count of slots
    // until the header is written, and a freed slot keeps its state and its link to the rest
    // of the free chain until the header no longer names it.
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
    commitChange(durable);
    keepLocateCacheOnInsert(record.data());
}

void Table::update(const Digest& expected, RecordBytes& record, const void* owner, bool durable)
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
    data_.writeHeader(env_.localTimeDays());
    commitChange(durable);
    keepLocateCacheOnUpdate(record.data());
}

void Table::erase(std::uint32_t slot, std::int32_t recordId, const Digest& expected, bool compareHash, bool durable)
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
    data_.writeSlotHead(slot, kSlotDeleted, data_.freeHead());
    data_.setFreeHead(slot);
    data_.setRecordCount(data_.recordCount() - 1);
    data_.writeHeader(env_.localTimeDays());
    commitChange(durable);
    keepLocateCacheOnErase(slot, recordId);
}

} // namespace fatura::engine
