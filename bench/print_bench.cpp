// Time from "ÖNİZLEME" to the page shown in the preview, and from "YAZDIR" to the job handed
// to the print system (the default queue of a running cupsd; see scripts/start-cups.sh).
// Each repetition is one user action, timed by hand; the median of the repetitions is the
// figure. Runs under the offscreen platform unless QT_QPA_PLATFORM says otherwise.
#include "InvoicePage.h"
#include "PreviewWindow.h"
#include "ReportPrinter.h"
#include "TextEdit.h"
#include "Tfatura_basimi.h"

#include <benchmark/benchmark.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QPrinterInfo>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

using namespace fatura;

namespace {

struct Program {
    QTemporaryDir folder;
    std::unique_ptr<Tfatura_basimi> window;

    Program()
    {
        window = std::make_unique<Tfatura_basimi>(folder.path() + QLatin1Char('/'));
        window->show();
        QApplication::setActiveWindow(window.get());
        QApplication::processEvents();
        InvoicePage* invoice = window->invoicePage();
        invoice->text(QStringLiteral("TARIH"))->setText(QStringLiteral("07.03.2026"));
        invoice->text(QStringLiteral("SAYIN1"))->setText(QStringLiteral("AHMET YALIN"));
        invoice->text(QStringLiteral("C1"))->setText(QStringLiteral("KALEM"));
    }

    QAction* entry(const QString& text) const
    {
        for (QAction* a : window->reportMenu()->actions())
            if (a->text() == text)
                return a;
        return nullptr;
    }
};

Program& program()
{
    static Program p;
    return p;
}

// Paint events of the page view, to know when the page has been drawn.
class PaintWatch : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};

void BM_PreviewToPageShown(benchmark::State& state)
{
    Program& p = program();
    for (auto _ : state) {
        QElapsedTimer clock;
        double seconds = 0;
        PaintWatch watch;
        std::function<void()> poll = [&] {
            report::PreviewWindow* open = report::openPreview();
            if (open && !open->producing()) {
                QWidget* page = open->view()->widget();
                if (!page->property("benchWatched").toBool()) {
                    page->setProperty("benchWatched", true);
                    page->installEventFilter(&watch);
                    page->update();
                }
                if (watch.painted) {
                    // This turn of the loop comes after the paint event was handled.
                    seconds = clock.nsecsElapsed() / 1e9;
                    page->removeEventFilter(&watch);
                    open->close();
                    return;
                }
            }
            QTimer::singleShot(0, poll);
        };
        QTimer::singleShot(0, poll);
        clock.start();
        p.entry(QStringLiteral("ÖNİZLEME"))->trigger(); // returns once the preview is closed
        state.SetIterationTime(seconds);
    }
}

void BM_PrintToJobHandedOver(benchmark::State& state)
{
    if (QPrinterInfo::defaultPrinterName().isEmpty()) {
        state.SkipWithError("no default printer: run scripts/start-cups.sh");
        return;
    }
    Program& p = program();
    report::ReportPrinter& printer = p.window->reportPrinter();
    const QString token = QStringLiteral("faturabench%1").arg(QCoreApplication::applicationPid());
    printer.printer().setDocName(token);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        p.entry(QStringLiteral("YAZDIR"))->trigger(); // returns once the job is with the print system
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    // The PDFs the queue writes are of no further use.
    const QDir pdf(QDir::homePath() + QStringLiteral("/PDF"));
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 10000 && pdf.entryList({QStringLiteral("*%1*").arg(token)}).size() < int(state.iterations()))
        QApplication::processEvents(QEventLoop::AllEvents, 100);
    for (const QString& name : pdf.entryList({QStringLiteral("*%1*").arg(token)}))
        QFile::remove(pdf.filePath(name));
}

BENCHMARK(BM_PreviewToPageShown)->UseManualTime()->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrintToJobHandedOver)->UseManualTime()->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
