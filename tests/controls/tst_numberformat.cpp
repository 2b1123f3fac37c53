// Display patterns, edit text, rounding, normalising and parsing of number text.
#include "LongDoubleOutput.h"
#include "NumberFormat.h"
#include "TurkishLocale.h"

#include <QtTest>
#include <cfloat>
#include <cmath>
#include <cstdio>

using namespace fatura;

namespace {
const QString kAmount = QStringLiteral(",0.00;-,0.00");
const QString kQuantity = QStringLiteral(",0.##;-,0.##");
} // namespace

class TestNumberFormat : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { testing::pinTurkishLocale(); }

    void patterns_data();
    void patterns();
    void roundingIsDecimalNotBinary_data();
    void roundingIsDecimalNotBinary();
    void everydayFiguresRoundAsTheLongWay();
    void roundToDecimalsReadsBackTheShownFigure_data();
    void roundToDecimalsReadsBackTheShownFigure();
    void normalising_data();
    void normalising();
    void parsing_data();
    void parsing();
    void refusedTexts_data();
    void refusedTexts();
    void everyEditTextReadsBack();
};

void TestNumberFormat::patterns_data()
{
    QTest::addColumn<long double>("value");
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QString>("quantity");
    QTest::addColumn<QString>("edit");

    QTest::newRow("1234.5 grouped, quantity drops the trailing zero") << 1234.5L << "1.234,50" << "1.234,5" << "1234,5";
    QTest::newRow("2 whole") << 2.0L << "2,00" << "2" << "2";
    QTest::newRow("0.125 half rounds up") << 0.125L << "0,13" << "0,13" << "0,13";
    QTest::newRow("-7.1064 negative section") << -7.1064L << "-7,11" << "-7,11" << "-7,11";
    QTest::newRow("0 empty edit text") << 0.0L << "0,00" << "0" << "";
    QTest::newRow("-0.125 half rounds away from zero") << -0.125L << "-0,13" << "-0,13" << "-0,13";
    QTest::newRow("-0.004 rounds to zero without a minus") << -0.004L << "0,00" << "0" << "0";
    QTest::newRow("999.995 carries into a new group") << 999.995L << "1.000,00" << "1.000" << "1000";
    QTest::newRow("1234567.891 two groups") << 1234567.891L << "1.234.567,89" << "1.234.567,89" << "1234567,89";
    QTest::newRow("-1234567.5 grouped negative") << -1234567.5L << "-1.234.567,50" << "-1.234.567,5" << "-1234567,5";
    QTest::newRow("0.1 keeps one decimal in a quantity") << 0.1L << "0,10" << "0,1" << "0,1";
    QTest::newRow("1e20 written out in full") << 1e20L << "100.000.000.000.000.000.000,00"
                                              << "100.000.000.000.000.000.000" << "100000000000000000000";
    QTest::newRow("23 digits keep 18 significant") << 12345678901234567890123.0L << "12.345.678.901.234.567.900.000,00"
                                                   << "12.345.678.901.234.567.900.000" << "12345678901234567900000";
    QTest::newRow("1e-30 is zero to two decimals") << 1e-30L << "0,00" << "0" << "0";
}

void TestNumberFormat::patterns()
{
    QFETCH(long double, value);
    QFETCH(QString, amount);
    QFETCH(QString, quantity);
    QFETCH(QString, edit);
    QCOMPARE(formatNumber(value, kAmount), amount);
    QCOMPARE(formatNumber(value, kQuantity), quantity);
    QCOMPARE(editTextOf(value), edit);
}

void TestNumberFormat::roundingIsDecimalNotBinary_data()
{
    // Each of these lies a hair below the half in binary; taken to 18 digits it is the half.
    QTest::addColumn<long double>("value");
    QTest::addColumn<QString>("shown");
    QTest::newRow("1.005") << 1.005L << "1,01";
    QTest::newRow("2.675") << 2.675L << "2,68";
    QTest::newRow("-1.005") << -1.005L << "-1,01";
    QTest::newRow("37.5 * 0.18 computed") << 37.5L * 0.18L << "6,75";
}

