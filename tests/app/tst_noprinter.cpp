// A machine without any printer: "YAZDIR" does nothing and says nothing, the preview still opens.
// The print system is pointed at a socket where nothing listens, before anything asks it.
#include "ActiveWindow.h"
#include "FakePlatform.h"
#include "MainWindowFixture.h"
#include "PreviewWindow.h"
#include "ReportPrinter.h"
#include "Tfatura_basimi.h"
#include "TurkishLocale.h"

#include <QAction>
#include <QMenu>
#include <QPrinterInfo>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace fatura;

class TestNoPrinter : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { testing::pinTurkishLocale(); }

    void printDoesNothingAndShowsNothingPreviewStillWorks()
    {
        QVERIFY2(QPrinterInfo::availablePrinters().isEmpty(), "the print system should be out of reach here");
        testing::FakePlatform fakes;
        QTemporaryDir folder;
        Tfatura_basimi window(programFolder(folder));
        QVERIFY(testing::showActive(window));
        QVERIFY(!window.reportPrinter().hasPrinter());

        int progressWindows = 0;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (qobject_cast<QProgressDialog*>(w) && w->isVisible())
                    ++progressWindows;
        });
        watch.start(0);
        menuEntry(window, QStringLiteral("YAZDIR"))->trigger();
        QTest::qWait(50);
        watch.stop();
        QCOMPARE(progressWindows, 0);
        QVERIFY(fakes.boxes.shown.isEmpty());
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY2(!w->isVisible() || w == &window, qPrintable(w->metaObject()->className()));

        bool previewShown = false;
        std::function<void()> closeWhenReady = [&] {
            report::PreviewWindow* open = report::openPreview();
            if (!open || open->producing()) {
                QTimer::singleShot(20, this, closeWhenReady);
                return;
            }
            previewShown = open->isVisible();
            open->close();
        };
        QTimer::singleShot(0, this, closeWhenReady);
        menuEntry(window, QStringLiteral("ÖNİZLEME"))->trigger();
        QVERIFY(previewShown);
        QVERIFY(fakes.boxes.shown.isEmpty());
    }
};

int main(int argc, char** argv)
{
    // Before the application exists, so the first question to the print system goes nowhere.
    qputenv("CUPS_SERVER", "/nonexistent/fatura-test/cups.sock");
    QApplication app(argc, argv);
    TestNoPrinter test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_noprinter.moc"
