#include "PageFile.h"
#include "PageSamples.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

using namespace fatura;
using namespace fatura::report;
using Kind = PageFileError::Kind;

Q_DECLARE_METATYPE(fatura::report::PageFileError::Kind)

namespace {

constexpr int kHeader = 32;

// Rewrites the header's length and digest after a test has changed the body, so that the
// reader's checks behind the digest are reached.
QByteArray resealed(QByteArray bytes)
{
    const QByteArray body = bytes.mid(kHeader);
    qToLittleEndian(quint32(body.size()), bytes.data() + 16);
    const QByteArray digest = QCryptographicHash::hash(body, QCryptographicHash::Md5).left(12);
    bytes.replace(20, 12, digest);
    return bytes;
}

// Offset of the first label in the body of a file of invoicePage(): width, height, point size,
// family ("Arial"), label count.
constexpr int kFirstLabel = kHeader + 8 + 8 + 8 + 4 + 5 + 4;

QByteArray withU32(QByteArray bytes, int at, quint32 value)
{
    qToLittleEndian(value, bytes.data() + at);
    return bytes;
}

QByteArray withReal(QByteArray bytes, int at, double value)
{
    qToLittleEndian(std::bit_cast<quint64>(value), bytes.data() + at);
    return bytes;
}

} // namespace

class TestPageFile : public QObject {
    Q_OBJECT
private slots:
    void savedPagesReadBackEqual();
    void headerIsAsDocumented();
    void damagedFilesAreRefused_data();
    void damagedFilesAreRefused();
    void everyTruncationIsRefused();
    void missingAndUnwritableFilesReportTheirPath();
};

void TestPageFile::savedPagesReadBackEqual()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("fatura.fsd");
    Page second;
    second.size = QSizeF(1480, 2100);
    second.fontFamily = QStringLiteral("Liberation Serif");
    second.pointSize = 12.5;
    const std::vector<Page> pages{testing::invoicePage(), second};

    savePageFile(path, pages);
    const std::vector<Page> loaded = loadPageFile(path);

    QCOMPARE(loaded.size(), pages.size());
    QVERIFY(testing::samePages(loaded[0], pages[0]));
    QVERIFY(testing::samePages(loaded[1], pages[1]));
}

void TestPageFile::headerIsAsDocumented()
{
    const QByteArray bytes = encodePages({testing::invoicePage()});
    QCOMPARE(bytes.left(8), QByteArray("FSAYFA\r\n"));
    QCOMPARE(qFromLittleEndian<quint16>(bytes.constData() + 8), quint16(1));
    QCOMPARE(qFromLittleEndian<quint16>(bytes.constData() + 10), quint16(0));
    QCOMPARE(qFromLittleEndian<quint32>(bytes.constData() + 12), quint32(1));
    QCOMPARE(qFromLittleEndian<quint32>(bytes.constData() + 16), quint32(bytes.size() - kHeader));
    QCOMPARE(bytes.mid(20, 12), QCryptographicHash::hash(bytes.mid(kHeader), QCryptographicHash::Md5).left(12));
    // The first label's left, little-endian binary64, right after the page's fields.
    QCOMPARE(std::bit_cast<double>(qFromLittleEndian<quint64>(bytes.constData() + kFirstLabel)), 1158.3);
}

