// The cursor as the archive drives it: opening, browsing, appending, editing and deleting,
// and the rules for table names.

#include "EngineTestSupport.h"

#include <QRandomGenerator>

using namespace enginetest;

class CursorTest : public QObject {
    Q_OBJECT

private slots:
    void emptyTableHasNoCurrentRecord();
    void deletingMovesToNextThenPrior();
    void deletingTheOnlyRecordEmptiesTable();
    void browsingFollowsInsertionOrder();
    void moveByStopsAtTheEnds();
    void editThenPostChangesTheRecordInPlace();
    void editOnEmptyTableBeginsInsert();
    void cancelDropsChanges();
    void valuesSurviveReopening();
    void pendingInsertIsNotCounted();
    void duplicateKeyInUniqueIndex();
    void primaryIndexOnUserFields_data();
    void primaryIndexOnUserFields();
    void tableNameRules_data();
    void tableNameRules();
    void otherExtensionsAndLongNames();
};

void CursorTest::emptyTableHasNoCurrentRecord()
{
    MemTable t;
    Cursor c("tfatura");
    t.open(c);
    QCOMPARE(c.state(), CursorState::Browse);
    QCOMPARE(c.recordCount(), 0u);
    QVERIFY(c.isEmpty());
    QVERIFY(!c.hasCurrent());
    c.first();
    QVERIFY(!c.hasCurrent());
    QVERIFY(c.bof() && c.eof());
    QVERIFY(!c.next());
    QCOMPARE(c.getText("AD"), std::string());
    QCOMPARE(c.getNumber("TUTAR"), 0.0);
}

void CursorTest::deletingMovesToNextThenPrior()
{
    MemTable t;
    Cursor c;
    t.open(c);
    for (const char* n : {"A", "B", "C"})
        t.add(c, n);
    c.first();
    c.next();
    c.deleteRecord();
    QCOMPARE(c.getText("AD"), std::string("C"));
    c.deleteRecord(); // the last one: the record before it becomes current
    QCOMPARE(c.getText("AD"), std::string("A"));
    QCOMPARE(c.recordCount(), 1u);
}

void CursorTest::deletingTheOnlyRecordEmptiesTable()
{
    MemTable t;
    Cursor c("tfatura");
    t.open(c);
    t.add(c, "A");
    c.deleteRecord();
    QCOMPARE(c.recordCount(), 0u);
    QVERIFY(!c.hasCurrent());
    QCOMPARE(cursorErrorOf([&] { c.deleteRecord(); }),
             std::string("tfatura: Cannot perform this operation on an empty dataset"));
}

void CursorTest::browsingFollowsInsertionOrder()
{
    MemTable t;
    Cursor c;
    t.open(c);
    QStringList expected;
    for (int i = 0; i < 2000; ++i) {
        const std::string name = "N" + std::to_string((i * 7919) % 2000);
        t.add(c, name);
        expected << QString::fromStdString(name);
    }
    QCOMPARE(browse(c), expected);
    // Backwards as well.
    QStringList backwards;
    c.last();
    do
        backwards.prepend(QString::fromStdString(c.getText("AD")));
    while (c.prior());
    QCOMPARE(backwards, expected);
    QVERIFY(c.bof());
    // Long moves either way land where stepping would.
    QRandomGenerator random(7);
    int at = 0;
    for (int i = 0; i < 200; ++i) {
        const int distance = random.bounded(-700, 700);
        const int target = std::clamp(at + distance, 0, int(expected.size()) - 1);
        QCOMPARE(c.moveBy(distance), target - at);
        at = target;
        QCOMPARE(QString::fromStdString(c.getText("AD")), expected[at]);
    }
}

