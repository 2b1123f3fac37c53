// Locking between processes, with each process played by its own Env in this one (see
// LockingTestSupport.h): record locks and the table write lock with their retries and errors,
// the reading lock that keeps readers off half-written changes, changes of another process
// seen at the next operation, exclusive use, and the folder's lock file with its locks and
// its recovery from a crash or damage.

#include "LockingTestSupport.h"

#include "Format.h"
#include "LockFile.h"
#include "TableLocks.h"

#include <QTest>

#include <set>

using namespace enginetest;
namespace format = fatura::engine::format;
namespace lockfile = fatura::engine::lockfile;

Q_DECLARE_METATYPE(std::string)

namespace {

const std::string kDat = "fatura.dat";
const std::string kIdx = "fatura.idx";
const std::string kLockFile = "teskav.lck";
// The waits of one record or table lock that never comes free: 15 retries of 100 ms.
constexpr unsigned long long kLockGiveUpMs = 15 * 100;

std::uint64_t recordByte(std::uint32_t slot)
{
    return format::kRecordLockBase - slot;
}

std::string lockFileOf(std::uint32_t counter, const std::vector<std::string>& tables)
{
    lockfile::Contents contents;
    contents.counter = counter;
    contents.tables = tables;
    return lockfile::encode(contents);
}

} // namespace

class LockingTest : public QObject {
    Q_OBJECT

private slots:
    void heldRecordLockRefuses_data();
    void heldRecordLockRefuses();
    void recordLockIsTheSlotsByte_data();
    void recordLockIsTheSlotsByte();
    void writeLockCoversEveryRecordByte_data();
    void writeLockCoversEveryRecordByte();
    void failedPostKeepsItsRecordLock_data();
    void failedPostKeepsItsRecordLock();
    void recordLockedTwiceByOneCursorFailsAtOnce();

    void readerWaitsForWriterToFinish_data();
    void readerWaitsForWriterToFinish();
    void readerGivesUpOnStuckWriter();
    void writerWaitsForReaders();
    void changesOfOtherProcessAreSeen_data();
    void changesOfOtherProcessAreSeen();
    void appendsOfTwoProcessesGetUniqueIds_data();
    void appendsOfTwoProcessesGetUniqueIds();
    void exclusiveUseRefusedWhileOtherProcessUsesTable_data();
    void exclusiveUseRefusedWhileOtherProcessUsesTable();

    void unreadableLockFileIsWrittenAnew_data();
    void unreadableLockFileIsWrittenAnew();
    void lockFileBeingWrittenIsWaitedFor();
    void lockFileLockedTooLong_data();
    void lockFileLockedTooLong();
};

// Process one's cursor holds the first record in Edit; another cursor, of process one or of
// process two, tries an operation. Failed ones change nothing, and each succeeds once the
// holder has posted.
void LockingTest::heldRecordLockRefuses_data()
{
    QTest::addColumn<bool>("onDisk");
    QTest::addColumn<bool>("sameProcess");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<unsigned>("error");

    const struct {
        const char* name;
        const char* operation;
        unsigned error;
    } cases[] = {
        {"edit of the same record", "edit same", errc::RecordLock},
        {"edit of another record", "edit other", 0},
        {"post of another record", "post other", errc::TableLock},
        {"delete", "delete", errc::TableLock},
        {"append", "append", errc::TableLock},
    };
    for (const bool onDisk : {false, true}) {
        for (const bool sameProcess : {true, false}) {
            for (const auto& c : cases) {
                const std::string name = std::string(onDisk ? "on disk, " : "in memory, ")
                                         + (sameProcess ? "another cursor, " : "another process, ") + c.name;
                QTest::newRow(name.c_str()) << onDisk << sameProcess << QString(c.operation) << c.error;
            }
        }
    }
}

