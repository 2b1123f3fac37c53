#include "ActiveWindow.h"
#include "FakePlatform.h"
#include "FakePreviewDialogs.h"
#include "Ink.h"
#include "PageFile.h"
#include "PageSamples.h"
#include "PreviewWindow.h"
#include "ReportPrinter.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPrintDialog>
#include <QSpinBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

#include <functional>
#include <memory>

using namespace fatura;
using namespace fatura::report;

namespace {

// A page whose one text says which page it is, so that a view or a print shows which one it got.
Page numberedPage(int n)
{
    Page page;
    page.labels = {{200.0, 200.0, 0, false, QStringLiteral("SAYFA %1").arg(n)}};
    return page;
}

std::vector<Page> numberedPages(int count)
{
    std::vector<Page> pages;
    for (int n = 1; n <= count; ++n)
        pages.push_back(numberedPage(n));
    return pages;
}

struct Fixture {
    QTemporaryDir dir;
    testing::FakePlatform fakes;
    testing::FakePreviewDialogs dialogs;
    ScopedPreviewDialogs scope{dialogs};
    ReportPrinter printer;
    std::unique_ptr<PreviewWindow> window;

    // A preview on screen, active, with its page produced.
    bool open(std::vector<Page> pages = {testing::invoicePage()})
    {
        window = std::make_unique<PreviewWindow>(std::move(pages), printer);
        window->placeOn(QGuiApplication::primaryScreen());
        return testing::showActive(*window) && QTest::qWaitFor([&] { return !window->producing(); });
    }
    QAction* tool(const char* name) const { return window->findChild<QAction*>(QLatin1String(name)); }
    QToolButton* button(const char* name) const
    {
        return qobject_cast<QToolButton*>(window->findChild<QToolBar*>()->widgetForAction(tool(name)));
    }
    void click(const char* name) const { QTest::mouseClick(button(name), Qt::LeftButton); }
    QString path(const char* name) const { return dir.filePath(QLatin1String(name)); }
    QScrollBar* vertical() const { return window->view()->verticalScrollBar(); }
};

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Runs a poppler tool on a file; empty when the tool is not installed.
QString popplerOutput(const QString& tool, const QStringList& arguments)
{
    const QString program = QStandardPaths::findExecutable(tool);
    if (program.isEmpty())
        return {};
    QProcess p;
    p.start(program, arguments);
    p.waitForFinished(-1);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// While showPreview() runs its own loop, step runs once the preview is up and produced. A
// watchdog ends a preview that a failing step left open, so that a fault shows as a failure
// instead of a hang; forced says that it had to.
struct WhilePreviewOpen {
    std::function<void(PreviewWindow*)> step;
    bool forced = false;
    QTimer poll;
    QTimer watchdog;

    explicit WhilePreviewOpen(std::function<void(PreviewWindow*)> s) : step(std::move(s))
    {
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, [this] {
            PreviewWindow* w = openPreview();
            if (!w || w->producing() || !w->isActiveWindow())
                return;
            poll.stop();
            step(w);
        });
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [this] {
            forced = true;
            delete openPreview();
        });
        poll.start();
        watchdog.start(30000);
    }
};

} // namespace

class TestPreviewWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setEffectEnabled(Qt::UI_AnimateTooltip, false); }

    void opensAsAnOrdinaryWindowAndEscapeReturnsTheCall();
    void secondPreviewBringsTheOpenOneForward();
    void toolStripInOrderWithItsHints();
    void statusStripAfterProducing();
    void whileProducingOnlyStopAndZoomWork();

    void zoomStepsStopAtTheLimits_data();
    void zoomStepsStopAtTheLimits();
    void fitPageFitWidthAndHundred();

    void goToPage_data();
    void goToPage();
    void pageKeysWhateverHasTheFocus_data();
    void pageKeysWhateverHasTheFocus();
    void closeKeys_data();
    void closeKeys();
    void arrowsScrollThenTurnThePage();

    void saveThenOpenRoundTripsThePage();
    void saveAddsTheExtensionOnlyWhenMissing_data();
    void saveAddsTheExtensionOnlyWhenMissing();
    void openRefusesMissingAndDamagedFiles();
    void pdfExportIsOneA4PageWithEmbeddedFonts();
    void printPrintsTheLoadedPageWithTheSetUpPrinter();
    void realPrintDialogKeepsConfirmedChoicesOnly();
    void copyPagePutsThePageOnTheClipboard();
};

