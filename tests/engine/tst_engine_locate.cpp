// Locating records: partial and case-insensitive matches, through an index or by scanning the
// table, and the two ways a scan reads the records (in place and by reads).

#include "EngineTestSupport.h"

#include "Cp1254.h"
#include "FaultInjectionEnv.h"
#include "PosixEnv.h"

#include <QRandomGenerator>
#include <QTemporaryDir>

#include <fstream>

using namespace enginetest;

class LocateTest : public QObject {
    Q_OBJECT

private slots:
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
};

void LocateTest::locatePartialCaseInsensitive_data()
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

void LocateTest::locatePartialCaseInsensitive()
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

void LocateTest::failedLocateKeepsCurrentRecord()
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

void LocateTest::scanLocateReturnsFirstInPrimaryOrder()
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

void LocateTest::locateThroughSecondaryIndexMatchesScan_data()
{
    QTest::addColumn<bool>("indexCaseInsensitive");
    QTest::newRow("case-insensitive index") << true;
    QTest::newRow("case-sensitive index") << false;
}

void LocateTest::locateThroughSecondaryIndexMatchesScan()
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

void LocateTest::locateArgumentErrors()
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
void LocateTest::repeatedLocatesAgreeWithPlainSearch()
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

void LocateTest::fileViewsShowTheFileBytes_data()
{
    QTest::addColumn<QString>("env");
    QTest::newRow("on disk") << "posix";
    QTest::newRow("in memory") << "mem";
    QTest::newRow("through fault injection") << "fault";
}

// A view shows exactly the bytes a read gives, from any offset (not only page starts), and
// none is given for a range reaching past the end of the file.
void LocateTest::fileViewsShowTheFileBytes()
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

void LocateTest::scanInPlaceAgreesWithScanByReads_data()
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
void LocateTest::scanInPlaceAgreesWithScanByReads()
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

QTEST_GUILESS_MAIN(LocateTest)
#include "tst_engine_locate.moc"
