// Damaged table files: each gives its engine error (or a rebuilt index where the index file is
// missing or short), never a crash, a hang or a runaway allocation; verifyTable names what is
// wrong.

#include "EngineTestSupport.h"

#include "FaultInjectionEnv.h"

#include <cerrno>

#include <QRandomGenerator>

using namespace enginetest;

namespace {

// A table of three records with the index file of a secondary index on AD.
MemTable* filledTable(int records = 3)
{
    TableDefinition d = smallDefinition();
    IndexDef byName;
    byName.name = "ADX";
    byName.keyFields = {2};
    byName.caseInsensitive = true;
    d.secondaryIndexes.push_back(byName);
    auto* t = new MemTable(d);
    Cursor c;
    t->open(c);
    for (int i = 0; i < records; ++i)
        t->add(c, "R" + std::to_string(i), "not", i);
    return t;
}

void patch(MemEnv& env, const std::string& path, std::size_t offset, const QByteArray& bytes)
{
    std::string contents = env.contents(path);
    contents.replace(offset, static_cast<std::size_t>(bytes.size()), bytes.constData(), static_cast<std::size_t>(bytes.size()));
    env.setContents(path, contents);
}

QByteArray le32(std::uint32_t v)
{
    return QByteArray(reinterpret_cast<const char*>(&v), 4);
}

QByteArray le16(std::uint16_t v)
{
    return QByteArray(reinterpret_cast<const char*>(&v), 2);
}

bool anyFaultContains(const std::vector<std::string>& faults, const std::string& text)
{
    for (const std::string& f : faults) {
        if (f.find(text) != std::string::npos)
            return true;
    }
    return false;
}

constexpr std::size_t kField2 = 512 + 768;        // descriptor of AD
constexpr std::size_t kSlotsStart = 512 + 4 * 768; // first slot of the small table
constexpr std::size_t kPrimary = 512;             // primary index descriptor

} // namespace

class CorruptionTest : public QObject {
    Q_OBJECT

private slots:
    void damagedHeaders_data();
    void damagedHeaders();
    void zeroedHeaders_data();
    void zeroedHeaders();
    void truncatedDataFile_data();
    void truncatedDataFile();
    void missingOrShortIndexIsRebuilt_data();
    void missingOrShortIndexIsRebuilt();
    void damagedIndexPages_data();
    void damagedIndexPages();
    void misorderedLeafCannotLoopTheCursor();
    void freeChainInCircle();
    void damagedSlots_data();
    void damagedSlots();
    void verifyNamesEachFault_data();
    void verifyNamesEachFault();
    void randomDamageNeverCrashes();
    void interruptedChangesLeaveWorkingTable_data();
    void interruptedChangesLeaveWorkingTable();
};