void TestPreviewWindow::opensAsAnOrdinaryWindowAndEscapeReturnsTheCall()
{
    Fixture f;
    QWidget main;
    auto* button = new QPushButton(QStringLiteral("KAYDET"), &main);
    int clicks = 0;
    connect(button, &QPushButton::clicked, [&] { ++clicks; });
    main.resize(200, 100);
    QVERIFY(testing::showActive(main));

    struct Seen {
        QString title;
        QSize size;
        QPoint centre;
        Qt::WindowStates state;
        bool modal = true;
        bool onTop = true;
        bool modalWidget = true;
        bool fitPagePressed = false;
        bool visibleAfterEscape = true;
    } seen;
    WhilePreviewOpen run([&](PreviewWindow* w) {
        seen.title = w->windowTitle();
        seen.size = w->geometry().size();
        seen.centre = w->geometry().center();
        seen.state = w->windowState();
        seen.modal = w->isModal();
        seen.onTop = w->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        seen.modalWidget = QApplication::activeModalWidget() != nullptr;
        seen.fitPagePressed = w->findChild<QAction*>("fitPage")->isChecked();
        // The main window takes a click while the preview is open. Sent to the window, not the
        // button, so that it passes where modality would block it.
        testing::activate(main);
        const QPoint at = button->mapTo(&main, button->rect().center());
        QTest::mousePress(main.windowHandle(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(main.windowHandle(), Qt::LeftButton, {}, at);
        testing::activate(*w);
        QTest::keyClick(w, Qt::Key_Escape);
        seen.visibleAfterEscape = w->isVisible();
    });

    QVERIFY(showPreview(testing::invoicePage(), f.printer, &main));

    QVERIFY(!run.forced);
    QCOMPARE(clicks, 1);
    QCOMPARE(seen.title, QStringLiteral("Önizleme : "));
    QCOMPARE(seen.size, QSize(500, 500));
    QVERIFY((seen.centre - QGuiApplication::primaryScreen()->availableGeometry().center()).manhattanLength() <= 1);
    QCOMPARE(seen.state, Qt::WindowNoState);
    QVERIFY(!seen.modal);
    QVERIFY(!seen.onTop);
    QVERIFY(!seen.modalWidget);
    QVERIFY(seen.fitPagePressed);
    QVERIFY(!seen.visibleAfterEscape);
    QTRY_VERIFY(openPreview() == nullptr); // discarded, not merely hidden
}

void TestPreviewWindow::secondPreviewBringsTheOpenOneForward()
{
    Fixture f;
    QWidget main;
    main.resize(200, 100);
    QVERIFY(testing::showActive(main));
    bool secondOpened = true;
    int previewsAtSecond = 0;
    bool activeAfterSecond = false;
    WhilePreviewOpen run([&](PreviewWindow* w) {
        QPointer<PreviewWindow> first = w;
        testing::activate(main);
        secondOpened = showPreview(numberedPage(2), f.printer, &main);
        const QWidgetList windows = QApplication::topLevelWidgets();
        previewsAtSecond = int(std::count_if(windows.begin(), windows.end(), [](QWidget* t) {
            return qobject_cast<PreviewWindow*>(t) && t->isVisible();
        }));
        activeAfterSecond = QTest::qWaitForWindowActive(first);
        if (first)
            first->close();
    });
    QVERIFY(showPreview(numberedPage(1), f.printer, &main));
    QVERIFY(!run.forced);
    QVERIFY(!secondOpened);
    QCOMPARE(previewsAtSecond, 1);
    QVERIFY(activeAfterSecond);
}

void TestPreviewWindow::toolStripInOrderWithItsHints()
{
    Fixture f;
    QVERIFY(f.open());
    const QList<QPair<QString, QString>> expected{
        {"fitPage", "sayfaya sığdır"},
        {"fitWidth", "sayfa genişliğine göre ayarla"},
        {"zoom100", "%100 rapor görünümü"},
        {"zoomOut", "Uzaklaştır"},
        {"zoomIn", "Yakınlaştır"},
        {"firstPage", "ilk sayfa"},
        {"priorPage", "önceki sayfa"},
        {"nextPage", "sonraki sayfa"},
        {"lastPage", "son sayfa"},
        {"goToPage", "Sayfa seçiniz"},
        {"printerSetup", "yazıcı ayarları"},
        {"print", "Yazdır"},
        {"copyPage", "Aktif Sayfayı Kopyala"},
        {"open", "rapor aç"},
        {"save", "rapor kaydet"},
        {"stop", "işlemi durdur"},
        {"close", "Önizleme kapat"},
    };
    // Left to right as the user sees them, the hints as the buttons show them.
    QList<QToolButton*> buttons = f.window->findChild<QToolBar*>()->findChildren<QToolButton*>(Qt::FindDirectChildrenOnly);
    buttons.removeIf([](QToolButton* b) { return !b->defaultAction() || !b->isVisible(); });
    std::sort(buttons.begin(), buttons.end(), [](QToolButton* a, QToolButton* b) { return a->x() < b->x(); });
    QCOMPARE(buttons.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(buttons[i]->defaultAction()->objectName(), expected[i].first);
        QCOMPARE(buttons[i]->toolTip(), expected[i].second);
    }
    QCOMPARE(buttons.last()->text(), QStringLiteral("Kapat"));
    // Nothing else in the strip: no search button.
    QVERIFY(f.window->findChildren<QToolBar*>().size() == 1);
}

void TestPreviewWindow::statusStripAfterProducing()
{
    Fixture f;
    QVERIFY(f.open());
    QCOMPARE(f.window->pageText(), QStringLiteral("Page 1 of 1"));
    QCOMPARE(f.window->fileText(), QString());
    QCOMPARE(f.window->progressText(), QStringLiteral("100%"));
    // The page buttons have nothing to move to.
    for (const char* name : {"firstPage", "priorPage", "nextPage", "lastPage"}) {
        f.click(name);
        QCOMPARE(f.window->pageText(), QStringLiteral("Page 1 of 1"));
    }
}

void TestPreviewWindow::whileProducingOnlyStopAndZoomWork()
{
    Fixture f;
    f.window = std::make_unique<PreviewWindow>(std::vector<Page>{testing::invoicePage()}, f.printer);
    PreviewWindow& w = *f.window;
    w.show(); // production waits for the event loop, which this test does not turn
    QVERIFY(w.producing());
    QCOMPARE(w.progressText(), QStringLiteral("0%"));
    QVERIFY(f.tool("stop")->isEnabled());
    for (const char* name : {"firstPage", "priorPage", "nextPage", "lastPage", "goToPage", "printerSetup", "print",
                             "open", "save"})
        QVERIFY2(!f.tool(name)->isEnabled(), name);
    QVERIFY(f.tool("zoom100")->isEnabled());
    QVERIFY(!w.close());
    QVERIFY(w.isVisible());

    w.reportProgress(3); // below one step: not shown
    QCOMPARE(w.progressText(), QStringLiteral("0%"));
    w.reportProgress(7);
    QCOMPARE(w.progressText(), QStringLiteral("7%"));
    w.reportProgress(10);
    QCOMPARE(w.progressText(), QStringLiteral("7%"));

    f.tool("stop")->trigger();
    QVERIFY(!w.producing());
    QVERIFY(!f.tool("stop")->isEnabled());
    QVERIFY(f.tool("print")->isEnabled());
    QVERIFY(w.close());
}

void TestPreviewWindow::zoomStepsStopAtTheLimits_data()
{
    QTest::addColumn<double>("start");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QList<double>>("after"); // zoom after each press

    QTest::newRow("out from 100: 75, 50, then stops") << 100.0 << "zoomOut" << QList<double>{75, 50, 50};
    QTest::newRow("in from 275: 300, then stops") << 275.0 << "zoomIn" << QList<double>{300, 300};
    QTest::newRow("out from a fitted 60 stops at 50") << 60.0 << "zoomOut" << QList<double>{50, 50};
    QTest::newRow("in from a fitted 290 stops at 300") << 290.0 << "zoomIn" << QList<double>{300, 300};
    QTest::newRow("out from a fitted 40 does nothing") << 40.0 << "zoomOut" << QList<double>{40};
    QTest::newRow("in from a fitted 40 goes on by 25") << 40.0 << "zoomIn" << QList<double>{65, 90};
}

void TestPreviewWindow::zoomStepsStopAtTheLimits()
{
    QFETCH(double, start);
    QFETCH(QString, button);
    QFETCH(QList<double>, after);
    Fixture f;
    QVERIFY(f.open());
    f.window->setZoom(start);
    for (double expected : after) {
        f.click(button.toLatin1().constData());
        QCOMPARE(f.window->zoom(), expected);
    }
    QCOMPARE(f.tool("zoomOut")->isEnabled(), f.window->zoom() > 50);
    QCOMPARE(f.tool("zoomIn")->isEnabled(), f.window->zoom() < 300);
}

void TestPreviewWindow::fitPageFitWidthAndHundred()
{
    Fixture f;
    QVERIFY(f.open());
    QWidget* page = f.window->view()->widget();
    const QSize room = f.window->view()->maximumViewportSize();

    // At start the whole sheet is in view, no scrolling needed, and it fills one direction.
    QVERIFY(page->width() <= room.width() && page->height() <= room.height());
    QVERIFY(page->width() >= room.width() - 1 || page->height() >= room.height() - 1);
    QCOMPARE(f.vertical()->maximum(), 0);

    f.click("fitWidth");
    QVERIFY(f.tool("fitWidth")->isChecked());
    QVERIFY(!f.tool("fitPage")->isChecked());
    QTRY_VERIFY(f.vertical()->maximum() > 0);
    QCOMPARE(f.vertical()->value(), 0); // from the whole page to its top, where the header is
    QTRY_VERIFY(qAbs(page->width() - f.window->view()->viewport()->width()) <= 1);
    QCOMPARE(f.window->view()->horizontalScrollBar()->maximum(), 0);

    f.click("zoom100");
    QCOMPARE(f.window->zoom(), 100.0);
    QVERIFY(!f.tool("fitWidth")->isChecked() && !f.tool("fitPage")->isChecked());
    QCOMPARE(page->width(), int(210.0 / 25.4 * f.window->logicalDpiX()));

    // A fitted zoom follows the window's size.
    f.click("fitPage");
    const int before = page->height();
    f.window->resize(500, 800);
    QTRY_VERIFY(page->height() > before);
    QVERIFY(page->height() <= f.window->view()->maximumViewportSize().height());
}

void TestPreviewWindow::goToPage_data()
{
    QTest::addColumn<int>("pages");
    QTest::addColumn<QVariant>("answer"); // a string, or nothing for a cancelled box
    QTest::addColumn<int>("shown");

    QTest::newRow("5 on one page shows page 1") << 1 << QVariant("5") << 1;
    QTest::newRow("2 of 3") << 3 << QVariant("2") << 2;
    QTest::newRow("3 of 3 with blanks") << 3 << QVariant(" 3 ") << 3;
    QTest::newRow("4 of 3 shows page 1") << 3 << QVariant("4") << 1;
    QTest::newRow("0 shows page 1") << 3 << QVariant("0") << 1;
    QTest::newRow("-2 shows page 1") << 3 << QVariant("-2") << 1;
    QTest::newRow("not a number shows page 1") << 3 << QVariant("iki") << 1;
    QTest::newRow("2.5 shows page 1") << 3 << QVariant("2.5") << 1;
    QTest::newRow("empty shows page 1") << 3 << QVariant("") << 1;
    QTest::newRow("cancelled keeps the page") << 3 << QVariant() << 2;
}

void TestPreviewWindow::goToPage()
{
    QFETCH(int, pages);
    QFETCH(QVariant, answer);
    QFETCH(int, shown);
    Fixture f;
    QVERIFY(f.open(numberedPages(pages)));
    f.window->showPage(std::min(2, pages));
    f.dialogs.texts = {answer.isValid() ? std::optional<QString>(answer.toString()) : std::nullopt};

    f.click("goToPage");

    QCOMPARE(f.dialogs.asked.size(), 1);
    QCOMPARE(f.dialogs.asked[0].title, QStringLiteral("Gidilebilecek sayfa aralığı : 1 - %1").arg(pages));
    QCOMPARE(f.dialogs.asked[0].prompt, QStringLiteral("Sayfa numarası giriniz"));
    QCOMPARE(f.dialogs.asked[0].initial, QString::number(std::min(2, pages)));
    QCOMPARE(f.window->currentPage(), shown);
    QCOMPARE(f.window->pageText(), QStringLiteral("Page %1 of %2").arg(shown).arg(pages));
}

void TestPreviewWindow::pageKeysWhateverHasTheFocus_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<int>("shown"); // from page 2 of 3

    QTest::newRow("Page Up") << int(Qt::Key_PageUp) << 0 << 1;
    QTest::newRow("Page Down") << int(Qt::Key_PageDown) << 0 << 3;
    QTest::newRow("Ctrl+Page Down") << int(Qt::Key_PageDown) << int(Qt::ControlModifier) << 3;
    QTest::newRow("Home") << int(Qt::Key_Home) << 0 << 1;
    QTest::newRow("End") << int(Qt::Key_End) << 0 << 3;
}

void TestPreviewWindow::pageKeysWhateverHasTheFocus()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(int, shown);
    Fixture f;
    QVERIFY(f.open(numberedPages(3)));
    // Ctrl+Page Up is told apart from Page Up only from the last page.
    for (auto [start, k, m, expected] : {std::tuple{2, key, modifiers, shown},
                                         std::tuple{3, int(Qt::Key_PageUp), int(Qt::ControlModifier), 1},
                                         std::tuple{3, int(Qt::Key_PageUp), 0, 2}}) {
        f.window->showPage(start);
        // Whatever has the focus: the page view, then the tool strip.
        for (QWidget* target : {static_cast<QWidget*>(f.window->view()), static_cast<QWidget*>(f.button("print"))}) {
            f.window->showPage(start);
            target->setFocus();
            QTest::keyClick(target, Qt::Key(k), Qt::KeyboardModifiers(m));
            QCOMPARE(f.window->currentPage(), expected);
        }
    }
}

