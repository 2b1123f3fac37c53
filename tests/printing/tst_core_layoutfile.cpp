#include "FileError.h"
#include "FileFixtures.h"
#include "LayoutFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <functional>
#include <unistd.h>

using namespace fatura;

using fatura::testing::errorOf;
using fatura::testing::readAll;
using fatura::testing::writeBytes;

namespace {

// A byte string literal with its NUL bytes, without counting them by hand.
template <qsizetype N>
QByteArray raw(const char (&s)[N])
{
    return QByteArray(s, N - 1);
}

// The built-in default file as it must reach the disk: code page 1254, CR LF after every line.
QByteArray expectedDefaultFile()
{
    const char* lines[] = {
        "; Fatura yaz\xfd" "c\xfd ayar dosyas\xfd",
        "; FATURA YAZICI AYARLARI",
        ";",
        "; \xdcST-ALT | SA\xd0-SOL",
        ";",
        "[FATURE_AYAR]",
        "TARIH=16 | 400", "SAYIN1=40 | 32", "SAYIN2=64 | 32", "SAYIN3=88 | 32",
        "VERGIDAIRESI=120 | 72", "VERGIHESAPNO=120 | 344",
        "M1=192 | 32", "M2=216 | 32", "M3=240 | 32", "M4=264 | 32",
        "M5=288 | 32", "M6=312 | 32", "M7=336 | 32", "M8=360 | 32",
        "C1=192 | 104", "C2=216 | 104", "C3=240 | 104", "C4=264 | 104",
        "C5=288 | 104", "C6=312 | 104", "C7=336 | 104", "C8=360 | 104",
        "F1=192 | 293", "F2=216 | 293", "F3=240 | 293", "F4=264 | 293",
        "F5=288 | 293", "F6=312 | 293", "F7=336 | 293", "F8=360 | 293",
        "T1=192 | 398", "T2=216 | 398", "T3=240 | 398", "T4=264 | 398",
        "T5=288 | 398", "T6=312 | 398", "T7=336 | 398", "T8=360 | 398",
        "YEKUN=392 | 398", "KDV=416 | 398", "TOPLAM=440 | 398", "YALNIZ=488 | 32",
        "RAPOR_SAYFASI=10 | 10",
        "RAPORSAYFASI=10 | 10",
    };
    QByteArray bytes;
    for (const char* line : lines)
        bytes += QByteArray(line) + "\r\n";
    return bytes;
}

int entryOf(const char* key)
{
    for (int i = 0; i < kLayoutEntries; ++i) {
        if (qstrcmp(kLayoutTable[i].key, key) == 0)
            return i;
    }
    return -1;
}

QByteArrayList keysInOrder(const QByteArray& file)
{
    QByteArrayList keys;
    for (const QByteArray& line : file.split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq > 0 && !line.startsWith(';'))
            keys.append(line.left(eq));
    }
    return keys;
}

} // namespace

class TestLayoutFile : public QObject {
    Q_OBJECT
private slots:
    void firstStartWritesTheDefaultByteForByte();
    void existingFileIsNeverTouched_data();
    void existingFileIsNeverTouched();
    void folderGivenWithOrWithoutSeparator();
    void cannotCreateUnderARegularFile();
    void cannotCreateWhereAFolderStands();
    void cannotCreateInReadOnlyFolder();

    void readsFallbacksFromAnEmptyOrUnreadableFile();
    void readsEachValueAsWritten_data();
    void readsEachValueAsWritten();

    void saveChangesOnlyTheValues();
    void saveAppendsADeletedKeyAtTheEndOfTheSection();
    void saveAppendsMissingKeysInCreationOrder();
    void saveKeepsCodePageText();
    void saveToReadOnlyFileChangesNothing();
};

void TestLayoutFile::firstStartWritesTheDefaultByteForByte()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(kLayoutFileName);
    EnsureLayoutFile(dir.path());
    QCOMPARE(readAll(path), expectedDefaultFile());

    // The table and the built-in file must agree: a fresh file loads the table's defaults.
    const LayoutCaptions captions = ReadLayoutFile(dir.path());
    for (int i = 0; i < kLayoutEntries; ++i)
        QCOMPARE(captions[i], QStringLiteral("%1 | %2").arg(kLayoutTable[i].defaultTop).arg(kLayoutTable[i].defaultLeft));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{kLayoutFileName});
}

void TestLayoutFile::existingFileIsNeverTouched_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("edited layout") << QByteArray("[FATURE_AYAR]\r\nTARIH=1 | 2\r\n");
    QTest::newRow("garbage with NUL bytes") << raw("\0\0\xff\xfe garbage\n\0");
}

void TestLayoutFile::existingFileIsNeverTouched()
{
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    const QString path = dir.filePath(kLayoutFileName);
    writeBytes(path, content);
    EnsureLayoutFile(dir.path());
    QCOMPARE(readAll(path), content);
}

