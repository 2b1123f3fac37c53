// Locates without an index, as the find dialog types them: the first bytes kept between
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

QTEST_GUILESS_MAIN(LocateTest)
#include "tst_engine_locate.moc"