void TestPreviewWindow::closeKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Escape") << int(Qt::Key_Escape);
    QTest::newRow("F12") << int(Qt::Key_F12);
}

void TestPreviewWindow::closeKeys()
{
    QFETCH(int, key);
    Fixture f;
    QVERIFY(f.open());
    QWidget* focused = f.window->view()->viewport();
    focused->setFocus();
    QTest::keyClick(focused, Qt::Key(key));
    QVERIFY(!f.window->isVisible());
}

void TestPreviewWindow::arrowsScrollThenTurnThePage()
{
    Fixture f;
    QVERIFY(f.open(numberedPages(2)));
    f.click("zoom100");
    QScrollBar* v = f.vertical();
    QVERIFY(v->maximum() > 0);
    v->setValue(0);

    QTest::keyClick(f.window->view(), Qt::Key_Down);
    QCOMPARE(v->value(), v->singleStep());
    QCOMPARE(f.window->currentPage(), 1);

    v->setValue(v->maximum());
    QTest::keyClick(f.window->view(), Qt::Key_Down);
    QCOMPARE(f.window->currentPage(), 2);
    QCOMPARE(v->value(), 0);

    QTest::keyClick(f.window->view(), Qt::Key_Down);
    QCOMPARE(v->value(), v->singleStep());
    QTest::keyClick(f.window->view(), Qt::Key_Up);
    QCOMPARE(v->value(), 0);
    QCOMPARE(f.window->currentPage(), 2);

    QTest::keyClick(f.window->view(), Qt::Key_Up);
    QCOMPARE(f.window->currentPage(), 1);
    QCOMPARE(v->value(), v->maximum());

    // Past the last page's bottom there is nowhere to go.
    f.window->showPage(2);
    v->setValue(v->maximum());
    QTest::keyClick(f.window->view(), Qt::Key_Down);
    QCOMPARE(f.window->currentPage(), 2);
    QCOMPARE(v->value(), v->maximum());
}

