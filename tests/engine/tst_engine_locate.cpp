// Locating records: partial and case-insensitive matches, through an index or by scanning the
// table. Locates without an index, as the find dialog types them: the first bytes kept between
// locates must stay right across this process's own changes, give way to changes made through
// another table object, and a damaged record met on the way is an engine error.

#include "EngineTestSupport.h"

#include "Cp1254.h"
#include "FaultInjectionEnv.h"
#include "PosixEnv.h"

#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <unistd.h>

using namespace enginetest;

namespace {

// The table as the test believes it to be, in primary index order, and the plain search that
// every locate must agree with.
struct Model {
    struct Row {
        std::int32_t id;
        std::string ad;
        std::string note;
    };
    enum class Order { RecordId, RecordIdDescending, Ad };
    Order order = Order::RecordId;
    std::vector<Row> rows;

    void sort()
    {
        std::stable_sort(rows.begin(), rows.end(), [this](const Row& a, const Row& b) {
            switch (order) {
            case Order::RecordId:
                return a.id < b.id;
            case Order::RecordIdDescending:
                return a.id > b.id;
            case Order::Ad:
                break;
            }
            return a.ad < b.ad;
        });
    }
    Row* find(std::int32_t id)
    {
        auto it = std::find_if(rows.begin(), rows.end(), [id](const Row& r) { return r.id == id; });
        return it == rows.end() ? nullptr : &*it;
    }
    // The RecordID a locate of NOT must find, 0 for none.
    std::int32_t expected(std::string search, bool ci, bool partial) const
    {
        while (!search.empty() && search.back() == ' ')
            search.pop_back();
        if (ci)
            cp1254::toUpper(search);
        for (const Row& r : rows) {
            std::string s = r.note.substr(0, 75);
            if (ci)
                cp1254::toUpper(s);
            const bool match = search.empty() ? s.empty()
                               : partial      ? s.compare(0, search.size(), search) == 0
                                              : s == search;
            if (match)
                return r.id;
        }
        return 0;
    }
};

// Texts that share beginnings shorter and longer than the bytes a cache keeps.
const char* const kStems[] = {"ab", "abcdefgh", "ABCDEFGHIJ", "\xFD\xFE\xF0", "x",
                              "ortak ba\xFEl\xFDk uzun metin A", "ORTAK BA\xDEL\xDDK UZUN METIN B"};
const char* const kSearches[] = {"ab", "ABCDEFGHi", "abcdefghij", "\xDD\xDE", "I\xDE\xD0", "xb", "q", "ortak",
                                 "ortak ba\xFEl\xFDk uzun metin b", "ORTAK BA\xDEL\xDDK UZUN METIN Aa"};

} // namespace

