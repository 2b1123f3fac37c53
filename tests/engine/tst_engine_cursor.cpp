// The cursor as the archive drives it: opening, browsing, appending, editing, deleting,
// locating, and the rules for storing values.

#include "EngineTestSupport.h"

#include "Cp1254.h"
#include "FaultInjectionEnv.h"

#include "PosixEnv.h"

#include <QRandomGenerator>
#include <QTemporaryDir>

#include <fstream>

using namespace enginetest;

class CursorTest : public QObject {
    Q_OBJECT

private slots:
    void emptyTableHasNoCurrentRecord();
    void firstPostGetsRecIdOne();
    void deletedIdIsNotHandedOutAgain();
    void storingTextFollowsTheRules_data();
    void storingTextFollowsTheRules();
    void numbersRoundTripAndNullReadsAsZero();
    void locatePartialCaseInsensitive_data();
    void locatePartialCaseInsensitive();
    void failedLocateKeepsCurrentRecord();
    void scanLocateReturnsFirstInPrimaryOrder();
    void locateThroughSecondaryIndexMatchesScan_data();
    void locateThroughSecondaryIndexMatchesScan();
    void locateArgumentErrors();
    void repeatedLocatesAgreeWithPlainSearch();
    void fileViewsShowTheFileBytes_data();
    void fileViewsShowTheFileBytes();
    void scanInPlaceAgreesWithScanByReads_data();
    void scanInPlaceAgreesWithScanByReads();
    void changesByAnotherProcessAreSeen();
    void deletingMovesToNextThenPrior();
    void deletingTheOnlyRecordEmptiesTable();
    void browsingFollowsInsertionOrder();
    void moveByStopsAtTheEnds();
    void editThenPostChangesTheRecordInPlace();
    void editOnEmptyTableBeginsInsert();
    void cancelDropsChanges();
    void editSeesChangeByAnotherCursor();
    void recordLockedByAnotherCursor();
    void deleteSeesDeletionByAnotherCursor();
    void cursorsShareOneTable();
    void valuesSurviveReopening();
    void pendingInsertIsNotCounted();
    void setOutsideEditIsRefused();
    void requiredFieldMustHaveValue();
    void duplicateKeyInUniqueIndex();
    void primaryIndexOnUserFields_data();
    void primaryIndexOnUserFields();
    void autoIncrementWrapsToOne();
    void givenAutoIncrementValueIsKept();
    void defaultValuesFillNewRecord();
    void characterCaseOptionApplies();
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

void CursorTest::firstPostGetsRecIdOne()
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

void CursorTest::deletedIdIsNotHandedOutAgain()
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

void CursorTest::storingTextFollowsTheRules_data()
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

void CursorTest::storingTextFollowsTheRules()
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

void CursorTest::numbersRoundTripAndNullReadsAsZero()
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

void CursorTest::locatePartialCaseInsensitive_data()
{
    QTest::addColumn<QByteArray>("search");
    QTest::addColumn<bool>("caseInsensitive");
    QTest::addColumn<bool>("partial");
    QTest::addColumn<bool>("found");
    QTest::newRow("abc, both flags") << QByteArray("abc") << true << true << true;
    QTest::newRow("abcdefg, both flags: longer than stored") << QByteArray("abcdefg") << true << true << false;
    QTest::newRow("abcdef, case-insensitive whole") << QByteArray("abcdef") << true << false << true;
    QTest::newRow("abc, case-insensitive whole") << QByteArray("abc") << true << false << false;
    QTest::newRow("abc, partial only: case counts") << QByteArray("abc") << false << true << false;
    QTest::newRow("ABC, partial only") << QByteArray("ABC") << false << true << true;
    QTest::newRow("trailing blanks of search dropped") << QByteArray("abc   ") << true << true << true;
    QTest::newRow("leading blank does not match") << QByteArray(" abc") << true << true << false;
}

void CursorTest::locatePartialCaseInsensitive()
{
    QFETCH(QByteArray, search);
    QFETCH(bool, caseInsensitive);
    QFETCH(bool, partial);
    QFETCH(bool, found);
    MemTable t;
    Cursor c;
    t.open(c);
    t.add(c, "XYZ");
    t.add(c, "ABCDEF");
    t.add(c, "QRS");
    c.first();
    QCOMPARE(c.locate("AD", search.toStdString(), caseInsensitive, partial), found);
    QCOMPARE(c.getText("AD"), std::string(found ? "ABCDEF" : "XYZ"));
}

void CursorTest::failedLocateKeepsCurrentRecord()
{
    MemTable t;
    Cursor c;
    t.open(c);
    t.add(c, "A");
    t.add(c, "B");
    QCOMPARE(c.getText("AD"), std::string("B"));
    QVERIFY(!c.locate("AD", "Z", true, true));
    QCOMPARE(c.getText("AD"), std::string("B"));
    QVERIFY(c.hasCurrent());
}

void CursorTest::scanLocateReturnsFirstInPrimaryOrder()
{
    // Deleting the first record and appending reuses slot 1, so slot order and insertion order
    // differ: the match in slot 1 is the later record.
    MemTable t;
    Cursor c;
    t.open(c);
    t.add(c, "eski");
    t.add(c, "ALFA", "ilk");
    c.first();
    c.deleteRecord();
    t.add(c, "alfa", "ikinci");
    QCOMPARE(c.currentSlot(), 1u);
    c.first();
    QVERIFY(c.locate("AD", "ALF", true, true));
    QCOMPARE(c.getText("NOT"), std::string("ilk"));
    QVERIFY(c.locate("AD", "alfa", false, false));
    QCOMPARE(c.getText("NOT"), std::string("ikinci"));
    // The located record is current in the primary order: the next one follows it.
    QVERIFY(!c.next());
}

void CursorTest::locateThroughSecondaryIndexMatchesScan_data()
{
    QTest::addColumn<bool>("indexCaseInsensitive");
    QTest::newRow("case-insensitive index") << true;
    QTest::newRow("case-sensitive index") << false;
}

void CursorTest::locateThroughSecondaryIndexMatchesScan()
{
    QFETCH(bool, indexCaseInsensitive);
    TableDefinition withIndex = smallDefinition();
    IndexDef byName;
    byName.name = "ADX";
    byName.keyFields = {2};
    byName.caseInsensitive = indexCaseInsensitive;
    withIndex.secondaryIndexes.push_back(byName);
    MemTable indexed(withIndex, "indexed");
    MemTable plain(smallDefinition(), "plain");
    Cursor a;
    Cursor b;
    indexed.open(a);
    plain.open(b);
    const char* names[] = {"\xDD" "stanbul", "ankara", "Ankara", "ANTALYA", "izmir", "\xE7" "orum", "Ank", "bursa"};
    for (const char* n : names) {
        indexed.add(a, n);
        plain.add(b, n);
    }
    const char* searches[] = {"ank", "ANK", "Ankara", "ankaraX", "an", "\xC7" "OR", "iz", "IZ", "\xFD" "zm", "x", ""};
    for (const char* s : searches) {
        for (int flags = 0; flags < 4; ++flags) {
            const bool ci = flags & 1;
            const bool partial = flags & 2;
            a.first();
            b.first();
            const bool fa = a.locate("AD", s, ci, partial);
            const bool fb = b.locate("AD", s, ci, partial);
            QCOMPARE(fa, fb);
            if (fa && !(ci == indexCaseInsensitive)) // the scan path on both: same record
                QCOMPARE(a.currentRecordId(), b.currentRecordId());
            if (fa) { // either path finds a record that matches
                std::string got = a.getText("AD");
                QVERIFY(!got.empty() || std::string(s).empty());
            }
        }
    }
    // Through the index the first match in the index's own order is found: with the
    // case-insensitive index "ank" finds "Ank" (the shortest), a scan finds "ankara" (first added).
    a.first();
    b.first();
    QVERIFY(a.locate("AD", "ank", true, true));
    QVERIFY(b.locate("AD", "ank", true, true));
    QCOMPARE(b.getText("AD"), std::string("ankara"));
    QCOMPARE(a.getText("AD"), std::string(indexCaseInsensitive ? "Ank" : "ankara"));
}

void CursorTest::locateArgumentErrors()
{
    MemTable t;
    Cursor c("tfatura");
    t.open(c);
    QCOMPARE(cursorErrorOf([&] { c.locate(std::vector<std::string>{}, {}, true, true); }), std::string("No fields specified for locate"));
    QCOMPARE(cursorErrorOf([&] { c.locate(std::vector<std::string>(129, "AD"), {}, true, true); }),
             std::string("Too many fields for locate"));
    QCOMPARE(cursorErrorOf([&] { c.locate("YOK", "x", true, true); }), std::string("tfatura: Field 'YOK' not found"));
    t.add(c, "A", "not");
    // Field names compare without regard to case; two fields, one of them a number.
    QVERIFY(c.locate({"ad", "TUTAR"}, {std::string("a"), 0.0}, true, false));
    QVERIFY(!c.locate({"AD", "TUTAR"}, {std::string("a"), 1.0}, true, false));
    // A null value matches only null fields.
    QVERIFY(!c.locate({"NOT"}, {Value{}}, false, false));
    t.add(c, "B");
    c.first();
    QVERIFY(c.locate({"NOT"}, {Value{}}, false, false));
    QCOMPARE(c.getText("AD"), std::string("B"));
}

// Locates without an index remember the first bytes of the searched fields until the table
// changes; whatever they answer must be what a plain search of the records gives, before and
// after changes, for texts that share long beginnings.
void CursorTest::repeatedLocatesAgreeWithPlainSearch()
{
    MemTable t;
    Cursor c;
    t.open(c);
    QRandomGenerator random(99);
    // The last two share their first 24 characters, more than the cache keeps.
    const char* stems[] = {"ab", "abcdefgh", "ABCDEFGHIJ", "abcdefghijk", "\xFD\xFE\xF0", "x",
                           "ortak ba\xFEl\xFDk uzun metin A", "ORTAK BA\xDEL\xDDK UZUN METIN B"};
    std::vector<std::pair<std::int32_t, std::string>> records;
    auto addRandom = [&] {
        std::string text = stems[random.bounded(8)];
        text += std::string(static_cast<std::size_t>(random.bounded(4)), static_cast<char>('a' + random.bounded(3)));
        records.emplace_back(t.add(c, "r", text), text);
    };
    for (int i = 0; i < 300; ++i)
        addRandom();
    auto expected = [&](std::string search, bool ci, bool partial) -> std::int32_t {
        while (!search.empty() && search.back() == ' ')
            search.pop_back();
        if (ci)
            cp1254::toUpper(search);
        for (const auto& [id, stored] : records) {
            std::string s = stored.substr(0, 75);
            if (ci)
                cp1254::toUpper(s);
            if (search.empty() ? s.empty() : (partial ? s.compare(0, search.size(), search) == 0 && s.size() >= search.size() : s == search))
                return id;
        }
        return 0;
    };
    const char* searches[] = {"ab", "AB", "abcdefg", "abcdefgh", "ABCDEFGHa", "abcdefghij", "abcdefghijkab",
                              "\xDD\xDE", "I\xDE\xD0", "xb", "q", "ortak", "ortak ba\xFEl\xFDk uzun metin b",
                              "ORTAK BA\xDEL\xDDK UZUN METIN Aa", "ortak ba\xDEl\xDDk uzun metin"};
    for (int round = 0; round < 4; ++round) {
        // From the third round on, more records share the long beginning than are read one
        // by one: the cache gives way to a pass over the table.
        if (round == 2) {
            for (int i = 0; i < 300; ++i)
                records.emplace_back(t.add(c, "r", stems[6 + i % 2]), stems[6 + i % 2]);
        }
        for (const char* search : searches) {
            for (int flags = 0; flags < 4; ++flags) {
                const bool ci = flags & 1;
                const bool partial = flags & 2;
                for (int twice = 0; twice < 2; ++twice) {
                    const std::int32_t want = expected(search, ci, partial);
                    c.first();
                    QCOMPARE(c.locate("NOT", search, ci, partial), want != 0);
                    if (want != 0)
                        QCOMPARE(c.currentRecordId(), want);
                }
            }
        }
        // Change the table between rounds: delete some, change some, add some.
        for (int i = 0; i < 40; ++i) {
            const std::size_t at = static_cast<std::size_t>(random.bounded(static_cast<int>(records.size())));
            QVERIFY(c.locate({"ID"}, {double(records[at].first)}, false, false));
            if (i % 2 == 0) {
                c.deleteRecord();
                records.erase(records.begin() + static_cast<long>(at));
            } else {
                const std::string text = stems[random.bounded(8)];
                c.edit();
                c.setText("NOT", text);
                c.post();
                records[at].second = text;
            }
            addRandom();
        }
    }
}

void CursorTest::fileViewsShowTheFileBytes_data()
{
    QTest::addColumn<QString>("env");
    QTest::newRow("on disk") << "posix";
    QTest::newRow("in memory") << "mem";
    QTest::newRow("through fault injection") << "fault";
}

// A view shows exactly the bytes a read gives, from any offset (not only page starts), and
// none is given for a range reaching past the end of the file.
void CursorTest::fileViewsShowTheFileBytes()
{
    QFETCH(QString, env);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    PosixEnv posix;
    MemEnv mem;
    FaultInjectionEnv fault(mem);
    Env* chosen = env == "posix" ? static_cast<Env*>(&posix) : env == "mem" ? static_cast<Env*>(&mem) : &fault;
    const std::string path = dir.path().toStdString() + "/view.bin";
    std::string bytes(3 * 4096 + 123, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7 + i / 251);
    std::unique_ptr<File> file;
    QCOMPARE(chosen->open(path, Access::ReadWrite, Share::Shared, Disposition::CreateAlways, file), 0);
    QCOMPARE(file->write(0, bytes.data(), bytes.size()).bytes, bytes.size());

    const std::pair<std::uint64_t, std::size_t> ranges[] = {{0, bytes.size()}, {1, 10}, {4095, 2}, {5000, 7000},
                                                            {bytes.size() - 1, 1}};
    for (const auto& [offset, n] : ranges) {
        const std::unique_ptr<FileView> view = file->map(offset, n);
        QVERIFY2(view, qPrintable(QString("no view of %1 bytes at %2").arg(n).arg(offset)));
        QVERIFY(std::memcmp(view->data(), bytes.data() + offset, n) == 0);
    }
    QVERIFY(!file->map(bytes.size() - 10, 11));
    QVERIFY(!file->map(bytes.size() + 4096, 1));
}

namespace {

// Tables of wide records, so that a scan moves its window over the file several times.
TableDefinition wideDefinition()
{
    TableDefinition d;
    d.fields = {numberField("ID", FieldKind::AutoIncrement), textField("AD", 30)};
    for (int i = 1; i <= 8; ++i)
        d.fields.push_back(textField("DOLGU" + std::to_string(i), 512));
    return d;
}

} // namespace

void CursorTest::scanInPlaceAgreesWithScanByReads_data()
{
    // Records 1..count are appended (matching ones get `text`, the rest "diger N"), then
    // those in `deleted` are deleted, then `reinserted` records are appended into the freed
    // slots, the first `reinsertedMatching` of them with `text`.
    QTest::addColumn<int>("count");
    QTest::addColumn<QList<int>>("matching");
    QTest::addColumn<QList<int>>("deleted");
    QTest::addColumn<int>("reinserted");
    QTest::addColumn<int>("reinsertedMatching");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("search");

    const QByteArray name = "Kuzey Tekstil";
    QTest::newRow("first record") << 1300 << QList<int>{1, 700} << QList<int>{} << 0 << 0 << name << QByteArray("KUZ");
    QTest::newRow("last record, past every window")
        << 1300 << QList<int>{1300} << QList<int>{} << 0 << 0 << name << QByteArray("kuzey t");
    QTest::newRow("no match") << 1300 << QList<int>{} << QList<int>{5, 900} << 2 << 0 << name << QByteArray("kuz");
    QTest::newRow("records at window edges")
        << 1300 << QList<int>{32, 33, 160, 161} << QList<int>{} << 0 << 0 << name << QByteArray("kuzey");
    QTest::newRow("deleted matches are passed over")
        << 1300 << QList<int>{3, 40, 800} << QList<int>{3, 40} << 0 << 0 << name << QByteArray("kuzey");
    QTest::newRow("older record in a later slot before a reused slot")
        << 1300 << QList<int>{1100} << QList<int>{10, 20} << 2 << 2 << name << QByteArray("KUZEY");
    QTest::newRow("only match in a reused slot")
        << 1300 << QList<int>{} << QList<int>{10, 600} << 2 << 1 << name << QByteArray("kuzey");
    QTest::newRow("every match deleted, slots reused by others")
        << 1300 << QList<int>{2, 3} << QList<int>{2, 3} << 2 << 0 << name << QByteArray("kuzey");
    // Dotless and dotted i both upper-case to I.
    QTest::newRow("upper-casing of the code page")
        << 400 << QList<int>{250} << QList<int>{} << 0 << 0 << QByteArray("\xFDSPARTA gida") << QByteArray("isparta g\xFD");
    QTest::newRow("empty table") << 0 << QList<int>{} << QList<int>{} << 0 << 0 << name << QByteArray("kuzey");
}

// The first locate of an opened table looks at the records where they lie in the file when
// the file lets it, and reads them otherwise: both must find the first match in RecordID
// order, also when reused slots put later records before earlier ones.
void CursorTest::scanInPlaceAgreesWithScanByReads()
{
    QFETCH(int, count);
    QFETCH(QList<int>, matching);
    QFETCH(QList<int>, deleted);
    QFETCH(int, reinserted);
    QFETCH(int, reinsertedMatching);
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, search);

