// The bytes of the table files: headers, descriptors, record slots, the free slot chain, the
// index file, the lock file, and the code page 1254 upper-case mapping texts compare with.

#include "EngineTestSupport.h"

#include "Cp1254.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

using namespace enginetest;

namespace {

QByteArray md5(const char* data, std::size_t size)
{
    return QCryptographicHash::hash(QByteArrayView(data, static_cast<qsizetype>(size)), QCryptographicHash::Md5);
}

QByteArray bytesAt(const std::string& file, std::size_t offset, std::size_t size)
{
    return QByteArray(file.data() + offset, static_cast<qsizetype>(size));
}

TableDefinition oneTextField()
{
    TableDefinition d;
    d.fields = {textField("AD", 20)};
    return d;
}

constexpr std::size_t kSlots1 = 512 + 768; // slots of a one-field table start here

} // namespace

class FormatTest : public QObject {
    Q_OBJECT

private slots:
    void newTableFiles();
    void invoiceRecordLayout_data();
    void invoiceRecordLayout();
    void recordSlotBytes();
    void freeSlotChainReusesNewestFirst();
    void headerWritesCountAndStampTime();
    void indexFileHasPrimaryOnRecordId();
    void indexSurvivesHeavyChurn_data();
    void indexSurvivesHeavyChurn();
    void freedIndexPagesAreReused();
    void lockFileListsTablesOfFolder();
    void lockFileFullRefusesAnotherTable();
    void createRefusesToOverwrite();
    void createRefusesBadDefinitions_data();
    void createRefusesBadDefinitions();
    void upperCaseMapping_data();
    void upperCaseMapping();
    void upperCaseMappingIsStable();
};

void FormatTest::newTableFiles()
{
    MemTable t(oneTextField());
    const std::string dat = t.datBytes();
    QCOMPARE(dat.size(), std::size_t(1280));
    QCOMPARE(readAt<std::uint32_t>(dat, 0), 1u);             // change counter
    QCOMPARE(readAt<std::uint8_t>(dat, 8), std::uint8_t(6)); // version
    QCOMPARE(bytesAt(dat, 9, 16), md5("TESKAV_SIG", 10));
    QCOMPARE(readAt<std::uint32_t>(dat, 25), 0u);   // free slot chain
    QCOMPARE(readAt<std::uint32_t>(dat, 29), 1u);   // next slot
    QCOMPARE(readAt<std::int32_t>(dat, 33), 0);     // last RecordID
    QCOMPARE(readAt<std::int32_t>(dat, 37), 0);     // last auto-increment
    QCOMPARE(readAt<std::uint32_t>(dat, 41), 0u);   // record count
    QCOMPARE(readAt<std::uint16_t>(dat, 45), std::uint16_t(48)); // 25 + 21 + 1 rounded up to 8
    QCOMPARE(readAt<std::uint16_t>(dat, 47), std::uint16_t(1));
    QCOMPARE(readAt<std::uint32_t>(dat, 59), 4096u);
    QCOMPARE(readAt<double>(dat, 63), 45658.5 - 693594);
    QCOMPARE(readAt<std::uint8_t>(dat, 172), std::uint8_t(0));
    QCOMPARE(readAt<std::uint32_t>(dat, 189), 0u);
    // Everything else of the header is zero.
    for (std::size_t i = 71; i < 512; ++i)
        QCOMPARE(int(static_cast<unsigned char>(dat[i])), 0);

    // The field descriptor.
    const std::size_t d = 512;
    QCOMPARE(readAt<std::int16_t>(dat, d + 0), std::int16_t(1));
    QCOMPARE(bytesAt(dat, d + 2, 3), QByteArray("\x02" "AD"));
    QCOMPARE(readAt<std::uint8_t>(dat, d + 164), std::uint8_t(1));
    QCOMPARE(readAt<std::uint8_t>(dat, d + 165), std::uint8_t(0));
    QCOMPARE(readAt<std::uint16_t>(dat, d + 166), std::uint16_t(20));
    QCOMPARE(readAt<std::uint16_t>(dat, d + 169), std::uint16_t(21));
    QCOMPARE(readAt<std::uint16_t>(dat, d + 172), std::uint16_t(25));
}

