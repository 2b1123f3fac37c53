// Storing values: text rules, numbers, required fields, auto-increment values, defaults and
// character case, and the RecordID and REC_ID a post hands out.

#include "EngineTestSupport.h"


using namespace enginetest;

class ValuesTest : public QObject {
    Q_OBJECT

private slots:
    void firstPostGetsRecIdOne();
    void deletedIdIsNotHandedOutAgain();
    void storingTextFollowsTheRules_data();
    void storingTextFollowsTheRules();
    void numbersRoundTripAndNullReadsAsZero();
    void setOutsideEditIsRefused();
    void requiredFieldMustHaveValue();
    void autoIncrementWrapsToOne();
    void givenAutoIncrementValueIsKept();
    void defaultValuesFillNewRecord();
    void characterCaseOptionApplies();
};

void ValuesTest::firstPostGetsRecIdOne()
{
    MemTable t;
    Cursor c;
    t.open(c);
    c.append();
    QCOMPARE(c.state(), CursorState::Insert);
    c.edit(); // the archive calls Edit right after Append: still the same new record
    QCOMPARE(c.state(), CursorState::Insert);
    c.setText("AD", "ACME");
    c.post();
    QCOMPARE(c.state(), CursorState::Browse);
    QCOMPARE(c.recordCount(), 1u);
    QCOMPARE(c.getNumber("ID"), 1.0);
    QCOMPARE(c.currentRecordId(), 1);
    QCOMPARE(c.getText("AD"), std::string("ACME"));
}

void ValuesTest::deletedIdIsNotHandedOutAgain()
{
    MemTable t;
    Cursor c;
    t.open(c);
    for (const char* name : {"A", "B", "C"})
        t.add(c, name);
    c.last();
    QCOMPARE(c.getNumber("ID"), 3.0);
    c.deleteRecord();
    t.add(c, "D");
    QCOMPARE(c.getNumber("ID"), 4.0);
    QCOMPARE(c.currentRecordId(), 4);
    QCOMPARE(browse(c), QStringList({"A", "B", "D"}));
}

void ValuesTest::storingTextFollowsTheRules_data()
{
    QTest::addColumn<QByteArray>("given");
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<bool>("null");
    QTest::newRow("80 characters into 75") << QByteArray(80, 'x') << QByteArray(75, 'x') << false;
    QTest::newRow("exactly 75") << QByteArray(75, 'y') << QByteArray(75, 'y') << false;
    QTest::newRow("only blanks is null") << QByteArray("     ") << QByteArray() << true;
    QTest::newRow("empty is null") << QByteArray() << QByteArray() << true;
    QTest::newRow("leading blanks stay, trailing go") << QByteArray("  ab  ") << QByteArray("  ab") << false;
    QTest::newRow("cut first, then trailing blanks go") << QByteArray(74, 'z') + "   tail" << QByteArray(74, 'z') << false;
    QTest::newRow("a zero byte ends the text") << QByteArray("ab\0cd", 5) << QByteArray("ab") << false;
    QTest::newRow("code page 1254 letters kept") << QByteArray("\xC7\xD0\xDD\xDE\xFD") << QByteArray("\xC7\xD0\xDD\xDE\xFD") << false;
}

void ValuesTest::storingTextFollowsTheRules()
{
    QFETCH(QByteArray, given);
    QFETCH(QByteArray, stored);
    QFETCH(bool, null);
    MemTable t;
    Cursor c;
    t.open(c);
    c.append();
    c.setText("AD", "x");
    c.setText("NOT", std::string(given.constData(), given.size()));
    c.post();
    Cursor reader;
    t.open(reader);
    QCOMPARE(reader.getText("NOT"), stored.toStdString());
    QCOMPARE(reader.isNull("NOT"), null);
}

void ValuesTest::numbersRoundTripAndNullReadsAsZero()
{
    MemTable t;
    Cursor c;
    t.open(c);
    c.append();
    c.setText("AD", "x");
    c.post();
    QVERIFY(c.isNull("TUTAR"));
    QCOMPARE(c.getNumber("TUTAR"), 0.0);
    c.edit();
    c.setNumber("TUTAR", 1234.56);
    c.post();
    QCOMPARE(c.getNumber("TUTAR"), 1234.56);
    QCOMPARE(c.getText("TUTAR"), std::string("1234.56"));
    c.edit();
    c.setText("TUTAR", "0.1");
    c.post();
    QCOMPARE(c.getNumber("TUTAR"), 0.1);
    c.edit();
    QVERIFY(cursorErrorOf([&] { c.setText("TUTAR", "12,5"); }).find("not a valid value") != std::string::npos);
    c.setNull("TUTAR");
    c.post();
    QVERIFY(c.isNull("TUTAR"));
}

