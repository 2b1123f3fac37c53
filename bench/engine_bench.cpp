// The table engine and SQLite side by side on the same invoice records. Run from
// build/<preset>/bench in a Release build:
//   ./engine_bench                      (temporary tables go under $TMPDIR, default /tmp)
//   ./engine_bench --benchmark_filter=LocatePrefix
//
// Every benchmark works on its own copy of its table in a temporary folder; building and copying
// the tables is never timed. Append, EditPost and Delete run once (Iterations(1)) on a fresh
// table and time every operation plus closing the table, so that nothing a table defers to its
// close is left out; per-operation figures are the counters items_per_second and s_per_op.
//
// How SQLite is set up, so that the comparison is fair:
// - one table with the invoice record's columns in the same order, REC_ID INTEGER PRIMARY KEY
//   AUTOINCREMENT (a deleted id is never handed out again, as in the engine), TEXT and REAL
//   columns, no secondary index; texts in UTF-8, and empty texts stored as NULL, as the engine
//   stores them;
// - every statement prepared once and reused; each append, edit and delete is its own
//   autocommit transaction, as each engine post is on its own;
// - the default page size and page cache (no cache_size pragma);
// - two tiers. Without syncing, the engine's cursors open with OpenOptions::sync off and SQLite
//   runs WAL with synchronous=NORMAL (no sync at commit) and the rollback journal with
//   synchronous=OFF. With syncing (the Synced benchmarks, fewer operations as each waits for the
//   disk), the engine syncs every post and delete as it does by default, and SQLite runs WAL with
//   synchronous=FULL and the rollback journal with synchronous=FULL. Every setting runs in the
//   same process against the same records. Run the syncing tier on a real disk: on a memory file
//   system syncing costs nothing.
// - the prefix search is `SAYIN1 LIKE ?1 || '%'` ordered by REC_ID with LIMIT 1, i.e. the first
//   match in insertion order, which is what the engine's locate returns when it has to scan.
//   SQLite's LIKE folds the case of ASCII letters only, while the engine upper-cases through
//   code page 1254 (where 'i' and the dotless 'ı' both become 'I'). The search texts are
//   therefore ASCII letters without 'i', and no generated name other than the planted ones
//   begins with them, so that both must find the same record; every search checks that it found
//   the planted one.
// - Engine/LocatePrefix opens the table for every search and times open + locate + close, so
//   that nothing the engine keeps about an unchanged table between locates helps it; SQLite keeps
//   its connection and prepared statement, which can only favour SQLite.
//   Engine/LocatePrefixRepeated keeps the cursor open, as the find dialog does while the user
//   types one letter after another. Engine/LocateAfterOwnPost keeps it open too, and before each
//   timed locate the same cursor saves an invoice (an edit of an early one and an append in
//   turn, neither matching): the first keystroke in the find dialog after "KAYDET". Its SQLite
//   counterpart runs an UPDATE or an INSERT on its connection before each timed search.
//
// The engine has no positioning by record id, so the random records of EditPost and Delete are
// visited in table order (ascending ids, the cursor moved forward with moveBy) by both sides.
#include "Engine.h"
#include "InvoiceSchema.h"
#include "InvoiceRecords.h"

#include <QString>

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace fatura::engine;
using namespace fatura::archive;
using namespace fatura::bench;

namespace {

constexpr std::size_t kTableRecords = 100000;
constexpr std::size_t kChanges = 10000;

// How many appends, edits and deletes a tier's benchmarks make, and whether the engine syncs.
struct Tier {
    bool sync;
    std::size_t appends;
    std::size_t changes;
};
constexpr Tier kFast{false, kTableRecords, kChanges};
constexpr Tier kSynced{true, 300, 300};

OpenOptions optionsFor(const Tier& tier)
{
    OpenOptions options;
    options.sync = tier.sync;
    return options;
}
constexpr std::uint64_t kSeed = 20250201;
// Distinct generated invoices; the tables cycle through them.
constexpr std::size_t kPoolSize = 8192;

// The planted customers and the texts that find them (see the header comment).
struct Needle {
    const char* name;
    const char* search;
    std::size_t index; // record position from 0; REC_ID is index + 1
};
constexpr Needle kNearStart{"KUZEYBATI TEKSTİL SAN. VE TİC. A.Ş.", "kuzeybat", kTableRecords / 100 - 1};
constexpr Needle kMiddle{"MERCANKÖY GIDA PAZARLAMA LTD. ŞTİ.", "mercank", kTableRecords / 2 - 1};
constexpr const char* kMissSearch = "zembereks";

// ---------------------------------------------------------------------------------------------
// The records of every benchmark table: record i is pool[i % kPoolSize], except the two planted
// customers.
class Dataset {
public:
    static const Dataset& get()
    {
        static const Dataset dataset;
        return dataset;
    }

