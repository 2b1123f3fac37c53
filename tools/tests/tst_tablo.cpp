// The `tablo` tool as the build and a user run it: a separate process, judged by its exit code,
// its output and what it leaves in the folder. Tables are filled through the engine itself.
#include "Engine.h"
#include "InvoiceSchema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

#include <string>

using namespace fatura::engine;
using namespace fatura::archive;

namespace {

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run tablo(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(TABLO_PATH), arguments);
    Run run;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
        run.err = "tablo did not finish normally: " + process.errorString().toUtf8();
        return run;
    }
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

std::string cp1254(const QString& text)
{
    QStringEncoder encoder("windows-1254");
    const QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        qFatal("not in code page 1254: %s", qPrintable(text));
    return bytes.toStdString();
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// What a folder holds, name by name, so that "left unchanged" can be compared whole.
QMap<QString, QByteArray> snapshot(const QString& folder)
{
    QMap<QString, QByteArray> files;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden))
        files.insert(name, readAll(folder + '/' + name));
    return files;
}

struct Invoice {
    QString tarih;
    QString sayin1;
    QString sayin3;
    double toplam;
};

// Appends the invoices through the engine; returns the data file slot of the last one.
std::uint32_t appendInvoices(const QString& folder, const QList<Invoice>& invoices)
{
    Cursor cursor;
    cursor.open(folder.toStdString(), kInvoiceTableName);
    for (const Invoice& invoice : invoices) {
        cursor.append();
        cursor.setText("TARIH", cp1254(invoice.tarih));
        cursor.setText("SAYIN1", cp1254(invoice.sayin1));
        cursor.setText("SAYIN3", cp1254(invoice.sayin3));
        cursor.setNumber("TOPLAM", invoice.toplam);
        cursor.post();
    }
    return cursor.currentSlot();
}

void makeArchive(const QString& folder)
{
    createTable(folder.toStdString(), kInvoiceTableName, invoiceTableDefinition());
}

// An archive holding one invoice, with either of its two files taken away.
void archiveWithOneInvoice(const QTemporaryDir& dir, bool keepData, bool keepIndex)
{
    makeArchive(dir.path());
    appendInvoices(dir.path(), {{"01.02.2025", "Gülşen Öztürk", "", 118.0}});
    if (!keepData)
        QVERIFY(QFile::remove(dir.filePath("fatura.dat")));
    if (!keepIndex)
        QVERIFY(QFile::remove(dir.filePath("fatura.idx")));
}

enum class Damage { FlipTextByte, FlipPaddingByte, FlipHashByte, MarkSlotDeleted, CutDataByOneByte, CutDataToDescriptors, CutIndex };

} // namespace

Q_DECLARE_METATYPE(Damage)

class TestTablo : public QObject {
    Q_OBJECT

private slots:
    void createMakesAnArchiveThatPassesCheck();
    void createNeverOverwrites_data();
    void createNeverOverwrites();
    void ifMissingLeavesAnyArchiveAlone_data();
    void ifMissingLeavesAnyArchiveAlone();
    void checkReportsDamage_data();
    void checkReportsDamage();
    void checkNamesAMissingIndexFile();
    void dumpWritesRecordsAsJsonLines();
    void dumpOfAnEmptyTableIsEmpty();
    void dumpWithoutIndexFileWritesNone();
    void failuresExitWithOneAndSayWhy_data();
    void failuresExitWithOneAndSayWhy();
    void badArgumentsShowUsage_data();
    void badArgumentsShowUsage();
};

void TestTablo::createMakesAnArchiveThatPassesCheck()
{
    QTemporaryDir dir;
    const Run created = tablo({"create", dir.path()});
    QCOMPARE(created.exitCode, 0);

    const TableDefinition invoice = invoiceTableDefinition();
    QCOMPARE(QFileInfo(dir.filePath("fatura.dat")).size(), qint64(512 + invoice.fields.size() * 768));
    QVERIFY(QFileInfo::exists(dir.filePath("fatura.idx")));

    const auto before = snapshot(dir.path());
    const Run checked = tablo({"check", dir.path()});
    QCOMPARE(checked.exitCode, 0);
    QVERIFY2(checked.out.startsWith("fatura: OK, 0 records"), checked.out);
    QCOMPARE(snapshot(dir.path()), before);

    Cursor cursor;
    cursor.open(dir.path().toStdString(), kInvoiceTableName);
    QCOMPARE(cursor.recordCount(), 0u);
    QCOMPARE(cursor.definition().fields.size(), invoice.fields.size());
    for (std::size_t i = 0; i < invoice.fields.size(); ++i)
        QCOMPARE(cursor.definition().fields[i].name, invoice.fields[i].name);
    QCOMPARE(cursor.definition().primaryIndex.keyFields, std::vector<int>{kRecordIdField});
    QVERIFY(cursor.definition().secondaryIndexes.empty());
    QCOMPARE(cursor.stats().lastRecordId, 0);
}