void TestPreviewWindow::saveThenOpenRoundTripsThePage()
{
    Fixture f;
    QVERIFY(f.open());
    f.dialogs.files = {f.path("fatura")};
    f.click("save");
    QCOMPARE(f.dialogs.asked.last().title, QStringLiteral("rapor kaydet"));
    QVERIFY(QFile::exists(f.path("fatura.fsd")));

    Fixture g;
    QVERIFY(g.open({numberedPage(9)}));
    g.dialogs.files = {f.path("fatura.fsd")};
    g.click("open");
    QCOMPARE(g.dialogs.asked.last().title, QStringLiteral("rapor aç"));
    QCOMPARE(g.dialogs.asked.last().filters.size(), 1);
    QCOMPARE(g.window->pages().size(), std::size_t(1));
    QVERIFY(testing::samePages(g.window->pages()[0], testing::invoicePage()));
    QCOMPARE(g.window->fileText(), QStringLiteral("fatura.fsd"));
    QCOMPARE(g.window->pageText(), QStringLiteral("Page 1 of 1"));
    QVERIFY(!g.tool("save")->isEnabled());
    QVERIFY(g.fakes.boxes.shown.isEmpty());
}

void TestPreviewWindow::saveAddsTheExtensionOnlyWhenMissing_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("filter"); // 0 page file, 1 PDF
    QTest::addColumn<QString>("written");
    QTest::addColumn<QByteArray>("startsWith");

    QTest::newRow("page file, no extension") << "fatura" << 0 << "fatura.fsd" << QByteArray("FSAYFA\r\n");
    QTest::newRow("PDF, no extension") << "fatura" << 1 << "fatura.pdf" << QByteArray("%PDF-");
    QTest::newRow("page file with its extension") << "fatura.fsd" << 0 << "fatura.fsd" << QByteArray("FSAYFA\r\n");
    QTest::newRow("page file, another extension kept") << "fatura.yedek" << 0 << "fatura.yedek"
                                                       << QByteArray("FSAYFA\r\n");
    QTest::newRow("PDF, trailing dot") << "fatura." << 1 << "fatura.pdf" << QByteArray("%PDF-");
}