class LocateTest : public QObject {
    Q_OBJECT

private slots:
    void locatesAgreeWithPlainSearchAcrossOwnChanges_data();
    void locatesAgreeWithPlainSearchAcrossOwnChanges();
    void locateAfterOwnChangeReadsNoRecordsAgain_data();
    void locateAfterOwnChangeReadsNoRecordsAgain();
    void namedFieldsAreKeptFromTheFirstLocate();
    void changesThroughAnotherTableObjectAreSeen_data();
    void changesThroughAnotherTableObjectAreSeen();
    void damagedRecordMetWhileSearchingIsAnEngineError_data();
    void damagedRecordMetWhileSearchingIsAnEngineError();
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

void LocateTest::locatesAgreeWithPlainSearchAcrossOwnChanges_data()
{
    QTest::addColumn<int>("order");
    QTest::addColumn<bool>("fillToTheEnd");
    QTest::addColumn<std::int32_t>("lastRecordId");
    const struct {
        const char* name;
        Model::Order order;
    } orders[] = {{"primary on RecordID", Model::Order::RecordId},
                  {"primary on RecordID descending", Model::Order::RecordIdDescending},
                  {"primary on a user field", Model::Order::Ad}};
    for (const auto& o : orders) {
        QTest::addRow("%s, cache filled to the end", o.name) << int(o.order) << true << 0;
        QTest::addRow("%s, cache filled part-way", o.name) << int(o.order) << false << 0;
    }
    // New RecordIDs start again at 1 after the largest: a new record then comes first.
    QTest::newRow("primary on RecordID, RecordID wrapping to 1")
        << int(Model::Order::RecordId) << true << std::int32_t(2147483647 - 150);
}

// Every change goes through one of two cursors of the process (they share one table object
// and its cache); after each, locates must give what a plain search of the records gives.
void LocateTest::locatesAgreeWithPlainSearchAcrossOwnChanges()
{
    QFETCH(int, order);
    QFETCH(bool, fillToTheEnd);
    QFETCH(std::int32_t, lastRecordId);
    TableDefinition d = smallDefinition();
    Model model;
    model.order = Model::Order(order);
    if (model.order == Model::Order::RecordIdDescending)
        d.primaryIndex.descending = true;
    if (model.order == Model::Order::Ad)
        d.primaryIndex.keyFields = {2};
    MemTable t(d);
    if (lastRecordId != 0) {
        std::string bytes = t.datBytes();
        writeAt<std::int32_t>(bytes, 33, lastRecordId);
        t.env.setContents(t.dat(), bytes);
    }
    Cursor searcher;
    Cursor writer;
    t.open(searcher);
    t.open(writer);
    QRandomGenerator random(7);
    int serial = 0;
    auto randomText = [&] {
        std::string text = kStems[random.bounded(7)];
        text += std::string(static_cast<std::size_t>(random.bounded(3)), static_cast<char>('a' + random.bounded(3)));
        return text;
    };
    // Changed and new records get a text no other record has, which the check then looks for.
    std::string latest;
    auto insert = [&](Cursor& c, const std::string& note) {
        char ad[16];
        std::snprintf(ad, sizeof ad, "R%05d", ++serial);
        const std::int32_t id = t.add(c, ad, note);
        model.rows.push_back({id, ad, note});
        model.sort();
    };
    for (int i = 0; i < 300; ++i)
        insert(writer, randomText());

    auto check = [&](const char* after) {
        std::vector<std::string> searches(std::begin(kSearches), std::end(kSearches));
        searches.push_back(latest);
        for (const std::string& search : searches) {
            for (int flags = 0; flags < 4; ++flags) {
                const bool ci = flags & 1;
                const bool partial = flags & 2;
                const std::int32_t want = model.expected(search, ci, partial);
                searcher.first();
                const bool found = searcher.locate("NOT", search, ci, partial);
                QVERIFY2(found == (want != 0), qPrintable(QString("%1: \"%2\" ci %3 partial %4").arg(after, search.c_str()).arg(ci).arg(partial)));
                if (want != 0)
                    QVERIFY2(searcher.currentRecordId() == want,
                             qPrintable(QString("%1: \"%2\" found %3, expected %4").arg(after, search.c_str()).arg(searcher.currentRecordId()).arg(want)));
            }
        }
    };
    if (fillToTheEnd)
        QVERIFY(!searcher.locate("NOT", "zzz", true, true));
    else
        QVERIFY(searcher.locate("NOT", model.rows[model.rows.size() / 3].note, false, false));

    for (int step = 0; step < 60; ++step) {
        Cursor& c = step % 3 == 0 ? searcher : writer;
        const int kind = random.bounded(3);
        const std::size_t at = static_cast<std::size_t>(random.bounded(static_cast<int>(model.rows.size())));
        const std::int32_t id = model.rows[at].id;
        const char* what = "insert";
        latest = randomText() + " #" + std::to_string(step);
        if (kind == 0) {
            insert(c, latest);
        } else {
            QVERIFY(c.gotoRecordId(id));
            if (kind == 1) {
                what = "edit";
                c.edit();
                c.setText("NOT", latest);
                c.post();
                model.find(id)->note = latest;
            } else {
                what = "delete";
                c.deleteRecord();
                model.rows.erase(model.rows.begin() + static_cast<long>(at));
            }
        }
        check(qPrintable(QString("after %1 %2").arg(what).arg(step)));
        if (QTest::currentTestFailed())
            return;
    }
    QVERIFY(verifyTable(kFolder, t.name, &t.env).empty());
}

void LocateTest::locateAfterOwnChangeReadsNoRecordsAgain_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("found");
    QTest::newRow("insert of a match") << "insert" << true;
    QTest::newRow("edit into a match") << "edit in" << true;
    QTest::newRow("edit of the only match away") << "edit out" << false;
    QTest::newRow("delete of the only match") << "delete" << false;
}