void FormatTest::invoiceRecordLayout_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("subtype");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("offset");
    QTest::newRow("REC_ID auto-increment") << 1 << QByteArray("REC_ID") << 6 << 29 << 0 << 25;
    QTest::newRow("TARIH 20") << 2 << QByteArray("TARIH") << 1 << 0 << 20 << 30;
    QTest::newRow("SAYIN3 75") << 5 << QByteArray("SAYIN3") << 1 << 0 << 75 << 206;
    QTest::newRow("VNO 30") << 7 << QByteArray("VNO") << 1 << 0 << 30 << 320;
    QTest::newRow("M1 number") << 8 << QByteArray("M1") << 7 << 0 << 0 << 352;
    QTest::newRow("C1 only 20") << 16 << QByteArray("C1") << 1 << 0 << 20 << 424;
    QTest::newRow("C2 50") << 17 << QByteArray("C2") << 1 << 0 << 50 << 446;
    QTest::newRow("TOPLAM") << 42 << QByteArray("TOPLAM") << 7 << 0 << 0 << 972;
    QTest::newRow("YANLIZ 150") << 43 << QByteArray("YANLIZ") << 1 << 0 << 150 << 981;
    QTest::newRow("B8 last") << 51 << QByteArray("B8") << 1 << 0 << 10 << 1217;
}

void FormatTest::invoiceRecordLayout()
{
    QFETCH(int, number);
    QFETCH(QByteArray, name);
    QFETCH(int, type);
    QFETCH(int, subtype);
    QFETCH(int, size);
    QFETCH(int, offset);
    MemTable t(invoiceTableDefinition());
    const std::string dat = t.datBytes();
    QCOMPARE(readAt<std::uint16_t>(dat, 47), std::uint16_t(51));
    QCOMPARE(readAt<std::uint16_t>(dat, 45), std::uint16_t(1232));
    QCOMPARE(dat.size(), std::size_t(512 + 51 * 768));
    const std::size_t d = 512 + std::size_t(number - 1) * 768;
    QCOMPARE(readAt<std::int16_t>(dat, d), std::int16_t(number));
    QCOMPARE(bytesAt(dat, d + 3, std::size_t(name.size())), name);
    QCOMPARE(int(readAt<std::uint8_t>(dat, d + 164)), type);
    QCOMPARE(int(readAt<std::uint8_t>(dat, d + 165)), subtype);
    QCOMPARE(int(readAt<std::uint16_t>(dat, d + 166)), size);
    QCOMPARE(int(readAt<std::uint16_t>(dat, d + 172)), offset);
}

void FormatTest::recordSlotBytes()
{
    MemTable t;
    Cursor c;
    t.open(c);
    t.add(c, "ACME", {}, 2.5);
    const std::string dat = t.datBytes();
    const std::size_t length = readAt<std::uint16_t>(dat, 45);
    const std::size_t slot = 512 + 4 * 768;
    QCOMPARE(dat.size(), slot + length);
    QCOMPARE(readAt<std::uint8_t>(dat, slot + 0), std::uint8_t(0));
    QCOMPARE(readAt<std::uint32_t>(dat, slot + 1), 1u);
    QCOMPARE(readAt<std::int32_t>(dat, slot + 5), 1);
    QCOMPARE(bytesAt(dat, slot + 9, 16), md5(dat.data() + slot + 25, length - 25));
    // ID: flag and the value 1.
    QCOMPARE(readAt<std::uint8_t>(dat, slot + 25), std::uint8_t(1));
    QCOMPARE(readAt<std::int32_t>(dat, slot + 26), 1);
    // AD: flag, the characters, zero bytes to its width of 21.
    QCOMPARE(readAt<std::uint8_t>(dat, slot + 30), std::uint8_t(1));
    QCOMPARE(bytesAt(dat, slot + 31, 21), QByteArray("ACME") + QByteArray(17, '\0'));
    // NOT is null: flag and all 76 value bytes zero.
    QCOMPARE(bytesAt(dat, slot + 52, 77), QByteArray(77, '\0'));
    QCOMPARE(readAt<std::uint8_t>(dat, slot + 129), std::uint8_t(1));
    QCOMPARE(readAt<double>(dat, slot + 130), 2.5);
    QCOMPARE(readAt<std::uint32_t>(dat, 41), 1u);
    QCOMPARE(readAt<std::uint32_t>(dat, 29), 2u);
}

