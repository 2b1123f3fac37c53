// "ÖNİZLEME", "YAZDIR" and "Örnek Rapor Göster" from the main window: what reaches the preview
// or the printer, read from the invoice page and the settings page as they stand.
#include "ActiveWindow.h"
#include "FakePlatform.h"
#include "MainWindowFixture.h"
#include "InvoicePage.h"
#include "LayoutPage.h"
#include "NumericEdit.h"
#include "PreviewWindow.h"
#include "ReportPage.h"
#include "ReportOutput.h"
#include "TextEdit.h"
#include "Tfatura_basimi.h"
#include "TurkishLocale.h"

#include <QAction>
#include <QCheckBox>
#include <QMenu>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <memory>

using namespace fatura;

namespace {

class RecordingOutput final : public report::ReportOutput {
public:
    QList<report::Page> previewed;
    QList<report::Page> printed;
    // The program's own answer: is its preview window open?
    bool raiseOpenPreview() override { return report::raiseOpenPreview(); }
    void preview(const report::Page& page) override { previewed << page; }
    void print(const report::Page& page) override { printed << page; }
};

QString labelText(const report::Page& page, int n) { return page.labels.at(std::size_t(n - 1)).text; }

} // namespace

class TestPrinting : public QObject {
    Q_OBJECT

    std::unique_ptr<testing::FakePlatform> fakes;
    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<Tfatura_basimi> window;
    RecordingOutput output;

    void type(const QString& field, const QString& text)
    {
        QWidget* w = window->findChild<QWidget*>(field);
        QVERIFY2(w, qPrintable(field));
        w->setFocus(Qt::OtherFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), w);
        QTest::keyClicks(w, text);
    }

private slots:
    void initTestCase() { testing::pinTurkishLocale(); }

    void init()
    {
        fakes = std::make_unique<testing::FakePlatform>();
        folder = std::make_unique<QTemporaryDir>();
        window = std::make_unique<Tfatura_basimi>(programFolder(*folder));
        output = RecordingOutput();
        window->setReportOutput(&output);
        QVERIFY(testing::showActive(*window));
    }

    void cleanup()
    {
        window.reset();
        folder.reset();
        fakes.reset();
    }

    void printWhileTheFocusIsInAPricePrintsTheRecomputedTotals()
    {
        type(QStringLiteral("M1"), QStringLiteral("2"));
        type(QStringLiteral("B1"), QStringLiteral("Adet"));
        type(QStringLiteral("F1"), QStringLiteral("10"));
        // Still in F1: nothing has recomputed the row amount yet.
        QCOMPARE(window->invoicePage()->number(QStringLiteral("T1"))->storedValue(), 0.0L);

        menuEntry(*window, QStringLiteral("YAZDIR"))->trigger();
        QCOMPARE(output.printed.size(), 1);
        QVERIFY(output.previewed.isEmpty());
        const report::Page& page = output.printed.first();
        QCOMPARE(labelText(page, 7), QStringLiteral("2 Adet"));
        QCOMPARE(labelText(page, 23), QStringLiteral("10,00"));
        QCOMPARE(labelText(page, 31), QStringLiteral("20,00"));
        QCOMPARE(labelText(page, 39), QStringLiteral("20,00"));
        QCOMPARE(labelText(page, 40), QStringLiteral("3,60")); // 18 %
        QCOMPARE(labelText(page, 41), QStringLiteral("23,60"));
        QVERIFY2(!labelText(page, 42).isEmpty(), "the amount in words");
        QCOMPARE(labelText(page, 42), window->invoicePage()->text(QStringLiteral("YALNIZ"))->text());
        QCOMPARE(labelText(page, 1), window->invoicePage()->text(QStringLiteral("TARIH"))->text());
        QCOMPARE(QApplication::focusWidget(), window->invoicePage()->text(QStringLiteral("TARIH")));
        // Rows without a quantity print nothing, not even their unit.
        for (int n = 8; n <= 14; ++n)
            QCOMPARE(labelText(page, n), QString());
    }

    void printChosenFromTheDroppedMenuPrintsTheRecomputedTotals()
    {
        // As the user does it: the menu drops from "RAPOR" while F1 is still being edited.
        type(QStringLiteral("M1"), QStringLiteral("3"));
        type(QStringLiteral("F1"), QStringLiteral("5"));
        QToolButton* rapor = window->toolButton(QStringLiteral("RAPOR"));
        QTest::mouseClick(rapor, Qt::LeftButton);
        QMenu* menu = window->reportMenu();
        QTRY_VERIFY(menu->isVisible());
        QAction* yazdir = menuEntry(*window, QStringLiteral("YAZDIR"));
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(yazdir).center());
        QTRY_COMPARE(output.printed.size(), 1);
        QCOMPARE(labelText(output.printed.first(), 31), QStringLiteral("15,00"));
        QCOMPARE(labelText(output.printed.first(), 41), QStringLiteral("17,70"));
    }

    void previewUsesNudgedPositionsWithoutSaving()
    {
        LayoutPage* layout = window->layoutPage();
        layout->checkBox(0)->setChecked(true);
        layout->NudgeSelected(NudgeDirection::Down);
        QCOMPARE(layout->position(0), QStringLiteral("17 | 400"));
        menuEntry(*window, QStringLiteral("ÖNİZLEME"))->trigger();
        QCOMPARE(output.previewed.size(), 1);
        const report::PageLabel& date = output.previewed.first().labels[0];
        const double pixel = 254.0 / window->reportPage().ppi();
        QVERIFY(std::abs(date.top - (100 + 17 * pixel)) < 0.01);
        QVERIFY(std::abs(date.left - (100 + 400 * pixel)) < 0.01);
    }

    void sampleButtonPreviewsTheSampleTexts()
    {
        auto* sample = window->layoutPage()->findChild<QToolButton*>(QStringLiteral("ORNEK_RAPOR"));
        QVERIFY(sample);
        sample->click();
        QCOMPARE(output.previewed.size(), 1);
        QCOMPARE(labelText(output.previewed.first(), 1), QStringLiteral("01.01.2002"));
        QCOMPARE(labelText(output.previewed.first(), 42), QStringLiteral("#Yalnız#"));
    }

    void secondOutputWhileThePreviewIsOpenRaisesIt()
    {
        // The program's own preview window this time; no printer is needed for it.
        window->setReportOutput(nullptr);
        type(QStringLiteral("SAYIN1"), QStringLiteral("AHMET"));
        bool wasOpen = false;
        bool stillOneWindow = false;
        std::function<void()> whileOpen = [&] {
            report::PreviewWindow* open = report::openPreview();
            if (open && open->producing()) {
                QTimer::singleShot(20, this, whileOpen);
                return;
            }
            wasOpen = open && open->isVisible();
            // The main window still works; a second request only brings the open one forward.
            window->setReportOutput(&output);
            menuEntry(*window, QStringLiteral("YAZDIR"))->trigger();
            window->setReportOutput(nullptr);
            menuEntry(*window, QStringLiteral("ÖNİZLEME"))->trigger();
            stillOneWindow = report::openPreview() == open;
            if (open)
                open->close();
        };
        QTimer::singleShot(0, this, whileOpen);
        menuEntry(*window, QStringLiteral("ÖNİZLEME"))->trigger();
        QVERIFY(wasOpen);
        QVERIFY(stillOneWindow);
        QVERIFY(output.printed.isEmpty());
        QTRY_VERIFY(!report::openPreview());
    }
};

QTEST_MAIN(TestPrinting)
#include "tst_printing.moc"
