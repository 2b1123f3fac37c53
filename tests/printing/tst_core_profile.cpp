#include "FileError.h"
#include "FileFixtures.h"
#include "ProfileText.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <stdexcept>
#include <unistd.h>

using fatura::FileError;
using fatura::ProfileText;

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

} // namespace

class TestProfile : public QObject {
    Q_OBJECT
private slots:
    void reading_data();
    void reading();
    void writing_data();
    void writing();
    void unusableNamesAndValuesChangeNothing();

    void fileWriteCreatesMissingFile();
    void fileWriteReplacesInPlaceAndKeepsPermissions();
    void readOnlyFileIsNotWritten();
    void fileThatCannotBeReadIsNotOverwritten();
    void fileInMissingFolderFails();
    void batchIsAllOrNothing();
    void unreadableFileReadsAsFallback();
};

void TestProfile::reading_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("key in section") << QByteArray("[S]\r\nK=v\r\n") << QByteArray("v");
    QTest::newRow("section and key without regard to case") << QByteArray("[s]\r\nk=v\r\n") << QByteArray("v");
    QTest::newRow("blanks around names and value dropped") << QByteArray("[ S ]\r\n  K \t=  a b \t \r\n") << QByteArray("a b");
    QTest::newRow("equals sign inside the value") << QByteArray("[S]\r\nK=a=b\r\n") << QByteArray("a=b");
    QTest::newRow("empty value is a value, not absent") << QByteArray("[S]\r\nK=\r\n") << QByteArray("");
    QTest::newRow("blank value is empty") << QByteArray("[S]\r\nK=   \r\n") << QByteArray("");
    QTest::newRow("LF line ends") << QByteArray("[S]\nK=v\n") << QByteArray("v");
    QTest::newRow("last line without line end") << QByteArray("[S]\r\nK=v") << QByteArray("v");
    QTest::newRow("comment after header") << QByteArray("[S] ; note\r\nK=v\r\n") << QByteArray("v");
    QTest::newRow("code page bytes kept") << QByteArray("[S]\r\nK=\xdc\xd0\xfe\r\n") << QByteArray("\xdc\xd0\xfe");
    QTest::newRow("first of duplicate keys wins") << QByteArray("[S]\r\nK=1\r\nk=2\r\n") << QByteArray("1");
    QTest::newRow("key of another section not seen") << QByteArray("[X]\r\nK=x\r\n[S]\r\nA=1\r\n") << QByteArray("<fb>");
    QTest::newRow("section ends at the next header") << QByteArray("[S]\r\nA=1\r\n[X]\r\nK=x\r\n") << QByteArray("<fb>");
    QTest::newRow("only the first section of a name counts") << QByteArray("[S]\r\nA=1\r\n[S]\r\nK=2\r\n") << QByteArray("<fb>");
    QTest::newRow("key before any section not seen") << QByteArray("K=x\r\n[S]\r\n") << QByteArray("<fb>");
    QTest::newRow("commented-out key not seen") << QByteArray("[S]\r\n;K=x\r\n  ; K=y\r\n") << QByteArray("<fb>");
    QTest::newRow("line without equals is not a key") << QByteArray("[S]\r\nK\r\n") << QByteArray("<fb>");
    QTest::newRow("key that only starts alike") << QByteArray("[S]\r\nKK=x\r\nK2=y\r\n") << QByteArray("<fb>");
    QTest::newRow("header without closing bracket is no header")
        << QByteArray("[S]\r\n[X\r\nK=v\r\n") << QByteArray("v");
    QTest::newRow("no section at all") << QByteArray("K=v\r\njunk\r\n") << QByteArray("<fb>");
    QTest::newRow("empty file") << QByteArray() << QByteArray("<fb>");
    QTest::newRow("NUL ends the value") << raw("[S]\r\nK=12\0 | 5\r\n") << QByteArray("12");
    QTest::newRow("NUL bytes on other lines do not stop reading")
        << raw("[S]\r\n\0\0\xff\x01junk\r\n\0=\0\r\nK=v\r\n") << QByteArray("v");
    QTest::newRow("very long garbage line before the key")
        << QByteArray("[S]\r\n" + QByteArray(1 << 20, 'x') + "\r\nK=v\r\n") << QByteArray("v");
    QTest::newRow("very long value read whole")
        << QByteArray("[S]\r\nK=" + QByteArray(100000, '7') + "\r\n") << QByteArray(100000, '7');
}

