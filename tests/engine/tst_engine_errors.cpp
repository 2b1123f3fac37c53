// Engine errors and cursor-layer errors: their texts, the mapping of operating-system errors,
// short reads and writes, read-only tables and folders, exclusive use.

#include "EngineTestSupport.h"

#include "FaultInjectionEnv.h"
#include "PosixEnv.h"

#include <QTemporaryDir>

#include <cerrno>
#include <sys/stat.h>

using namespace enginetest;

class ErrorsTest : public QObject {
    Q_OBJECT

private slots:
    void fullTexts_data();
    void fullTexts();
    void osErrorsWhenOpening_data();
    void osErrorsWhenOpening();
    void missingDataFileLeavesCursorClosed();
    void missingTableName();
    void shortReadIsReadError_data();
    void shortReadIsReadError();
    void shortWriteIsWriteError();
    void readOnlyDataFile();
    void readOnlyDataFileOnDisk();
    void folderWithoutLockFileIsReadOnly();
    void lockFileRetriedElevenTimes();
    void exclusiveUseRefusesOthers();
    void exclusiveOpenOnDiskRefusesOthers();
    void tableFullAtFourGigabytes();
};

void ErrorsTest::fullTexts_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<QString>("text");
    QTest::newRow("11010 missing file")
        << 0 << "TESKAV Engine Error # 11010 Table or backup file 'fatura' does not exist";
    QTest::newRow("8708 changed record")
        << 1 << "TESKAV Engine Error # 8708 Record has been changed or deleted by another user, session, or table cursor in the table 'fatura'";
    QTest::newRow("9729 two names")
        << 2 << "TESKAV Engine Error # 9729 Duplicate key found in the index 'ADX' of the table 'fatura'";
    QTest::newRow("11047 with the error number")
        << 3 << "TESKAV Engine Error # 11047 An unknown operating system error 5 occurred with the table or backup file 'fatura'";
    QTest::newRow("11016 without a name")
        << 4 << "TESKAV Engine Error # 11016 There is insufficient operating system memory available for the current operation";
    QTest::newRow("12035 version") << 5 << "TESKAV Engine Error # 12035 The table 'fatura' is not the correct version";
    QTest::newRow("code page 1254 name in UTF-8")
        << 6 << QString::fromUtf8("TESKAV Engine Error # 9732 A value must be provided for the field 'AÇIKLAMA' in the table 'fatura'");
}

void ErrorsTest::fullTexts()
{
    QFETCH(int, which);
    QFETCH(QString, text);
    EngineError e = which == 0 ? EngineError::make(errc::NotFound, "fatura")
                  : which == 1 ? EngineError::make(errc::RecordChanged, "fatura")
                  : which == 2 ? EngineError::duplicateKey("ADX", "fatura")
                  : which == 3 ? EngineError::fromOsError(EIO, "fatura")
                  : which == 4 ? EngineError::make(errc::OutOfMemory, "fatura")
                  : which == 5 ? EngineError::make(errc::WrongVersion, "fatura")
                               : EngineError::requiredValue("A\xC3\x87IKLAMA", "fatura");
    QCOMPARE(QString::fromUtf8(e.what()), text);
    QCOMPARE(QString::fromUtf8(e.what()), QString("TESKAV Engine Error # %1 %2").arg(e.code()).arg(QString::fromStdString(e.message())));
}