void FormatTest::freeSlotChainReusesNewestFirst()
{
    MemTable t(oneTextField());
    Cursor c;
    t.open(c);
    for (int i = 1; i <= 6; ++i) {
        c.append();
        c.setText("AD", "R" + std::to_string(i));
        c.post();
    }
    const std::size_t length = 48;
    auto slotAt = [&](int n) { return kSlots1 + std::size_t(n - 1) * length; };
    for (const char* victim : {"R2", "R5"}) {
        QVERIFY(c.locate("AD", victim, false, false));
        c.deleteRecord();
    }
    std::string dat = t.datBytes();
    const std::size_t fileLength = dat.size();
    QCOMPARE(readAt<std::uint32_t>(dat, 25), 5u);
    QCOMPARE(readAt<std::uint8_t>(dat, slotAt(5)), std::uint8_t(1));
    QCOMPARE(readAt<std::uint32_t>(dat, slotAt(5) + 1), 2u);
    QCOMPARE(readAt<std::uint8_t>(dat, slotAt(2)), std::uint8_t(1));
    QCOMPARE(readAt<std::uint32_t>(dat, slotAt(2) + 1), 0u);
    QCOMPARE(readAt<std::uint32_t>(dat, 41), 4u);

    c.append();
    c.setText("AD", "R7");
    c.post();
    QCOMPARE(c.currentSlot(), 5u);
    QCOMPARE(readAt<std::uint32_t>(t.datBytes(), 25), 2u);
    c.append();
    c.setText("AD", "R8");
    c.post();
    QCOMPARE(c.currentSlot(), 2u);
    dat = t.datBytes();
    QCOMPARE(readAt<std::uint32_t>(dat, 25), 0u);
    QCOMPARE(readAt<std::uint32_t>(dat, 29), 7u);
    QCOMPARE(dat.size(), fileLength); // reused, not grown
    QCOMPARE(browse(c), QStringList({"R1", "R3", "R4", "R6", "R7", "R8"}));
    QVERIFY(verifyTable(kFolder, t.name, &t.env).empty());
}

void FormatTest::headerWritesCountAndStampTime()
{
    MemTable t;
    Cursor c;
    t.open(c);
    const std::uint32_t before = readAt<std::uint32_t>(t.datBytes(), 0);
    t.env.setLocalTimeDays(45700.25);
    t.add(c, "A");
    QCOMPARE(readAt<std::uint32_t>(t.datBytes(), 0), before + 1);
    QCOMPARE(readAt<double>(t.datBytes(), 63), 45700.25 - 693594);
    c.edit();
    c.setText("AD", "B");
    c.post();
    c.deleteRecord();
    QCOMPARE(readAt<std::uint32_t>(t.datBytes(), 0), before + 3);
    QCOMPARE(c.stats().changeCounter, before + 3);
}

