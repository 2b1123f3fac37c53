// JSON pieces of the table dump: code page 1254 to UTF-8, string escapes, number forms.
#include "JsonText.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

using namespace fatura::tools;

class TestJsonText : public QObject {
    Q_OBJECT

private slots:
    void cp1254BecomesUtf8_data();
    void cp1254BecomesUtf8();
    void everyCp1254ByteSurvivesARoundTrip();
    void stringsAreEscaped_data();
    void stringsAreEscaped();
    void numbersAreShortestRoundTrip_data();
    void numbersAreShortestRoundTrip();
};

void TestJsonText::cp1254BecomesUtf8_data()
{
    QTest::addColumn<QByteArray>("cp1254");
    QTest::addColumn<QString>("text");

    QTest::newRow("ASCII unchanged") << QByteArray("KDV %18") << QStringLiteral("KDV %18");
    QTest::newRow("the six Turkish letters of the code page")
        << QByteArray("\xd0\xdd\xde\xf0\xfd\xfe") << QStringLiteral("ĞİŞğış");
    QTest::newRow("letters shared with Latin-1") << QByteArray("\xc7\xd6\xdc\xe7\xf6\xfc") << QStringLiteral("ÇÖÜçöü");
    QTest::newRow("euro sign and typographic quotes") << QByteArray("\x80\x93\x94") << QStringLiteral("€“”");
    QTest::newRow("undefined byte kept as its C1 control") << QByteArray("a\x81z") << QStringLiteral("a\u0081z");
    QTest::newRow("empty") << QByteArray() << QString();
}

void TestJsonText::cp1254BecomesUtf8()
{
    QFETCH(QByteArray, cp1254);
    QFETCH(QString, text);
    QCOMPARE(QByteArray::fromStdString(cp1254ToUtf8(cp1254.toStdString())), text.toUtf8());
}

// A dump is the way to look at what is stored, so distinct bytes must stay distinct.
void TestJsonText::everyCp1254ByteSurvivesARoundTrip()
{
    std::string all;
    for (int b = 1; b < 256; ++b)
        all.push_back(char(b));
    const QString decoded = QString::fromStdString(cp1254ToUtf8(all));
    QCOMPARE(decoded.size(), qsizetype(255));
    QCOMPARE(QSet<QChar>(decoded.begin(), decoded.end()).size(), qsizetype(255));
}

void TestJsonText::stringsAreEscaped_data()
{
    QTest::addColumn<QByteArray>("utf8");
    QTest::addColumn<QByteArray>("json");

    QTest::newRow("plain") << QByteArray("Ankara") << QByteArray(R"("Ankara")");
    QTest::newRow("quote and backslash") << QByteArray(R"(A "B" C\D)") << QByteArray(R"("A \"B\" C\\D")");
    QTest::newRow("short escapes") << QByteArray("\b\f\n\r\t") << QByteArray(R"("\b\f\n\r\t")");
    QTest::newRow("other controls as \\u00XX")
        << QByteArray("\x01\x1f\x7f", 3) << QByteArray(R"("\u0001\u001f\u007f")");
    QTest::newRow("NUL byte inside") << QByteArray("a\0b", 3) << QByteArray(R"("a\u0000b")");
    QTest::newRow("slash and non-ASCII as they are") << QByteArray("1/2 Şş") << QByteArray("\"1/2 Şş\"");
    QTest::newRow("empty") << QByteArray() << QByteArray(R"("")");
}

void TestJsonText::stringsAreEscaped()
{
    QFETCH(QByteArray, utf8);
    QFETCH(QByteArray, json);

    std::string out = "[";
    appendJsonString(out, std::string_view(utf8.constData(), std::size_t(utf8.size())));
    QCOMPARE(QByteArray::fromStdString(out.substr(1)), json);

    // A JSON reader gets the original text back.
    out += "]";
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(out), &error);
    QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
    QCOMPARE(document.array().at(0).toString(), QString::fromUtf8(utf8));
}

void TestJsonText::numbersAreShortestRoundTrip_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QByteArray>("json");

    QTest::newRow("whole number") << 118.0 << QByteArray("118");
    QTest::newRow("two decimals") << 118.5 << QByteArray("118.5");
    QTest::newRow("sum of 0.1 and 0.2") << 0.1 + 0.2 << QByteArray("0.30000000000000004");
    QTest::newRow("a tenth") << 0.1 << QByteArray("0.1");
    QTest::newRow("negative") << -12.75 << QByteArray("-12.75");
    QTest::newRow("negative zero") << -0.0 << QByteArray("-0");
    QTest::newRow("large") << 1e21 << QByteArray("1e+21");
    QTest::newRow("smallest subnormal") << 5e-324 << QByteArray("5e-324");
    QTest::newRow("largest 32-bit id") << 2147483647.0 << QByteArray("2147483647");
    QTest::newRow("not a number") << std::nan("") << QByteArray(R"("NaN")");
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << QByteArray(R"("Infinity")");
    QTest::newRow("minus infinity") << -std::numeric_limits<double>::infinity() << QByteArray(R"("-Infinity")");
}

void TestJsonText::numbersAreShortestRoundTrip()
{
    QFETCH(double, value);
    QFETCH(QByteArray, json);

    std::string out;
    appendJsonNumber(out, value);
    QCOMPARE(QByteArray::fromStdString(out), json);
    if (std::isfinite(value)) {
        QVERIFY(QJsonDocument::fromJson("[" + json + "]").isArray());
        const double back = std::strtod(json.constData(), nullptr);
        QCOMPARE(back, value);
        QCOMPARE(std::signbit(back), std::signbit(value));
    }
}

QTEST_GUILESS_MAIN(TestJsonText)
#include "tst_jsontext.moc"
