#include "ActiveWindow.h"
#include "FakePlatform.h"
#include "InvoicePage.h"
#include "LongDoubleOutput.h"
#include "NumericEdit.h"
#include "SpinEdit.h"
#include "TextEdit.h"
#include "Totals.h"
#include "TurkishLocale.h"

#include <QLineEdit>
#include <QtTest>
#include <memory>

using namespace fatura;

// The invoice page in a window of its own, so that focus moves and typed keys behave as on
// the desktop.
class TestTotals : public QObject {
    Q_OBJECT

    std::unique_ptr<fatura::testing::FakePlatform> fakes;
    std::unique_ptr<QWidget> window;
    InvoicePage* page = nullptr;

    NumericEdit* num(const char* name) { return page->number(QString::fromLatin1(name)); }
    QString shown(const char* name) { return num(name)->displayText(); }
    QString words() { return page->text("YALNIZ")->text(); }

    void focus(QWidget* w)
    {
        w->setFocus(Qt::TabFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), w);
    }

    // Types text into a field and leaves it for TARIH, as a user moving on would.
    void type(const char* name, const QString& text)
    {
        QWidget* w = page->findChild<QWidget*>(QString::fromLatin1(name));
        focus(w);
        QTest::keyClicks(w, text);
        focus(page->text("TARIH"));
    }