void CorruptionTest::damagedHeaders_data()
{
    QTest::addColumn<bool>("index");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<unsigned>("code");
    QTest::newRow("version 5") << false << 8 << QByteArray("\x05") << errc::WrongVersion;
    QTest::newRow("version 7") << false << 8 << QByteArray("\x07") << errc::NotValid;
    QTest::newRow("version 255") << false << 8 << QByteArray("\xFF") << errc::NotValid;
    QTest::newRow("signature") << false << 12 << QByteArray("\x00", 1) << errc::NotValid;
    QTest::newRow("field count 1025") << false << 47 << le16(1025) << errc::HeaderCorrupt;
    QTest::newRow("field count 1024, file too short") << false << 47 << le16(1024) << errc::ReadFailed;
    QTest::newRow("field count 0") << false << 47 << le16(0) << errc::NotValid;
    QTest::newRow("field count 3: layout differs") << false << 47 << le16(3) << errc::NotValid;
    QTest::newRow("encrypted") << false << 172 << QByteArray("\x01") << errc::PasswordRequired;
    QTest::newRow("BLOB fields") << false << 49 << le16(1) << errc::NotValid;
    QTest::newRow("record length") << false << 45 << le16(200) << errc::NotValid;
    QTest::newRow("index page size 100") << false << 59 << le32(100) << errc::NotValid;
    QTest::newRow("next slot 0") << false << 29 << le32(0) << errc::NotValid;
    QTest::newRow("next slot past the file") << false << 29 << le32(100) << errc::ReadFailed;
    QTest::newRow("next slot past any file") << false << 29 << le32(0xFFFFFFFF) << errc::NotValid;
    QTest::newRow("free slot beyond the slots") << false << 25 << le32(9) << errc::NotValid;
    QTest::newRow("record count beyond the slots") << false << 41 << le32(9) << errc::NotValid;
    QTest::newRow("unknown field type") << false << int(kField2 + 164) << QByteArray("\x02") << errc::NotValid;
    QTest::newRow("text of size 0") << false << int(kField2 + 166) << le16(0) << errc::NotValid;
    QTest::newRow("stored width") << false << int(kField2 + 169) << le16(22) << errc::NotValid;
    QTest::newRow("null flag offset") << false << int(kField2 + 172) << le16(26) << errc::NotValid;
    QTest::newRow("field number") << false << int(kField2) << le16(7) << errc::NotValid;
    QTest::newRow("name longer than its field") << false << int(kField2 + 2) << QByteArray("\x61") << errc::NotValid;
    QTest::newRow("empty name") << false << int(kField2 + 2) << QByteArray("\x00", 1) << errc::NotValid;
    QTest::newRow("same name twice") << false << int(kField2 + 768 + 2) << QByteArray("\x02" "ad\0", 4) << errc::NotValid;
    QTest::newRow("computed field") << false << int(kField2 + 480) << QByteArray("\x01") << errc::NotValid;
    QTest::newRow("character case 3") << false << int(kField2 + 175) << QByteArray("\x03") << errc::NotValid;
    QTest::newRow("index version 5") << true << 8 << QByteArray("\x05") << errc::WrongVersion;
    QTest::newRow("index version 7") << true << 8 << QByteArray("\x07") << errc::NotValid;
    QTest::newRow("index signature") << true << 20 << QByteArray("\x01") << errc::NotValid;
    QTest::newRow("31 secondary indexes") << true << 33 << QByteArray("\x1F") << errc::HeaderCorrupt;
    QTest::newRow("index key field 99") << true << int(kPrimary + 259) << le16(99) << errc::NotValid;
    QTest::newRow("index of 129 key fields") << true << int(kPrimary + 130) << QByteArray("\x81") << errc::NotValid;
    QTest::newRow("secondary index without keys") << true << int(kPrimary + 768 + 130) << QByteArray("\x00", 1) << errc::NotValid;
    QTest::newRow("root past the pages") << true << int(kPrimary + 515) << le32(5000) << errc::NotValid;
}

void CorruptionTest::damagedHeaders()
{
    QFETCH(bool, index);
    QFETCH(int, offset);
    QFETCH(QByteArray, bytes);
    QFETCH(unsigned, code);
    std::unique_ptr<MemTable> t(filledTable());
    const std::string path = index ? t->idx() : t->dat();
    patch(t->env, path, static_cast<std::size_t>(offset), bytes);
    const std::string before = t->env.contents(path);
    Cursor c;
    QCOMPARE(engineErrorOf([&] { t->open(c); }), code);
    QVERIFY(!c.isOpen());
    QCOMPARE(t->env.contents(path), before); // not "repaired" behind the user's back
    const std::vector<std::string> faults = verifyTable(kFolder, t->name, &t->env);
    QCOMPARE(faults.size(), std::size_t(1));
    QVERIFY(faults.front().find("TESKAV Engine Error # " + std::to_string(code)) == 0);
}

void CorruptionTest::zeroedHeaders_data()
{
    QTest::addColumn<bool>("index");
    QTest::newRow("data file") << false;
    QTest::newRow("index file") << true;
}