void TestLayoutFile::folderGivenWithOrWithoutSeparator()
{
    QTemporaryDir dir;
    QCOMPARE(layoutFilePath(dir.path()), dir.path() + "/fatura_ayar.ini");
    QCOMPARE(layoutFilePath(dir.path() + "/"), dir.path() + "/fatura_ayar.ini");
    EnsureLayoutFile(dir.path() + "/");
    QCOMPARE(readAll(dir.filePath(kLayoutFileName)), expectedDefaultFile());
}

void TestLayoutFile::cannotCreateUnderARegularFile()
{
    // Works as root too, unlike a folder without write permission.
    QTemporaryDir dir;
    writeBytes(dir.filePath("plain"), "x");
    const QString folder = dir.filePath("plain") + "/";
    QCOMPARE(errorOf([&] { EnsureLayoutFile(folder); }),
             QStringLiteral("Cannot create file \"%1fatura_ayar.ini\". %2").arg(folder, QString::fromLocal8Bit(strerror(ENOTDIR))));
}

void TestLayoutFile::cannotCreateWhereAFolderStands()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(kLayoutFileName));
    const QString message = errorOf([&] { EnsureLayoutFile(dir.path()); });
    const QString prefix = QStringLiteral("Cannot create file \"%1\". ").arg(dir.filePath(kLayoutFileName));
    QVERIFY2(message.startsWith(prefix) && message.size() > prefix.size(), qPrintable(message));
    QVERIFY(QFileInfo(dir.filePath(kLayoutFileName)).isDir());
}

void TestLayoutFile::cannotCreateInReadOnlyFolder()
{
    if (geteuid() == 0)
        QSKIP("root creates files in a folder without write permission; cannotCreateUnderARegularFile covers the failure");
    QTemporaryDir dir;
    QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
    const QString message = errorOf([&] { EnsureLayoutFile(dir.path()); });
    QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QCOMPARE(message, QStringLiteral("Cannot create file \"%1\". %2")
                          .arg(dir.filePath(kLayoutFileName), QString::fromLocal8Bit(strerror(EACCES))));
}

void TestLayoutFile::readsFallbacksFromAnEmptyOrUnreadableFile()
{
    QTemporaryDir dir;
    QTemporaryDir unreadable;
    writeBytes(dir.filePath(kLayoutFileName), "");
    QVERIFY(QDir(unreadable.path()).mkdir(kLayoutFileName));
    QTemporaryDir missing;

    for (const QString& folder : {dir.path(), unreadable.path(), missing.path()}) {
        const LayoutCaptions captions = ReadLayoutFile(folder);
        for (int i = 0; i < kLayoutEntries; ++i)
            QCOMPARE(captions[i], i == kPageMarginsEntry ? QStringLiteral("10 | 10") : QStringLiteral("0 | 0"));
    }
}

void TestLayoutFile::readsEachValueAsWritten_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QString>("caption");

    QTest::newRow("empty value loads empty, not the fallback")
        << QByteArray("[FATURE_AYAR]\r\nKDV=\r\n") << QByteArray("KDV") << QString("");
    QTest::newRow("not normalised, blanks at the ends dropped")
        << QByteArray("[FATURE_AYAR]\r\nTARIH=   16|400 \r\n") << QByteArray("TARIH") << QString("16|400");
    QTest::newRow("malformed value loaded unchanged")
        << QByteArray("[FATURE_AYAR]\r\nM3=abc | 1.5 | x\r\n") << QByteArray("M3") << QString("abc | 1.5 | x");
    QTest::newRow("section and key in lower case")
        << QByteArray("[fature_ayar]\r\nvergidairesi=1 | 2\r\n") << QByteArray("VERGIDAIRESI") << QString("1 | 2");
    QTest::newRow("code page 1254 decoded")
        << QByteArray("[FATURE_AYAR]\r\nYALNIZ=\xdd\xfe\xf0 | \xdc\r\n") << QByteArray("YALNIZ") << QString::fromUtf8("İşğ | Ü");
    QTest::newRow("first of duplicate keys wins")
        << QByteArray("[FATURE_AYAR]\r\nC1=1 | 1\r\nC1=2 | 2\r\n") << QByteArray("C1") << QString("1 | 1");
    QTest::newRow("key without section is absent")
        << QByteArray("TARIH=1 | 1\r\n") << QByteArray("TARIH") << QString("0 | 0");
    QTest::newRow("the key without underscore does not feed the page margins")
        << QByteArray("[FATURE_AYAR]\r\nRAPORSAYFASI=1 | 2\r\n") << QByteArray("RAPOR_SAYFASI") << QString("10 | 10");
    QTest::newRow("NUL byte ends the value")
        << raw("[FATURE_AYAR]\r\nT1=5 | 6\0 | 7\r\n") << QByteArray("T1") << QString("5 | 6");
    QTest::newRow("LF line ends")
        << QByteArray("[FATURE_AYAR]\nF8=3 | 4\n") << QByteArray("F8") << QString("3 | 4");
    QTest::newRow("very long value cut")
        << QByteArray("[FATURE_AYAR]\r\nTOPLAM=" + QByteArray(1 << 20, '9') + "\r\n") << QByteArray("TOPLAM")
        << QString(kMaxLayoutValueBytes, u'9');
}