    const Invoice& record(std::size_t index) const
    {
        if (index == kNearStart.index)
            return nearStart_;
        if (index == kMiddle.index)
            return middle_;
        return pool_[index % pool_.size()];
    }
    // A different invoice for the edit of record index, as if corrected on screen.
    const Invoice& replacement(std::size_t index) const { return pool_[(index * 31 + 17) % pool_.size()]; }

private:
    Dataset()
    {
        InvoiceGenerator generator(kSeed);
        pool_.reserve(kPoolSize);
        for (std::size_t i = 0; i < kPoolSize; ++i)
            pool_.push_back(generator.next());
        nearStart_ = pool_[kNearStart.index % pool_.size()];
        generator.setText(nearStart_, "SAYIN1", QString::fromUtf8(kNearStart.name));
        middle_ = pool_[kMiddle.index % pool_.size()];
        generator.setText(middle_, "SAYIN1", QString::fromUtf8(kMiddle.name));
    }

    std::vector<Invoice> pool_;
    Invoice nearStart_;
    Invoice middle_;
};

// Ids of distinct random records of a table of `records`, ascending (see the header comment).
std::vector<std::int64_t> randomIds(std::size_t count, std::size_t records, std::uint64_t seed)
{
    std::vector<std::int64_t> ids(records);
    for (std::size_t i = 0; i < records; ++i)
        ids[i] = std::int64_t(i + 1);
    std::mt19937_64 rng(seed);
    for (std::size_t i = 0; i < count; ++i)
        std::swap(ids[i], ids[i + rng() % (records - i)]);
    ids.resize(count);
    std::sort(ids.begin(), ids.end());
    return ids;
}

// ---------------------------------------------------------------------------------------------
// Folders

fs::path benchRoot()
{
    static const fs::path root = [] {
        std::string pattern = (fs::temp_directory_path() / "engine_bench-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("cannot make a temporary folder under " + fs::temp_directory_path().string());
        return fs::path(pattern);
    }();
    return root;
}

class TempFolder {
public:
    TempFolder()
    {
        static int counter = 0;
        path_ = benchRoot() / ("run" + std::to_string(++counter));
        fs::create_directories(path_);
    }
    ~TempFolder()
    {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const fs::path& path() const { return path_; }
    std::string folder() const { return path_.string() + '/'; }

private:
    fs::path path_;
};

// Puts a copied file on the disk before anything is timed, so that writing back the copy does
// not weigh on the syncs of either side.
void syncFile(const fs::path& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0)
        throw std::runtime_error("cannot sync " + path.string());
    ::close(fd);
}

// ---------------------------------------------------------------------------------------------
// The engine side

void writeEngineRecord(Cursor& cursor, const Invoice& invoice)
{
    const auto& all = invoiceColumns();
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (all[i].text)
            cursor.setText(all[i].name, invoice[i].cp1254);
        else
            cursor.setNumber(all[i].name, invoice[i].number);
    }
}

void appendEngineRecord(Cursor& cursor, const Invoice& invoice)
{
    cursor.append();
    writeEngineRecord(cursor, invoice);
    cursor.post();
}

// A finished table of `records` invoices, built once and copied into each benchmark's folder.
void copyEngineTable(std::size_t records, const fs::path& into)
{
    static std::map<std::size_t, std::unique_ptr<TempFolder>> built;
    auto& source = built[records];
    if (!source) {
        source = std::make_unique<TempFolder>();
        createTable(source->folder(), kInvoiceTableName, invoiceTableDefinition());
        Cursor cursor;
        cursor.open(source->folder(), kInvoiceTableName, optionsFor(kFast));
        for (std::size_t i = 0; i < records; ++i)
            appendEngineRecord(cursor, Dataset::get().record(i));
    }
    for (const char* name : {"fatura.dat", "fatura.idx"}) {
        fs::copy_file(source->path() / name, into / name, fs::copy_options::overwrite_existing);
        syncFile(into / name);
    }
}

// ---------------------------------------------------------------------------------------------
// The SQLite side

enum class Durability { WalNormal, JournalOff, WalFull, JournalFull };

const char* durabilityName(Durability durability)
{
    switch (durability) {
    case Durability::WalNormal: return "WAL_NORMAL";
    case Durability::JournalOff: return "Journal_OFF";
    case Durability::WalFull: return "WAL_FULL";
    case Durability::JournalFull: return "Journal_FULL";
    }
    return "?";
}

const char* durabilityPragmas(Durability durability)
{
    switch (durability) {
    case Durability::WalNormal: return "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;";
    case Durability::JournalOff: return "PRAGMA journal_mode=DELETE; PRAGMA synchronous=OFF;";
    case Durability::WalFull: return "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;";
    case Durability::JournalFull: return "PRAGMA journal_mode=DELETE; PRAGMA synchronous=FULL;";
    }
    return "";
}

class Statement {
public:
    Statement(sqlite3* db, const std::string& sql) : db_(db)
    {
        if (sqlite3_prepare_v2(db, sql.c_str(), int(sql.size()), &statement_, nullptr) != SQLITE_OK)
            throw std::runtime_error(std::string("prepare: ") + sqlite3_errmsg(db));
    }
    ~Statement() { sqlite3_finalize(statement_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    sqlite3_stmt* get() const { return statement_; }
    // One step; true when it gave a row.
    bool step()
    {
        const int rc = sqlite3_step(statement_);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            throw std::runtime_error(std::string("step: ") + sqlite3_errmsg(db_));
        return rc == SQLITE_ROW;
    }
    void reset()
    {
        sqlite3_reset(statement_);
        sqlite3_clear_bindings(statement_);
    }

private:
    sqlite3* db_;
    sqlite3_stmt* statement_ = nullptr;
};

class Database {
public:
    Database(const fs::path& file, Durability durability)
    {
        if (sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
            throw std::runtime_error("cannot open " + file.string());
        exec(durabilityPragmas(durability));
    }
    ~Database() { close(); }
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    sqlite3* get() const { return db_; }
    void exec(const char* sql)
    {
        char* error = nullptr;
        if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
            const std::string message = error ? error : "?";
            sqlite3_free(error);
            throw std::runtime_error(std::string(sql) + ": " + message);
        }
    }
    void close()
    {
        if (db_ && sqlite3_close(db_) != SQLITE_OK)
            throw std::runtime_error(std::string("close: ") + sqlite3_errmsg(db_));
        db_ = nullptr;
    }

private:
    sqlite3* db_ = nullptr;
};

std::string createTableSql()
{
    std::string sql = "CREATE TABLE fatura (REC_ID INTEGER PRIMARY KEY AUTOINCREMENT";
    for (const Column& column : invoiceColumns())
        sql += ", " + column.name + (column.text ? " TEXT" : " REAL");
    return sql + ")";
}

std::string insertSql()
{
    std::string names;
    std::string marks;
    for (const Column& column : invoiceColumns()) {
        names += (names.empty() ? "" : ", ") + column.name;
        marks += marks.empty() ? "?" : ", ?";
    }
    return "INSERT INTO fatura (" + names + ") VALUES (" + marks + ")";
}

std::string updateSql()
{
    std::string sets;
    for (const Column& column : invoiceColumns())
        sets += (sets.empty() ? "" : ", ") + column.name + " = ?";
    return "UPDATE fatura SET " + sets + " WHERE REC_ID = ?";
}

// Binds the invoice's values to parameters 1..invoiceColumns().size().
void bindInvoice(Statement& statement, const Invoice& invoice)
{
    const auto& all = invoiceColumns();
    for (std::size_t i = 0; i < all.size(); ++i) {
        const int parameter = int(i) + 1;
        if (!all[i].text)
            sqlite3_bind_double(statement.get(), parameter, invoice[i].number);
        else if (invoice[i].utf8.empty())
            sqlite3_bind_null(statement.get(), parameter);
        else
            sqlite3_bind_text(statement.get(), parameter, invoice[i].utf8.data(), int(invoice[i].utf8.size()),
                              SQLITE_STATIC);
    }
}

std::int64_t sqliteCount(Database& db)
{
    Statement count(db.get(), "SELECT count(*) FROM fatura");
    count.step();
    return sqlite3_column_int64(count.get(), 0);
}

void copySqliteTable(std::size_t records, Durability durability, const fs::path& into)
{
    static std::map<std::pair<std::size_t, Durability>, std::unique_ptr<TempFolder>> built;
    auto& source = built[{records, durability}];
    if (!source) {
        source = std::make_unique<TempFolder>();
        Database db(source->path() / "fatura.db", durability);
        db.exec(createTableSql().c_str());
        // One transaction: building the copy source is not what is measured.
        db.exec("BEGIN");
        Statement insert(db.get(), insertSql());
        for (std::size_t i = 0; i < records; ++i) {
            bindInvoice(insert, Dataset::get().record(i));
            insert.step();
            insert.reset();
        }
        db.exec("COMMIT");
    }
    fs::copy_file(source->path() / "fatura.db", into / "fatura.db", fs::copy_options::overwrite_existing);
    syncFile(into / "fatura.db");
}

// ---------------------------------------------------------------------------------------------
// Measuring

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void reportOperations(benchmark::State& state, std::size_t operations)
{
    state.SetItemsProcessed(std::int64_t(operations) * state.iterations());
    state.counters["s_per_op"] =
        benchmark::Counter(double(operations), benchmark::Counter::Flags(benchmark::Counter::kIsIterationInvariantRate |
                                                                         benchmark::Counter::kInvert));
}

std::size_t residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    std::size_t size = 0;
    std::size_t resident = 0;
    statm >> size >> resident;
    return resident * std::size_t(sysconf(_SC_PAGESIZE));
}

std::size_t heapBytes()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// ---------------------------------------------------------------------------------------------
// Benchmarks

void EngineAppend(benchmark::State& state, Tier tier)
{
    const Dataset& data = Dataset::get();
    for (auto _ : state) {
        TempFolder folder;
        createTable(folder.folder(), kInvoiceTableName, invoiceTableDefinition());
        auto cursor = std::make_unique<Cursor>();
        cursor->open(folder.folder(), kInvoiceTableName, optionsFor(tier));
        const auto start = Clock::now();
        for (std::size_t i = 0; i < tier.appends; ++i)
            appendEngineRecord(*cursor, data.record(i));
        cursor.reset();
        state.SetIterationTime(secondsSince(start));

        Cursor check;
        check.open(folder.folder(), kInvoiceTableName);
        if (check.recordCount() != tier.appends) {
            state.SkipWithError("the table does not hold every appended record");
            break;
        }
    }
    reportOperations(state, tier.appends);
}

void SqliteAppend(benchmark::State& state, Durability durability, Tier tier)
{
    const Dataset& data = Dataset::get();
    for (auto _ : state) {
        TempFolder folder;
        auto db = std::make_unique<Database>(folder.path() / "fatura.db", durability);
        db->exec(createTableSql().c_str());
        auto insert = std::make_unique<Statement>(db->get(), insertSql());
        const auto start = Clock::now();
        for (std::size_t i = 0; i < tier.appends; ++i) {
            bindInvoice(*insert, data.record(i));
            insert->step();
            insert->reset();
        }
        insert.reset();
        db->close();
        state.SetIterationTime(secondsSince(start));

        Database check(folder.path() / "fatura.db", durability);
        if (sqliteCount(check) != std::int64_t(tier.appends)) {
            state.SkipWithError("the table does not hold every appended record");
            break;
        }
    }
    reportOperations(state, tier.appends);
}

// The same search in three spellings, taken in turn, so that nothing can answer a repeated search
// from a remembered result; both sides fold ASCII case, so all three find the same record.
std::vector<std::string> spellings(const std::string& search)
{
    std::string upper = search;
    for (char& c : upper)
        c = char(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    std::string capitalised = search;
    capitalised[0] = upper[0];
    return {search, upper, capitalised};
}

std::string locateMismatch(std::int64_t id, std::int64_t expectedId)
{
    return "found REC_ID " + std::to_string(id) + ", expected " + std::to_string(expectedId);
}

// expectedId 0: the search must find nothing.
// fresh: every search opens the table anew, so none profits from what the engine keeps about an
// unchanged table between locates; otherwise the cursor stays open, as when the find dialog
// locates once per typed letter.
void EngineLocatePrefix(benchmark::State& state, std::string search, std::int32_t expectedId, bool fresh)
{
    TempFolder folder;
    copyEngineTable(kTableRecords, folder.path());
    const std::string path = folder.folder();
    const std::string& planted =
        expectedId ? Dataset::get().record(std::size_t(expectedId) - 1)[columnIndex("SAYIN1")].cp1254 : search;
    const std::vector<std::string> fields{"SAYIN1"};
    std::vector<std::vector<fatura::engine::Value>> values;
    for (const std::string& spelling : spellings(search))
        values.push_back({spelling});
    auto cursor = std::make_unique<Cursor>();
    std::size_t turn = 0;
    for (auto _ : state) {
        if (fresh || !cursor->isOpen())
            cursor->open(path, kInvoiceTableName);
        const bool found = cursor->locate(fields, values[turn++ % values.size()], true, true);
        const std::int32_t id = found ? cursor->currentRecordId() : 0;
        if (id != expectedId || (found && cursor->getText("SAYIN1") != planted)) {
            state.SkipWithError(locateMismatch(id, expectedId).c_str());
            break;
        }
        if (fresh)
            cursor->close();
    }
}

void SqliteLocatePrefix(benchmark::State& state, Durability durability, std::string search, std::int64_t expectedId)
{
    TempFolder folder;
    copySqliteTable(kTableRecords, durability, folder.path());
    const std::string& planted =
        expectedId ? Dataset::get().record(std::size_t(expectedId) - 1)[columnIndex("SAYIN1")].utf8 : search;
    Database db(folder.path() / "fatura.db", durability);
    Statement locate(db.get(), "SELECT REC_ID, SAYIN1 FROM fatura WHERE SAYIN1 LIKE ?1 || '%' ORDER BY REC_ID LIMIT 1");
    const std::vector<std::string> texts = spellings(search);
    std::size_t turn = 0;
    for (auto _ : state) {
        const std::string& text = texts[turn++ % texts.size()];
        sqlite3_bind_text(locate.get(), 1, text.data(), int(text.size()), SQLITE_STATIC);
        const bool found = locate.step();
        const std::int64_t id = found ? sqlite3_column_int64(locate.get(), 0) : 0;
        const bool same = !found || planted == reinterpret_cast<const char*>(sqlite3_column_text(locate.get(), 1));
        locate.reset();
        if (id != expectedId || !same) {
            state.SkipWithError(locateMismatch(id, expectedId).c_str());
            break;
        }
    }
}

// The invoice the saves of LocateAfterOwnPost edit: before every planted one, so that it lies
// within what a locate has looked at.
constexpr std::int32_t kEditedId = 500;

void EngineLocateAfterOwnPost(benchmark::State& state, std::string search, std::int32_t expectedId)
{
    TempFolder folder;
    copyEngineTable(kTableRecords, folder.path());
    const Dataset& data = Dataset::get();
    const std::string& planted =
        expectedId ? data.record(std::size_t(expectedId) - 1)[columnIndex("SAYIN1")].cp1254 : search;
    const std::vector<std::string> fields{"SAYIN1"};
    std::vector<std::vector<fatura::engine::Value>> values;
    for (const std::string& spelling : spellings(search))
        values.push_back({spelling});
    Cursor cursor;
    cursor.open(folder.folder(), kInvoiceTableName);
    cursor.locate(fields, values[0], true, true);
    std::size_t turn = 0;
    for (auto _ : state) {
        if (turn % 2 == 0) {
            if (!cursor.gotoRecordId(kEditedId)) {
                state.SkipWithError("the edited invoice is gone");
                break;
            }
            cursor.edit();
            writeEngineRecord(cursor, data.replacement(turn));
            cursor.post();
        } else {
            appendEngineRecord(cursor, data.replacement(turn));
        }
        const auto start = Clock::now();
        const bool found = cursor.locate(fields, values[turn++ % values.size()], true, true);
        state.SetIterationTime(secondsSince(start));
        const std::int32_t id = found ? cursor.currentRecordId() : 0;
        if (id != expectedId || (found && cursor.getText("SAYIN1") != planted)) {
            state.SkipWithError(locateMismatch(id, expectedId).c_str());
            break;
        }
    }
}

void SqliteLocateAfterOwnPost(benchmark::State& state, Durability durability, std::string search,
                              std::int64_t expectedId)
{
    TempFolder folder;
    copySqliteTable(kTableRecords, durability, folder.path());
    const Dataset& data = Dataset::get();
    const std::string& planted =
        expectedId ? data.record(std::size_t(expectedId) - 1)[columnIndex("SAYIN1")].utf8 : search;
    Database db(folder.path() / "fatura.db", durability);
    Statement locate(db.get(), "SELECT REC_ID, SAYIN1 FROM fatura WHERE SAYIN1 LIKE ?1 || '%' ORDER BY REC_ID LIMIT 1");
    Statement update(db.get(), updateSql());
    Statement insert(db.get(), insertSql());
    const int idParameter = int(invoiceColumns().size()) + 1;
    const std::vector<std::string> texts = spellings(search);
    std::size_t turn = 0;
    for (auto _ : state) {
        if (turn % 2 == 0) {
            bindInvoice(update, data.replacement(turn));
            sqlite3_bind_int64(update.get(), idParameter, kEditedId);
            update.step();
            update.reset();
        } else {
            bindInvoice(insert, data.replacement(turn));
            insert.step();
            insert.reset();
        }
        const std::string& text = texts[turn++ % texts.size()];
        const auto start = Clock::now();
        sqlite3_bind_text(locate.get(), 1, text.data(), int(text.size()), SQLITE_STATIC);
        const bool found = locate.step();
        const std::int64_t id = found ? sqlite3_column_int64(locate.get(), 0) : 0;
        const bool same = !found || planted == reinterpret_cast<const char*>(sqlite3_column_text(locate.get(), 1));
        locate.reset();
        state.SetIterationTime(secondsSince(start));
        if (id != expectedId || !same) {
            state.SkipWithError(locateMismatch(id, expectedId).c_str());
            break;
        }
    }
}

void EngineOpenCount(benchmark::State& state, std::size_t records)
{
    TempFolder folder;
    copyEngineTable(records, folder.path());
    const std::string path = folder.folder();
    for (auto _ : state) {
        Cursor cursor;
        cursor.open(path, kInvoiceTableName);
        const std::uint32_t count = cursor.recordCount();
        if (count != records) {
            state.SkipWithError("wrong record count");
            break;
        }
    }
}

void SqliteOpenCount(benchmark::State& state, Durability durability, std::size_t records)
{
    TempFolder folder;
    copySqliteTable(records, durability, folder.path());
    const fs::path file = folder.path() / "fatura.db";
    for (auto _ : state) {
        Database db(file, durability);
        if (sqliteCount(db) != std::int64_t(records)) {
            state.SkipWithError("wrong record count");
            break;
        }
    }
}

void EngineEditPost(benchmark::State& state, Tier tier)
{
    const Dataset& data = Dataset::get();
    const std::vector<std::int64_t> ids = randomIds(tier.changes, kTableRecords, kSeed + 1);
    for (auto _ : state) {
        TempFolder folder;
        copyEngineTable(kTableRecords, folder.path());
        auto cursor = std::make_unique<Cursor>();
        cursor->open(folder.folder(), kInvoiceTableName, optionsFor(tier));
        std::string problem;
        const auto start = Clock::now();
        for (const std::int64_t id : ids) {
            cursor->moveBy(int(id - cursor->currentRecordId()));
            if (cursor->currentRecordId() != id) {
                problem = "could not move to REC_ID " + std::to_string(id);
                break;
            }
            cursor->edit();
            writeEngineRecord(*cursor, data.replacement(std::size_t(id)));
            cursor->post();
        }
        cursor.reset();
        state.SetIterationTime(secondsSince(start));

        Cursor check;
        check.open(folder.folder(), kInvoiceTableName);
        check.moveBy(int(ids.back() - 1));
        if (problem.empty() && (check.currentRecordId() != ids.back() ||
                                check.getText("SAYIN1") !=
                                    data.replacement(std::size_t(ids.back()))[columnIndex("SAYIN1")].cp1254))
            problem = "the last edit is not in the table";
        if (!problem.empty()) {
            state.SkipWithError(problem.c_str());
            break;
        }
    }
    reportOperations(state, tier.changes);
}

void SqliteEditPost(benchmark::State& state, Durability durability, Tier tier)
{
    const Dataset& data = Dataset::get();
    const std::vector<std::int64_t> ids = randomIds(tier.changes, kTableRecords, kSeed + 1);
    const int idParameter = int(invoiceColumns().size()) + 1;
    for (auto _ : state) {
        TempFolder folder;
        copySqliteTable(kTableRecords, durability, folder.path());
        auto db = std::make_unique<Database>(folder.path() / "fatura.db", durability);
        auto update = std::make_unique<Statement>(db->get(), updateSql());
        std::string problem;
        const auto start = Clock::now();
        for (const std::int64_t id : ids) {
            bindInvoice(*update, data.replacement(std::size_t(id)));
            sqlite3_bind_int64(update->get(), idParameter, id);
            update->step();
            update->reset();
            if (sqlite3_changes(db->get()) != 1) {
                problem = "no record with REC_ID " + std::to_string(id);
                break;
            }
        }
        update.reset();
        db->close();
        state.SetIterationTime(secondsSince(start));
        if (!problem.empty()) {
            state.SkipWithError(problem.c_str());
            break;
        }
    }
    reportOperations(state, tier.changes);
}

void EngineDelete(benchmark::State& state, Tier tier)
{
    const std::vector<std::int64_t> ids = randomIds(tier.changes, kTableRecords, kSeed + 2);
    for (auto _ : state) {
        TempFolder folder;
        copyEngineTable(kTableRecords, folder.path());
        auto cursor = std::make_unique<Cursor>();
        cursor->open(folder.folder(), kInvoiceTableName, optionsFor(tier));
        std::string problem;
        const auto start = Clock::now();
        // After a delete the cursor stands on the record that followed the deleted one.
        std::int64_t at = 1;
        for (const std::int64_t id : ids) {
            cursor->moveBy(int(id - at));
            if (cursor->currentRecordId() != id) {
                problem = "could not move to REC_ID " + std::to_string(id);
                break;
            }
            cursor->deleteRecord();
            at = id + 1;
        }
        cursor.reset();
        state.SetIterationTime(secondsSince(start));

        Cursor check;
        check.open(folder.folder(), kInvoiceTableName);
        if (problem.empty() && check.recordCount() != kTableRecords - tier.changes)
            problem = "wrong record count after the deletes";
        if (!problem.empty()) {
            state.SkipWithError(problem.c_str());
            break;
        }
    }
    reportOperations(state, tier.changes);
}

void SqliteDelete(benchmark::State& state, Durability durability, Tier tier)
{
    const std::vector<std::int64_t> ids = randomIds(tier.changes, kTableRecords, kSeed + 2);
    for (auto _ : state) {
        TempFolder folder;
        copySqliteTable(kTableRecords, durability, folder.path());
        auto db = std::make_unique<Database>(folder.path() / "fatura.db", durability);
        auto erase = std::make_unique<Statement>(db->get(), "DELETE FROM fatura WHERE REC_ID = ?1");
        std::string problem;
        const auto start = Clock::now();
        for (const std::int64_t id : ids) {
            sqlite3_bind_int64(erase->get(), 1, id);
            erase->step();
            erase->reset();
            if (sqlite3_changes(db->get()) != 1) {
                problem = "no record with REC_ID " + std::to_string(id);
                break;
            }
        }
        erase.reset();
        db->close();
        state.SetIterationTime(secondsSince(start));

        Database check(folder.path() / "fatura.db", durability);
        if (problem.empty() && sqliteCount(check) != std::int64_t(kTableRecords - tier.changes))
            problem = "wrong record count after the deletes";
        if (!problem.empty()) {
            state.SkipWithError(problem.c_str());
            break;
        }
    }
    reportOperations(state, tier.changes);
}

// The index file lost: the open that follows rebuilds the primary index from the records.
void EngineRebuild(benchmark::State& state)
{
    TempFolder folder;
    copyEngineTable(kTableRecords, folder.path());
    const fs::path index = folder.path() / "fatura.idx";
    for (auto _ : state) {
        fs::remove(index);
        const auto start = Clock::now();
        {
            Cursor cursor;
            cursor.open(folder.folder(), kInvoiceTableName);
        }
        state.SetIterationTime(secondsSince(start));

        Cursor check;
        check.open(folder.folder(), kInvoiceTableName);
        check.last();
        if (!fs::exists(index) || check.recordCount() != kTableRecords ||
            check.currentRecordId() != std::int32_t(kTableRecords)) {
            state.SkipWithError("the rebuilt index does not hold every record");
            break;
        }
    }
}

// Memory a cursor holds on the 100,000-record table after opening it, reading every record and
// one prefix locate that finds nothing (so that whatever a locate keeps is counted too).
// Heap growth counts what the engine allocated even where freed memory of earlier benchmarks is
// reused; the resident-size growth counts what the process really took from the system.
void EngineCursorMemory(benchmark::State& state)
{
    TempFolder folder;
    copyEngineTable(kTableRecords, folder.path());
    for (auto _ : state) {
        malloc_trim(0);
        const std::size_t heapBefore = heapBytes();
        const std::size_t residentBefore = residentBytes();
        Cursor cursor;
        cursor.open(folder.folder(), kInvoiceTableName);
        std::size_t seen = 0;
        cursor.first();
        for (bool more = cursor.hasCurrent(); more; more = cursor.next()) {
            benchmark::DoNotOptimize(cursor.getText("SAYIN1"));
            ++seen;
        }
        if (cursor.locate("SAYIN1", kMissSearch, true, true))
            seen = 0;
        state.counters["heap_MB"] = (double(heapBytes()) - double(heapBefore)) / (1 << 20);
        state.counters["rss_delta_MB"] = double(std::max(residentBytes(), residentBefore) - residentBefore) / (1 << 20);
        if (seen != kTableRecords) {
            state.SkipWithError("the scan did not see every record, or the locate found one");
            break;
        }
    }
}

// The same figure for SQLite, for comparison: its own allocator statistics and the resident size
// after the same scan and locate.
void SqliteCursorMemory(benchmark::State& state, Durability durability)
{
    TempFolder folder;
    copySqliteTable(kTableRecords, durability, folder.path());
    for (auto _ : state) {
        malloc_trim(0);
        const std::int64_t sqliteBefore = sqlite3_memory_used();
        const std::size_t residentBefore = residentBytes();
        Database db(folder.path() / "fatura.db", durability);
        Statement scan(db.get(), "SELECT * FROM fatura ORDER BY REC_ID");
        std::size_t seen = 0;
        while (scan.step()) {
            benchmark::DoNotOptimize(sqlite3_column_text(scan.get(), 2));
            ++seen;
        }
        Statement locate(db.get(), "SELECT REC_ID FROM fatura WHERE SAYIN1 LIKE ?1 || '%' ORDER BY REC_ID LIMIT 1");
        sqlite3_bind_text(locate.get(), 1, kMissSearch, -1, SQLITE_STATIC);
        if (locate.step())
            seen = 0;
        state.counters["heap_MB"] = double(sqlite3_memory_used() - sqliteBefore) / (1 << 20);
        state.counters["rss_delta_MB"] = double(std::max(residentBytes(), residentBefore) - residentBefore) / (1 << 20);
        if (seen != kTableRecords) {
            state.SkipWithError("the scan did not see every record, or the locate found one");
            break;
        }
    }
}

// A failure inside a benchmark (an engine or SQLite error) marks that benchmark failed and lets
// the others run.
template <typename Function, typename... Args>
benchmark::internal::Benchmark* RegisterBenchmark(const std::string& name, Function function, Args... args)
{
    return benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State& state) {
        try {
            function(state, args...);
        } catch (const std::exception& e) {
            state.SkipWithError(e.what());
        }
    });
}

void registerAll()
{
    const Durability durabilities[] = {Durability::WalNormal, Durability::JournalOff};
    const auto sqliteName = [](const char* op, Durability d, const std::string& suffix = {}) {
        return std::string("SQLite/") + op + '/' + durabilityName(d) + suffix;
    };

    RegisterBenchmark(std::string("Engine/Append"), EngineAppend, kFast)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
    for (Durability d : durabilities)
        RegisterBenchmark(sqliteName("Append", d), SqliteAppend, d, kFast)
            ->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

    struct Search {
        const char* label;
        const char* text;
        std::int64_t expectedId;
    };
    const Search searches[] = {{"Hit1Pct", kNearStart.search, std::int64_t(kNearStart.index + 1)},
                               {"Hit50Pct", kMiddle.search, std::int64_t(kMiddle.index + 1)},
                               {"Miss", kMissSearch, 0}};
    for (const Search& s : searches) {
        RegisterBenchmark(std::string("Engine/LocatePrefix/") + s.label, EngineLocatePrefix, std::string(s.text),
                          std::int32_t(s.expectedId), true)
            ->UseRealTime()->Unit(benchmark::kMicrosecond);
        RegisterBenchmark(std::string("Engine/LocatePrefixRepeated/") + s.label, EngineLocatePrefix,
                          std::string(s.text), std::int32_t(s.expectedId), false)
            ->UseRealTime()->Unit(benchmark::kMicrosecond);
        for (Durability d : durabilities)
            RegisterBenchmark(sqliteName("LocatePrefix", d, std::string("/") + s.label), SqliteLocatePrefix, d,
                              std::string(s.text), s.expectedId)
                ->UseRealTime()->Unit(benchmark::kMicrosecond);
    }
    for (const Search& s : searches) {
        RegisterBenchmark(std::string("Engine/LocateAfterOwnPost/") + s.label, EngineLocateAfterOwnPost,
                          std::string(s.text), std::int32_t(s.expectedId))
            ->UseManualTime()->Unit(benchmark::kMicrosecond);
        for (Durability d : durabilities)
            RegisterBenchmark(sqliteName("LocateAfterOwnPost", d, std::string("/") + s.label), SqliteLocateAfterOwnPost,
                              d, std::string(s.text), s.expectedId)
                ->UseManualTime()->Unit(benchmark::kMicrosecond);
    }

    for (std::size_t records : {std::size_t(1000), std::size_t(10000), kTableRecords}) {
        const std::string size = "/" + std::to_string(records);
        RegisterBenchmark("Engine/OpenCount" + size, EngineOpenCount, records)
            ->UseRealTime()->Unit(benchmark::kMicrosecond);
        for (Durability d : durabilities)
            RegisterBenchmark(sqliteName("OpenCount", d, size), SqliteOpenCount, d, records)
                ->UseRealTime()->Unit(benchmark::kMicrosecond);
    }

    RegisterBenchmark(std::string("Engine/EditPost"), EngineEditPost, kFast)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
    for (Durability d : durabilities)
        RegisterBenchmark(sqliteName("EditPost", d), SqliteEditPost, d, kFast)
            ->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

    RegisterBenchmark(std::string("Engine/Delete"), EngineDelete, kFast)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
    for (Durability d : durabilities)
        RegisterBenchmark(sqliteName("Delete", d), SqliteDelete, d, kFast)
            ->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

    // The syncing tier: every change waits for the disk.
    const Durability syncing[] = {Durability::WalFull, Durability::JournalFull};
    const auto synced = [](const char* op, const std::string& who) { return who + "/Synced/" + op; };
    RegisterBenchmark(synced("Append", "Engine"), EngineAppend, kSynced)
        ->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
    for (Durability d : syncing)
        RegisterBenchmark(synced("Append", "SQLite") + '/' + durabilityName(d), SqliteAppend, d, kSynced)
            ->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
    RegisterBenchmark(synced("EditPost", "Engine"), EngineEditPost, kSynced)
        ->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
    for (Durability d : syncing)
        RegisterBenchmark(synced("EditPost", "SQLite") + '/' + durabilityName(d), SqliteEditPost, d, kSynced)
            ->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
    RegisterBenchmark(synced("Delete", "Engine"), EngineDelete, kSynced)
        ->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
    for (Durability d : syncing)
        RegisterBenchmark(synced("Delete", "SQLite") + '/' + durabilityName(d), SqliteDelete, d, kSynced)
            ->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

    RegisterBenchmark(std::string("Engine/Rebuild"), EngineRebuild)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

    RegisterBenchmark(std::string("Engine/CursorMemory"), EngineCursorMemory)->Iterations(1)->Unit(benchmark::kMillisecond);
    for (Durability d : durabilities)
        RegisterBenchmark(sqliteName("CursorMemory", d), SqliteCursorMemory, d)
            ->Iterations(1)->Unit(benchmark::kMillisecond);
}

} // namespace

int main(int argc, char** argv)
{
    registerAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    int status = 0;
    try {
        benchmark::RunSpecifiedBenchmarks();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "engine_bench: %s\n", e.what());
        status = 1;
    }
    benchmark::Shutdown();
    std::error_code ignored;
    fs::remove_all(benchRoot(), ignored);
    return status;
}