void TestPreviewWindow::saveAddsTheExtensionOnlyWhenMissing()
{
    QFETCH(QString, typed);
    QFETCH(int, filter);
    QFETCH(QString, written);
    QFETCH(QByteArray, startsWith);
    Fixture f;
    QVERIFY(f.open());
    f.dialogs.files = {f.dir.filePath(typed)};
    f.dialogs.filters = {filter};
    f.click("save");
    QCOMPARE(f.dialogs.asked.last().filters.size(), 2);
    QVERIFY(fileBytes(f.dir.filePath(written)).startsWith(startsWith));
    QCOMPARE(QDir(f.dir.path()).entryList(QDir::Files).size(), 1);
}

void TestPreviewWindow::openRefusesMissingAndDamagedFiles()
{
    Fixture f;
    QVERIFY(f.open({numberedPage(1)}));

    f.dialogs.files = {f.path("yok.fsd")};
    f.click("open");
    QCOMPARE(f.dialogs.messages, QStringList{"File does not exist"});
    QVERIFY(f.fakes.boxes.shown.isEmpty());

    QByteArray bytes = encodePages({numberedPage(7)});
    bytes[bytes.size() - 1] = 'X';
    QFile damaged(f.path("bozuk.fsd"));
    QVERIFY(damaged.open(QIODevice::WriteOnly) && damaged.write(bytes) == bytes.size());
    damaged.close();
    f.dialogs.files = {damaged.fileName()};
    f.click("open");
    QCOMPARE(f.fakes.boxes.shown.size(), 1);
    QCOMPARE(f.fakes.boxes.shown[0].kind, testing::ShownBox::Error);
    QCOMPARE(f.fakes.boxes.shown[0].text, QStringLiteral("\nRAPOR DOSYASI BOZUK: İÇERİK DEĞİŞMİŞ."));

    // Neither refusal touched what was shown, and saving is still offered.
    QVERIFY(testing::samePages(f.window->pages()[0], numberedPage(1)));
    QCOMPARE(f.window->fileText(), QString());
    QVERIFY(f.tool("save")->isEnabled());
}