// The first keystroke after a save: the locate answers from what it kept, reading at most the
// record it finds, instead of reading the table again.
void LocateTest::locateAfterOwnChangeReadsNoRecordsAgain()
{
    QFETCH(QString, change);
    QFETCH(bool, found);
    MemTable t;
    FaultInjectionEnv env(t.env);
    Cursor c;
    c.open(kFolder, t.name, {&env});
    for (int i = 0; i < 600; ++i)
        t.add(c, "r", "diger " + std::to_string(i));
    const std::int32_t target = 321;
    if (change == "edit out" || change == "delete") {
        QVERIFY(c.gotoRecordId(target));
        c.edit();
        c.setText("NOT", "Kuzey Tekstil");
        c.post();
    }
    // Fills the cache to the end of the table.
    QVERIFY(!c.locate("NOT", "zzz", true, true));

    if (change == "insert") {
        t.add(c, "r", "Kuzey Tekstil");
    } else {
        QVERIFY(c.gotoRecordId(target));
        if (change == "delete") {
            c.deleteRecord();
        } else {
            c.edit();
            c.setText("NOT", change == "edit in" ? "KUZEY TEKSTIL" : "G\xFCney");
            c.post();
        }
    }
    c.first();
    // The change counter check and one read of the record found; a table read again needs many.
    env.addFault({FaultInjectionEnv::Op::Read, "fatura.dat", EIO, 2, -1});
    bool got = false;
    QCOMPARE(engineErrorOf([&] { got = c.locate("NOT", "kuzey", true, true); }), 0u);
    env.clearFaults();
    QCOMPARE(got, found);
    if (found)
        QCOMPARE(c.getText("NOT").substr(0, 5), std::string(change == "insert" ? "Kuzey" : "KUZEY"));
}

// The find dialog names its search boxes before the first search; the first search in another
// box then answers from what the first one kept.
void LocateTest::namedFieldsAreKeptFromTheFirstLocate()
{
    MemTable t;
    FaultInjectionEnv env(t.env);
    Cursor c;
    c.open(kFolder, t.name, {&env});
    for (int i = 0; i < 600; ++i)
        t.add(c, "ad " + std::to_string(i), "not " + std::to_string(i));
    c.expectLocates({"AD", "NOT"});
    QVERIFY(!c.locate("NOT", "zzz", true, true));
    env.addFault({FaultInjectionEnv::Op::Read, "fatura.dat", EIO, 2, -1});
    bool found = false;
    QCOMPARE(engineErrorOf([&] { found = c.locate("AD", "AD 59", true, false); }), 0u);
    env.clearFaults();
    QVERIFY(found);
    QCOMPARE(c.currentRecordId(), 60);
}

void LocateTest::changesThroughAnotherTableObjectAreSeen_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("ownPostAfter");
    for (bool own : {false, true}) {
        const char* suffix = own ? ", then an own post" : "";
        QTest::addRow("other inserts the only match%s", suffix) << "insert" << own;
        QTest::addRow("other edits a record into a match%s", suffix) << "edit in" << own;
        QTest::addRow("other edits the match away%s", suffix) << "edit out" << own;
        QTest::addRow("other deletes the match%s", suffix) << "delete" << own;
    }
}

// Another table object on the same files, as another process has: its changes move the change
// counter, and the first table must then drop what it kept, also when its own post comes
// between the other's change and its next locate.
void LocateTest::changesThroughAnotherTableObjectAreSeen()
{
    QFETCH(QString, change);
    QFETCH(bool, ownPostAfter);
    MemTable t;
    FaultInjectionEnv otherProcess(t.env);
    Cursor a;
    Cursor b;
    t.open(a);
    b.open(kFolder, t.name, {&otherProcess});
    for (int i = 0; i < 400; ++i)
        t.add(a, "r", i == 200 ? std::string("Kuzey Tekstil") : "diger " + std::to_string(i));
    QVERIFY(!a.locate("NOT", "zzz", true, true));
    QVERIFY(a.locate("NOT", "kuzey", true, true));
    QCOMPARE(a.currentRecordId(), 201);

    std::int32_t expected = 0;
    if (change == "insert") {
        QVERIFY(b.gotoRecordId(201));
        b.deleteRecord();
        expected = t.add(b, "r", "kuzeybat\xFD");
    } else if (change == "edit in") {
        QVERIFY(b.gotoRecordId(50));
        b.edit();
        b.setText("NOT", "KUZEY");
        b.post();
        expected = 50;
    } else {
        QVERIFY(b.gotoRecordId(201));
        if (change == "delete") {
            b.deleteRecord();
        } else {
            b.edit();
            b.setText("NOT", "Bat\xFD");
            b.post();
        }
    }
    if (ownPostAfter) {
        QVERIFY(a.gotoRecordId(7));
        a.edit();
        a.setText("AD", "own");
        a.post();
    }
    a.first();
    QCOMPARE(a.locate("NOT", "kuzey", true, true), expected != 0);
    if (expected != 0)
        QCOMPARE(a.currentRecordId(), expected);
    QCOMPARE(a.locate("NOT", "bat", true, true), change == "edit out");
}