void TestNumberFormat::roundingIsDecimalNotBinary()
{
    QFETCH(long double, value);
    QFETCH(QString, shown);
    QCOMPARE(formatNumber(value, kAmount), shown);
}

void TestNumberFormat::roundToDecimalsReadsBackTheShownFigure_data()
{
    QTest::addColumn<long double>("value");
    QTest::addColumn<long double>("rounded");
    QTest::newRow("0.125 -> 0.13") << 0.125L << 0.13L;
    QTest::newRow("-0.125 -> -0.13") << -0.125L << -0.13L;
    QTest::newRow("7.1064 -> 7.11") << 7.1064L << 7.11L;
    QTest::newRow("46.5864 -> 46.59") << 46.5864L << 46.59L;
    QTest::newRow("-0.004 -> 0") << -0.004L << 0.0L;
    QTest::newRow("largest long double stays finite") << LDBL_MAX << LDBL_MAX;
}

void TestNumberFormat::roundToDecimalsReadsBackTheShownFigure()
{
    QFETCH(long double, value);
    QFETCH(long double, rounded);
    const long double got = roundToDecimals(value, 2);
    QCOMPARE(got, rounded);
    QVERIFY(!std::signbit(got) || rounded < 0);
}

void TestNumberFormat::normalising_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("normalised");
    const QLocale tr(QLocale::Turkish, QLocale::Turkey);
    const QLocale en(QLocale::English, QLocale::UnitedStates);
    const QLocale fr(QLocale::French, QLocale::France);

    QTest::newRow("blanks trimmed") << tr << "  12,5 " << "12,5";
    QTest::newRow("thousands dots dropped") << tr << "1.234.567,5" << "1234567,5";
    QTest::newRow("empty becomes 0") << tr << "" << "0";
    QTest::newRow("blanks only become 0") << tr << "   " << "0";
    QTest::newRow("lone minus becomes -0") << tr << "-" << "-0";
    QTest::newRow("English drops commas") << en << "1,234.5" << "1234.5";
    QTest::newRow("French maps the dot to its comma") << fr << "12.5" << "12,5";
}

void TestNumberFormat::normalising()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, text);
    QFETCH(QString, normalised);
    QCOMPARE(normaliseNumberText(text, locale), normalised);
}

void TestNumberFormat::parsing_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<long double>("value");

    QTest::newRow("decimal comma") << "12,5" << 12.5L;
    QTest::newRow("separator first") << ",5" << 0.5L;
    QTest::newRow("separator alone") << "," << 0.0L;
    QTest::newRow("trailing separator") << "7," << 7.0L;
    QTest::newRow("explicit plus") << "+3" << 3.0L;
    QTest::newRow("minus zero reads as plain zero") << "-0" << 0.0L;
    QTest::newRow("exponent e") << "1e3" << 1000.0L;
    QTest::newRow("exponent E with sign") << "2,5E-1" << 0.25L;
    QTest::newRow("exponent letter before its digits") << "4e" << 4.0L;
    QTest::newRow("exponent sign before its digits") << "4e-" << 4.0L;
    QTest::newRow("blanks around") << " 12 " << 12.0L;
    QTest::newRow("0.13 is the nearest long double") << "0,13" << 0.13L;
    QTest::newRow("many leading zeros") << "0000000000000000000000000000042" << 42.0L;
    QTest::newRow("zero with a huge exponent") << "0e999999999999999999" << 0.0L;
    QTest::newRow("too small for long double is zero") << "1e-5000" << 0.0L;
    QTest::newRow("largest as written with 18 digits") << editTextOf(LDBL_MAX) << LDBL_MAX;
}

void TestNumberFormat::parsing()
{
    QFETCH(QString, text);
    QFETCH(long double, value);
    const std::optional<long double> got = parseNumberText(text);
    QVERIFY(got.has_value());
    QCOMPARE(*got, value);
    QVERIFY(!std::signbit(*got) || value < 0);
}

