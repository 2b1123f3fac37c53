// Its own program: closing the main window ends every event loop of the process for good.
// The main window is wired to the application as the program's entry wires it.
#include "ActiveWindow.h"
#include "FakePlatform.h"
#include "MainWindowFixture.h"
#include "PreviewWindow.h"
#include "Tfatura_basimi.h"
#include "TurkishLocale.h"

#include <QAction>
#include <QMenu>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace fatura;

class TestQuitWithPreview : public QObject {
    Q_OBJECT
private slots:
    void f12WithAPreviewOpenEndsTheProgram()
    {
        testing::pinTurkishLocale();
        testing::FakePlatform fakes;
        QTemporaryDir folder;
        Tfatura_basimi window(programFolder(folder));
        connect(&window, &Tfatura_basimi::closed, qApp, &QCoreApplication::quit);
        QVERIFY(testing::showActive(window));
        QAction* preview = window.reportMenu()->actions().value(0);
        QCOMPARE(preview->text(), QStringLiteral("ÖNİZLEME"));

        QPointer<report::PreviewWindow> seen;
        QTimer poll;
        poll.setInterval(5);
        connect(&poll, &QTimer::timeout, this, [&] {
            if (report::PreviewWindow* w = report::openPreview(); w && !w->producing()) {
                poll.stop();
                seen = w;
                QTest::keyClick(&window, Qt::Key_F12);
            }
        });
        bool returned = false;
        QTimer::singleShot(0, this, [&] {
            poll.start();
            preview->trigger();
            returned = true;
        });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, [] { delete report::openPreview(); });
        watchdog.start(30000);

        QApplication::exec();

        QVERIFY(watchdog.isActive()); // ended by F12, not by the watchdog
        QVERIFY(returned);
        QVERIFY(!window.isVisible());
        QVERIFY(!report::openPreview());
    }
};

QTEST_MAIN(TestQuitWithPreview)
#include "tst_quitwithpreview.moc"