void FormatTest::indexFileHasPrimaryOnRecordId()
{
    MemTable t;
    for (const bool rebuilt : {false, true}) {
        if (rebuilt) {
            t.env.remove(t.idx());
            Cursor c;
            t.open(c);
        }
        const std::string idx = t.idxBytes();
        // A rebuilt index file carries the journal ring among its pages; a new one has none yet.
        const std::size_t ringPages = rebuilt ? readAt<std::uint32_t>(idx, 48) / 4096 : 0;
        QCOMPARE(rebuilt, ringPages > 0);
        QCOMPARE(idx.size(), std::size_t(25088) + ringPages * 4096);
        QCOMPARE(readAt<std::uint8_t>(idx, 8), std::uint8_t(6));
        QCOMPARE(bytesAt(idx, 9, 16), md5("TESKAV_SIG", 10));
        QCOMPARE(readAt<std::uint32_t>(idx, 29), 1u + ringPages); // next page
        QCOMPARE(readAt<std::uint8_t>(idx, 33), std::uint8_t(0));
        QCOMPARE(readAt<std::uint8_t>(idx, 512), std::uint8_t(0));   // primary: no name
        QCOMPARE(readAt<std::uint8_t>(idx, 512 + 130), std::uint8_t(1));
        QCOMPARE(readAt<std::int16_t>(idx, 512 + 259), std::int16_t(-1));
        QCOMPARE(bytesAt(idx, 512 + 23808, 9), QByteArray("\x08" "Sys Text"));
    }
}

void FormatTest::indexSurvivesHeavyChurn_data()
{
    QTest::addColumn<int>("pageSize");
    QTest::addColumn<bool>("descending");
    QTest::newRow("small pages, ascending") << 1024 << false;
    QTest::newRow("small pages, descending") << 1024 << true;
    QTest::newRow("default pages") << 4096 << false;
}

// Random appends, changes and deletes against a secondary index on a long text key: the tree
// splits, empties pages and collapses its root many times; the files must stay sound and
// locate through the index must agree with a plain search of what was written.
void FormatTest::indexSurvivesHeavyChurn()
{
    QFETCH(int, pageSize);
    QFETCH(bool, descending);
    TableDefinition d = smallDefinition();
    d.indexPageSize = static_cast<std::uint32_t>(pageSize);
    IndexDef byNote;
    byNote.name = "NOTX";
    byNote.keyFields = {3, 2};
    byNote.caseInsensitive = true;
    byNote.descending = descending;
    d.secondaryIndexes.push_back(byNote);
    MemTable t(d);
    Cursor c;
    t.open(c);
    QRandomGenerator random(1234);
    std::map<std::int32_t, std::string> notes;
    for (int round = 0; round < 3000; ++round) {
        const int action = random.bounded(10);
        if (action < 6 || notes.empty()) {
            const std::string note = "k" + std::to_string(random.bounded(500)) + std::string(40, 'x');
            notes[t.add(c, "a", note)] = note;
        } else {
            auto it = notes.begin();
            std::advance(it, random.bounded(static_cast<int>(notes.size())));
            QVERIFY(c.locate({"ID"}, {double(it->first)}, false, false));
            if (action < 8) {
                c.deleteRecord();
                notes.erase(it);
            } else {
                const std::string note = "k" + std::to_string(random.bounded(500)) + "y";
                c.edit();
                c.setText("NOT", note);
                c.post();
                it->second = note;
            }
        }
    }
    QCOMPARE(c.recordCount(), std::uint32_t(notes.size()));
    const std::vector<std::string> faults = verifyTable(kFolder, t.name, &t.env);
    for (const std::string& f : faults)
        qWarning("%s", f.c_str());
    QVERIFY(faults.empty());
    for (int probe = 0; probe < 200; ++probe) {
        const std::string prefix = "K" + std::to_string(probe);
        bool any = false;
        for (const auto& [id, note] : notes)
            any = any || note.compare(0, prefix.size(), "k" + std::to_string(probe)) == 0;
        QCOMPARE(c.locate("NOT", prefix, true, true), any);
        if (any) {
            std::string found = c.getText("NOT");
            cp1254::toUpper(found);
            QCOMPARE(found.substr(0, prefix.size()), prefix);
        }
    }
}