void TestProfile::reading()
{
    QFETCH(QByteArray, content);
    QTEST(ProfileText(content).value("S", "K", "<fb>"), "expected");
}

void TestProfile::writing_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("existing key rewritten in place, every other line kept")
        << QByteArray("; c\r\n[S]\r\nA=1\r\nK=old\r\nB=2\r\n;end")
        << QByteArray("; c\r\n[S]\r\nA=1\r\nK=new\r\nB=2\r\n;end");
    QTest::newRow("key spelling and blanks up to the value kept")
        << QByteArray("[s]\r\n  k \t=  old value  \r\n") << QByteArray("[s]\r\n  k \t=  new\r\n");
    QTest::newRow("first of duplicate keys rewritten")
        << QByteArray("[S]\r\nK=1\r\nK=2\r\n") << QByteArray("[S]\r\nK=new\r\nK=2\r\n");
    QTest::newRow("LF line ends kept")
        << QByteArray("[S]\nK=1\nB=2\n") << QByteArray("[S]\nK=new\nB=2\n");
    QTest::newRow("last line without line end stays without")
        << QByteArray("[S]\r\nK=1") << QByteArray("[S]\r\nK=new");
    QTest::newRow("empty value filled")
        << QByteArray("[S]\r\nK=\r\nB=2\r\n") << QByteArray("[S]\r\nK=new\r\nB=2\r\n");
    QTest::newRow("absent key after the last key of its section")
        << QByteArray("[S]\r\nA=1\r\n\r\n; next\r\n[T]\r\nB=2\r\n")
        << QByteArray("[S]\r\nA=1\r\nK=new\r\n\r\n; next\r\n[T]\r\nB=2\r\n");
    QTest::newRow("absent key in a section without keys goes under the header")
        << QByteArray("[S]\r\n; only a note\r\n[T]\r\n") << QByteArray("[S]\r\nK=new\r\n; only a note\r\n[T]\r\n");
    QTest::newRow("absent key after a last line without line end")
        << QByteArray("[S]\r\nA=1") << QByteArray("[S]\r\nA=1\r\nK=new\r\n");
    QTest::newRow("commented-out key left alone")
        << QByteArray("[S]\r\n;K=1\r\nA=1\r\n") << QByteArray("[S]\r\n;K=1\r\nA=1\r\nK=new\r\n");
    QTest::newRow("absent section at the end of the file")
        << QByteArray("; c\r\n[T]\r\nA=1\r\n") << QByteArray("; c\r\n[T]\r\nA=1\r\n[S]\r\nK=new\r\n");
    QTest::newRow("absent section after a last line without line end")
        << QByteArray("[T]\r\nA=1") << QByteArray("[T]\r\nA=1\r\n[S]\r\nK=new\r\n");
    QTest::newRow("empty file") << QByteArray() << QByteArray("[S]\r\nK=new\r\n");
    QTest::newRow("only the first section of a name is written")
        << QByteArray("[S]\r\nA=1\r\n[S]\r\nK=2\r\n") << QByteArray("[S]\r\nA=1\r\nK=new\r\n[S]\r\nK=2\r\n");
    QTest::newRow("garbage, NUL and high bytes kept")
        << raw("\0junk\r\n[S]\r\n\xff\xfe\0\r\nK=1\r\n") << raw("\0junk\r\n[S]\r\n\xff\xfe\0\r\nK=new\r\n");
}

void TestProfile::writing()
{
    QFETCH(QByteArray, before);
    ProfileText text(before);
    text.setValue("S", "K", "new");
    QTEST(text.bytes(), "after");
    QCOMPARE(text.value("S", "K", "<fb>"), QByteArray("new"));
}