private slots:
    void initTestCase() { fatura::testing::pinTurkishLocale(); }

    void init()
    {
        fakes = std::make_unique<fatura::testing::FakePlatform>();
        window = std::make_unique<QWidget>();
        window->resize(466, 472);
        page = new InvoicePage(window.get());
        page->setGeometry(0, 0, 466, 472);
        QVERIFY(fatura::testing::showActive(*window));
    }

    void cleanup()
    {
        window.reset();
        fakes.reset();
    }

    void workedExample()
    {
        type("M1", "3");
        type("F1", "12,50");
        type("M2", "2");
        type("F2", "0,99");
        QCOMPARE(shown("T1"), QStringLiteral("37,50"));
        QCOMPARE(shown("T2"), QStringLiteral("1,98"));
        QCOMPARE(shown("YEKUN"), QStringLiteral("39,48"));
        // The VAT is held unrounded: 18 x 39.48 / 100 worked out in extended precision. The
        // total was read back for its words, and reading a field keeps the rounded value.
        const long double s = 39.48;
        QCOMPARE(num("KDV")->storedValue(), 18.0L * s / 100);
        QVERIFY(num("KDV")->storedValue() != 7.11L);
        QCOMPARE(shown("KDV"), QStringLiteral("7,11"));
        QCOMPARE(num("TOPLAM")->storedValue(), 46.59L);
        QCOMPARE(shown("TOPLAM"), QStringLiteral("46,59"));
        QCOMPARE(words(), QStringLiteral("KIRKALTI TL ELLİDOKUZ KR"));
    }

    void rowAmountsAreReadThroughTheirRounding()
    {
        type("M1", "0,5");
        type("F1", "0,25");
        QCOMPARE(shown("T1"), QStringLiteral("0,13"));
        QCOMPARE(num("T1")->storedValue(), 0.13L);
        QCOMPARE(double(num("YEKUN")->storedValue()), 0.13);
        QCOMPARE(shown("TOPLAM"), QStringLiteral("0,15")); // 0.13 plus 18 % VAT
        QCOMPARE(words(), QStringLiteral("ONBEŞ KR"));
    }

    void noTotalsWithoutAPositiveSubtotal_data()
    {
        QTest::addColumn<QStringList>("entries"); // name=value pairs typed in order
        QTest::addColumn<QString>("t1");
        QTest::newRow("empty invoice") << QStringList{"C1=Vida"} << "0,00";
        QTest::newRow("one negative row") << QStringList{"M1=1", "F1=-5"} << "-5,00";
        QTest::newRow("rows summing below zero") << QStringList{"M1=2", "F1=10", "M2=1", "F2=-25"} << "20,00";
    }
    void noTotalsWithoutAPositiveSubtotal()
    {
        QFETCH(QStringList, entries);
        QFETCH(QString, t1);
        num("KDV")->setValue(3);
        page->text("YALNIZ")->setText("stale");
        for (const QString& e : entries) {
            const QStringList kv = e.split('=');
            type(qPrintable(kv[0]), kv[1]);
        }
        // A text field does not recalculate; step over a quantity to make sure one ran.
        focus(num("M3"));
        focus(page->text("TARIH"));
        QCOMPARE(shown("T1"), t1);
        for (const char* total : {"YEKUN", "KDV", "TOPLAM"})
            QCOMPARE(num(total)->storedValue(), 0.0L);
        QVERIFY(words().isEmpty());
    }

    void wordsShowTheirBeginning()
    {
        TextEdit* yalniz = page->text("YALNIZ");
        type("M1", "987654,32");
        type("F1", "777,77");
        QVERIFY(yalniz->fontMetrics().horizontalAdvance(words()) > yalniz->width());
        QCOMPARE(yalniz->cursorPosition(), 0);
        // Another recalculation that gives the same words.
        type("M2", "0");
        QCOMPARE(yalniz->cursorPosition(), 0);
        QCOMPARE(words(), QStringLiteral("DOKUZYÜZALTIMİLYONDÖRTYÜZOTUZSEKİZBİNYÜZYİRMİİKİ TL ELLİBEŞ KR"));
    }

    void zeroRateLeavesTheTotalAtTheSubtotal()
    {
        page->rate()->setValue(0);
        type("M1", "1");
        type("F1", "41");
        QCOMPARE(shown("KDV"), QStringLiteral("0,00"));
        QCOMPARE(shown("TOPLAM"), QStringLiteral("41,00"));
        QCOMPARE(words(), QStringLiteral("KIRKBİR TL"));
    }

    void rateRecalculatesOnEveryKeystroke()
    {
        type("M1", "1");
        type("F1", "100");
        QCOMPARE(shown("KDV"), QStringLiteral("18,00"));
        QLineEdit* rate = page->rate()->lineEdit();
        focus(rate);
        rate->selectAll();
        QTest::keyClick(rate, Qt::Key_Delete);
        QCOMPARE(shown("KDV"), QStringLiteral("0,00"));
        QTest::keyClick(rate, '2');
        QCOMPARE(shown("KDV"), QStringLiteral("2,00"));
        QTest::keyClick(rate, '5');
        QCOMPARE(shown("KDV"), QStringLiteral("25,00"));
        QCOMPARE(shown("TOPLAM"), QStringLiteral("125,00"));
    }

    void rateBeyondItsLimitCountsUntilTheFocusLeaves()
    {
        type("M1", "1");
        type("F1", "100");
        QLineEdit* rate = page->rate()->lineEdit();
        focus(rate);
        rate->selectAll();
        QTest::keyClicks(rate, "1500");
        QCOMPARE(shown("KDV"), QStringLiteral("1.500,00"));
        focus(page->text("SAYIN1"));
        QCOMPARE(page->rate()->text(), QStringLiteral("999"));
        QCOMPARE(shown("KDV"), QStringLiteral("999,00"));
    }

    void typedRowAmountIsReplacedOnLeave()
    {
        type("M3", "2");
        type("F3", "7,5");
        type("T3", "999");
        QCOMPARE(shown("T3"), QStringLiteral("15,00"));
        QCOMPARE(shown("YEKUN"), QStringLiteral("15,00"));
    }

    void typedSubtotalStaysUntilTheNextRecalculation()
    {
        type("M1", "1");
        type("F1", "10");
        type("YEKUN", "77");
        QCOMPARE(shown("YEKUN"), QStringLiteral("77,00"));
        type("C1", "Somun");
        QCOMPARE(shown("YEKUN"), QStringLiteral("77,00"));
        focus(num("M2"));
        focus(page->text("TARIH"));
        QCOMPARE(shown("YEKUN"), QStringLiteral("10,00"));
    }

    void overflowingAmountIsReportedNotFatal()
    {
        num("M1")->setValue(1e4000L);
        num("F1")->setValue(1e4000L);
        focus(num("M1"));
        focus(page->text("TARIH"));
        QCOMPARE(fakes->boxes.shown.size(), 1);
        QCOMPARE(fakes->boxes.shown[0].kind, fatura::testing::ShownBox::Error);
        QCOMPARE(fakes->boxes.shown[0].text, QStringLiteral("Floating point overflow."));
        QVERIFY(page->isVisible());
    }

    void downArrowOutOfAPriceRecalculates()
    {
        num("M2")->setValue(4);
        num("F2")->setValue(2.5L);
        focus(num("F2"));
        QTest::keyClick(num("F2"), Qt::Key_Down);
        QCOMPARE(QApplication::focusWidget(), num("F3"));
        QCOMPARE(shown("T2"), QStringLiteral("10,00"));
        page->text("C2")->setFocus();
        num("M4")->setValue(1);
        num("F4")->setValue(1);
        focus(page->text("C2"));
        QTest::keyClick(page->text("C2"), Qt::Key_Down);
        QCOMPARE(shown("T4"), QStringLiteral("0,00"));
    }
};

QTEST_MAIN(TestTotals)
#include "tst_totals.moc"
