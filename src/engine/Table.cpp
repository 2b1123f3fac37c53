#include "Table.h"

#include "Cp1254.h"
#include "Database.h"
#include "EngineError.h"
#include "FileIo.h"
#include "MemEnv.h"

#include <algorithm>
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
    if (error != 0 && !readOnly) {
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

// The table write lock alone, for opening.
class TableWriteLock {
public:
    explicit TableWriteLock(TableLocks& locks) : locks_(locks) { locks_.lockTable(); }
    ~TableWriteLock() { locks_.unlockTable(); }
    TableWriteLock(const TableWriteLock&) = delete;
    TableWriteLock& operator=(const TableWriteLock&) = delete;

private:
    TableLocks& locks_;
};

class Table::WriteScope {
public:
    explicit WriteScope(Table& table) : table_(table), exceptions_(std::uncaught_exceptions())
    {
        if (table.readOnly_)
            throw EngineError::make(errc::AccessDenied, table.name_);
        table.locks_->lockTable();
        ++table.generation_;
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

Table::Table(Env& env, std::string name)
    : env_(env),
      name_(std::move(name)),
      journal_(name_),
      data_(name_),
      index_(name_),
      locks_(std::make_unique<ProcessTableLocks>(name_))
{
    data_.setJournal(&journal_);
    index_.setJournal(&journal_);
}

// A table closed cleanly leaves an empty journal, so that the next opening has nothing to look
// at and a table copied while closed carries no pending records.
Table::~Table()
{
    if (readOnly_ || !journal_.present() || journal_.empty() || !index_.attached())
        return;
    try {
        TableWriteLock lock(*locks_);
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
        TableWriteLock lock(*table->locks_);
        table->loadFiles(std::move(indexFile), true, checking);
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

void Table::loadFiles(std::unique_ptr<File> indexFile, bool writable, bool checking)
{
    if (writable && indexFile)
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
        if (writable)
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
    if (!stale_ && !data_.changedOnDisk())
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
    refresh();
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
    refresh();
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

namespace {

// A stored text's first bytes against a search text: -1 when they differ, 0 when they are
// equal and nothing beyond them counts, 1 when equal so far but the rest decides.
int comparePrefix(const unsigned char* prefix, const unsigned char* search, std::size_t limit, bool caseInsensitive)
{
    const std::size_t n = std::min(limit, LocateCache::kPrefix);
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char a = prefix[i];
        unsigned char b = search[i];
        if (caseInsensitive) {
            a = cp1254::kUpper[a];
            b = cp1254::kUpper[b];
        }
        if (a != b)
            return -1;
        if (a == 0)
            return 0;
    }
    return limit <= LocateCache::kPrefix ? 0 : 1;
}

} // namespace

void Table::readInOrder(const std::vector<std::pair<std::uint32_t, std::int32_t>>& records,
                        const std::function<bool(std::uint32_t, const unsigned char*)>& f)
{
    if (records.empty())
        return;
    const std::uint32_t length = recordLength();
    std::uint32_t low = records.front().first;
    std::uint32_t high = low;
    for (const auto& r : records) {
        low = std::min(low, r.first);
        high = std::max(high, r.first);
    }
    const std::size_t span = std::size_t(high - low + 1) * length;
    // Records appended one after another lie in slot order: one read covers them all.
    if (span <= 2 * records.size() * length + kScanBytes) {
        scanBuffer_.resize(span);
        data_.readSlots(low, high - low + 1, scanBuffer_.data());
        for (const auto& [slot, recordId] : records) {
            const unsigned char* rec = scanBuffer_.data() + std::size_t(slot - low) * length;
            checkSlot(rec, slot, recordId);
            if (!f(slot, rec))
                return;
        }
        return;
    }
    scanBuffer_.resize(length);
    for (const auto& [slot, recordId] : records) {
        data_.readSlots(slot, 1, scanBuffer_.data());
        checkSlot(scanBuffer_.data(), slot, recordId);
        if (!f(slot, scanBuffer_.data()))
            return;
    }
}

bool Table::findByScan(const std::vector<const FieldLayout*>& fields, const unsigned char* search,
                       bool caseInsensitive, std::size_t partialLength, RecordBytes& found)
{
    auto limitOf = [&](std::size_t i) {
        return i + 1 == fields.size() && partialLength ? partialLength : std::size_t(fields[i]->width);
    };
    auto matches = [&](const unsigned char* rec) {
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const FieldLayout& f = *fields[i];
            const std::size_t partial = i + 1 == fields.size() ? partialLength : 0;
            if (compareFieldValues(rec + f.offset, search + f.offset, f, caseInsensitive, partial) != 0)
                return false;
        }
        return true;
    };
    const std::size_t batch = std::max<std::size_t>(1, kScanBytes / recordLength());
    bool hit = false;
    std::vector<std::pair<std::uint32_t, std::int32_t>> pending;
    // Reads the records in pending and takes the first that matches.
    auto resolve = [&] {
        readInOrder(pending, [&](std::uint32_t, const unsigned char* rec) {
            if (matches(rec)) {
                found.assign(rec, rec + recordLength());
                hit = true;
            }
            return !hit;
        });
        pending.clear();
        return hit;
    };

    const bool allText = std::all_of(fields.begin(), fields.end(), [](const FieldLayout* f) { return f->isText(); });
    LocateCache* cache = allText ? &locateCache_ : nullptr;
    if (cache && !cache->covers(generation_, fields))
        cache->start(generation_, fields);

    // The records the cache holds, in order: those their first bytes leave open are read.
    std::vector<int> positions;
    for (const FieldLayout* f : fields)
        positions.push_back(cache ? cache->position(*f) : -1);
    for (std::size_t i = 0; cache && i < cache->size(); ++i) {
        bool decided = true;
        bool differs = false;
        for (std::size_t k = 0; k < fields.size() && !differs; ++k) {
            const int r = comparePrefix(cache->prefix(positions[k], i), search + fields[k]->offset + 1, limitOf(k),
                                        caseInsensitive);
            differs = r < 0;
            decided = decided && r == 0;
        }
        if (differs)
            continue;
        if (decided) {
            if (resolve())
                return true;
            pending.emplace_back(cache->slot(i), cache->recordId(i));
            readInOrder(pending, [&](std::uint32_t, const unsigned char* rec) {
                found.assign(rec, rec + recordLength());
                return false;
            });
            return true;
        }
        pending.emplace_back(cache->slot(i), cache->recordId(i));
        if (pending.size() >= batch && resolve())
            return true;
    }
    if (resolve())
        return true;
    if (cache && cache->complete())
        return false;

    // On from the end of the cache (or the first record) in primary index order, a run of
    // records at a time until one matches. The runs start short, so that a match near the
    // start costs little, and grow to the size that reads best.
    BTree& tree = primary();
    const IndexKey& key = *keys_[0];
    const std::size_t entrySize = key.entrySize();
    BTree::Iterator it;
    if (cache && !cache->lastEntry().empty()) {
        const unsigned char* last = cache->lastEntry().data();
        it = tree.lowerBound([&](const unsigned char* e) { return key.compare(e, last) <= 0 ? -1 : 1; });
    } else {
        it = tree.begin();
    }
    std::vector<unsigned char> entries;
    bool caching = cache != nullptr;
    std::size_t run = 8;
    // The records are looked at where they lie in the file when it lets them be: copying every
    // record out of it costs more than comparing the few bytes of the fields searched.
    bool viewing = true;
    struct ViewRelease {
        DataFile& data;
        ~ViewRelease() { data.releaseView(); }
    } release{data_};
    std::size_t added = 0;
    auto visit = [&](std::uint32_t slot, const unsigned char* rec) {
        if (caching && (caching = cache->add(slot, get<std::int32_t>(rec, kSlotRecordId), rec)))
            ++added;
        if (matches(rec)) {
            found.assign(rec, rec + recordLength());
            hit = true;
        }
        return !hit;
    };
    while (it.valid()) {
        entries.clear();
        while (it.valid() && entries.size() < run * entrySize)
            tree.take(it, static_cast<std::uint32_t>(run - entries.size() / entrySize), entries);
        added = 0;
        std::size_t at = 0;
        for (; viewing && at < entries.size(); at += entrySize) {
            const std::uint32_t slot = key.slotOf(entries.data() + at);
            const unsigned char* rec = data_.viewSlot(slot);
            if (!rec) {
                viewing = false;
                break;
            }
            checkSlot(rec, slot, key.recordIdOf(entries.data() + at));
            if (!visit(slot, rec))
                break;
        }
        if (!viewing) {
            for (; at < entries.size(); at += entrySize)
                pending.emplace_back(key.slotOf(entries.data() + at), key.recordIdOf(entries.data() + at));
            readInOrder(pending, visit);
            pending.clear();
        }
        if (added > 0)
            cache->setLastEntry(entries.data() + (added - 1) * entrySize, entrySize);
        if (hit)
            return true;
        const std::size_t longest = viewing ? kViewRun : batch;
        // A search that got this far is likely to go on through much of the table.
        if (caching && run < longest && run * 4 >= longest)
            cache->reserve(data_.recordCount() - std::min<std::size_t>(cache->size(), data_.recordCount()));
        run = std::min(run * 4, longest);
        index_.trim();
    }
    if (caching)
        cache->markComplete();
    return false;
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
}

void Table::update(const Digest& expected, RecordBytes& record, bool durable)
{
    WriteScope scope(*this);
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
}

} // namespace fatura::engine