void CorruptionTest::zeroedHeaders()
{
    QFETCH(bool, index);
    std::unique_ptr<MemTable> t(filledTable());
    patch(t->env, index ? t->idx() : t->dat(), 0, QByteArray(512, '\0'));
    Cursor c;
    QCOMPARE(engineErrorOf([&] { t->open(c); }), errc::WrongVersion);
}

void CorruptionTest::truncatedDataFile_data()
{
    QTest::addColumn<int>("length");
    QTest::newRow("one byte short") << -1;
    QTest::newRow("within the descriptors") << 900;
    QTest::newRow("within the header") << 100;
    QTest::newRow("empty") << 0;
}

void CorruptionTest::truncatedDataFile()
{
    QFETCH(int, length);
    std::unique_ptr<MemTable> t(filledTable());
    std::string dat = t->datBytes();
    dat.resize(length < 0 ? dat.size() - 1 : static_cast<std::size_t>(length));
    t->env.setContents(t->dat(), dat);
    Cursor c;
    QCOMPARE(engineErrorOf([&] { t->open(c); }), errc::ReadFailed);
}

void CorruptionTest::missingOrShortIndexIsRebuilt_data()
{
    QTest::addColumn<int>("length");
    QTest::newRow("missing") << -1;
    QTest::newRow("empty") << 0;
    QTest::newRow("cut in the descriptors") << 3000;
    QTest::newRow("cut in the pages") << 25088 + 100;
    QTest::newRow("header calls for more pages") << -2;
}

// The rebuilt primary index is on RecordID, so the records come back in the order they were
// added even where slots were reused; the secondary index is not made again.
void CorruptionTest::missingOrShortIndexIsRebuilt()
{
    QFETCH(int, length);
    std::unique_ptr<MemTable> t(filledTable(400));
    {
        Cursor c;
        t->open(c);
        c.first();
        c.next();
        c.deleteRecord(); // frees slot 2 ...
        t->add(c, "late"); // ... which the newest record takes
        QCOMPARE(c.currentSlot(), 2u);
    }
    QStringList expected;
    for (int i = 0; i < 400; ++i) {
        if (i != 1)
            expected << "R" + QString::number(i);
    }
    expected << "late";
    if (length == -1) {
        t->env.remove(t->idx());
    } else if (length == -2) {
        std::string idx = t->idxBytes();
        writeAt<std::uint32_t>(idx, 29, 500);
        t->env.setContents(t->idx(), idx);
    } else {
        std::string idx = t->idxBytes();
        idx.resize(static_cast<std::size_t>(length));
        t->env.setContents(t->idx(), idx);
    }
    Cursor c;
    t->open(c);
    QVERIFY(!c.isReadOnly());
    QCOMPARE(c.recordCount(), 400u);
    QCOMPARE(browse(c), expected);
    QVERIFY(c.definition().secondaryIndexes.empty());
    QCOMPARE(c.definition().primaryIndex.keyFields, std::vector<int>{kRecordIdField});
    QVERIFY(c.locate("AD", "r39", true, false));
    QCOMPARE(c.currentRecordId(), 40);
    t->add(c, "after");
    QCOMPARE(browse(c).last(), QString("after"));
    QVERIFY(verifyTable(kFolder, t->name, &t->env).empty());
}

void CorruptionTest::damagedIndexPages_data()
{
    QTest::addColumn<int>("offsetInRoot");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("kind") << 0 << QByteArray("\x07");
    QTest::newRow("owner") << 1 << QByteArray("\x05");
    QTest::newRow("entry count too large") << 2 << le16(4000);
    QTest::newRow("child is the page itself") << 4 << QByteArray("ROOT");
    QTest::newRow("child past the file") << 4 << le32(9999);
    QTest::newRow("child page 0") << 4 << le32(0);
}

