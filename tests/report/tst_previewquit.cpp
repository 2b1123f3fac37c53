// Its own program: quitting ends every event loop of the process for good, which would end the
// previews of any test after it.
#include "FakePreviewDialogs.h"
#include "PageSamples.h"
#include "PreviewWindow.h"
#include "ReportPrinter.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QtTest>

using namespace fatura;
using namespace fatura::report;

class TestPreviewQuit : public QObject {
    Q_OBJECT
private slots:
    void quittingWithThePreviewOpenReturnsTheCallAndDiscardsIt();
};

// The main window ends the program at once when it is closed, also with a preview open: the
// preview's loop must then give the call back instead of holding the program.
void TestPreviewQuit::quittingWithThePreviewOpenReturnsTheCallAndDiscardsIt()
{
    testing::FakePreviewDialogs dialogs;
    ScopedPreviewDialogs scope(dialogs);
    ReportPrinter printer;
    QPointer<PreviewWindow> seen;
    QTimer poll;
    poll.setInterval(5);
    connect(&poll, &QTimer::timeout, [&] {
        if (PreviewWindow* w = openPreview(); w && !w->producing()) {
            poll.stop();
            seen = w;
            QCoreApplication::quit();
        }
    });
    bool returned = false;
    bool openAfterReturn = true;
    // The preview opens from inside the program's main loop, as "ÖNİZLEME" does.
    QTimer::singleShot(0, [&] {
        poll.start();
        showPreview(testing::invoicePage(), printer, nullptr);
        returned = true;
        openAfterReturn = openPreview() != nullptr;
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, [] { delete openPreview(); });
    watchdog.start(30000);

    QApplication::exec();

    QVERIFY(watchdog.isActive()); // ended by the quit, not by the watchdog
    QVERIFY(returned);
    QVERIFY(!openAfterReturn);
    QVERIFY(seen.isNull()); // discarded, not left hidden
}

QTEST_MAIN(TestPreviewQuit)
#include "tst_previewquit.moc"
