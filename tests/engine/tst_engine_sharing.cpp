// Several cursors on one table, in one process and as if in several: each sees the others'
// changes, and a record changed or locked by one is refused to another.

#include "EngineTestSupport.h"

#include "FaultInjectionEnv.h"

using namespace enginetest;

class SharingTest : public QObject {
    Q_OBJECT

private slots:
    void changesByAnotherProcessAreSeen();
    void editSeesChangeByAnotherCursor();
    void recordLockedByAnotherCursor();
    void deleteSeesDeletionByAnotherCursor();
    void cursorsShareOneTable();
};

// A second table object on the same files, as another process has: what it writes shows in
// the count, in browsing and in locates of the first, which notices by the header's counter.
void SharingTest::changesByAnotherProcessAreSeen()
{
    MemTable t;
    FaultInjectionEnv otherProcess(t.env); // another Env: its own table object, like a process
    Cursor a;
    Cursor b;
    t.open(a);
    b.open(kFolder, "fatura", {&otherProcess});
    t.add(a, "Ali");
    QVERIFY(!b.locate("AD", "ayse", true, false)); // b remembers the table as it is now
    QCOMPARE(b.recordCount(), 1u);
    for (int i = 0; i < 500; ++i)
        t.add(b, "B" + std::to_string(i));
    t.add(b, "Ay\xFE" "e");
    QCOMPARE(a.recordCount(), 502u);
    QVERIFY(a.locate("AD", "ay\xDE" "E", true, false));
    QCOMPARE(a.currentRecordId(), 502);
    QCOMPARE(browse(a).size(), 502);
    b.first();
    b.edit();
    b.setText("AD", "Veli");
    b.post();
    QVERIFY(!a.locate("AD", "ali", true, false));
    a.first();
    QCOMPARE(a.getText("AD"), std::string("Veli"));
    // The record a read before b changed it cannot be edited from that old copy.
    QVERIFY(a.locate("AD", "B7", false, false));
    b.last();
    b.prior();
    QVERIFY(b.locate("AD", "B7", false, false));
    b.edit();
    b.setText("NOT", "changed");
    b.post();
    QCOMPARE(engineErrorOf([&] { a.edit(); }), errc::RecordChanged);
    const std::vector<std::string> faults = verifyTable(kFolder, t.name, &t.env);
    QVERIFY2(faults.empty(), faults.empty() ? "" : faults.front().c_str());
}

void SharingTest::editSeesChangeByAnotherCursor()
{
    MemTable t;
    Cursor a;
    Cursor b;
    t.open(a);
    t.add(a, "A");
    t.open(b);
    b.edit();
    b.setText("AD", "by b");
    b.post();
    QCOMPARE(engineErrorOf([&] { a.edit(); }), errc::RecordChanged);
    QCOMPARE(a.state(), CursorState::Browse);
    a.first(); // reading again makes the new copy the one compared
    a.edit();
    QCOMPARE(a.getText("AD"), std::string("by b"));
    a.cancel();
}

void SharingTest::recordLockedByAnotherCursor()
{
    MemTable t;
    Cursor a;
    Cursor b;
    t.open(a);
    t.add(a, "A");
    t.open(b);
    a.edit();
    QCOMPARE(engineErrorOf([&] { b.edit(); }), errc::RecordLock);
    a.cancel();
    b.edit(); // released by Cancel
    b.post();
    a.first();
    a.edit();
    a.post(); // and by Post
    b.first();
    b.edit();
    b.cancel();
}

void SharingTest::deleteSeesDeletionByAnotherCursor()
{
    MemTable t;
    Cursor a;
    Cursor b;
    t.open(a);
    t.add(a, "A");
    t.add(a, "B");
    t.open(b);
    a.first();
    b.first();
    b.deleteRecord();
    QCOMPARE(engineErrorOf([&] { a.deleteRecord(); }), errc::RecordChanged);
    QCOMPARE(a.recordCount(), 1u);
    // A cursor left on a deleted record still moves by its place in the order.
    QVERIFY(a.next());
    QCOMPARE(a.getText("AD"), std::string("B"));
}

void SharingTest::cursorsShareOneTable()
{
    MemTable t;
    Cursor a;
    Cursor b;
    t.open(a);
    t.open(b);
    t.add(a, "A");
    QCOMPARE(b.recordCount(), 1u);
    QCOMPARE(browse(b), QStringList({"A"}));
    b.close();
    QVERIFY(!b.isOpen());
    QCOMPARE(cursorErrorOf([&] { b.recordCount(); }), std::string("Cannot perform this operation on a closed dataset"));
}

QTEST_GUILESS_MAIN(SharingTest)
#include "tst_engine_sharing.moc"