void TestProfile::unusableNamesAndValuesChangeNothing()
{
    const QByteArray before("[S]\r\nK=1\r\n");
    ProfileText text(before);
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, text.setValue("S", "K", "a\r\nL=b"));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, text.setValue("S", "K", QByteArrayView("a\0b", 3)));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, text.setValue("S", "K=1", "x"));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, text.setValue("S", ";K", "x"));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, text.setValue("S", "", "x"));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, text.setValue("S]", "K", "x"));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, text.setValue(" S", "K", "x"));
    QCOMPARE(text.bytes(), before);
}

void TestProfile::fileWriteCreatesMissingFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("a.ini");
    fatura::writeProfileString(path, "S", "K", "v");
    QCOMPARE(readAll(path), QByteArray("[S]\r\nK=v\r\n"));
    QCOMPARE(fatura::readProfileString(path, "s", "k", "<fb>"), QByteArray("v"));
}

void TestProfile::fileWriteReplacesInPlaceAndKeepsPermissions()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("a.ini");
    writeBytes(path, "; keep\r\n[S]\r\nK=1\r\nX=9\r\n");
    const auto permissions = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther;
    QVERIFY(QFile::setPermissions(path, permissions));

    fatura::writeProfileStrings(path, "S", {{"K", "2"}, {"NEW", "3"}});

    QCOMPARE(readAll(path), QByteArray("; keep\r\n[S]\r\nK=2\r\nX=9\r\nNEW=3\r\n"));
    QCOMPARE(QFile::permissions(path) & 0x7077, permissions);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"a.ini"});
}

void TestProfile::readOnlyFileIsNotWritten()
{
    // A file nobody may write counts as read-only even for root, who passes every permission
    // check; so this holds when the tests run as root too.
    QTemporaryDir dir;
    const QString path = dir.filePath("a.ini");
    const QByteArray before("[S]\r\nK=1\r\n");
    writeBytes(path, before);
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));

    QCOMPARE(errorOf([&] { fatura::writeProfileString(path, "S", "K", "2"); }),
             QStringLiteral("Unable to write to %1").arg(path));
    QCOMPARE(readAll(path), before);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"a.ini"});
}

void TestProfile::fileThatCannotBeReadIsNotOverwritten()
{
    // Rewriting needs the whole old content; a path that cannot be read (here a folder) must
    // fail rather than be replaced by a file holding only the new key.
    QTemporaryDir dir;
    const QString path = dir.filePath("a.ini");
    QVERIFY(QDir(dir.path()).mkdir("a.ini"));
    QCOMPARE(errorOf([&] { fatura::writeProfileString(path, "S", "K", "2"); }),
             QStringLiteral("Unable to write to %1").arg(path));
    QVERIFY(QFileInfo(path).isDir());
}

void TestProfile::fileInMissingFolderFails()
{
    QTemporaryDir dir;
    writeBytes(dir.filePath("plain"), "x");
    const QString path = dir.filePath("plain/a.ini");
    QCOMPARE(errorOf([&] { fatura::writeProfileString(path, "S", "K", "2"); }),
             QStringLiteral("Unable to write to %1").arg(path));
}

void TestProfile::batchIsAllOrNothing()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("a.ini");
    const QByteArray before("[S]\r\nA=1\r\nB=1\r\n");
    writeBytes(path, before);
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument,
                             fatura::writeProfileStrings(path, "S", {{"A", "2"}, {"B", "bad\nvalue"}}));
    QCOMPARE(readAll(path), before);
}

void TestProfile::unreadableFileReadsAsFallback()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("folder.ini"));
    QCOMPARE(fatura::readProfileString(dir.filePath("folder.ini"), "S", "K", "<fb>"), QByteArray("<fb>"));
    QCOMPARE(fatura::readProfileString(dir.filePath("missing.ini"), "S", "K", "<fb>"), QByteArray("<fb>"));

    if (geteuid() == 0)
        QSKIP("root reads a file without read permission; the folder case above stands in for it");
    const QString path = dir.filePath("locked.ini");
    writeBytes(path, "[S]\r\nK=v\r\n");
    QVERIFY(QFile::setPermissions(path, QFile::WriteOwner));
    QCOMPARE(fatura::readProfileString(path, "S", "K", "<fb>"), QByteArray("<fb>"));
}

QTEST_APPLESS_MAIN(TestProfile)
#include "tst_core_profile.moc"