void FormatTest::freedIndexPagesAreReused()
{
    MemTable t;
    Cursor c;
    t.open(c);
    for (int i = 0; i < 3000; ++i)
        t.add(c, "x");
    const std::uint32_t pages = c.stats().indexPages;
    QVERIFY(pages > 3);
    while (!c.isEmpty()) {
        c.first();
        c.deleteRecord();
    }
    for (int i = 0; i < 3000; ++i)
        t.add(c, "x");
    QCOMPARE(c.stats().indexPages, pages);
    QVERIFY(verifyTable(kFolder, t.name, &t.env).empty());
}

void FormatTest::lockFileListsTablesOfFolder()
{
    MemEnv env;
    createTable(kFolder, "b", smallDefinition(), &env);
    createTable(kFolder, "a", smallDefinition(), &env);
    env.setContents(kFolder + "notes.txt", "x");
    {
        Cursor c;
        c.open(kFolder, "a", {&env});
    }
    std::string lock = env.contents(kFolder + "teskav.lck");
    QCOMPARE(readAt<std::uint32_t>(lock, 0), 1u);
    QCOMPARE(readAt<std::uint32_t>(lock, 4), 4u + 4u);
    QCOMPARE(lock.substr(8), std::string("\x01" "a" "\x01" "b"));
    FileAttributes attributes;
    QCOMPARE(env.attributes(kFolder + "teskav.lck", attributes), 0);
    QVERIFY(attributes.hidden);

    createTable(kFolder, "fatura", smallDefinition(), &env);
    Cursor c;
    c.open(kFolder, "fatura", {&env});
    lock = env.contents(kFolder + "teskav.lck");
    QCOMPARE(readAt<std::uint32_t>(lock, 0), 2u);
    QCOMPARE(lock.substr(8), std::string("\x01" "a" "\x01" "b" "\x06" "fatura"));
}

void FormatTest::lockFileFullRefusesAnotherTable()
{
    MemTable t;
    std::string lock(8, '\0');
    writeAt<std::uint32_t>(lock, 0, 2147483647);
    for (int i = 0; i < 4096; ++i)
        lock += "\x01" "t";
    writeAt<std::uint32_t>(lock, 4, std::uint32_t(lock.size() - 4));
    t.env.setContents(kFolder + "teskav.lck", lock);
    Cursor c;
    try {
        t.open(c);
        QFAIL("opened");
    } catch (const EngineError& e) {
        QCOMPARE(e.code(), errc::DatabaseFull);
        QCOMPARE(std::string(e.what()),
                 std::string("TESKAV Engine Error # 9480 The database '/db/' is full and cannot contain any more tables"));
    }
    // One entry fewer: the table goes in and the counter wraps round to 1.
    lock.erase(8, 2);
    writeAt<std::uint32_t>(lock, 4, std::uint32_t(lock.size() - 4));
    t.env.setContents(kFolder + "teskav.lck", lock);
    t.open(c);
    QCOMPARE(readAt<std::uint32_t>(t.env.contents(kFolder + "teskav.lck"), 0), 1u);
    QVERIFY(!c.isReadOnly());
}

void FormatTest::createRefusesToOverwrite()
{
    MemTable t;
    Cursor c;
    t.open(c);
    t.add(c, "keep");
    c.close();
    const std::string before = t.datBytes();
    QCOMPARE(engineErrorOf([&] { createTable(kFolder, "fatura", smallDefinition(), &t.env); }), errc::AccessDenied);
    QCOMPARE(t.datBytes(), before);
    // A stray index file alone also blocks the name.
    t.env.setContents(kFolder + "other.idx", "junk");
    QCOMPARE(engineErrorOf([&] { createTable(kFolder, "other", smallDefinition(), &t.env); }), errc::AccessDenied);
    QVERIFY(!t.env.exists(kFolder + "other.dat"));
}