void TestPreviewWindow::pdfExportIsOneA4PageWithEmbeddedFonts()
{
    Fixture f;
    QVERIFY(f.open());
    f.dialogs.files = {f.path("fatura")};
    f.dialogs.filters = {1};
    f.click("save");
    const QString pdf = f.path("fatura.pdf");
    const QByteArray bytes = fileBytes(pdf);
    QVERIFY(bytes.startsWith("%PDF-"));
    QVERIFY(bytes.contains("/Count 1"));
    // A4 is 595.28 x 841.89 points.
    const QRegularExpressionMatch box =
        QRegularExpression("/MediaBox \\[\\s*0\\s+0\\s+([\\d.]+)\\s+([\\d.]+)\\s*\\]").match(QString::fromLatin1(bytes));
    QVERIFY2(box.hasMatch(), bytes.left(2000).constData());
    QVERIFY2(qAbs(box.captured(1).toDouble() - 595.28) < 0.5 && qAbs(box.captured(2).toDouble() - 841.89) < 0.5,
             qPrintable(box.captured(0)));

    const QString info = popplerOutput("pdfinfo", {pdf});
    if (info.isEmpty())
        QSKIP("poppler-utils not installed: the page count and size were checked in the file only");
    QVERIFY2(info.contains(QRegularExpression("^Pages:\\s+1$", QRegularExpression::MultilineOption)), qPrintable(info));
    QVERIFY2(info.contains(QRegularExpression("^Page size:\\s+595(\\.\\d+)? x 84[12](\\.\\d+)? pts \\(A4\\)$",
                                              QRegularExpression::MultilineOption)),
             qPrintable(info));
    const QStringList fonts = popplerOutput("pdffonts", {pdf}).split('\n', Qt::SkipEmptyParts).mid(2);
    QVERIFY(!fonts.isEmpty());
    // Columns: name, type (may hold blanks), encoding, emb, sub, uni, object, generation.
    for (const QString& font : fonts) {
        const QStringList columns = font.split(' ', Qt::SkipEmptyParts);
        QVERIFY2(columns.size() >= 7 && columns[columns.size() - 5] == "yes", qPrintable(font));
    }
    const QString text = popplerOutput("pdftotext", {"-layout", pdf, "-"});
    QVERIFY2(text.contains("07.03.2026") && text.contains("ŞİŞLİ GÜNEŞ") && text.contains("1.000.000,00"), qPrintable(text));
}