void CorruptionTest::damagedIndexPages()
{
    QFETCH(int, offsetInRoot);
    QFETCH(QByteArray, bytes);
    std::unique_ptr<MemTable> t(filledTable(2000)); // a primary index of more than one level
    const std::string idx = t->idxBytes();
    const std::uint32_t root = readAt<std::uint32_t>(idx, kPrimary + 515);
    QCOMPARE(readAt<std::uint8_t>(idx, 25088 + (root - 1) * 4096), std::uint8_t(2)); // interior
    if (bytes == "ROOT")
        bytes = le32(root);
    patch(t->env, t->idx(), 25088 + (root - 1) * 4096 + static_cast<std::size_t>(offsetInRoot), bytes);
    Cursor c;
    QCOMPARE(engineErrorOf([&] { t->open(c); }), errc::NotValid);
    QVERIFY(!verifyTable(kFolder, t->name, &t->env).empty());
}

void CorruptionTest::misorderedLeafCannotLoopTheCursor()
{
    std::unique_ptr<MemTable> t(filledTable(10));
    const std::string idx = t->idxBytes();
    const std::uint32_t root = readAt<std::uint32_t>(idx, kPrimary + 515);
    const std::size_t page = 25088 + (root - 1) * 4096;
    // Swap the first and the last of the ten 12-byte entries of the primary leaf.
    std::string bytes = idx;
    std::swap_ranges(bytes.begin() + static_cast<long>(page + 8), bytes.begin() + static_cast<long>(page + 20),
                     bytes.begin() + static_cast<long>(page + 8 + 9 * 12));
    t->env.setContents(t->idx(), bytes);
    Cursor c;
    const unsigned code = engineErrorOf([&] {
        t->open(c);
        int steps = 0;
        while (c.next() && ++steps < 100) {
        }
        QVERIFY(steps < 100);
    });
    QVERIFY(code == 0 || code == errc::NotValid);
    QVERIFY(anyFaultContains(verifyTable(kFolder, t->name, &t->env), "out of order"));
}

// Two deleted slots that name each other: the third insert would reuse a slot in use.
void CorruptionTest::freeChainInCircle()
{
    std::unique_ptr<MemTable> t(filledTable(5));
    Cursor c;
    t->open(c);
    for (const char* victim : {"R1", "R4"}) {
        QVERIFY(c.locate("AD", victim, false, false));
        c.deleteRecord();
    }
    c.close();
    const std::size_t length = readAt<std::uint16_t>(t->datBytes(), 45);
    patch(t->env, t->dat(), kSlotsStart + 1 * length + 1, le32(5)); // slot 2 -> 5, slot 5 -> 2
    QVERIFY(anyFaultContains(verifyTable(kFolder, t->name, &t->env), "comes round again"));
    t->open(c);
    t->add(c, "x");
    t->add(c, "y");
    c.append();
    c.setText("AD", "z");
    QCOMPARE(engineErrorOf([&] { c.post(); }), errc::NotValid);
    QCOMPARE(c.recordCount(), 5u);
}

void CorruptionTest::damagedSlots_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("state 7") << 0 << QByteArray("\x07");
    QTest::newRow("in use but deleted") << 0 << QByteArray("\x01");
    QTest::newRow("another slot's number") << 1 << le32(3);
    QTest::newRow("another RecordID") << 5 << le32(77);
}

void CorruptionTest::damagedSlots()
{
    QFETCH(int, offset);
    QFETCH(QByteArray, bytes);
    std::unique_ptr<MemTable> t(filledTable());
    const std::size_t length = readAt<std::uint16_t>(t->datBytes(), 45);
    patch(t->env, t->dat(), kSlotsStart + length + static_cast<std::size_t>(offset), bytes); // slot 2
    Cursor c;
    t->open(c);
    QCOMPARE(c.getText("AD"), std::string("R0"));
    QCOMPARE(engineErrorOf([&] { c.next(); }), errc::NotValid);
    // A locate without an index reads the records the primary index names, and meets it too.
    QCOMPARE(engineErrorOf([&] { c.locate("NOT", "nothing", true, true); }), errc::NotValid);
    QVERIFY(!verifyTable(kFolder, t->name, &t->env).empty());
}