    MemTable t(wideDefinition());
    auto numbered = [](const char* stem, int i) {
        std::string s = stem;
        s += std::to_string(i);
        return s;
    };
    std::vector<std::pair<std::int32_t, std::string>> records; // by RecordID
    std::vector<std::int32_t> idOfNumber(static_cast<std::size_t>(count) + 1);
    {
        Cursor c;
        t.open(c, {nullptr, true});
        auto add = [&](const std::string& ad) {
            c.append();
            c.setText("AD", ad);
            c.setText("DOLGU8", "son alan");
            c.post();
            records.emplace_back(c.currentRecordId(), ad);
            return c.currentRecordId();
        };
        for (int i = 1; i <= count; ++i)
            idOfNumber[static_cast<std::size_t>(i)] = add(matching.contains(i) ? text.toStdString() : numbered("diger ", i));
        for (int number : deleted) {
            const std::int32_t id = idOfNumber[static_cast<std::size_t>(number)];
            QVERIFY(c.locate({"ID"}, {double(id)}, false, false));
            c.deleteRecord();
            std::erase_if(records, [id](const auto& r) { return r.first == id; });
        }
        for (int i = 0; i < reinserted; ++i)
            add(i < reinsertedMatching ? text.toStdString() : numbered("yeni ", i));
        if (reinserted > 0)
            QVERIFY(c.currentSlot() < static_cast<std::uint32_t>(count));
    }
    std::string wanted = search.toStdString();
    cp1254::toUpper(wanted);
    std::int32_t expected = 0;
    for (const auto& [id, ad] : records) {
        std::string upper = ad;
        cp1254::toUpper(upper);
        if (upper.compare(0, wanted.size(), wanted) == 0) {
            expected = id;
            break;
        }
    }

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const std::string folder = dir.path().toStdString() + "/";
    for (const std::string& file : {t.dat(), t.idx()}) {
        std::ofstream out(folder + file.substr(file.rfind('/') + 1), std::ios::binary);
        const std::string bytes = t.env.contents(file);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        QVERIFY(out.good());
    }
    PosixEnv posix;
    FaultInjectionEnv inPlace(t.env);
    FaultInjectionEnv byReads(t.env);
    byReads.setMapping(false);
    const struct {
        const char* how;
        Env* env;
        std::string folder;
    } ways[] = {{"in place in memory", &inPlace, kFolder}, {"by reads", &byReads, kFolder}, {"in place on disk", &posix, folder}};
    for (const auto& way : ways) {
        Cursor c;
        c.open(way.folder, t.name, {way.env, false, true});
        const bool found = c.locate("AD", search.toStdString(), true, true);
        QVERIFY2(found == (expected != 0), way.how);
        // A failed locate stays on the first record, where opening put the cursor.
        QVERIFY2(c.currentRecordId() == (found ? expected : records.empty() ? 0 : records.front().first), way.how);
        if (found)
            QVERIFY2(c.getText("AD") == text.toStdString(), way.how);
        // A second locate on the same cursor answers from what the first one kept.
        c.last();
        QVERIFY2(c.locate("AD", search.toStdString(), true, true) == found, way.how);
        if (found)
            QVERIFY2(c.currentRecordId() == expected, way.how);
    }
}