void TestNumberFormat::refusedTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("exponent without a number") << "e5";
    QTest::newRow("lone plus") << "+";
    QTest::newRow("two separators") << "1,2,3";
    QTest::newRow("letter") << "12a";
    QTest::newRow("double sign") << "--1";
    QTest::newRow("dot is not the Turkish separator") << "1.5";
    QTest::newRow("blank inside") << "1 2";
    QTest::newRow("overflowing exponent") << "1e5000";
    QTest::newRow("just past the largest long double") << "1,19e4932";
    QTest::newRow("exponent with more digits than any integer") << "1e999999999999999999999999";
    QTest::newRow("Arabic-Indic digit") << QString::fromUtf8("\u0661");
}

void TestNumberFormat::refusedTexts()
{
    QFETCH(QString, text);
    QVERIFY(!parseNumberText(text).has_value());
}

void TestNumberFormat::everyEditTextReadsBack()
{
    // The field rebuilds its edit text from its value and reads the value back from that
    // text; a value that did not survive the trip would drift each time the field is left.
    const long double samples[] = {0.01L, 0.125L, 1.005L, 99.99L, 1234.5L, 46.5864L, 1e15L + 0.07L,
                                   123456789012345678.0L, 1e300L, 1e4000L, LDBL_MAX, LDBL_MIN};
    for (long double v : samples) {
        for (long double signedValue : {v, -v}) {
            const long double rounded = roundToDecimals(signedValue, 2);
            const std::optional<long double> back = parseNumberText(editTextOf(rounded).isEmpty() ? QStringLiteral("0")
                                                                                               : editTextOf(rounded));
            QVERIFY2(back.has_value(), qPrintable(editTextOf(rounded)));
            QCOMPARE(*back, rounded);
        }
    }
}

// The rounding rule written out the long way: 18 significant digits, then half away from zero
// on that digit string. Only for values in 0 ... 1e15 with two decimals.
static QString twoDecimalsTheLongWay(long double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17Le", v);
    std::string digits;
    const char* p = buf;
    for (; *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9')
            digits.push_back(*p);
    const long exponent = std::strtol(p + 1, nullptr, 10);
    // Counted in hundredths, digits[0] stands for 10^(exponent + 2).
    const long ones = exponent + 2;
    unsigned long long whole = ones >= 0 ? std::stoull(digits.substr(0, std::size_t(ones + 1))) : 0;
    const char next = ones >= -1 ? digits[std::size_t(ones + 1)] : '0';
    if (next >= '5')
        ++whole;
    return QStringLiteral("%1,%2").arg(whole / 100).arg(whole % 100, 2, 10, QLatin1Char('0'));
}

void TestNumberFormat::everydayFiguresRoundAsTheLongWay()
{
    // Every thousandth around a few magnitudes, and the neighbours of each, so that halves and
    // values a hair off a half are all met.
    for (long double base : {0.0L, 7.0L, 123.0L, 45678.0L, 9876543.0L, 12345678901.0L}) {
        for (int k = 0; k < 1000; ++k) {
            const long double v = base + k / 1000.0L;
            for (long double x : {v, std::nextafter(v, 0.0L), std::nextafter(v, 2e12L)}) {
                const QString expected = twoDecimalsTheLongWay(x);
                if (formatNumber(x, QStringLiteral("0.00")) != expected)
                    QFAIL(qPrintable(QStringLiteral("%1 shows %2, expected %3")
                                         .arg(double(x), 0, 'g', 20)
                                         .arg(formatNumber(x, QStringLiteral("0.00")), expected)));
                const std::optional<long double> back = parseNumberText(expected);
                QVERIFY(back.has_value());
                QCOMPARE(roundToDecimals(x, 2), *back);
            }
        }
    }
}

QTEST_GUILESS_MAIN(TestNumberFormat)
#include "tst_numberformat.moc"