void TestPageFile::damagedFilesAreRefused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("message");

    const QByteArray good = encodePages({testing::invoicePage()});

    QTest::newRow("empty file") << QByteArray() << Kind::NotAPageFile << "\nBU DOSYA BİR RAPOR DOSYASI DEĞİL";
    QTest::newRow("a PDF") << QByteArray("%PDF-1.4\n%\xe2\xe3\xcf\xd3\n1 0 obj<<>>endobj\n") << Kind::NotAPageFile
                           << "\nBU DOSYA BİR RAPOR DOSYASI DEĞİL";
    QByteArray unixEnds = good;
    unixEnds.remove(6, 1); // CR LF -> LF, as a careless transfer does
    QTest::newRow("line ends rewritten") << unixEnds << Kind::NotAPageFile << "\nBU DOSYA BİR RAPOR DOSYASI DEĞİL";
    QTest::newRow("header cut short") << good.left(31) << Kind::NotAPageFile << "\nBU DOSYA BİR RAPOR DOSYASI DEĞİL";

    QByteArray v2 = good;
    qToLittleEndian(quint16(2), v2.data() + 8);
    QTest::newRow("newer version") << v2 << Kind::NewerVersion << "\nRAPOR DOSYASI PROGRAMIN BU SÜRÜMÜNDEN YENİ (BİÇİM 2)";
    QByteArray v0 = good;
    qToLittleEndian(quint16(0), v0.data() + 8);
    QTest::newRow("version 0") << v0 << Kind::Damaged << "\nRAPOR DOSYASI BOZUK: BİÇİM 0";
    QByteArray reserved = good;
    reserved[11] = 1;
    QTest::newRow("reserved field set") << reserved << Kind::Damaged << "\nRAPOR DOSYASI BOZUK: AYRILMIŞ ALAN DOLU";

    const int body = good.size() - kHeader;
    QTest::newRow("last byte missing") << good.chopped(1) << Kind::Damaged
                                       << QStringLiteral("\nRAPOR DOSYASI BOZUK: UZUNLUK %1 BAYT, OLMASI GEREKEN %2 BAYT")
                                              .arg(body - 1)
                                              .arg(body);
    QTest::newRow("byte appended") << good + 'x' << Kind::Damaged
                                   << QStringLiteral("\nRAPOR DOSYASI BOZUK: UZUNLUK %1 BAYT, OLMASI GEREKEN %2 BAYT")
                                          .arg(body + 1)
                                          .arg(body);
    QByteArray flipped = good;
    flipped[kFirstLabel + 3] = char(flipped[kFirstLabel + 3] ^ 0x10);
    QTest::newRow("a label's left flipped") << flipped << Kind::Damaged << "\nRAPOR DOSYASI BOZUK: İÇERİK DEĞİŞMİŞ";
    QByteArray lastText = good;
    lastText[lastText.size() - 1] = 'X';
    QTest::newRow("a letter of the last text changed") << lastText << Kind::Damaged << "\nRAPOR DOSYASI BOZUK: İÇERİK DEĞİŞMİŞ";
    QByteArray digest = good;
    digest[25] = char(digest[25] ^ 0xff);
    QTest::newRow("digest flipped") << digest << Kind::Damaged << "\nRAPOR DOSYASI BOZUK: İÇERİK DEĞİŞMİŞ";

    // Damage that a matching digest does not catch: a file written wrongly rather than changed.
    QTest::newRow("no pages") << withU32(good, 12, 0) << Kind::Damaged << "\nRAPOR DOSYASI BOZUK: SAYFA SAYISI 0";
    QTest::newRow("page count beyond the pages") << withU32(good, 12, 2) << Kind::Damaged
                                                 << "\nRAPOR DOSYASI BOZUK: DOSYA ERKEN BİTİYOR";
    QTest::newRow("absurd page count") << withU32(good, 12, 0xffffffffu) << Kind::Damaged
                                       << "\nRAPOR DOSYASI BOZUK: SAYFA SAYISI 4294967295";
    QTest::newRow("zero width") << resealed(withReal(good, kHeader, 0)) << Kind::Damaged
                                << "\nRAPOR DOSYASI BOZUK: SAYFA BOYUTU SIFIR YA DA EKSİ";
    QTest::newRow("height not a number") << resealed(withReal(good, kHeader + 8, std::nan(""))) << Kind::Damaged
                                         << "\nRAPOR DOSYASI BOZUK: SAYFA YÜKSEKLİĞİ SAYI DEĞİL";
    QTest::newRow("infinite left") << resealed(withReal(good, kFirstLabel, INFINITY)) << Kind::Damaged
                                   << "\nRAPOR DOSYASI BOZUK: ETİKET SOLU SAYI DEĞİL";
    QTest::newRow("family longer than the file") << resealed(withU32(good, kHeader + 24, 0x7fffffff)) << Kind::Damaged
                                                 << "\nRAPOR DOSYASI BOZUK: YAZI TİPİ UZUNLUĞU DOSYAYI AŞIYOR";
    QTest::newRow("absurd label count") << resealed(withU32(good, kFirstLabel - 4, 70000)) << Kind::Damaged
                                        << "\nRAPOR DOSYASI BOZUK: ETİKET SAYISI 70000";
    QByteArray flag = good;
    flag[kFirstLabel + 24] = 0x02;
    QTest::newRow("unknown label flag") << resealed(flag) << Kind::Damaged
                                        << "\nRAPOR DOSYASI BOZUK: ETİKET BAYRAKLARI 2";
    QByteArray badUtf8 = good;
    badUtf8[kFirstLabel + 29] = char(0xff); // first byte of the first label's text
    QTest::newRow("text not UTF-8") << resealed(badUtf8) << Kind::Damaged
                                    << "\nRAPOR DOSYASI BOZUK: ETİKET METNİ GEÇERSİZ UTF-8";
    QByteArray trailing = good + QByteArray(7, '\0');
    QTest::newRow("bytes after the last page") << resealed(trailing) << Kind::Damaged
                                               << "\nRAPOR DOSYASI BOZUK: SON SAYFADAN SONRA 7 BAYT";
}