void CursorTest::moveByStopsAtTheEnds()
{
    MemTable t;
    Cursor c;
    t.open(c);
    for (const char* n : {"A", "B", "C", "D"})
        t.add(c, n);
    c.first();
    QCOMPARE(c.moveBy(2), 2);
    QCOMPARE(c.getText("AD"), std::string("C"));
    QCOMPARE(c.moveBy(5), 1);
    QVERIFY(c.eof());
    QCOMPARE(c.moveBy(-10), -3);
    QVERIFY(c.bof());
    QCOMPARE(c.getText("AD"), std::string("A"));
}

void CursorTest::editThenPostChangesTheRecordInPlace()
{
    MemTable t;
    Cursor c;
    t.open(c);
    t.add(c, "A");
    t.add(c, "B");
    c.first();
    c.edit();
    QCOMPARE(c.state(), CursorState::Edit);
    c.setText("AD", "A2");
    c.post();
    QCOMPARE(c.recordCount(), 2u);
    QCOMPARE(c.getNumber("ID"), 1.0);
    QCOMPARE(c.currentRecordId(), 1);
    QCOMPARE(browse(c), QStringList({"A2", "B"}));
}

void CursorTest::editOnEmptyTableBeginsInsert()
{
    MemTable t;
    Cursor c;
    t.open(c);
    c.edit();
    QCOMPARE(c.state(), CursorState::Insert);
    c.setText("AD", "X");
    c.post();
    QCOMPARE(c.recordCount(), 1u);
}

void CursorTest::cancelDropsChanges()
{
    MemTable t;
    Cursor c;
    t.open(c);
    t.add(c, "A");
    c.edit();
    c.setText("AD", "changed");
    c.cancel();
    QCOMPARE(c.getText("AD"), std::string("A"));
    c.append();
    c.setText("AD", "new");
    c.cancel();
    QCOMPARE(c.recordCount(), 1u);
    QCOMPARE(c.getText("AD"), std::string("A"));
    // Delete in insert state drops the new record.
    c.append();
    c.deleteRecord();
    QCOMPARE(c.recordCount(), 1u);
    QCOMPARE(c.state(), CursorState::Browse);
}

void CursorTest::valuesSurviveReopening()
{
    MemTable t;
    {
        Cursor c;
        t.open(c);
        for (int i = 0; i < 300; ++i)
            t.add(c, "AD" + std::to_string(i), "not " + std::to_string(i), i * 1.5);
    }
    Cursor c;
    t.open(c);
    QCOMPARE(c.recordCount(), 300u);
    int i = 0;
    c.first();
    do {
        QCOMPARE(c.getText("AD"), "AD" + std::to_string(i));
        QCOMPARE(c.getText("NOT"), "not " + std::to_string(i));
        QCOMPARE(c.getNumber("TUTAR"), i * 1.5);
        QCOMPARE(c.getNumber("ID"), double(i + 1));
        ++i;
    } while (c.next());
    QCOMPARE(i, 300);
    QVERIFY(verifyTable(kFolder, t.name, &t.env).empty());
}

void CursorTest::pendingInsertIsNotCounted()
{
    MemTable t;
    Cursor c;
    t.open(c);
    c.append();
    c.setText("AD", "x");
    QCOMPARE(c.recordCount(), 0u);
    // Moving posts a changed insert.
    c.first();
    QCOMPARE(c.recordCount(), 1u);
    // ... and drops an unchanged one.
    c.append();
    c.first();
    QCOMPARE(c.recordCount(), 1u);
}

void CursorTest::duplicateKeyInUniqueIndex()
{
    TableDefinition d = smallDefinition();
    IndexDef unique;
    unique.name = "ADU";
    unique.keyFields = {2};
    unique.unique = true;
    unique.caseInsensitive = true;
    d.secondaryIndexes.push_back(unique);
    MemTable t(d);
    Cursor c;
    t.open(c);
    t.add(c, "Ali");
    c.append();
    c.setText("AD", "ALI");
    try {
        c.post();
        QFAIL("duplicate posted");
    } catch (const EngineError& e) {
        QCOMPARE(e.code(), errc::DuplicateKey);
        QCOMPARE(e.message(), std::string("Duplicate key found in the index 'ADU' of the table 'fatura'"));
    }
    c.setText("AD", "Veli");
    c.post();
    // Editing a record keeps its own key without counting it as a duplicate.
    c.edit();
    c.setText("NOT", "x");
    c.post();
    c.edit();
    c.setText("AD", "ali");
    QCOMPARE(engineErrorOf([&] { c.post(); }), errc::DuplicateKey);
    c.cancel();
    QCOMPARE(c.recordCount(), 2u);
    QVERIFY(verifyTable(kFolder, t.name, &t.env).empty());
}