void LockingTest::heldRecordLockRefuses()
{
    QFETCH(bool, onDisk);
    QFETCH(bool, sameProcess);
    QFETCH(QString, operation);
    QFETCH(unsigned, error);

    SharedFolder f(onDisk);
    Cursor holder;
    f.open(holder, f.one);
    SharedFolder::add(holder, "first");
    SharedFolder::add(holder, "second");
    holder.first();
    holder.edit();
    holder.setText("AD", "held");

    ProcessEnv& env = sameProcess ? f.one : f.two;
    Cursor other;
    f.open(other, env);
    auto attempt = [&] {
        if (operation == "edit same") {
            other.first();
            other.edit();
        } else if (operation == "edit other" || operation == "post other") {
            other.last();
            other.edit();
            other.setText("AD", "other");
            if (operation == "post other")
                other.post();
        } else if (operation == "delete") {
            other.first();
            other.deleteRecord();
        } else {
            other.append();
            other.setText("AD", "third");
            other.post();
        }
    };
    const std::string before = f.bytes(kDat);
    env.resetSleep();
    QCOMPARE(engineErrorOf(attempt), error);
    QCOMPARE(env.sleptMs(), error ? kLockGiveUpMs : 0ull);
    if (error == 0) {
        other.cancel();
        holder.post();
        QCOMPARE(browse(other), QStringList({"held", "second"}));
        return;
    }
    QCOMPARE(f.bytes(kDat), before);
    // A failed post keeps what was typed.
    if (operation == "append" || operation == "post other")
        QCOMPARE(other.getText("AD"), std::string(operation == "append" ? "third" : "other"));

    if (operation == "post other") {
        // Each editor's record lock lies in the write range the other's post needs.
        QCOMPARE(engineErrorOf([&] { holder.post(); }), errc::TableLock);
        other.cancel();
    }
    holder.post();
    env.resetSleep();
    if (operation == "append")
        other.post();
    else
        attempt();
    QCOMPARE(env.sleptMs(), 0ull);
    if (operation == "edit same")
        other.cancel();
    const QStringList expected = operation == "delete"         ? QStringList({"second"})
                                 : operation == "append"       ? QStringList({"held", "second", "third"})
                                 : operation == "post other"   ? QStringList({"held", "other"})
                                                               : QStringList({"held", "second"});
    QCOMPARE(browse(holder), expected);
    QVERIFY(verifyTable(f.folder, "fatura", &f.base).empty());
}

void LockingTest::recordLockIsTheSlotsByte_data()
{
    QTest::addColumn<bool>("onDisk");
    QTest::newRow("in memory") << false;
    QTest::newRow("on disk") << true;
}

// Another program that follows the file format sees the lock at 4294967295 - slot.
void LockingTest::recordLockIsTheSlotsByte()
{
    QFETCH(bool, onDisk);
    SharedFolder f(onDisk);
    Cursor c;
    f.open(c, f.one);
    for (const char* ad : {"1", "2", "3", "4"})
        SharedFolder::add(c, ad);
    QVERIFY(c.locate("AD", "3", false, false));
    QCOMPARE(c.currentSlot(), 3u);
    c.edit();
    auto probe = f.raw(kDat);
    QCOMPARE(probe->lock(recordByte(3), 1, LockKind::Exclusive), EAGAIN);
    QCOMPARE(probe->lock(recordByte(3), 1, LockKind::Shared), EAGAIN);
    for (const std::uint32_t neighbour : {2u, 4u}) {
        QCOMPARE(probe->lock(recordByte(neighbour), 1, LockKind::Exclusive), 0);
        QCOMPARE(probe->unlock(recordByte(neighbour), 1), 0);
    }
    c.cancel();
    QCOMPARE(probe->lock(recordByte(3), 1, LockKind::Exclusive), 0);
}

// A third party holding one byte: inside the write range no change can be made.
void LockingTest::writeLockCoversEveryRecordByte_data()
{
    QTest::addColumn<bool>("onDisk");
    QTest::addColumn<quint64>("byte");
    QTest::addColumn<unsigned>("error");
    for (const bool onDisk : {false, true}) {
        const QByteArray where = onDisk ? "on disk, " : "in memory, ";
        QTest::newRow(where + "record byte of slot 1") << onDisk << quint64(recordByte(1)) << errc::TableLock;
        QTest::newRow(where + "record byte of slot 200000000")
            << onDisk << quint64(recordByte(200000000)) << errc::TableLock;
        QTest::newRow(where + "below the reading byte") << onDisk << quint64(format::kReadingByte - 1) << 0u;
        QTest::newRow(where + "above the sharing byte") << onDisk << quint64(format::kRecordLockBase + 1) << 0u;
    }
}

