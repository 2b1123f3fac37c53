// Amounts in Turkish words. Expected texts are written here in UTF-8 so that they read as
// Turkish; they are turned into code page 1254 bytes before being compared with the module's
// results, byte for byte.
#include "SayiOku.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <QTest>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

using fatura::AmountToWords;
using fatura::GroupToWords;
using fatura::MapTurkishCase;
using fatura::NumberToWords;
using fatura::TurkishCase;

Q_DECLARE_METATYPE(fatura::TurkishCase)

namespace {

QByteArray cp1254(const QString& text)
{
    QStringEncoder encoder("windows-1254");
    const QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        qFatal("not representable in code page 1254: %s", qPrintable(text));
    return bytes;
}

QString fromCp1254(const std::string& bytes)
{
    QStringDecoder decoder("windows-1254");
    return decoder.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
}

// 999,999,999,999,999: every group and every scale word at its longest.
const QString kLargestWords = QStringLiteral(
    "dokuzyüzdoksandokuztrilyondokuzyüzdoksandokuzmilyardokuzyüzdoksandokuzmilyon"
    "dokuzyüzdoksandokuzbindokuzyüzdoksandokuz");
const QString kLargestWordsUpper = QStringLiteral(
    "DOKUZYÜZDOKSANDOKUZTRİLYONDOKUZYÜZDOKSANDOKUZMİLYARDOKUZYÜZDOKSANDOKUZMİLYON"
    "DOKUZYÜZDOKSANDOKUZBİNDOKUZYÜZDOKSANDOKUZ");

// Compares readable text first, so that a failure shows words rather than bytes, then the exact
// bytes, which is what the invoice stores and prints.
#define COMPARE_CP1254(actual, expected)                        \
    do {                                                        \
        const std::string actualBytes_ = (actual);              \
        QCOMPARE(fromCp1254(actualBytes_), (expected));         \
        QCOMPARE(QByteArray::fromStdString(actualBytes_), cp1254(expected)); \
    } while (false)

} // namespace

class TestWords : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void numberToWords_data();
    void numberToWords();

    void groupToWords_data();
    void groupToWords();

    void amountToWords_data();
    void amountToWords();
    void amountsThatAreNotNumbersHaveNoWords_data();
    void amountsThatAreNotNumbersHaveNoWords();
    void doublesBehindTheLargestAmounts();
    void longestTextFitsTheStoredWordsField();
    void typedHundredthsAreKept_data();
    void typedHundredthsAreKept();

    void mapTurkishCase_data();
    void mapTurkishCase();
    void mapTurkishCaseLeavesEveryOtherByte();
};

void TestWords::initTestCase()
{
    QVERIFY2(QStringEncoder("windows-1254").isValid(), "Qt was built without code page 1254");
}