void ErrorsTest::osErrorsWhenOpening_data()
{
    QTest::addColumn<int>("osError");
    QTest::addColumn<unsigned>("code");
    QTest::newRow("file not found") << ENOENT << errc::NotFound;
    QTest::newRow("path not found") << ENOTDIR << errc::NotFound;
    QTest::newRow("too many open files") << EMFILE << errc::TooManyFiles;
    QTest::newRow("too many open files in system") << ENFILE << errc::TooManyFiles;
    QTest::newRow("access denied") << EACCES << errc::AccessDenied;
    QTest::newRow("not permitted") << EPERM << errc::AccessDenied;
    QTest::newRow("sharing violation") << EAGAIN << errc::AccessDenied;
    QTest::newRow("already exists") << EEXIST << errc::AccessDenied;
    QTest::newRow("read-only file system") << EROFS << errc::AccessDenied;
    QTest::newRow("invalid handle") << EBADF << errc::InvalidHandle;
    QTest::newRow("not enough memory") << ENOMEM << errc::OutOfMemory;
    QTest::newRow("invalid drive") << ENODEV << errc::DeviceAccess;
    QTest::newRow("no such device") << ENXIO << errc::DeviceAccess;
    QTest::newRow("not same device") << EXDEV << errc::Moved;
    QTest::newRow("any other") << EIO << errc::UnknownOsError;
}

void ErrorsTest::osErrorsWhenOpening()
{
    QFETCH(int, osError);
    QFETCH(unsigned, code);
    MemTable t;
    FaultInjectionEnv faults(t.env);
    faults.failOpen("fatura.dat", osError);
    Cursor c("tfatura");
    try {
        c.open(kFolder, "fatura", {&faults});
        QFAIL("opened");
    } catch (const EngineError& e) {
        QCOMPARE(e.code(), code);
        QVERIFY(e.message().find("'fatura'") != std::string::npos || code == errc::OutOfMemory);
        if (code == errc::UnknownOsError)
            QVERIFY(e.message().find("error " + std::to_string(osError) + " occurred") != std::string::npos);
    }
    QVERIFY(!c.isOpen());
}

void ErrorsTest::missingDataFileLeavesCursorClosed()
{
    MemEnv env;
    Cursor c("tfatura");
    try {
        c.open(kFolder, "fatura", {&env});
        QFAIL("opened");
    } catch (const EngineError& e) {
        QCOMPARE(std::string(e.what()), std::string("TESKAV Engine Error # 11010 Table or backup file 'fatura' does not exist"));
    }
    QCOMPARE(c.state(), CursorState::Closed);
    const std::string closed = "tfatura: Cannot perform this operation on a closed dataset";
    QCOMPARE(cursorErrorOf([&] { c.append(); }), closed);
    QCOMPARE(cursorErrorOf([&] { c.edit(); }), closed);
    QCOMPARE(cursorErrorOf([&] { c.deleteRecord(); }), closed);
    QCOMPARE(cursorErrorOf([&] { c.locate("AD", "x", true, true); }), closed);
    QCOMPARE(cursorErrorOf([&] { c.recordCount(); }), closed);
    QCOMPARE(cursorErrorOf([&] { c.getText("AD"); }), closed);
    QCOMPARE(cursorErrorOf([&] { c.first(); }), closed);
}

void ErrorsTest::missingTableName()
{
    MemTable t;
    Cursor c("tfatura");
    for (const char* name : {"", "/db/", ".dat"})
        QCOMPARE(cursorErrorOf([&] { c.open(kFolder, name, {&t.env}); }), std::string("Missing table name"));
}

void ErrorsTest::shortReadIsReadError_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("skip");
    QTest::newRow("data header at open") << "fatura.dat" << 0;
    QTest::newRow("field descriptors at open") << "fatura.dat" << 1;
    QTest::newRow("record after open") << "fatura.dat" << -1;
}

void ErrorsTest::shortReadIsReadError()
{
    QFETCH(QString, file);
    QFETCH(int, skip);
    MemTable t;
    {
        Cursor c;
        t.open(c);
        t.add(c, "A");
        t.add(c, "B");
    }
    FaultInjectionEnv faults(t.env);
    Cursor c;
    if (skip >= 0) {
        faults.shortReads(file.toStdString(), skip);
        QCOMPARE(engineErrorOf([&] { c.open(kFolder, "fatura", {&faults}); }), errc::ReadFailed);
        QVERIFY(!c.isOpen());
        return;
    }
    c.open(kFolder, "fatura", {&faults});
    faults.shortReads(file.toStdString());
    QCOMPARE(engineErrorOf([&] { c.next(); }), errc::ReadFailed);
    faults.clearFaults();
    QVERIFY(c.next());
    QCOMPARE(c.getText("AD"), std::string("B"));
}