// A second table object on the same files, as another process has: what it writes shows in
// the count, in browsing and in locates of the first, which notices by the header's counter.
void CursorTest::changesByAnotherProcessAreSeen()
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

void CursorTest::editSeesChangeByAnotherCursor()
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

void CursorTest::recordLockedByAnotherCursor()
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

void CursorTest::deleteSeesDeletionByAnotherCursor()
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

void CursorTest::cursorsShareOneTable()
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

void CursorTest::setOutsideEditIsRefused()
{
    MemTable t;
    Cursor c("tfatura");
    t.open(c);
    QCOMPARE(cursorErrorOf([&] { c.setText("AD", "x"); }), std::string("Table is not in edit or insert mode"));
    c.append();
    QCOMPARE(cursorErrorOf([&] { c.setText("YOK", "x"); }), std::string("tfatura: Field 'YOK' not found"));
    QCOMPARE(cursorErrorOf([&] { c.getText("YOK"); }), std::string("tfatura: Field 'YOK' not found"));
}

void CursorTest::requiredFieldMustHaveValue()
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

void CursorTest::autoIncrementWrapsToOne()
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

void CursorTest::givenAutoIncrementValueIsKept()
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

void CursorTest::defaultValuesFillNewRecord()
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

void CursorTest::characterCaseOptionApplies()
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