void CorruptionTest::verifyNamesEachFault_data()
{
    QTest::addColumn<int>("variant");
    QTest::addColumn<QString>("fault");
    QTest::newRow("changed value") << 0 << "RecordHash does not match";
    QTest::newRow("record count") << 1 << "header record count 2, records in use 3";
    QTest::newRow("trailing bytes") << 2 << "bytes long, its header calls for";
    QTest::newRow("text without an end") << 3 << "text without a terminating zero byte";
    QTest::newRow("null with bytes") << 4 << "null but its bytes are not zero";
    QTest::newRow("deleted slot not chained") << 5 << "is not in the free slot chain";
    QTest::newRow("entry for no record") << 6 << "no entry for the record in slot 1";
    QTest::newRow("lost index page") << 7 << "neither in an index nor free";
}

void CorruptionTest::verifyNamesEachFault()
{
    QFETCH(int, variant);
    QFETCH(QString, fault);
    std::unique_ptr<MemTable> t(filledTable());
    QVERIFY(verifyTable(kFolder, t->name, &t->env).empty());
    const std::size_t length = readAt<std::uint16_t>(t->datBytes(), 45);
    const std::size_t slot1 = kSlotsStart;
    std::string dat = t->datBytes();
    switch (variant) {
    case 0: dat[slot1 + 31] = 'X'; break;                        // a letter of AD
    case 1: writeAt<std::uint32_t>(dat, 41, 2); break;
    case 2: dat += std::string(5, '\0'); break;
    case 3: std::memset(dat.data() + slot1 + 31, 'a', 21); break; // AD without its zero byte
    case 4: dat[slot1 + 53] = 'q'; break;                        // inside the null NOT... set below
    case 5: dat[slot1 + 2 * length] = 1; writeAt<std::uint32_t>(dat, 41, 2); break; // slot 3 deleted, unchained
    case 6: break;
    case 7: break;
    }
    if (variant == 4) {
        Cursor c;
        t->open(c);
        c.edit();
        c.setNull("NOT");
        c.post();
        c.close();
        dat = t->datBytes();
        dat[slot1 + 60] = 'q';
    }
    t->env.setContents(t->dat(), dat);
    if (variant == 6) {
        // Remove the primary entry of slot 1 by shifting the leaf's other entries over it.
        std::string idx = t->idxBytes();
        const std::uint32_t root = readAt<std::uint32_t>(idx, kPrimary + 515);
        const std::size_t page = 25088 + (root - 1) * 4096;
        idx.erase(page + 8, 12);
        idx.insert(page + 8 + 2 * 12, 12, '\0');
        writeAt<std::uint16_t>(idx, page + 2, 2);
        t->env.setContents(t->idx(), idx);
    }
    if (variant == 7) {
        std::string idx = t->idxBytes();
        idx += std::string(4096, '\0');
        writeAt<std::uint32_t>(idx, 29, readAt<std::uint32_t>(idx, 29) + 1);
        t->env.setContents(t->idx(), idx);
    }
    const std::vector<std::string> faults = verifyTable(kFolder, t->name, &t->env);
    for (const std::string& f : faults)
        qDebug("%s", f.c_str());
    QVERIFY(anyFaultContains(faults, fault.toStdString()));
}