void TestPreviewWindow::printPrintsTheLoadedPageWithTheSetUpPrinter()
{
    Fixture f;
    savePageFile(f.path("yuklenen.fsd"), {numberedPage(5)});
    QVERIFY(f.open({numberedPage(1)}));
    f.dialogs.files = {f.path("yuklenen.fsd")};
    f.click("open");

    // The printer setup's choices are the run's: a PDF printer stands for the one the user picks.
    const QString out = f.path("basilan.pdf");
    f.dialogs.printerAnswer = [&](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(out);
        return true;
    };
    f.click("printerSetup");
    QCOMPARE(f.dialogs.asked.last().kind, QStringLiteral("printer"));
    QCOMPARE(f.dialogs.asked.last().printer, &f.printer.printer());
    QCOMPARE(f.dialogs.asked.last().firstPage, 1);
    QCOMPARE(f.dialogs.asked.last().lastPage, 1);

    f.click("print");
    QVERIFY(fileBytes(out).startsWith("%PDF-"));
    const QString text = popplerOutput("pdftotext", {out, "-"});
    if (text.isEmpty() && QStandardPaths::findExecutable("pdftotext").isEmpty())
        QSKIP("poppler-utils not installed: which page was printed is not read back");
    QVERIFY2(text.contains("SAYFA 5") && !text.contains("SAYFA 1"), qPrintable(text));
}