void TestTablo::createNeverOverwrites_data()
{
    QTest::addColumn<bool>("keepData");
    QTest::addColumn<bool>("keepIndex");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("says");

    QTest::newRow("archive with a record") << true << true << QStringList() << QByteArray("never overwritten");
    QTest::newRow("data file without index") << true << false << QStringList() << QByteArray("never overwritten");
    QTest::newRow("index without data file") << false << true << QStringList() << QByteArray("refusing");
    QTest::newRow("index without data file, --if-missing")
        << false << true << QStringList{"--if-missing"} << QByteArray("refusing");
}

void TestTablo::createNeverOverwrites()
{
    QFETCH(bool, keepData);
    QFETCH(bool, keepIndex);
    QFETCH(QStringList, options);
    QFETCH(QByteArray, says);

    QTemporaryDir dir;
    archiveWithOneInvoice(dir, keepData, keepIndex);
    const auto before = snapshot(dir.path());

    const Run run = tablo(QStringList{"create"} + options + QStringList{dir.path()});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(says), run.err);
    QCOMPARE(snapshot(dir.path()), before);
}

// The build runs "create --if-missing" on the program folder after every build of the tool.
void TestTablo::ifMissingLeavesAnyArchiveAlone_data()
{
    QTest::addColumn<bool>("keepData");
    QTest::addColumn<bool>("keepIndex");

    QTest::newRow("archive with a record") << true << true;
    QTest::newRow("data file whose index is missing") << true << false;
}

void TestTablo::ifMissingLeavesAnyArchiveAlone()
{
    QFETCH(bool, keepData);
    QFETCH(bool, keepIndex);

    QTemporaryDir dir;
    archiveWithOneInvoice(dir, keepData, keepIndex);
    const auto before = snapshot(dir.path());

    for (int run = 1; run <= 2; ++run) {
        const Run result = tablo({"create", "--if-missing", dir.path()});
        QCOMPARE(result.exitCode, 0);
        QVERIFY2(result.out.contains("left unchanged"), result.out);
        QCOMPARE(snapshot(dir.path()), before);
    }

    // The record survives: the engine rebuilds a missing index when the table is opened.
    Cursor cursor;
    cursor.open(dir.path().toStdString(), kInvoiceTableName);
    QCOMPARE(cursor.recordCount(), 1u);
    QCOMPARE(cursor.getText("SAYIN1"), cp1254("Gülşen Öztürk"));
}

void TestTablo::checkReportsDamage_data()
{
    QTest::addColumn<Damage>("damage");

    QTest::newRow("letter of a stored name changed") << Damage::FlipTextByte;
    QTest::newRow("zero byte after a text made non-zero") << Damage::FlipPaddingByte;
    QTest::newRow("record hash changed") << Damage::FlipHashByte;
    QTest::newRow("slot in use marked deleted") << Damage::MarkSlotDeleted;
    QTest::newRow("data file one byte short") << Damage::CutDataByOneByte;
    QTest::newRow("data file cut back to its descriptors") << Damage::CutDataToDescriptors;
    QTest::newRow("index file cut short") << Damage::CutIndex;
}