void LockingTest::writeLockCoversEveryRecordByte()
{
    QFETCH(bool, onDisk);
    QFETCH(quint64, byte);
    QFETCH(unsigned, error);
    SharedFolder f(onDisk);
    Cursor c;
    f.open(c, f.one);
    SharedFolder::add(c, "before");
    auto third = f.raw(kDat);
    QCOMPARE(third->lock(byte, 1, LockKind::Exclusive), 0);
    f.one.resetSleep();
    QCOMPARE(engineErrorOf([&] { SharedFolder::add(c, "while held"); }), error);
    QCOMPARE(f.one.sleptMs(), error ? kLockGiveUpMs : 0ull);
    QCOMPARE(c.recordCount(), error ? 1u : 2u);
    // Nothing of the refused write range, nor the reading byte, stays locked.
    QCOMPARE(third->unlock(byte, 1), 0);
    QCOMPARE(third->lock(format::kReadingByte, format::kWriteLockLength + 1, LockKind::Exclusive), 0);
}

void LockingTest::failedPostKeepsItsRecordLock_data()
{
    recordLockIsTheSlotsByte_data();
}

// A post takes the write range over its own record lock through the same open file, where
// the two merge. When the post then fails, the cursor stays in Edit and must still hold the
// record against every other process.
void LockingTest::failedPostKeepsItsRecordLock()
{
    QFETCH(bool, onDisk);
    TableDefinition definition = smallDefinition();
    definition.fields[1].required = true;
    SharedFolder f(onDisk, definition);
    Cursor a;
    f.open(a, f.one);
    SharedFolder::add(a, "1");
    SharedFolder::add(a, "2");
    a.first();
    a.edit();
    a.setNull("AD");
    QCOMPARE(engineErrorOf([&] { a.post(); }), errc::RequiredValue);
    QCOMPARE(a.state(), CursorState::Edit);

    auto probe = f.raw(kDat);
    QCOMPARE(probe->lock(recordByte(1), 1, LockKind::Exclusive), EAGAIN);
    Cursor other;
    f.open(other, f.two);
    QCOMPARE(engineErrorOf([&] { other.edit(); }), errc::RecordLock);
    // The rest of the write range was given up.
    QCOMPARE(probe->lock(recordByte(2), 1, LockKind::Exclusive), 0);
    QCOMPARE(probe->unlock(recordByte(2), 1), 0);

    a.setText("AD", "1 posted");
    a.post();
    other.first();
    other.edit();
    QCOMPARE(other.getText("AD"), std::string("1 posted"));
    other.cancel();
}

void LockingTest::recordLockedTwiceByOneCursorFailsAtOnce()
{
    MemEnv env;
    std::unique_ptr<File> data;
    QCOMPARE(env.open("/t.dat", Access::ReadWrite, Share::Shared, Disposition::CreateNew, data), 0);
    TableLocks locks(env, *data, "t");
    int a = 0;
    int b = 0;
    locks.lockRecord(5, &a);
    QCOMPARE(engineErrorOf([&] { locks.lockRecord(5, &a); }), errc::RecordLock);
    QCOMPARE(env.sleptMs(), 0ull);
    QCOMPARE(engineErrorOf([&] { locks.lockRecord(5, &b); }), errc::RecordLock);
    QCOMPARE(env.sleptMs(), kLockGiveUpMs);
    locks.unlockRecord(5, &b); // not b's to release
    QVERIFY(locks.holdsRecord(5));

    // The owner's own record lock survives its write lock; the write lock refuses others'.
    locks.lockTable(&a);
    locks.unlockTable();
    std::unique_ptr<File> probe;
    QCOMPARE(env.open("/t.dat", Access::ReadWrite, Share::Shared, Disposition::OpenExisting, probe), 0);
    QCOMPARE(probe->lock(recordByte(5), 1, LockKind::Exclusive), EAGAIN);
    QCOMPARE(engineErrorOf([&] { locks.lockTable(&b); }), errc::TableLock);
    locks.unlockRecord(5, &a);
    QCOMPARE(probe->lock(recordByte(5), 1, LockKind::Exclusive), 0);
}

void LockingTest::readerWaitsForWriterToFinish_data()
{
    recordLockIsTheSlotsByte_data();
}