void TestPageFile::damagedFilesAreRefused()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Kind, kind);
    QFETCH(QString, message);
    try {
        decodePages(bytes);
        QFAIL("the damaged file was read");
    } catch (const PageFileError& e) {
        QCOMPARE(e.kind(), kind);
        QCOMPARE(QString::fromUtf8(e.what()), message);
    }
}

// Whatever the length at which a transfer broke off, the reader says so and reads nothing
// beyond the bytes it has (asan would see it).
void TestPageFile::everyTruncationIsRefused()
{
    const QByteArray good = encodePages({testing::invoicePage(), testing::invoicePage()});
    for (qsizetype n = 0; n < good.size(); ++n) {
        const QByteArray cut(good.constData(), n); // a copy of its own, so a read past n is caught
        try {
            decodePages(cut);
            QFAIL(qPrintable(QStringLiteral("read a file cut to %1 bytes").arg(n)));
        } catch (const PageFileError& e) {
            QVERIFY2(e.kind() == (n < kHeader ? Kind::NotAPageFile : Kind::Damaged), qPrintable(QString::number(n)));
        }
    }
}

void TestPageFile::missingAndUnwritableFilesReportTheirPath()
{
    QTemporaryDir dir;
    const QString missing = dir.filePath("yok.fsd");
    try {
        loadPageFile(missing);
        QFAIL("a missing file was read");
    } catch (const PageFileError& e) {
        QCOMPARE(e.kind(), Kind::Unreadable);
        QVERIFY(QString::fromUtf8(e.what()).startsWith("\nRAPOR DOSYASI AÇILAMADI: " + missing));
    }
    const QString inMissingFolder = dir.filePath("klasor/yok.fsd");
    try {
        savePageFile(inMissingFolder, {testing::invoicePage()});
        QFAIL("wrote into a folder that does not exist");
    } catch (const PageFileError& e) {
        QCOMPARE(e.kind(), Kind::Unwritable);
        QVERIFY(QString::fromUtf8(e.what()).startsWith("\nRAPOR DOSYASI YAZILAMADI: " + inMissingFolder));
    }
}

QTEST_GUILESS_MAIN(TestPageFile)
#include "tst_pagefile.moc"