void TestTablo::checkReportsDamage()
{
    QFETCH(Damage, damage);

    QTemporaryDir dir;
    makeArchive(dir.path());
    const QString name = QStringLiteral("Şükrü Çağlayan İnşaat");
    std::uint32_t slot = 0;
    std::uint32_t recordLength = 0;
    std::size_t fieldCount = 0;
    {
        slot = appendInvoices(dir.path(), {{"02.03.2025", "Ayşe Yıldız", "", 59.0}, {"03.03.2025", name, "", 236.0}});
        Cursor cursor;
        cursor.open(dir.path().toStdString(), kInvoiceTableName);
        recordLength = cursor.stats().recordLength;
        fieldCount = cursor.definition().fields.size();
    }
    QCOMPARE(tablo({"check", dir.path()}).exitCode, 0);

    const QString dataPath = dir.filePath("fatura.dat");
    QByteArray data = readAll(dataPath);
    const qsizetype slotStart = qsizetype(512 + fieldCount * 768 + (slot - 1) * recordLength);
    QVERIFY(slotStart + qsizetype(recordLength) <= data.size());
    const QByteArray stored = QByteArray::fromStdString(cp1254(name));
    const qsizetype text = data.indexOf(stored, slotStart);
    QVERIFY(text > slotStart && text < slotStart + qsizetype(recordLength));

    QString damagedPath = dataPath;
    switch (damage) {
    case Damage::FlipTextByte: data[text + 1] = char(data[text + 1] ^ 0x20); break;
    case Damage::FlipPaddingByte: data[text + stored.size() + 1] = 'X'; break;
    case Damage::FlipHashByte: data[slotStart + 9 + 7] = char(data[slotStart + 9 + 7] ^ 0x01); break;
    case Damage::MarkSlotDeleted: data[slotStart] = 1; break;
    case Damage::CutDataByOneByte: data.chop(1); break;
    case Damage::CutDataToDescriptors: data.truncate(slotStart - (slot - 1) * recordLength); break;
    case Damage::CutIndex:
        damagedPath = dir.filePath("fatura.idx");
        data = readAll(damagedPath);
        data.chop(1);
        break;
    }
    QFile file(damagedPath);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(data), data.size());
    file.close();
    const auto before = snapshot(dir.path());

    const Run run = tablo({"check", dir.path(), "fatura"});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(QRegularExpression("^fatura: \\d+ faults? found\n  \\S").match(QString::fromUtf8(run.out)).hasMatch(),
             run.out);
    QVERIFY2(!run.out.contains("OK"), run.out);
    QCOMPARE(snapshot(dir.path()), before);
}

void TestTablo::checkNamesAMissingIndexFile()
{
    QTemporaryDir dir;
    makeArchive(dir.path());
    QVERIFY(QFile::remove(dir.filePath("fatura.idx")));

    const Run run = tablo({"check", dir.path()});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.out.contains("fatura.idx is missing"), run.out);
    QVERIFY(!QFileInfo::exists(dir.filePath("fatura.idx")));
}

void TestTablo::dumpWritesRecordsAsJsonLines()
{
    QTemporaryDir dir;
    makeArchive(dir.path());
    appendInvoices(dir.path(), {
                                   {"01.02.2025", "Şükrü Çağlayan İnşaat", "Ilıca Cd. \"Köşe\" No:5\\7\tKat 2", 118.5},
                                   {"02.02.2025", "silinecek", "", 1.0},
                                   {"  03.02.2025", "ığüşöç ĞÜŞİÖÇ", QString("bel\x01ge"), 0.1 + 0.2},
                               });
    {
        Cursor cursor;
        cursor.open(dir.path().toStdString(), kInvoiceTableName);
        QVERIFY(cursor.locate("SAYIN1", "silinecek", false, false));
        cursor.deleteRecord();
    }

    const Run run = tablo({"dump", dir.path()});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.err.isEmpty(), run.err);
    QVERIFY(run.out.endsWith('\n'));
    const QList<QByteArray> lines = run.out.chopped(1).split('\n');
    QCOMPARE(lines.size(), 2);

    // Exact bytes where the form matters: escapes, UTF-8, number forms, field order.
    QVERIFY2(lines[0].startsWith(R"({"REC_ID":1,"TARIH":"01.02.2025","SAYIN1":"Şükrü Çağlayan İnşaat",)"
                                 R"("SAYIN2":null,"SAYIN3":"Ilıca Cd. \"Köşe\" No:5\\7\tKat 2","VDAIRESI":null,)"),
             lines[0]);
    QVERIFY2(lines[0].contains(R"("TOPLAM":118.5,)"), lines[0]);
    QVERIFY2(lines[0].contains(R"("M1":null,)"), lines[0]);
    QVERIFY2(lines[0].endsWith(R"("B8":null})"), lines[0]);
    QVERIFY2(lines[1].startsWith(R"({"REC_ID":3,"TARIH":"  03.02.2025",)"), lines[1]);
    QVERIFY2(lines[1].contains(R"("TOPLAM":0.30000000000000004,)"), lines[1]);
    QVERIFY2(lines[1].contains(R"("SAYIN3":"bel\u0001ge",)"), lines[1]);

    // Every line is one JSON object with every field, in the definition's order.
    const TableDefinition invoice = invoiceTableDefinition();
    QStringList names;
    for (const FieldDef& field : invoice.fields)
        names << QString::fromStdString(field.name);
    for (const QByteArray& line : lines) {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(line, &error);
        QVERIFY2(document.isObject(), qPrintable(error.errorString()));
        QStringList keys;
        for (const QRegularExpressionMatch& m : QRegularExpression(R"re("([A-Z0-9_]+)":)re").globalMatch(line))
            keys << m.captured(1);
        QCOMPARE(keys, names);
    }
    const QJsonObject first = QJsonDocument::fromJson(lines[0]).object();
    QCOMPARE(first.value("SAYIN1").toString(), QStringLiteral("Şükrü Çağlayan İnşaat"));
    QCOMPARE(first.value("SAYIN3").toString(), QStringLiteral("Ilıca Cd. \"Köşe\" No:5\\7\tKat 2"));
    const QJsonObject second = QJsonDocument::fromJson(lines[1]).object();
    QCOMPARE(second.value("SAYIN1").toString(), QStringLiteral("ığüşöç ĞÜŞİÖÇ"));
    QCOMPARE(second.value("REC_ID").toDouble(), 3.0);
}