// A writer of another process is half-way through an edit: the slot's first bytes are new,
// the rest of it and the header are still old. The reader waits until the writer is done and
// then sees the whole new record, never the mixture.
void LockingTest::readerWaitsForWriterToFinish()
{
    QFETCH(bool, onDisk);
    SharedFolder f(onDisk);
    {
        Cursor w;
        f.open(w, f.two);
        SharedFolder::add(w, "old", "old note");
    }
    const std::string oldDat = f.bytes(kDat);
    const std::string oldIdx = f.bytes(kIdx);
    {
        Cursor w;
        f.open(w, f.two);
        w.edit();
        w.setText("AD", "new");
        w.setText("NOT", "new note");
        w.post();
    }
    const std::string newDat = f.bytes(kDat);
    const std::string newIdx = f.bytes(kIdx);
    QCOMPARE(newDat.size(), oldDat.size());

    auto writer = f.raw(kDat);
    QCOMPARE(writer->lock(format::kReadingByte, 1, LockKind::Exclusive), 0);
    std::string torn = oldDat;
    const std::size_t slot = format::kHeaderSize + 4 * format::kDescriptorSize;
    const std::size_t notField = 25 + 5 + 21; // state..hash, ID, AD: NOT begins here
    torn.replace(slot, notField, newDat, slot, notField);
    f.setBytes(kDat, torn);
    f.setBytes(kIdx, oldIdx);
    f.one.onSleep = [&](int waits) {
        if (waits == 3) {
            f.setBytes(kDat, newDat);
            f.setBytes(kIdx, newIdx);
            writer->unlock(format::kReadingByte, 1);
        }
    };
    Cursor reader;
    f.open(reader, f.one);
    QCOMPARE(reader.getText("AD"), std::string("new"));
    QCOMPARE(reader.getText("NOT"), std::string("new note"));
    QCOMPARE(f.one.sleptMs(), 3ull * TableLocks::kReadingRetryMs);
}

void LockingTest::readerGivesUpOnStuckWriter()
{
    SharedFolder f(false);
    auto writer = f.raw(kDat);
    QCOMPARE(writer->lock(format::kReadingByte, 1, LockKind::Exclusive), 0);
    Cursor reader;
    QCOMPARE(engineErrorOf([&] { f.open(reader, f.one); }), errc::TableLock);
    QVERIFY(!reader.isOpen());
    QCOMPARE(f.one.sleptMs(), (TableLocks::kReadingAttempts - 1ull) * TableLocks::kReadingRetryMs);
    writer->unlock(format::kReadingByte, 1);
    f.open(reader, f.one);
    QCOMPARE(reader.recordCount(), 0u);
}

// A reader of another process is in the middle of an operation: a change waits for it to
// finish, and gives up, holding nothing, when it never does.
void LockingTest::writerWaitsForReaders()
{
    SharedFolder f(false);
    Cursor c;
    f.open(c, f.one);
    auto reader = f.raw(kDat, Access::ReadOnly);
    QCOMPARE(reader->lock(format::kReadingByte, 1, LockKind::Shared), 0);
    f.one.onSleep = [&](int waits) {
        if (waits == 4)
            reader->unlock(format::kReadingByte, 1);
    };
    SharedFolder::add(c, "after the reader");
    QCOMPARE(f.one.sleptMs(), 4ull * TableLocks::kReadingRetryMs);

    f.one.onSleep = nullptr;
    f.one.resetSleep();
    QCOMPARE(reader->lock(format::kReadingByte, 1, LockKind::Shared), 0);
    const std::string before = f.bytes(kDat);
    QCOMPARE(engineErrorOf([&] { SharedFolder::add(c, "never"); }), errc::TableLock);
    QCOMPARE(f.one.sleptMs(), (TableLocks::kReadingAttempts - 1ull) * TableLocks::kReadingRetryMs);
    QCOMPARE(f.bytes(kDat), before);
    QCOMPARE(c.state(), CursorState::Insert);
    auto probe = f.raw(kDat);
    QCOMPARE(probe->lock(format::kWriteLockStart, format::kWriteLockLength, LockKind::Exclusive), 0);
}

void LockingTest::changesOfOtherProcessAreSeen_data()
{
    recordLockIsTheSlotsByte_data();
}