void TestLayoutFile::readsEachValueAsWritten()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, key);
    QTemporaryDir dir;
    writeBytes(dir.filePath(kLayoutFileName), content);
    const int entry = entryOf(key.constData());
    QVERIFY(entry >= 0);
    QTEST(ReadLayoutFile(dir.path())[entry], "caption");
}

void TestLayoutFile::saveChangesOnlyTheValues()
{
    QTemporaryDir dir;
    EnsureLayoutFile(dir.path());
    LayoutCaptions captions = ReadLayoutFile(dir.path());
    QByteArray expected = expectedDefaultFile();
    for (int i = 0; i < kLayoutEntries; ++i) {
        const QByteArray key = kLayoutTable[i].key;
        const QByteArray line = "\r\n" + key + "=" + captions[i].toLatin1() + "\r\n";
        captions[i] = QStringLiteral("%1 | -%2").arg(i).arg(i * 3);
        QVERIFY(expected.contains(line));
        expected.replace(line, "\r\n" + key + "=" + captions[i].toLatin1() + "\r\n");
    }

    WriteLayoutFile(dir.path(), captions);
    QCOMPARE(readAll(dir.filePath(kLayoutFileName)), expected);
    QVERIFY(expected.endsWith("\r\nRAPORSAYFASI=10 | 10\r\n"));
    QCOMPARE(ReadLayoutFile(dir.path()), captions);
}

void TestLayoutFile::saveAppendsADeletedKeyAtTheEndOfTheSection()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(kLayoutFileName);
    QByteArray withoutKdv = expectedDefaultFile();
    withoutKdv.replace("KDV=416 | 398\r\n", "");
    writeBytes(path, withoutKdv);

    LayoutCaptions captions = ReadLayoutFile(dir.path());
    QCOMPARE(captions[entryOf("KDV")], QString("0 | 0"));
    captions[entryOf("KDV")] = "420 | 398";
    WriteLayoutFile(dir.path(), captions);

    QCOMPARE(readAll(path), withoutKdv + "KDV=420 | 398\r\n");
}

void TestLayoutFile::saveAppendsMissingKeysInCreationOrder()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(kLayoutFileName);
    writeBytes(path, "; notes\r\n[Other]\r\nA=1\r\n");

    WriteLayoutFile(dir.path(), ReadLayoutFile(dir.path()));

    const QByteArray file = readAll(path);
    QVERIFY(file.startsWith("; notes\r\n[Other]\r\nA=1\r\n[FATURE_AYAR]\r\nTARIH=0 | 0\r\n"));
    QByteArrayList expectedKeys{"A", "TARIH", "SAYIN1", "SAYIN2", "SAYIN3", "VERGIHESAPNO", "VERGIDAIRESI"};
    for (int i = 6; i < kLayoutEntries; ++i)
        expectedKeys.append(kLayoutTable[i].key);
    QCOMPARE(keysInOrder(file), expectedKeys);
    QVERIFY(file.endsWith("\r\nRAPOR_SAYFASI=10 | 10\r\n"));
}

void TestLayoutFile::saveKeepsCodePageText()
{
    QTemporaryDir dir;
    EnsureLayoutFile(dir.path());
    LayoutCaptions captions = ReadLayoutFile(dir.path());
    captions[entryOf("YALNIZ")] = QString::fromUtf8("Şğ | İı");
    captions[entryOf("KDV")] = QString();
    WriteLayoutFile(dir.path(), captions);

    const QByteArray file = readAll(dir.filePath(kLayoutFileName));
    QVERIFY(file.contains("\r\nYALNIZ=\xde\xf0 | \xdd\xfd\r\n"));
    QVERIFY(file.contains("\r\nKDV=\r\n"));
    QCOMPARE(ReadLayoutFile(dir.path()), captions);
}

void TestLayoutFile::saveToReadOnlyFileChangesNothing()
{
    // Read-only means no write permission for anyone, which root is held to as well.
    QTemporaryDir dir;
    const QString path = dir.filePath(kLayoutFileName);
    EnsureLayoutFile(dir.path());
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    LayoutCaptions captions = ReadLayoutFile(dir.path());
    captions.fill(QStringLiteral("1 | 1"));

    QCOMPARE(errorOf([&] { WriteLayoutFile(dir.path(), captions); }), QStringLiteral("Unable to write to %1").arg(path));
    QCOMPARE(readAll(path), expectedDefaultFile());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{kLayoutFileName});
}

QTEST_APPLESS_MAIN(TestLayoutFile)
#include "tst_core_layoutfile.moc"