void TestTablo::dumpOfAnEmptyTableIsEmpty()
{
    QTemporaryDir dir;
    makeArchive(dir.path());
    const Run run = tablo({"dump", dir.path(), "fatura.dat"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QByteArray());
}

// A dump only reads: an archive whose index file is gone is dumped from an index rebuilt in
// memory, and neither table file is written.
void TestTablo::dumpWithoutIndexFileWritesNone()
{
    QTemporaryDir dir;
    archiveWithOneInvoice(dir, true, false);
    const QByteArray data = readAll(dir.filePath("fatura.dat"));
    const Run run = tablo({"dump", dir.path()});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.startsWith(R"({"REC_ID":1,"TARIH":"01.02.2025")"), run.out);
    QVERIFY(!QFileInfo::exists(dir.filePath("fatura.idx")));
    QCOMPARE(readAll(dir.filePath("fatura.dat")), data);
}

void TestTablo::failuresExitWithOneAndSayWhy_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("says");

    QTest::newRow("dump of a missing table") << QStringList{"dump", "%1", "yok"} << QByteArray("11010");
    QTest::newRow("check of a missing table") << QStringList{"check", "%1", "yok"} << QByteArray("11010");
    QTest::newRow("create in a missing folder") << QStringList{"create", "%1/yok"} << QByteArray("is not a folder");
}

void TestTablo::failuresExitWithOneAndSayWhy()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, says);

    QTemporaryDir dir;
    for (QString& argument : arguments)
        argument.replace("%1", dir.path());
    const Run run = tablo(arguments);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2((run.out + run.err).contains(says), run.out + run.err);
    QVERIFY(!QFileInfo::exists(dir.filePath("yok.dat")));
    QVERIFY(!QFileInfo::exists(dir.filePath("yok.idx")));
}

void TestTablo::badArgumentsShowUsage_data()
{
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("nothing") << QStringList();
    QTest::newRow("unknown command") << QStringList{"repair", "."};
    QTest::newRow("create without a folder") << QStringList{"create"};
    QTest::newRow("create with a table name") << QStringList{"create", ".", "fatura"};
    QTest::newRow("check with an extra argument") << QStringList{"check", ".", "fatura", "x"};
    QTest::newRow("dump without a folder") << QStringList{"dump"};
    QTest::newRow("option create does not know") << QStringList{"create", "--force", "."};
    QTest::newRow("--if-missing on check") << QStringList{"check", "--if-missing", "."};
    QTest::newRow("empty folder name") << QStringList{"check", ""};
}

void TestTablo::badArgumentsShowUsage()
{
    QFETCH(QStringList, arguments);

    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    const Run run = tablo(arguments);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains("Usage: tablo create"), run.err);
    QVERIFY(run.out.isEmpty());
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
}

QTEST_GUILESS_MAIN(TestTablo)
#include "tst_tablo.moc"