void TestWords::numberToWords_data()
{
    QTest::addColumn<qint64>("n");
    QTest::addColumn<QString>("words");

    QTest::newRow("1") << qint64(1) << QStringLiteral("bir");
    QTest::newRow("10") << qint64(10) << QStringLiteral("on");
    QTest::newRow("11") << qint64(11) << QStringLiteral("onbir");
    QTest::newRow("20") << qint64(20) << QStringLiteral("yirmi");
    QTest::newRow("100 is yüz, not biryüz") << qint64(100) << QStringLiteral("yüz");
    QTest::newRow("101") << qint64(101) << QStringLiteral("yüzbir");
    QTest::newRow("110") << qint64(110) << QStringLiteral("yüzon");
    QTest::newRow("115") << qint64(115) << QStringLiteral("yüzonbeş");
    QTest::newRow("200") << qint64(200) << QStringLiteral("ikiyüz");
    QTest::newRow("999") << qint64(999) << QStringLiteral("dokuzyüzdoksandokuz");
    QTest::newRow("1000 is bin, not birbin") << qint64(1000) << QStringLiteral("bin");
    QTest::newRow("1001") << qint64(1001) << QStringLiteral("binbir");
    QTest::newRow("1100") << qint64(1100) << QStringLiteral("binyüz");
    QTest::newRow("2000") << qint64(2000) << QStringLiteral("ikibin");
    QTest::newRow("10,000") << qint64(10'000) << QStringLiteral("onbin");
    QTest::newRow("11,000") << qint64(11'000) << QStringLiteral("onbirbin");
    QTest::newRow("100,000") << qint64(100'000) << QStringLiteral("yüzbin");
    QTest::newRow("101,000 keeps the bir of its group") << qint64(101'000) << QStringLiteral("yüzbirbin");
    QTest::newRow("1,000,000 keeps its bir") << qint64(1'000'000) << QStringLiteral("birmilyon");
    QTest::newRow("1,000,001 zero groups drop out") << qint64(1'000'001) << QStringLiteral("birmilyonbir");
    QTest::newRow("1,001,000") << qint64(1'001'000) << QStringLiteral("birmilyonbin");
    QTest::newRow("1,001,001") << qint64(1'001'001) << QStringLiteral("birmilyonbinbir");
    QTest::newRow("2,000,000") << qint64(2'000'000) << QStringLiteral("ikimilyon");
    QTest::newRow("1,234,567") << qint64(1'234'567)
                               << QStringLiteral("birmilyonikiyüzotuzdörtbinbeşyüzaltmışyedi");
    QTest::newRow("1,000,000,000") << qint64(1'000'000'000) << QStringLiteral("birmilyar");
    QTest::newRow("2,147,483,647 largest 32-bit") << qint64(2'147'483'647)
        << QStringLiteral("ikimilyaryüzkırkyedimilyondörtyüzseksenüçbinaltıyüzkırkyedi");
    QTest::newRow("2,147,483,648 one past 32 bits") << qint64(2'147'483'648)
        << QStringLiteral("ikimilyaryüzkırkyedimilyondörtyüzseksenüçbinaltıyüzkırksekiz");
    QTest::newRow("2,147,483,649") << qint64(2'147'483'649)
        << QStringLiteral("ikimilyaryüzkırkyedimilyondörtyüzseksenüçbinaltıyüzkırkdokuz");
    QTest::newRow("4,294,967,296 past 32 unsigned bits") << qint64(4'294'967'296)
        << QStringLiteral("dörtmilyarikiyüzdoksandörtmilyondokuzyüzaltmışyedibinikiyüzdoksanaltı");
    QTest::newRow("10^12") << qint64(1'000'000'000'000) << QStringLiteral("birtrilyon");
    QTest::newRow("10^12 + 1") << qint64(1'000'000'000'001) << QStringLiteral("birtrilyonbir");
    QTest::newRow("1,002,003,004,005") << qint64(1'002'003'004'005)
        << QStringLiteral("birtrilyonikimilyarüçmilyondörtbinbeş");
    QTest::newRow("999,999,999,999,999 largest with words") << qint64(999'999'999'999'999) << kLargestWords;
    QTest::newRow("10^15 has no scale word") << qint64(1'000'000'000'000'000) << QString();
    QTest::newRow("10^15 + 1") << qint64(1'000'000'000'000'001) << QString();
    QTest::newRow("largest 64-bit") << std::numeric_limits<qint64>::max() << QString();
    QTest::newRow("0") << qint64(0) << QString();
    QTest::newRow("-1") << qint64(-1) << QString();
    QTest::newRow("-1,234,567") << qint64(-1'234'567) << QString();
    QTest::newRow("smallest 64-bit") << std::numeric_limits<qint64>::min() << QString();
}

void TestWords::numberToWords()
{
    QFETCH(qint64, n);
    QFETCH(QString, words);
    COMPARE_CP1254(NumberToWords(n), words);
}

void TestWords::groupToWords_data()
{
    QTest::addColumn<QByteArray>("digits");
    QTest::addColumn<QString>("words");

    QTest::newRow("000 is empty") << QByteArray("000") << QString();
    QTest::newRow("001") << QByteArray("001") << QStringLiteral("bir");
    QTest::newRow("007") << QByteArray("007") << QStringLiteral("yedi");
    QTest::newRow("010") << QByteArray("010") << QStringLiteral("on");
    QTest::newRow("040") << QByteArray("040") << QStringLiteral("kırk");
    QTest::newRow("100 is yüz alone") << QByteArray("100") << QStringLiteral("yüz");
    QTest::newRow("115") << QByteArray("115") << QStringLiteral("yüzonbeş");
    QTest::newRow("306") << QByteArray("306") << QStringLiteral("üçyüzaltı");
    QTest::newRow("999") << QByteArray("999") << QStringLiteral("dokuzyüzdoksandokuz");
    QTest::newRow("too short") << QByteArray("12") << QString();
    QTest::newRow("too long") << QByteArray("1234") << QString();
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("not a digit") << QByteArray("1a5") << QString();
    QTest::newRow("space for a digit") << QByteArray(" 15") << QString();
}

void TestWords::groupToWords()
{
    QFETCH(QByteArray, digits);
    QFETCH(QString, words);
    COMPARE_CP1254(GroupToWords(std::string_view(digits.constData(), std::size_t(digits.size()))), words);
}

void TestWords::amountToWords_data()
{
    QTest::addColumn<double>("amount");
    QTest::addColumn<int>("caseSelector");
    QTest::addColumn<int>("currencySelector");
    QTest::addColumn<QString>("text");

    // What the invoice totals ask for: upper case, lira.
    QTest::newRow("1,234,567.89")
        << 1234567.89 << 1 << 0
        << QStringLiteral("BİRMİLYONİKİYÜZOTUZDÖRTBİNBEŞYÜZALTMIŞYEDİ TL SEKSENDOKUZ KR");
    QTest::newRow("1000 whole only") << 1000.0 << 1 << 0 << QStringLiteral("BİN TL");
    QTest::newRow("5000") << 5000.0 << 1 << 0 << QStringLiteral("BEŞBİN TL");
    QTest::newRow("41 dotless and dotted i") << 41.0 << 1 << 0 << QStringLiteral("KIRKBİR TL");
    QTest::newRow("0.50 no word for the zero lira") << 0.50 << 1 << 0 << QStringLiteral("ELLİ KR");
    QTest::newRow("1.05") << 1.05 << 1 << 0 << QStringLiteral("BİR TL BEŞ KR");
    QTest::newRow("100.10") << 100.10 << 1 << 0 << QStringLiteral("YÜZ TL ON KR");
    QTest::newRow("61.61") << 61.61 << 1 << 0 << QStringLiteral("ALTMIŞBİR TL ALTMIŞBİR KR");
    QTest::newRow("1.125 half goes down to even 12") << 1.125 << 1 << 0 << QStringLiteral("BİR TL ONİKİ KR");
    QTest::newRow("1.375 half goes up to even 38") << 1.375 << 1 << 0 << QStringLiteral("BİR TL OTUZSEKİZ KR");
    QTest::newRow("0.625 half goes down to even 62") << 0.625 << 1 << 0 << QStringLiteral("ALTMIŞİKİ KR");
    QTest::newRow("0.875 half goes up to even 88") << 0.875 << 1 << 0 << QStringLiteral("SEKSENSEKİZ KR");
    QTest::newRow("0 is empty") << 0.0 << 1 << 0 << QString();
    QTest::newRow("0.001 rounds to no hundredths") << 0.001 << 1 << 0 << QString();
    QTest::newRow("0.004 rounds to no hundredths") << 0.004 << 1 << 0 << QString();
    QTest::newRow("-1 is empty") << -1.0 << 1 << 0 << QString();
    QTest::newRow("-0.50 is empty") << -0.50 << 1 << 0 << QString();
    QTest::newRow("-1,234,567.89 is empty") << -1234567.89 << 1 << 0 << QString();
    QTest::newRow("-0 is empty") << -0.0 << 1 << 0 << QString();

    // The hundredths are those of the double itself, rounded once: the parsed 0.005 lies a hair
    // above half a hundredth and 0.995 a hair below 99.5, so neither is a half.
    QTest::newRow("0.005 is above half a hundredth") << 0.005 << 1 << 0 << QStringLiteral("BİR KR");
    QTest::newRow("0.015 is below 1.5 hundredths") << 0.015 << 1 << 0 << QStringLiteral("BİR KR");
    QTest::newRow("0.995 is below 99.5 hundredths") << 0.995 << 1 << 0 << QStringLiteral("DOKSANDOKUZ KR");
    // Hundredths are never carried into the whole part.
    QTest::newRow("1.999 is bir TL yüz KR") << 1.999 << 1 << 0 << QStringLiteral("BİR TL YÜZ KR");
    QTest::newRow("0.999 is yüz KR") << 0.999 << 1 << 0 << QStringLiteral("YÜZ KR");

    // Case selectors: 0 as built, 2 lower, 1 and every other value upper; units change too.
    QTest::newRow("case 0 keeps words lower and units upper") << 1.05 << 0 << 0 << QStringLiteral("bir TL beş KR");
    QTest::newRow("case 2 lowers the units") << 1.05 << 2 << 0 << QStringLiteral("bir tl beş kr");
    QTest::newRow("case 1 upper") << 41.0 << 1 << 0 << QStringLiteral("KIRKBİR TL");
    QTest::newRow("case 3 is upper") << 41.0 << 3 << 0 << QStringLiteral("KIRKBİR TL");
    QTest::newRow("case 255 is upper") << 41.0 << 255 << 0 << QStringLiteral("KIRKBİR TL");
    QTest::newRow("case 2 lowers dotless and dotted i") << 41.0 << 2 << 0 << QStringLiteral("kırkbir tl");

    // Currency selectors.
    QTest::newRow("euro") << 2.50 << 1 << 1 << QStringLiteral("İKİ EURO ELLİ EUROCENT");
    QTest::newRow("euro case 0") << 2.50 << 0 << 1 << QStringLiteral("iki EURO elli EUROCENT");
    QTest::newRow("euro case 2") << 2.50 << 2 << 1 << QStringLiteral("iki euro elli eurocent");
    QTest::newRow("manat") << 3.01 << 1 << 2 << QStringLiteral("ÜÇ AZN BİR QEP");
    QTest::newRow("manat case 2") << 3.01 << 2 << 2 << QStringLiteral("üç azn bir qep");
    QTest::newRow("unknown currency 3 has no units") << 1.05 << 1 << 3 << QStringLiteral("BİR BEŞ");
    QTest::newRow("unknown currency 255, whole only") << 1000.0 << 0 << 255 << QStringLiteral("bin");
    QTest::newRow("unknown currency, hundredths only") << 0.50 << 1 << 7 << QStringLiteral("ELLİ");

    // Whole parts past 32 bits are carried in 64 and written in full.
    QTest::newRow("2,147,483,647 largest 32-bit")
        << 2147483647.0 << 1 << 0
        << QStringLiteral("İKİMİLYARYÜZKIRKYEDİMİLYONDÖRTYÜZSEKSENÜÇBİNALTIYÜZKIRKYEDİ TL");
    QTest::newRow("2,147,483,647.99")
        << 2147483647.99 << 1 << 0
        << QStringLiteral("İKİMİLYARYÜZKIRKYEDİMİLYONDÖRTYÜZSEKSENÜÇBİNALTIYÜZKIRKYEDİ TL DOKSANDOKUZ KR");
    QTest::newRow("2,147,483,648 one past 32 bits")
        << 2147483648.0 << 1 << 0
        << QStringLiteral("İKİMİLYARYÜZKIRKYEDİMİLYONDÖRTYÜZSEKSENÜÇBİNALTIYÜZKIRKSEKİZ TL");
    QTest::newRow("2,147,483,649.01 lower")
        << 2147483649.01 << 2 << 0
        << QStringLiteral("ikimilyaryüzkırkyedimilyondörtyüzseksenüçbinaltıyüzkırkdokuz tl bir kr");
    QTest::newRow("4,294,967,296.50 as built")
        << 4294967296.50 << 0 << 0
        << QStringLiteral("dörtmilyarikiyüzdoksandörtmilyondokuzyüzaltmışyedibinikiyüzdoksanaltı TL elli KR");
    QTest::newRow("10^12") << 1e12 << 1 << 0 << QStringLiteral("BİRTRİLYON TL");
    QTest::newRow("10^12 + 0.25 euro") << 1e12 + 0.25 << 1 << 1 << QStringLiteral("BİRTRİLYON EURO YİRMİBEŞ EUROCENT");
    // Up to 2^46 the nearest double of a two-decimal amount is within half a hundredth of it;
    // from 2^46 on a double is a multiple of 1/64 and 70,368,744,177,664.01 is read as .015625.
    QTest::newRow("70,368,744,177,663.99 below 2^46 keeps its hundredths")
        << 70368744177663.99 << 2 << 0
        << QStringLiteral("yetmiştrilyonüçyüzaltmışsekizmilyaryediyüzkırkdörtmilyonyüzyetmişyedibin"
                          "altıyüzaltmışüç tl doksandokuz kr");
    QTest::newRow("70,368,744,177,664.01 at 2^46 is .015625")
        << 70368744177664.01 << 2 << 0
        << QStringLiteral("yetmiştrilyonüçyüzaltmışsekizmilyaryediyüzkırkdörtmilyonyüzyetmişyedibin"
                          "altıyüzaltmışdört tl iki kr");
    QTest::newRow("999,999,999,999,999") << 999999999999999.0 << 1 << 0 << kLargestWordsUpper + QStringLiteral(" TL");
    QTest::newRow("999,999,999,999,999.5") << 999999999999999.5 << 1 << 0
                                           << kLargestWordsUpper + QStringLiteral(" TL ELLİ KR");
    // The largest double below 10^15 is ...999.875, a true half of a hundredth: 87.5 goes to 88.
    QTest::newRow("999,999,999,999,999.875 largest with words")
        << 999999999999999.875 << 1 << 0 << kLargestWordsUpper + QStringLiteral(" TL SEKSENSEKİZ KR");
    // 999,999,999,999,999.99 has no double of its own: it is read as exactly 10^15.
    QTest::newRow("999,999,999,999,999.99 is read as 10^15") << 999999999999999.99 << 1 << 0 << QString();
    QTest::newRow("10^15") << 1e15 << 1 << 0 << QString();
    QTest::newRow("10^15 + 1") << 1e15 + 1 << 1 << 0 << QString();
    QTest::newRow("2^63, past 64 bits") << 9223372036854775808.0 << 1 << 0 << QString();
    QTest::newRow("1e300") << 1e300 << 1 << 0 << QString();
}

void TestWords::amountToWords()
{
    QFETCH(double, amount);
    QFETCH(int, caseSelector);
    QFETCH(int, currencySelector);
    QFETCH(QString, text);
    COMPARE_CP1254(AmountToWords(std::uint8_t(caseSelector), std::uint8_t(currencySelector), amount), text);
}

void TestWords::amountsThatAreNotNumbersHaveNoWords_data()
{
    QTest::addColumn<double>("amount");
    using limits = std::numeric_limits<double>;
    QTest::newRow("NaN") << limits::quiet_NaN();
    QTest::newRow("negative NaN") << -limits::quiet_NaN();
    QTest::newRow("+infinity") << limits::infinity();
    QTest::newRow("-infinity") << -limits::infinity();
    QTest::newRow("largest double") << limits::max();
    QTest::newRow("most negative double") << limits::lowest();
    QTest::newRow("smallest subnormal") << limits::denorm_min();
    QTest::newRow("smallest normal") << limits::min();
}

void TestWords::amountsThatAreNotNumbersHaveNoWords()
{
    QFETCH(double, amount);
    for (int caseSelector : {0, 1, 2}) {
        for (int currencySelector : {0, 1, 2, 3}) {
            QCOMPARE(AmountToWords(std::uint8_t(caseSelector), std::uint8_t(currencySelector), amount),
                     std::string());
        }
    }
}

// The facts about doubles that the rows near 10^15 rest on, stated where a reader can check them.
void TestWords::doublesBehindTheLargestAmounts()
{
    QCOMPARE(999999999999999.99, 1e15);
    QCOMPARE(std::nextafter(1e15, 0.0), 999999999999999.875);
    QCOMPARE(70368744177664.01, 70368744177664.015625);
    QCOMPARE(std::ldexp(1.0, 46), 70368744177664.0);
}

// 868 and 88 have words as long as any group and any hundredths have; the stored field holds 150.
void TestWords::longestTextFitsTheStoredWordsField()
{
    QCOMPARE(AmountToWords(1, 0, 868868868868868.875).size(), std::size_t(135));
    QCOMPARE(AmountToWords(1, 1, 868868868868868.875).size(), std::size_t(143));
}

// Every hundredth from .00 to .99, typed as text and parsed the way an entry field would, comes
// back as the same hundredth, wherever the whole part is below 2^46.
void TestWords::typedHundredthsAreKept_data()
{
    QTest::addColumn<qint64>("whole");
    QTest::newRow("0") << qint64(0);
    QTest::newRow("1") << qint64(1);
    QTest::newRow("61") << qint64(61);
    QTest::newRow("999") << qint64(999);
    QTest::newRow("1,234,567") << qint64(1'234'567);
    QTest::newRow("2,147,483,647") << qint64(2'147'483'647);
    QTest::newRow("2,147,483,648") << qint64(2'147'483'648);
    QTest::newRow("10^12") << qint64(1'000'000'000'000);
    QTest::newRow("2^46 - 1") << qint64(70'368'744'177'663);
}

void TestWords::typedHundredthsAreKept()
{
    QFETCH(qint64, whole);
    for (int hundredths = 0; hundredths < 100; ++hundredths) {
        const QByteArray typed = QByteArray::number(whole) + '.' + QByteArray::number(hundredths).rightJustified(2, '0');
        const double amount = std::strtod(typed.constData(), nullptr);

        std::string expected;
        if (whole > 0)
            expected = NumberToWords(whole) + " TL";
        if (whole > 0 && hundredths > 0)
            expected += ' ';
        if (hundredths > 0)
            expected += NumberToWords(hundredths) + " KR";

        const std::string actual = AmountToWords(0, 0, amount);
        QVERIFY2(actual == expected, qPrintable(QStringLiteral("%1 gave \"%2\", want \"%3\"")
                                                     .arg(QString::fromLatin1(typed), fromCp1254(actual),
                                                          fromCp1254(expected))));
    }
}

void TestWords::mapTurkishCase_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<TurkishCase>("direction");
    QTest::addColumn<QByteArray>("mapped");

    struct LetterPair {
        const char* upper;
        const char* lower;
    };
    static const LetterPair pairs[] = {
        {"I", "ı"}, {"İ", "i"}, {"Ç", "ç"}, {"Ğ", "ğ"}, {"Ö", "ö"}, {"Ü", "ü"}, {"Ş", "ş"},
    };
    for (const LetterPair& pair : pairs) {
        const QString upper = QString::fromUtf8(pair.upper);
        const QString lower = QString::fromUtf8(pair.lower);
        QTest::addRow("%s lowered is %s", pair.upper, pair.lower)
            << cp1254(upper) << TurkishCase::Lower << cp1254(lower);
        QTest::addRow("%s lowered stays", pair.lower) << cp1254(lower) << TurkishCase::Lower << cp1254(lower);
        QTest::addRow("%s uppered is %s", pair.lower, pair.upper)
            << cp1254(lower) << TurkishCase::Upper << cp1254(upper);
        QTest::addRow("%s uppered stays", pair.upper) << cp1254(upper) << TurkishCase::Upper << cp1254(upper);
    }

    const QByteArray upperAscii("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    const QByteArray lowerAscii("abcdefghijklmnopqrstuvwxyz");
    QTest::newRow("A to Z lowered, I to dotless ı")
        << upperAscii << TurkishCase::Lower << cp1254(QStringLiteral("abcdefghıjklmnopqrstuvwxyz"));
    QTest::newRow("A to Z uppered stays") << upperAscii << TurkishCase::Upper << upperAscii;
    QTest::newRow("a to z uppered, i to dotted İ")
        << lowerAscii << TurkishCase::Upper << cp1254(QStringLiteral("ABCDEFGHİJKLMNOPQRSTUVWXYZ"));
    QTest::newRow("a to z lowered stays") << lowerAscii << TurkishCase::Lower << lowerAscii;

    const QByteArray digitsAndPunctuation("0123456789 .,;:-+/|()@[]{}`~_\t");
    QTest::newRow("digits and punctuation lowered stay") << digitsAndPunctuation << TurkishCase::Lower
                                                         << digitsAndPunctuation;
    QTest::newRow("digits and punctuation uppered stay") << digitsAndPunctuation << TurkishCase::Upper
                                                         << digitsAndPunctuation;
    const QByteArray otherAccents = cp1254(QStringLiteral("âéÂÉîÎûÛ"));
    QTest::newRow("â é and other accents lowered keep their case") << otherAccents << TurkishCase::Lower
                                                                   << otherAccents;
    QTest::newRow("â é and other accents uppered keep their case") << otherAccents << TurkishCase::Upper
                                                                   << otherAccents;
    QTest::newRow("0xE2 â uppered stays") << QByteArray("\xE2") << TurkishCase::Upper << QByteArray("\xE2");
    QTest::newRow("0xE9 é uppered stays") << QByteArray("\xE9") << TurkishCase::Upper << QByteArray("\xE9");

    QTest::newRow("words and units lowered") << cp1254(QStringLiteral("KIRKBİR TL ÜÇ KR")) << TurkishCase::Lower
                                             << cp1254(QStringLiteral("kırkbir tl üç kr"));
    QTest::newRow("words and units uppered") << cp1254(QStringLiteral("altmışbir TL doğru çiçek"))
                                             << TurkishCase::Upper
                                             << cp1254(QStringLiteral("ALTMIŞBİR TL DOĞRU ÇİÇEK"));
    QTest::newRow("empty lowered") << QByteArray() << TurkishCase::Lower << QByteArray();
    QTest::newRow("empty uppered") << QByteArray() << TurkishCase::Upper << QByteArray();
}

void TestWords::mapTurkishCase()
{
    QFETCH(QByteArray, text);
    QFETCH(TurkishCase, direction);
    QFETCH(QByteArray, mapped);
    const std::string result = MapTurkishCase(std::string_view(text.constData(), std::size_t(text.size())), direction);
    QCOMPARE(QByteArray::fromStdString(result), mapped);
}

void TestWords::mapTurkishCaseLeavesEveryOtherByte()
{
    const QByteArray turkishLetters("\xF0\xFC\xFE\x69\xFD\xF6\xE7\xD0\xDC\xDE\xDD\x49\xD6\xC7");
    QByteArray others;
    for (int byte = 0; byte < 256; ++byte) {
        const char ch = char(byte);
        const bool asciiLetter = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
        if (!asciiLetter && !turkishLetters.contains(ch))
            others.append(ch);
    }
    QCOMPARE(others.size(), 256 - 52 - 12);  // I and i are counted among both the ASCII and Turkish letters

    const std::string_view view(others.constData(), std::size_t(others.size()));
    QCOMPARE(QByteArray::fromStdString(MapTurkishCase(view, TurkishCase::Lower)), others);
    QCOMPARE(QByteArray::fromStdString(MapTurkishCase(view, TurkishCase::Upper)), others);
}

QTEST_APPLESS_MAIN(TestWords)
#include "tst_words.moc"