void FormatTest::createRefusesBadDefinitions_data()
{
    QTest::addColumn<int>("variant");
    QTest::newRow("no fields") << 0;
    QTest::newRow("text of 513") << 1;
    QTest::newRow("same name twice, other case") << 2;
    QTest::newRow("record of 65535 bytes or more") << 3;
    QTest::newRow("index on a missing field") << 4;
    QTest::newRow("31 secondary indexes") << 5;
    QTest::newRow("key too long for the page") << 6;
    QTest::newRow("page size not a multiple of 512") << 7;
}

void FormatTest::createRefusesBadDefinitions()
{
    QFETCH(int, variant);
    TableDefinition d = smallDefinition();
    IndexDef index;
    index.name = "IX";
    index.keyFields = {2};
    switch (variant) {
    case 0: d.fields.clear(); break;
    case 1: d.fields[1].size = 513; break;
    case 2: d.fields[2].name = "ad"; break;
    case 3: for (int i = 0; i < 130; ++i) d.fields.push_back(textField("X" + std::to_string(i), 512)); break;
    case 4: index.keyFields = {9}; d.secondaryIndexes.push_back(index); break;
    case 5:
        for (int i = 0; i < 31; ++i) {
            index.name = "IX" + std::to_string(i);
            d.secondaryIndexes.push_back(index);
        }
        break;
    case 6:
        d.fields.push_back(textField("UZUN", 512));
        d.indexPageSize = 1024;
        index.keyFields = {5};
        d.secondaryIndexes.push_back(index);
        break;
    case 7: d.indexPageSize = 1000; break;
    }
    MemEnv env;
    QVERIFY(!checkDefinition(d).empty());
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, createTable(kFolder, "t", d, &env));
    QVERIFY(!env.exists(kFolder + "t.dat"));
    QVERIFY(!env.exists(kFolder + "t.idx"));
}

void FormatTest::upperCaseMapping_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::newRow("a") << int('a') << int('A');
    QTest::newRow("z") << int('z') << int('Z');
    QTest::newRow("i becomes I, not dotted") << int('i') << int('I');
    QTest::newRow("dotless i becomes I") << 0xFD << int('I');
    QTest::newRow("dotted capital stays") << 0xDD << 0xDD;
    QTest::newRow("g breve") << 0xF0 << 0xD0;
    QTest::newRow("s cedilla") << 0xFE << 0xDE;
    QTest::newRow("c cedilla") << 0xE7 << 0xC7;
    QTest::newRow("o umlaut") << 0xF6 << 0xD6;
    QTest::newRow("u umlaut") << 0xFC << 0xDC;
    QTest::newRow("a grave") << 0xE0 << 0xC0;
    QTest::newRow("s caron") << 0x9A << 0x8A;
    QTest::newRow("oe") << 0x9C << 0x8C;
    QTest::newRow("y diaeresis") << 0xFF << 0x9F;
    QTest::newRow("division sign stays") << 0xF7 << 0xF7;
    QTest::newRow("sharp s stays") << 0xDF << 0xDF;
    QTest::newRow("micro stays") << 0xB5 << 0xB5;
    QTest::newRow("digit stays") << int('7') << int('7');
    QTest::newRow("capital stays") << int('Q') << int('Q');
}

void FormatTest::upperCaseMapping()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QCOMPARE(int(cp1254::upper(static_cast<unsigned char>(from))), to);
}

// Upper-casing twice changes nothing more, and no byte becomes zero (texts end there).
void FormatTest::upperCaseMappingIsStable()
{
    for (int c = 0; c < 256; ++c) {
        const unsigned char u = cp1254::upper(static_cast<unsigned char>(c));
        QCOMPARE(int(cp1254::upper(u)), int(u));
        QCOMPARE(u == 0, c == 0);
    }
}

QTEST_GUILESS_MAIN(FormatTest)
#include "tst_engine_format.moc"