void CursorTest::primaryIndexOnUserFields_data()
{
    QTest::addColumn<bool>("descending");
    QTest::newRow("ascending") << false;
    QTest::newRow("descending") << true;
}

// Browsing follows the primary index whatever its key; a locate on its leading field goes
// through it; its keys are unique.
void CursorTest::primaryIndexOnUserFields()
{
    QFETCH(bool, descending);
    TableDefinition d = smallDefinition();
    d.primaryIndex.keyFields = {2};
    d.primaryIndex.caseInsensitive = true;
    d.primaryIndex.descending = descending;
    MemTable t(d);
    Cursor c;
    t.open(c);
    for (const char* name : {"zeytin", "elma", "\xE7" "am", "Erik"})
        t.add(c, name);
    // Compared upper-cased byte by byte: ELMA < ERIK < ZEYTIN < \xC7AM, since \xC7 is above 'Z'.
    std::vector<std::string> expected = {"elma", "Erik", "zeytin", "\xE7" "am"};
    if (descending)
        std::reverse(expected.begin(), expected.end());
    std::vector<std::string> got;
    c.first();
    do
        got.push_back(c.getText("AD"));
    while (c.next());
    QCOMPARE(got, expected);
    QVERIFY(c.locate("AD", "er", true, true));
    QCOMPARE(c.getText("AD"), std::string("Erik"));
    c.append();
    c.setText("AD", "ELMA");
    try {
        c.post();
        QFAIL("duplicate posted");
    } catch (const EngineError& e) {
        QCOMPARE(e.message(), std::string("Duplicate key found in the index '' of the table 'fatura'"));
    }
    c.cancel();
    QVERIFY(verifyTable(kFolder, t.name, &t.env).empty());
}

void CursorTest::tableNameRules_data()
{
    QTest::addColumn<QString>("given");
    QTest::newRow("bare") << "fatura";
    QTest::newRow("with extension") << "fatura.dat";
    QTest::newRow("extension in capitals") << "fatura.DAT";
    QTest::newRow("folder part dropped") << "/somewhere/else/fatura";
    QTest::newRow("climbing folder part dropped") << "../../fatura.dat";
    QTest::newRow("backslash folder part dropped") << "..\\..\\fatura";
}

void CursorTest::tableNameRules()
{
    QFETCH(QString, given);
    MemTable t;
    Cursor c;
    c.open(kFolder, given.toStdString(), {&t.env});
    QCOMPARE(c.tableName(), std::string("fatura"));
    // The folder is completed with its separator.
    Cursor d;
    d.open("/db", given.toStdString(), {&t.env});
    QCOMPARE(d.tableName(), std::string("fatura"));
}

void CursorTest::otherExtensionsAndLongNames()
{
    MemEnv env;
    createTable(kFolder, "a.b", smallDefinition(), &env);
    QVERIFY(env.exists(kFolder + "a.b.dat"));
    QVERIFY(env.exists(kFolder + "a.b.idx"));
    const std::string longName(70, 'u');
    createTable(kFolder, longName + ".dat", smallDefinition(), &env);
    QVERIFY(env.exists(kFolder + std::string(60, 'u') + ".dat"));
    Cursor c;
    c.open(kFolder, longName, {&env});
    QCOMPARE(c.tableName(), std::string(60, 'u'));
}

QTEST_GUILESS_MAIN(CursorTest)
#include "tst_engine_cursor.moc"