// Process one has read pages, slots, counters and searched by scan; process two then adds
// enough records to split index pages, edits one and deletes another. Process one's next
// operations see all of it, and its own next record continues process two's counters.
void LockingTest::changesOfOtherProcessAreSeen()
{
    QFETCH(bool, onDisk);
    SharedFolder f(onDisk);
    Cursor a;
    f.open(a, f.one);
    for (int i = 0; i < 20; ++i)
        SharedFolder::add(a, "a" + std::to_string(i));
    QCOMPARE(browse(a).size(), 20);
    QVERIFY(!a.locate("NOT", "from b", false, false));

    Cursor b;
    f.open(b, f.two);
    for (int i = 0; i < 300; ++i)
        SharedFolder::add(b, "b" + std::to_string(i), i == 150 ? "from b" : "");
    QVERIFY(b.locate("AD", "a3", false, false));
    b.edit();
    b.setText("AD", "a3 changed");
    b.post();
    QVERIFY(b.locate("AD", "a5", false, false));
    b.deleteRecord();

    QCOMPARE(a.recordCount(), 319u);
    QCOMPARE(browse(a), browse(b));
    QVERIFY(a.locate("NOT", "from b", false, false));
    QCOMPARE(a.getText("AD"), std::string("b150"));
    QVERIFY(a.locate("AD", "a3 changed", false, false));
    QVERIFY(!a.locate("AD", "a5", false, false));
    QCOMPARE(SharedFolder::add(a, "after"), 321);
    QCOMPARE(a.stats().lastRecordId, 321);
    QVERIFY(b.locate("AD", "after", false, false));
    QVERIFY(verifyTable(f.folder, "fatura", &f.base).empty());
}

void LockingTest::appendsOfTwoProcessesGetUniqueIds_data()
{
    recordLockIsTheSlotsByte_data();
}

void LockingTest::appendsOfTwoProcessesGetUniqueIds()
{
    QFETCH(bool, onDisk);
    SharedFolder f(onDisk);
    Cursor a;
    Cursor b;
    f.open(a, f.one);
    f.open(b, f.two);
    std::vector<int> ids;
    for (int i = 0; i < 50; ++i) {
        ids.push_back(SharedFolder::add(a, "a"));
        ids.push_back(SharedFolder::add(b, "b"));
    }
    for (int i = 0; i < 100; ++i)
        QCOMPARE(ids[i], i + 1);
    QCOMPARE(a.recordCount(), 100u);
    QCOMPARE(b.stats().lastRecordId, 100);
    QVERIFY(verifyTable(f.folder, "fatura", &f.base).empty());
}

void LockingTest::exclusiveUseRefusedWhileOtherProcessUsesTable_data()
{
    recordLockIsTheSlotsByte_data();
}

void LockingTest::exclusiveUseRefusedWhileOtherProcessUsesTable()
{
    QFETCH(bool, onDisk);
    SharedFolder f(onDisk);
    Cursor a;
    Cursor b;
    f.open(a, f.one);
    QCOMPARE(engineErrorOf([&] { f.open(b, f.two, true); }), errc::AccessDenied);
    QVERIFY(!b.isOpen());
    a.close();
    f.open(b, f.two, true);
    QCOMPARE(engineErrorOf([&] { f.open(a, f.one); }), errc::AccessDenied);
    QCOMPARE(engineErrorOf([&] { f.open(a, f.one, true); }), errc::AccessDenied);
    SharedFolder::add(b, "alone");
    b.close();
    f.open(a, f.one);
    QCOMPARE(a.getText("AD"), std::string("alone"));
}

void LockingTest::unreadableLockFileIsWrittenAnew_data()
{
    QTest::addColumn<std::string>("bytes");
    std::string tooMany = lockFileOf(9, {});
    for (int i = 0; i < 4097; ++i)
        tooMany += "\x01" "t";
    writeAt<std::uint32_t>(tooMany, 4, std::uint32_t(tooMany.size() - 4));
    std::string pastList = lockFileOf(3, {"fatura"});
    writeAt<std::uint32_t>(pastList, 4, 4 + 5);
    std::string beyondFile = lockFileOf(3, {"fatura"});
    writeAt<std::uint32_t>(beyondFile, 4, 4 + 100);
    std::string lengthBelowFour = lockFileOf(3, {});
    writeAt<std::uint32_t>(lengthBelowFour, 4, 2);
    std::string huge(8 + 4096 * 256 + 512, '\xff');

    QTest::newRow("empty, as left by a crash of its creator") << std::string();
    QTest::newRow("counter only") << std::string("\x05\0\0\0", 4);
    QTest::newRow("entry running past the list") << pastList;
    QTest::newRow("list longer than the file") << beyondFile;
    QTest::newRow("list length below 4") << lengthBelowFour;
    QTest::newRow("more than 4096 tables") << tooMany;
    QTest::newRow("longer than any lock file, all 0xff") << huge;
}

