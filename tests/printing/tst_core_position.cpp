#include "Position.h"

#include <QtTest>

using fatura::NudgeDirection;

class TestPosition : public QObject {
    Q_OBJECT
private slots:
    void splitPosition_data();
    void splitPosition();
    void nudgePosition_data();
    void nudgePosition();
};

void TestPosition::splitPosition_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("left");
    QTest::addColumn<QString>("topText");
    QTest::addColumn<QString>("leftText");

    QTest::newRow("normal form") << "16 | 400" << 16 << 400 << "16" << "400";
    QTest::newRow("no blanks around the bar") << "16|400" << 16 << 400 << "16" << "400";
    QTest::newRow("extra blanks at the ends and beside the bar") << "   16   |   400  " << 16 << 400 << "16" << "400";
    QTest::newRow("tabs and control characters trimmed") << "\t16\x01|\r\n400\x1f" << 16 << 400 << "16" << "400";
    QTest::newRow("no bar: all of it is the left part") << "400" << 0 << 400 << "" << "400";
    QTest::newRow("empty") << "" << 0 << 0 << "" << "";
    QTest::newRow("bar alone") << " | " << 0 << 0 << "" << "";
    QTest::newRow("two bars split at the last") << "1 | 2 | 3" << 0 << 3 << "1 | 2" << "3";
    QTest::newRow("negative top") << "-5 | 10" << -5 << 10 << "-5" << "10";
    QTest::newRow("plus sign") << "+5 | +0" << 5 << 0 << "+5" << "+0";
    QTest::newRow("leading zeros") << "007 | -0010" << 7 << -10 << "007" << "-0010";
    QTest::newRow("letters on the left of the bar") << "abc | 7" << 0 << 7 << "abc" << "7";
    QTest::newRow("letters on the right of the bar") << "7 | abc" << 7 << 0 << "7" << "abc";
    QTest::newRow("decimal top margin") << "10.5 | 10" << 0 << 10 << "10.5" << "10";
    QTest::newRow("decimal comma") << "10,5 | 10" << 0 << 10 << "10,5" << "10";
    QTest::newRow("blank inside a number") << "1 6 | 4 00" << 0 << 0 << "1 6" << "4 00";
    QTest::newRow("lone signs") << "- | +" << 0 << 0 << "-" << "+";
    QTest::newRow("hexadecimal is not decimal") << "0x10 | $10" << 0 << 0 << "0x10" << "$10";
    QTest::newRow("exponent is not whole") << "1e3 | 10" << 0 << 10 << "1e3" << "10";
    QTest::newRow("32-bit limits") << "2147483647 | -2147483648" << 2147483647 << int(-2147483647 - 1)
                                   << "2147483647" << "-2147483648";
    QTest::newRow("one past the limits") << "2147483648 | -2147483649" << 0 << 0 << "2147483648" << "-2147483649";
    QTest::newRow("far out of range on one side only") << "99999999999999999999999 | 12" << 0 << 12
                                                       << "99999999999999999999999" << "12";
    QTest::newRow("non-breaking space is not trimmed") << QString::fromUtf8("\u00a016 | 400") << 0 << 400
                                                       << QString::fromUtf8("\u00a016") << "400";
    QTest::newRow("Arabic-Indic digits are not decimal") << QString::fromUtf8("\u0661\u0662 | 5") << 0 << 5
                                                         << QString::fromUtf8("\u0661\u0662") << "5";
}

void TestPosition::splitPosition()
{
    QFETCH(QString, text);
    const fatura::SplitPositionResult r = fatura::SplitPosition(text, u'|');
    QTEST(int(r.top), "top");
    QTEST(int(r.left), "left");
    QTEST(r.topText, "topText");
    QTEST(r.leftText, "leftText");
}

void TestPosition::nudgePosition_data()
{
    QTest::addColumn<QString>("position");
    QTest::addColumn<int>("direction");
    QTest::addColumn<int>("step");
    QTest::addColumn<QString>("expected");

    const int up = int(NudgeDirection::Up);
    const int down = int(NudgeDirection::Down);
    const int left = int(NudgeDirection::Left);
    const int right = int(NudgeDirection::Right);

    QTest::newRow("up by 1") << "16 | 400" << up << 1 << "15 | 400";
    QTest::newRow("down by 1") << "16 | 400" << down << 1 << "17 | 400";
    QTest::newRow("left by 1") << "16 | 400" << left << 1 << "16 | 399";
    QTest::newRow("right by 1") << "16 | 400" << right << 1 << "16 | 401";
    QTest::newRow("down by 10") << "192 | 32" << down << 10 << "202 | 32";
    QTest::newRow("no clamping at 0") << "0 | 0" << up << 5 << "-5 | 0";
    QTest::newRow("missing top counts as 0") << "400" << up << 1 << "-1 | 400";
    QTest::newRow("letters kept on the side not moved") << "abc | 7" << right << 1 << "abc | 8";
    QTest::newRow("letters replaced on the side moved") << "abc | 7" << up << 1 << "-1 | 7";
    QTest::newRow("kept side keeps its trimmed text") << " 007 |  x1 " << down << 3 << "10 | x1";
    QTest::newRow("step 0 normalises blanks") << "16|400" << left << 0 << "16 | 400";
    QTest::newRow("step 0 rewrites the moved side in decimal") << "+016 | 400" << up << 0 << "16 | 400";
    QTest::newRow("step 0 turns a bad moved side into 0") << "1.5 | 400" << down << 0 << "0 | 400";
    QTest::newRow("two bars: the top part is moved as 0") << "1 | 2 | 3" << down << 1 << "1 | 3";
    QTest::newRow("largest step") << "0 | 0" << right << 255 << "0 | 255";
    QTest::newRow("stops at the 32-bit maximum") << "2147483647 | 0" << down << 1 << "2147483647 | 0";
    QTest::newRow("stops at the 32-bit minimum") << "0 | -2147483648" << left << 255 << "0 | -2147483648";
    QTest::newRow("just reaches the maximum") << "0 | 2147483600" << right << 47 << "0 | 2147483647";
}

void TestPosition::nudgePosition()
{
    QFETCH(QString, position);
    QFETCH(int, direction);
    QFETCH(int, step);
    QTEST(fatura::NudgePosition(position, NudgeDirection(direction), step), "expected");
}

QTEST_APPLESS_MAIN(TestPosition)
#include "tst_core_position.moc"