// Bytes flipped at random anywhere in either file; whatever the engine then does, it ends in
// an engine or cursor error or in success, and verifyTable finishes.
void CorruptionTest::randomDamageNeverCrashes()
{
    QRandomGenerator random(20250101);
    for (int round = 0; round < 300; ++round) {
        std::unique_ptr<MemTable> t(filledTable(120));
        const bool index = random.bounded(2) == 1;
        const std::string path = index ? t->idx() : t->dat();
        std::string bytes = t->env.contents(path);
        const int flips = 1 + random.bounded(8);
        for (int i = 0; i < flips; ++i) {
            // Mostly where the structure lives: headers, descriptors, first slots and pages.
            const std::size_t limit = random.bounded(3) == 0 ? bytes.size() : std::min<std::size_t>(bytes.size(), 26000);
            bytes[static_cast<std::size_t>(random.bounded(static_cast<quint64>(limit)))] ^=
                static_cast<char>(1 + random.bounded(255));
        }
        t->env.setContents(path, bytes);
        try {
            Cursor c;
            t->open(c);
            int steps = 0;
            c.first();
            while (c.hasCurrent() && c.next() && ++steps < 1000) {
            }
            QVERIFY(steps < 1000);
            c.locate("AD", "r5", true, true);
            c.locate("TUTAR", "7", false, false);
            t->add(c, "new");
            c.first();
            c.deleteRecord();
        } catch (const EngineError&) {
        } catch (const CursorError&) {
        }
        verifyTable(kFolder, t->name, &t->env);
    }
}

void CorruptionTest::interruptedChangesLeaveWorkingTable_data()
{
    QTest::addColumn<int>("change");
    QTest::newRow("append into a new slot") << 0;
    QTest::newRow("append into a freed slot") << 1;
    QTest::newRow("change a record") << 2;
    QTest::newRow("delete a record") << 3;
}

// Every write of the change, in turn, is the first that fails (and so every one after it): the
// table opened afresh holds the change wholly or not at all, passes the check, and takes a new
// record and deletes it.
void CorruptionTest::interruptedChangesLeaveWorkingTable()
{
    QFETCH(int, change);
    for (int cut = 0;; ++cut) {
        std::unique_ptr<MemTable> t(filledTable(600));
        if (change == 1) {
            Cursor c;
            t->open(c);
            QVERIFY(c.locate("AD", "R7", false, false));
            c.deleteRecord();
        }
        QStringList before;
        {
            Cursor c;
            t->open(c);
            before = browse(c);
        }
        QStringList after = before;
        if (change <= 1)
            after << "new";
        else if (change == 2)
            after.replace(after.indexOf("R300"), "changed");
        else
            after.removeOne("R300");

        FaultInjectionEnv faults(t->env);
        bool interrupted = false;
        {
            Cursor c;
            c.open(kFolder, "fatura", {&faults});
            QVERIFY(c.locate("AD", "R300", false, false));
            faults.addFault({FaultInjectionEnv::Op::Write, "", EIO, cut, -1});
            try {
                switch (change) {
                case 0:
                case 1: t->add(c, "new", "x"); break;
                case 2:
                    c.edit();
                    c.setText("AD", "changed");
                    c.post();
                    break;
                case 3: c.deleteRecord(); break;
                }
            } catch (const EngineError& e) {
                QCOMPARE(e.code(), errc::WriteFailed);
                interrupted = true;
            }
            // A write failing after the journal holds the change leaves it to the next opening
            // to put in place, and the call returns.
            interrupted = interrupted || faults.faultsFired() > 0;
        }
        const std::string where = "cut " + std::to_string(cut);
        Cursor c;
        t->open(c);
        const QStringList found = browse(c);
        QVERIFY2(found == before || found == after, where.c_str());
        t->add(c, "after", "y");
        QVERIFY(c.locate("AD", "after", false, false));
        c.deleteRecord();
        // The index on AD agrees with the records.
        QCOMPARE(c.locate("AD", "r300", true, false), found.contains("R300"));
        QCOMPARE(c.locate("AD", "changed", true, false), found.contains("changed"));
        c.close();
        const std::vector<std::string> faultsFound = verifyTable(kFolder, t->name, &t->env);
        QVERIFY2(faultsFound.empty(), (where + ": " + (faultsFound.empty() ? "" : faultsFound.front())).c_str());
        if (!interrupted)
            break; // the change made all its writes: every cut point has been tried
    }
}

QTEST_GUILESS_MAIN(CorruptionTest)
#include "tst_engine_corruption.moc"