void TestPreviewWindow::realPrintDialogKeepsConfirmedChoicesOnly()
{
    PreviewDialogs& real = previewDialogs();
    Fixture f;
    ScopedPreviewDialogs useReal(real);
    QVERIFY(f.open());
    QPrinter& printer = f.printer.printer();
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(f.path("ilk.pdf"));

    // Answers the dialog once it is up: changes the copies, then confirms or cancels.
    struct Answer {
        bool confirm = false;
        bool sawDialog = false;
        int rangeFrom = -1;
        int rangeTo = -1;
    };
    auto answerWith = [](Answer& a) {
        auto* poll = new QTimer;
        poll->setInterval(5);
        QObject::connect(poll, &QTimer::timeout, [poll, &a] {
            auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            poll->stop();
            poll->deleteLater();
            a.sawDialog = true;
            a.rangeFrom = dialog->minPage();
            a.rangeTo = dialog->maxPage();
            if (auto* copies = dialog->findChild<QSpinBox*>("copies"))
                copies->setValue(3);
            if (a.confirm)
                dialog->accept();
            else
                QTest::keyClick(dialog, Qt::Key_Escape);
        });
        poll->start();
    };

    Answer cancel;
    answerWith(cancel);
    f.click("printerSetup");
    QVERIFY(cancel.sawDialog);
    QCOMPARE(cancel.rangeFrom, 1);
    QCOMPARE(cancel.rangeTo, 1);
    QCOMPARE(printer.copyCount(), 1);
    QCOMPARE(printer.outputFileName(), f.path("ilk.pdf"));
    QCOMPARE(printer.pageLayout().orientation(), QPageLayout::Portrait);

    Answer confirm{true};
    answerWith(confirm);
    f.click("printerSetup");
    QVERIFY(confirm.sawDialog);
    QCOMPARE(printer.copyCount(), 3);
}

void TestPreviewWindow::copyPagePutsThePageOnTheClipboard()
{
    Fixture f;
    QVERIFY(f.open());
    QGuiApplication::clipboard()->clear();
    f.click("copyPage");
    const QImage picture = QGuiApplication::clipboard()->image();
    const double dpi = f.window->logicalDpiX();
    QCOMPARE(picture.size(), QSize(qRound(210.0 / 25.4 * dpi), qRound(297.0 / 25.4 * dpi)));
    // The date's ink starts where the page puts it: 115.83 mm, 14.23 mm.
    const QRect date = testing::inkBounds(picture, QRect(int(100 / 25.4 * dpi), int(10 / 25.4 * dpi),
                                                         int(40 / 25.4 * dpi), int(10 / 25.4 * dpi)));
    QVERIFY(!date.isNull());
    QVERIFY(qAbs(date.left() - 115.83 / 25.4 * dpi) <= 2);
    // The rest of the sheet is white, as on paper.
    QCOMPARE(picture.pixelColor(2, 2), QColor(Qt::white));
}

QTEST_MAIN(TestPreviewWindow)
#include "tst_previewwindow.moc"