void LockingTest::unreadableLockFileIsWrittenAnew()
{
    QFETCH(std::string, bytes);
    MemTable t;
    createTable(kFolder, "other", smallDefinition(), &t.env);
    t.env.setContents(kFolder + kLockFile, bytes);
    Cursor c;
    t.open(c);
    QVERIFY(!c.isReadOnly());
    t.add(c, "saved");
    lockfile::Contents contents;
    QVERIFY(lockfile::decode(t.env.contents(kFolder + kLockFile), contents));
    QCOMPARE(std::set<std::string>(contents.tables.begin(), contents.tables.end()),
             std::set<std::string>({"fatura", "other"}));
    QCOMPARE(contents.tables.size(), std::size_t(2));
    const std::uint32_t oldCounter = bytes.size() >= 4 ? readAt<std::uint32_t>(bytes, 0) : 0;
    QCOMPARE(contents.counter, lockfile::nextCounter(oldCounter));
}

// The first process to open a table in the folder has made the lock file and holds it while
// it writes the list; a second one waits and takes the list as written.
void LockingTest::lockFileBeingWrittenIsWaitedFor()
{
    MemTable t;
    t.env.setContents(kFolder + kLockFile, "");
    std::unique_ptr<File> creator;
    QCOMPARE(t.env.open(kFolder + kLockFile, Access::ReadWrite, Share::Shared, Disposition::OpenExisting, creator), 0);
    QCOMPARE(creator->lock(format::kLockFileGuardByte, 1, LockKind::Exclusive), 0);
    ProcessEnv second(t.env);
    second.onSleep = [&](int waits) {
        if (waits == 2) {
            const std::string list = lockFileOf(7, {"x", "fatura"});
            creator->write(0, list.data(), list.size());
            creator->unlock(format::kLockFileGuardByte, 1);
        }
    };
    Cursor c;
    c.open(kFolder, "fatura", {&second});
    QVERIFY(!c.isReadOnly());
    QCOMPARE(second.sleptMs(), 2ull * 3);
    QCOMPARE(t.env.contents(kFolder + kLockFile), lockFileOf(7, {"x", "fatura"}));
}

void LockingTest::lockFileLockedTooLong_data()
{
    QTest::addColumn<bool>("heldForWriting");
    QTest::addColumn<bool>("entered");
    QTest::addColumn<unsigned>("error");
    QTest::newRow("held for writing, table entered") << true << true << errc::LockFileReadLock;
    QTest::newRow("held for writing, table not entered") << true << false << errc::LockFileReadLock;
    QTest::newRow("held for reading, table entered") << false << true << 0u;
    QTest::newRow("held for reading, table not entered") << false << false << errc::LockFileWriteLock;
}

void LockingTest::lockFileLockedTooLong()
{
    QFETCH(bool, heldForWriting);
    QFETCH(bool, entered);
    QFETCH(unsigned, error);
    MemTable t;
    t.env.setContents(kFolder + kLockFile, lockFileOf(4, entered ? std::vector<std::string>{"fatura"}
                                                                  : std::vector<std::string>{"x"}));
    std::unique_ptr<File> holder;
    QCOMPARE(t.env.open(kFolder + kLockFile, Access::ReadWrite, Share::Shared, Disposition::OpenExisting, holder), 0);
    QCOMPARE(holder->lock(format::kLockFileGuardByte, 1, heldForWriting ? LockKind::Exclusive : LockKind::Shared), 0);
    Cursor c;
    try {
        t.open(c);
        QCOMPARE(0u, error);
    } catch (const EngineError& e) {
        QCOMPARE(e.code(), error);
        const std::string kind = error == errc::LockFileReadLock ? "read" : "write";
        QCOMPARE(std::string(e.what()),
                 "TESKAV Engine Error # " + std::to_string(error) + " Cannot " + kind
                     + " lock the lock file for the database '/db/'");
        QCOMPARE(t.env.sleptMs(), 32768ull * 3);
        QVERIFY(!c.isOpen());
    }
    holder->unlock(format::kLockFileGuardByte, 1);
    t.open(c);
    QVERIFY(!c.isReadOnly());
}

QTEST_GUILESS_MAIN(LockingTest)
#include "tst_engine_locking.moc"