void ErrorsTest::shortWriteIsWriteError()
{
    MemTable t;
    FaultInjectionEnv faults(t.env);
    Cursor c;
    c.open(kFolder, "fatura", {&faults});
    t.add(c, "A");
    // The change's first write is its journal record: cut short, nothing of the change is made.
    faults.shortWrites("fatura.idx");
    c.append();
    c.setText("AD", "B");
    QCOMPARE(engineErrorOf([&] { c.post(); }), errc::WriteFailed);
    QCOMPARE(c.state(), CursorState::Insert);
    QCOMPARE(c.getText("AD"), std::string("B"));
    faults.clearFaults();
    c.post();
    QCOMPARE(c.recordCount(), 2u);
    QCOMPARE(browse(c), QStringList({"A", "B"}));
    const std::vector<std::string> problems = verifyTable(kFolder, "fatura", &t.env);
    QVERIFY2(problems.empty(), problems.empty() ? "" : problems.front().c_str());
}

void ErrorsTest::readOnlyDataFile()
{
    MemTable t;
    {
        Cursor c;
        t.open(c);
        t.add(c, "Ankara");
    }
    t.env.setReadOnly(t.dat(), true);
    Cursor c("tfatura");
    t.open(c);
    QVERIFY(c.isReadOnly());
    QCOMPARE(c.recordCount(), 1u);
    QVERIFY(c.locate("AD", "ank", true, true));
    QCOMPARE(cursorErrorOf([&] { c.append(); }), std::string("tfatura: Cannot modify a read-only dataset"));
    QCOMPARE(cursorErrorOf([&] { c.edit(); }), std::string("tfatura: Cannot modify a read-only dataset"));
    QCOMPARE(engineErrorOf([&] { c.deleteRecord(); }), errc::AccessDenied);
    QCOMPARE(c.recordCount(), 1u);
}

void ErrorsTest::readOnlyDataFileOnDisk()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const std::string folder = dir.path().toStdString();
    createTable(folder, "fatura", invoiceTableDefinition());
    {
        Cursor c;
        c.open(folder, "fatura");
        c.append();
        c.setText("TARIH", "01.01.2025");
        c.post();
    }
    const std::string dat = folder + "/fatura.dat";
    QCOMPARE(::chmod(dat.c_str(), 0444), 0);
    Cursor c("tfatura");
    c.open(folder, "fatura");
    QVERIFY(c.isReadOnly());
    QCOMPARE(c.getText("TARIH"), std::string("01.01.2025"));
    QCOMPARE(cursorErrorOf([&] { c.append(); }), std::string("tfatura: Cannot modify a read-only dataset"));
}

void ErrorsTest::folderWithoutLockFileIsReadOnly()
{
    MemTable t;
    t.env.setFolderReadOnly(kFolder, true);
    Cursor c("tfatura");
    t.open(c);
    QVERIFY(c.isReadOnly());
    QVERIFY(!t.env.exists(kFolder + "teskav.lck"));
    QCOMPARE(cursorErrorOf([&] { c.append(); }), std::string("tfatura: Cannot modify a read-only dataset"));
    // An index that cannot be written back is kept in memory; the table still opens.
    c.close();
    t.env.remove(t.idx());
    t.open(c);
    QVERIFY(c.isReadOnly());
    QCOMPARE(c.recordCount(), 0u);
}

