// Finding a record again by its identity in the table, whatever the cursor did meanwhile.
#include "EngineTestSupport.h"

using namespace enginetest;

class PositioningTest : public QObject {
    Q_OBJECT
private slots:
    void gotoRecordIdFindsTheRecord_data();
    void gotoRecordIdFindsTheRecord();
    void pendingEditIsPostedBeforeTheMove();
};

void PositioningTest::gotoRecordIdFindsTheRecord_data()
{
    QTest::addColumn<int>("primaryKey"); // 0: RecordID, else the field number of the key
    QTest::addColumn<bool>("descending");
    QTest::newRow("primary index on RecordID") << 0 << false;
    QTest::newRow("primary index on RecordID, descending") << 0 << true;
    QTest::newRow("primary index on a text field") << 2 << false;
}

// Deleted and reused slots make slot numbers and RecordIDs differ; the lookup goes by RecordID.
void PositioningTest::gotoRecordIdFindsTheRecord()
{
    QFETCH(int, primaryKey);
    QFETCH(bool, descending);
    TableDefinition d = smallDefinition();
    if (primaryKey)
        d.primaryIndex.keyFields = {primaryKey};
    d.primaryIndex.descending = descending;
    MemTable t(d);
    Cursor c("tfatura");
    t.open(c);
    const std::int32_t ali = t.add(c, "ali");
    const std::int32_t veli = t.add(c, "veli");
    QVERIFY(c.gotoRecordId(ali));
    c.deleteRecord();
    const std::int32_t ayse = t.add(c, "ayse"); // takes the freed slot
    t.add(c, "zeki");

    QVERIFY(c.gotoRecordId(veli));
    QCOMPARE(c.getText("AD"), std::string("veli"));
    QCOMPARE(c.currentRecordId(), veli);
    QVERIFY(c.gotoRecordId(ayse));
    QCOMPARE(c.getText("AD"), std::string("ayse"));
    QVERIFY(c.currentSlot() != std::uint32_t(ayse));

    // Gone or never there: false, and the cursor keeps its record.
    for (std::int32_t missing : {ali, 0, -1, 999}) {
        QVERIFY(!c.gotoRecordId(missing));
        QCOMPARE(c.currentRecordId(), ayse);
    }
    // The record stays reachable by browsing from where the lookup put the cursor.
    QVERIFY(c.gotoRecordId(veli));
    c.first();
    QVERIFY(c.hasCurrent());
}

void PositioningTest::pendingEditIsPostedBeforeTheMove()
{
    MemTable t;
    Cursor c;
    t.open(c);
    const std::int32_t first = t.add(c, "ali");
    const std::int32_t second = t.add(c, "veli");
    QVERIFY(c.gotoRecordId(first));
    c.edit();
    c.setText("AD", "ali riza");
    QVERIFY(c.gotoRecordId(second));
    QCOMPARE(c.state(), CursorState::Browse);
    QVERIFY(c.gotoRecordId(first));
    QCOMPARE(c.getText("AD"), std::string("ali riza"));
}

QTEST_GUILESS_MAIN(PositioningTest)
#include "tst_engine_positioning.moc"