void LocateTest::damagedRecordMetWhileSearchingIsAnEngineError_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<bool>("onDisk");
    QTest::addColumn<unsigned>("error");
    QTest::newRow("slot state neither in use nor deleted") << "state" << false << errc::NotValid;
    QTest::newRow("slot names another slot") << "link" << false << errc::NotValid;
    QTest::newRow("slot holds another RecordID than its index entry") << "id" << false << errc::NotValid;
    QTest::newRow("slot marked deleted under its index entry") << "deleted" << false << errc::NotValid;
    QTest::newRow("file cut short under the open table, in memory") << "cut" << false << errc::ReadFailed;
    QTest::newRow("file cut short under the open table, on disk") << "cut" << true << errc::ReadFailed;
}

// The damage lies in record 300 of 400; a locate for a text behind it meets it. The error leaves
// the table usable: a locate of a record before the damage still finds it.
void LocateTest::damagedRecordMetWhileSearchingIsAnEngineError()
{
    QFETCH(QString, damage);
    QFETCH(bool, onDisk);
    QFETCH(unsigned, error);
    MemTable t;
    std::uint32_t length = 0;
    std::uint64_t slotsAt = 0;
    {
        Cursor c;
        t.open(c);
        for (int i = 1; i <= 400; ++i)
            t.add(c, "r", i == 350 ? std::string("Kuzey") : "diger " + std::to_string(i));
        length = c.stats().recordLength;
        slotsAt = 512 + 768 * c.definition().fields.size();
    }
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const std::string folder = onDisk ? dir.path().toStdString() + "/" : kFolder;
    PosixEnv posix;
    Env& env = onDisk ? static_cast<Env&>(posix) : t.env;
    if (onDisk) {
        for (const std::string& file : {t.dat(), t.idx()}) {
            std::ofstream out(folder + file.substr(file.rfind('/') + 1), std::ios::binary);
            const std::string bytes = t.env.contents(file);
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            QVERIFY(out.good());
        }
    }
    const std::size_t slot300 = slotsAt + 299 * std::size_t(length);
    if (damage != "cut") {
        std::string bytes = t.datBytes();
        if (damage == "state")
            bytes[slot300] = 7;
        else if (damage == "deleted")
            bytes[slot300] = 1;
        else if (damage == "link")
            writeAt<std::uint32_t>(bytes, slot300 + 1, 301);
        else
            writeAt<std::int32_t>(bytes, slot300 + 5, 9999);
        t.env.setContents(t.dat(), bytes);
    }
    Cursor c;
    c.open(folder, t.name, {&env});
    if (damage == "cut") {
        if (onDisk)
            QCOMPARE(::truncate((folder + "fatura.dat").c_str(), static_cast<off_t>(slot300 + 3)), 0);
        else
            t.env.setContents(t.dat(), t.datBytes().substr(0, slot300 + 3));
    }
    QCOMPARE(engineErrorOf([&] { c.locate("NOT", "kuzey", true, true); }), error);
    QVERIFY(c.locate("NOT", "DIGER 12", true, true));
    QCOMPARE(c.currentRecordId(), 12);
}

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

// The first locate of an opened table must find the first match in RecordID order whatever
// the file offers (views of its bytes or reads only, in memory or on disk), also when reused
// slots put later records before earlier ones.
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
    } ways[] = {{"memory with views", &inPlace, kFolder}, {"memory without views", &byReads, kFolder}, {"on disk", &posix, folder}};
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