void ValuesTest::setOutsideEditIsRefused()
{
    MemTable t;
    Cursor c("tfatura");
    t.open(c);
    QCOMPARE(cursorErrorOf([&] { c.setText("AD", "x"); }), std::string("Table is not in edit or insert mode"));
    c.append();
    QCOMPARE(cursorErrorOf([&] { c.setText("YOK", "x"); }), std::string("tfatura: Field 'YOK' not found"));
    QCOMPARE(cursorErrorOf([&] { c.getText("YOK"); }), std::string("tfatura: Field 'YOK' not found"));
}

void ValuesTest::requiredFieldMustHaveValue()
{
    TableDefinition d = smallDefinition();
    d.fields[1].required = true;
    d.fields[0].required = true; // auto-increment: always gets a value
    MemTable t(d);
    Cursor c;
    t.open(c);
    c.append();
    c.setText("NOT", "x");
    const unsigned code = engineErrorOf([&] { c.post(); });
    QCOMPARE(code, errc::RequiredValue);
    try {
        c.post();
    } catch (const EngineError& e) {
        QCOMPARE(e.message(), std::string("A value must be provided for the field 'AD' in the table 'fatura'"));
    }
    // A failed post keeps the insert with its values.
    QCOMPARE(c.state(), CursorState::Insert);
    QCOMPARE(c.getText("NOT"), std::string("x"));
    c.setText("AD", "a");
    c.post();
    QCOMPARE(c.recordCount(), 1u);
    QCOMPARE(c.getNumber("ID"), 1.0);
}

void ValuesTest::autoIncrementWrapsToOne()
{
    MemTable t;
    std::string bytes = t.datBytes();
    writeAt<std::int32_t>(bytes, 33, 2147483646); // last RecordID
    writeAt<std::int32_t>(bytes, 37, 2147483646); // last auto-increment value
    t.env.setContents(t.dat(), bytes);
    Cursor c;
    t.open(c);
    t.add(c, "A");
    QCOMPARE(c.currentRecordId(), 2147483647);
    QCOMPARE(c.getNumber("ID"), 2147483647.0);
    t.add(c, "B");
    QCOMPARE(c.currentRecordId(), 1);
    QCOMPARE(c.getNumber("ID"), 1.0);
    t.add(c, "C");
    QCOMPARE(c.currentRecordId(), 2);
    QCOMPARE(c.getNumber("ID"), 2.0);
    QCOMPARE(c.stats().lastAutoIncrement, 2);
}

void ValuesTest::givenAutoIncrementValueIsKept()
{
    MemTable t;
    Cursor c;
    t.open(c);
    c.append();
    c.setText("AD", "A");
    c.setNumber("ID", 100);
    c.post();
    QCOMPARE(c.getNumber("ID"), 100.0);
    t.add(c, "B");
    QCOMPARE(c.getNumber("ID"), 101.0);
    c.append();
    c.setNumber("ID", 50);
    c.setText("AD", "C");
    c.post();
    QCOMPARE(c.stats().lastAutoIncrement, 101);
    c.append();
    QVERIFY(!cursorErrorOf([&] { c.setNumber("ID", 1.5); }).empty());
    c.cancel();
}

void ValuesTest::defaultValuesFillNewRecord()
{
    TableDefinition d = smallDefinition();
    d.fields[2].defaultValue = "varsay\xFDlan  ";
    d.fields[3].defaultValue = "18";
    MemTable t(d);
    Cursor c;
    t.open(c);
    c.append();
    QCOMPARE(c.getText("NOT"), std::string("varsay\xFDlan"));
    QCOMPARE(c.getNumber("TUTAR"), 18.0);
    QVERIFY(c.isNull("AD"));
    c.setText("AD", "a");
    c.post();
    QCOMPARE(c.getNumber("TUTAR"), 18.0);
}

void ValuesTest::characterCaseOptionApplies()
{
    TableDefinition d = smallDefinition();
    d.fields[1].charCase = CharCase::Upper;
    d.fields[2].charCase = CharCase::Lower;
    MemTable t(d);
    Cursor c;
    t.open(c);
    c.append();
    c.setText("AD", "i\xFD\xE7\xF0\xFE");   // i ı ç ğ ş
    c.setText("NOT", "I\xDD\xC7\xD0\xDE");  // I İ Ç Ğ Ş
    c.post();
    QCOMPARE(c.getText("AD"), std::string("II\xC7\xD0\xDE"));
    QCOMPARE(c.getText("NOT"), std::string("ii\xE7\xF0\xFE"));
}

QTEST_GUILESS_MAIN(ValuesTest)
#include "tst_engine_values.moc"
