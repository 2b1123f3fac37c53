#include "Platform.h"

#include <QtTest>

class TestPlatform : public QObject {
    Q_OBJECT
private slots:
    void fullStopRule_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter gets a full stop") << "Missing table name" << "Missing table name.";
        QTest::newRow("existing full stop kept") << "Done." << "Done.";
        QTest::newRow("blank sorts before the stop") << "Ends in blank " << "Ends in blank ";
        QTest::newRow("closing quote sorts before") << "File \"x\"" << "File \"x\"";
        QTest::newRow("digit sorts after") << "Error # 12" << "Error # 12.";
        QTest::newRow("empty stays empty") << "" << "";
    }
    void fullStopRule()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(fatura::withFullStop(text), shown);
    }
};

QTEST_MAIN(TestPlatform)
#include "tst_platform.moc"