void ErrorsTest::lockFileRetriedElevenTimes()
{
    MemTable t;
    Cursor c;
    t.open(c); // makes the lock file
    c.close();
    FaultInjectionEnv faults(t.env);
    faults.failOpen("teskav.lck", EACCES, 10);
    c.open(kFolder, "fatura", {&faults});
    QVERIFY(!c.isReadOnly()); // the eleventh attempt succeeded
    QCOMPARE(t.env.sleptMs(), 1000ull);
    c.close();

    MemTable u;
    u.open(c);
    c.close();
    FaultInjectionEnv always(u.env);
    always.failOpen("teskav.lck", EACCES);
    c.open(kFolder, "fatura", {&always});
    QVERIFY(c.isReadOnly());
    QCOMPARE(u.env.sleptMs(), 1000ull);
}

void ErrorsTest::exclusiveUseRefusesOthers()
{
    MemTable t;
    Cursor a;
    Cursor b;
    t.open(a, {nullptr, true});
    QVERIFY(a.isExclusive());
    QCOMPARE(engineErrorOf([&] { t.open(b); }), errc::AccessDenied);
    a.close();
    t.open(b);
    QCOMPARE(engineErrorOf([&] { t.open(a, {nullptr, true}); }), errc::AccessDenied);
}

// Two opens of one file on disk conflict through the sharing lock, as two processes would.
void ErrorsTest::exclusiveOpenOnDiskRefusesOthers()
{
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/f";
    PosixEnv env;
    std::unique_ptr<File> a;
    std::unique_ptr<File> b;
    QCOMPARE(env.open(path, Access::ReadWrite, Share::Exclusive, Disposition::CreateNew, a), 0);
    QCOMPARE(env.open(path, Access::ReadWrite, Share::Shared, Disposition::OpenExisting, b), EAGAIN);
    a.reset();
    QCOMPARE(env.open(path, Access::ReadWrite, Share::Shared, Disposition::OpenExisting, a), 0);
    QCOMPARE(env.open(path, Access::ReadOnly, Share::Shared, Disposition::OpenExisting, b), 0);
    std::unique_ptr<File> c;
    QCOMPARE(env.open(path, Access::ReadWrite, Share::Exclusive, Disposition::OpenExisting, c), EAGAIN);
    // Byte-range locks conflict between the two open files.
    QCOMPARE(a->lock(4294967295ULL - 7, 1, LockKind::Exclusive), 0);
    QCOMPARE(b->lock(4294967295ULL - 7, 1, LockKind::Shared), EAGAIN);
    QCOMPARE(a->unlock(4294967295ULL - 7, 1), 0);
    QCOMPARE(b->lock(4294967295ULL - 7, 1, LockKind::Shared), 0);
}

// A data file near the 4000000000-byte limit (sparse, so nothing is really written) refuses
// one more slot.
void ErrorsTest::tableFullAtFourGigabytes()
{
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    TableDefinition d;
    for (int i = 0; i < 127; ++i)
        d.fields.push_back(textField("T" + std::to_string(i), 512));
    createTable(folder, "big", d);
    const std::string dat = folder + "/big.dat";
    PosixEnv env;
    std::unique_ptr<File> file;
    QCOMPARE(env.open(dat, Access::ReadWrite, Share::Shared, Disposition::OpenExisting, file), 0);
    unsigned char header[64];
    QCOMPARE(file->read(0, header, sizeof header).bytes, sizeof header);
    std::uint16_t length;
    std::memcpy(&length, header + 45, 2);
    const std::uint64_t slotArea = 512 + 127 * 768;
    const std::uint32_t next = static_cast<std::uint32_t>((4000000000ULL - slotArea) / length) + 1;
    QCOMPARE(file->write(29, &next, 4).bytes, std::size_t(4));
    if (::truncate(dat.c_str(), static_cast<off_t>(slotArea + std::uint64_t(next - 1) * length)) != 0)
        QSKIP("no room for a sparse file of 4 GB here");
    file.reset();
    Cursor c;
    c.open(folder, "big");
    c.append();
    c.setText("T0", "x");
    QCOMPARE(engineErrorOf([&] { c.post(); }), errc::TableFull);
}

QTEST_GUILESS_MAIN(ErrorsTest)
#include "tst_engine_errors.moc"
