// The invoice archive as the user feels it, through the real widgets (offscreen), with 100,000
// invoices in the archive. Run from build/<preset>/bench in a Release build:
//   ./archive_bench
//   ./archive_bench --make-archive FOLDER   (writes the 100,000-invoice archive and stops)
//
// The archive is built once (not timed) and copied into a fresh program folder for the run.
// What each benchmark times:
// - OpenFindDialog: showing "FATURA BUL" until its list is painted (the list made afresh, as
//   at every opening), then hiding it untimed.
// - Keystroke/<case>: one key typed into S2 with QTest, its locate, the list following and
//   painting; the box holds the text before the key already (typed untimed). The cases: the
//   customer at 1 % of the table, the one at 50 %, and a name no invoice has (a full scan).
// - KeystrokeAfterSave/<case>: the same key right after a "KAYDET" changed the table.
// - JumpToEnd: Ctrl+End in the list (the table moves too) and the paint; JumpToMiddle: the
//   scroll bar put at the middle and the paint. Both start from a list whose runs were dropped.
// - DialogMemory: heap and resident memory added by an opening of the dialog with a jump to the
//   middle and to the end (counters, in MB).
// - Save/<mode>: "KAYDET" of a full invoice, as an update ('D') or an append ('Y'). The engine
//   never syncs, so no disk sync is counted.
// - Load: copying the current record into the 50 controls of the invoice page ("BUL" after the
//   dialog closed with "KAYDA GİT").
#include "Engine.h"
#include "InvoiceArchive.h"
#include "InvoiceListModel.h"
#include "InvoicePage.h"
#include "InvoiceRecords.h"
#include "InvoiceSchema.h"
#include "NumericEdit.h"
#include "TextEdit.h"
#include "Tfatura_basimi.h"
#include "Tfatura_bul.h"

#include <QApplication>
#include <QLineEdit>
#include <QLocale>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace fs = std::filesystem;
using namespace fatura;
using namespace fatura::bench;

namespace {

constexpr std::size_t kRecords = 100000;
constexpr std::uint64_t kSeed = 20250201;
constexpr std::size_t kPoolSize = 8192;

struct Needle {
    const char* name;
    const char* typedBefore; // already in the box
    char key;                // the timed keystroke
    std::size_t index;
};
// ASCII letters without 'i': code page 1254 upper-cases 'i' to 'I', never to 'İ'.
constexpr Needle kNearStart{"KUZEYBATI TEKSTİL SAN. VE TİC. A.Ş.", "kuzeyba", 't', kRecords / 100 - 1};
constexpr Needle kMiddle{"MERCANKÖY GIDA PAZARLAMA LTD. ŞTİ.", "mercan", 'k', kRecords / 2 - 1};
constexpr Needle kMiss{nullptr, "zemberek", 's', 0};

void makeArchive(const std::string& folder)
{
    engine::createTable(folder, archive::kInvoiceTableName, archive::invoiceTableDefinition());
    InvoiceGenerator generator(kSeed);
    std::vector<Invoice> pool;
    for (std::size_t i = 0; i < kPoolSize; ++i)
        pool.push_back(generator.next());
    const auto& columns = invoiceColumns();
    engine::Cursor cursor;
    cursor.open(folder, archive::kInvoiceTableName);
    for (std::size_t i = 0; i < kRecords; ++i) {
        Invoice invoice = pool[i % kPoolSize];
        for (const Needle* n : {&kNearStart, &kMiddle})
            if (i == n->index)
                generator.setText(invoice, "SAYIN1", QString::fromUtf8(n->name));
        cursor.append();
        for (std::size_t c = 0; c < columns.size(); ++c) {
            if (columns[c].text)
                cursor.setText(columns[c].name, invoice[c].cp1254);
            else
                cursor.setNumber(columns[c].name, invoice[c].number);
        }
        cursor.post();
    }
}

std::size_t heapInUse() { return mallinfo2().uordblks; }

std::size_t residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    std::size_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * std::size_t(sysconf(_SC_PAGESIZE));
}

// One program folder with the archive, the main window and the find dialog, for all runs.
class Program {
public:
    static Program& get()
    {
        if (!instance())
            instance().reset(new Program);
        return *instance();
    }
    // Before the application object goes: the windows need it to the end.
    static void release() { instance().reset(); }

    Tfatura_basimi& window() { return *window_; }
    archive::Tfatura_bul& dialog() { return *dialog_; }
    QLineEdit& s2() { return *dialog_->searchBox(2); }
    QTableView& list() { return *dialog_->list(); }

    void showDialog()
    {
        dialog_->show();
        paint();
    }
    void hideDialog() { dialog_->hide(); }
    void paint() { list().viewport()->repaint(); }
    void save() { window_->toolButton(QStringLiteral("KAYDET"))->click(); }

private:
    static std::unique_ptr<Program>& instance()
    {
        static std::unique_ptr<Program> program;
        return program;
    }

    Program()
    {
        char pattern[] = "/tmp/archive_bench-XXXXXX";
        if (!mkdtemp(pattern))
            throw std::runtime_error("cannot make a temporary folder");
        root_ = pattern;
        const std::string folder = root_.string() + '/';
        std::fprintf(stderr, "building an archive of %zu invoices in %s ...\n", kRecords, folder.c_str());
        makeArchive(folder);
        window_ = std::make_unique<Tfatura_basimi>(QString::fromStdString(folder));
        dialog_ = std::make_unique<archive::Tfatura_bul>(window_->archive(), window_.get());
        window_->setFindDialog(dialog_.get());
        window_->show();
        QApplication::processEvents();
        fillInvoice();
    }
public:
    ~Program()
    {
        dialog_.reset();
        window_.reset();
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

private:
    void fillInvoice()
    {
        InvoicePage& page = *window_->invoicePage();
        page.text(QStringLiteral("TARIH"))->setText(QStringLiteral("07.03.2026"));
        page.text(QStringLiteral("SAYIN1"))->setText(QStringLiteral("Benchmark Müşterisi İnşaat Ltd. Şti."));
        page.text(QStringLiteral("SAYIN2"))->setText(QStringLiteral("Kocatepe Mah. Atatürk Cad. No:12/4"));
        page.text(QStringLiteral("SAYIN3"))->setText(QStringLiteral("Çankaya / ANKARA"));
        for (int n = 1; n <= 8; ++n) {
            page.text(QStringLiteral("C%1").arg(n))->setText(QStringLiteral("Çimento CEM I 42,5 R 50 kg"));
            page.text(QStringLiteral("B%1").arg(n))->setText(QStringLiteral("Torba"));
            page.number(QStringLiteral("M%1").arg(n))->setValue(n * 3);
            page.number(QStringLiteral("F%1").arg(n))->setValue(210.5L);
        }
    }

    fs::path root_;
    std::unique_ptr<Tfatura_basimi> window_;
    std::unique_ptr<archive::Tfatura_bul> dialog_;
};

// First, while nothing of the dialog has been read yet.
void DialogMemory(benchmark::State& state)
{
    Program& p = Program::get();
    double heap = 0, resident = 0;
    for (auto _ : state) {
        const std::size_t heapBefore = heapInUse();
        const std::size_t residentBefore = residentBytes();
        p.showDialog();
        QScrollBar* bar = p.list().verticalScrollBar();
        bar->setValue(bar->maximum() / 2);
        p.paint();
        QTest::keyClick(&p.list(), Qt::Key_End, Qt::ControlModifier);
        p.paint();
        heap = double(heapInUse() - heapBefore) / (1024.0 * 1024.0);
        resident = double(residentBytes() - residentBefore) / (1024.0 * 1024.0);
        state.PauseTiming();
        p.hideDialog();
        state.ResumeTiming();
    }
    state.counters["heap_MB"] = heap;
    state.counters["resident_MB"] = resident;
}
BENCHMARK(DialogMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

void OpenFindDialog(benchmark::State& state)
{
    Program& p = Program::get();
    for (auto _ : state) {
        p.showDialog();
        state.PauseTiming();
        p.hideDialog();
        state.ResumeTiming();
    }
}
BENCHMARK(OpenFindDialog)->Unit(benchmark::kMillisecond)->Iterations(50);

void typeTimed(benchmark::State& state, const Needle& needle, bool afterSave)
{
    Program& p = Program::get();
    p.showDialog();
    p.s2().setText(QString::fromLatin1(needle.typedBefore));
    for (auto _ : state) {
        if (afterSave) {
            state.PauseTiming();
            p.hideDialog();
            p.save();
            p.showDialog();
            p.s2().setText(QString::fromLatin1(needle.typedBefore));
            state.ResumeTiming();
        }
        QTest::keyClick(&p.s2(), needle.key);
        p.paint();
        state.PauseTiming();
        QTest::keyClick(&p.s2(), Qt::Key_Backspace);
        state.ResumeTiming();
    }
    p.s2().clear();
    p.hideDialog();
}

void Keystroke(benchmark::State& state, const Needle* needle, bool afterSave) { typeTimed(state, *needle, afterSave); }
BENCHMARK_CAPTURE(Keystroke, Hit1Percent, &kNearStart, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Keystroke, Hit50Percent, &kMiddle, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Keystroke, Miss, &kMiss, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Keystroke, AfterSave_Hit1Percent, &kNearStart, true)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK_CAPTURE(Keystroke, AfterSave_Hit50Percent, &kMiddle, true)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK_CAPTURE(Keystroke, AfterSave_Miss, &kMiss, true)->Unit(benchmark::kMillisecond)->Iterations(20);

void JumpToEnd(benchmark::State& state)
{
    Program& p = Program::get();
    p.showDialog();
    for (auto _ : state) {
        state.PauseTiming();
        QTest::keyClick(&p.list(), Qt::Key_Home, Qt::ControlModifier);
        p.dialog().model()->reload();
        p.paint();
        state.ResumeTiming();
        QTest::keyClick(&p.list(), Qt::Key_End, Qt::ControlModifier);
        p.paint();
    }
    p.hideDialog();
}
BENCHMARK(JumpToEnd)->Unit(benchmark::kMillisecond)->Iterations(50);

void JumpToMiddle(benchmark::State& state)
{
    Program& p = Program::get();
    p.showDialog();
    QScrollBar* bar = p.list().verticalScrollBar();
    int step = 0;
    for (auto _ : state) {
        state.PauseTiming();
        bar->setValue(0);
        p.dialog().model()->reload();
        p.paint();
        state.ResumeTiming();
        bar->setValue(bar->maximum() / 2 + (step++ % 7) * 1000);
        p.paint();
    }
    p.hideDialog();
}
BENCHMARK(JumpToMiddle)->Unit(benchmark::kMillisecond)->Iterations(50);


void Save(benchmark::State& state, char mode)
{
    Program& p = Program::get();
    for (auto _ : state) {
        if (mode == 'Y') {
            state.PauseTiming();
            p.window().archive().setEditModeNew();
            state.ResumeTiming();
        }
        p.save();
    }
    if (p.window().editMode() != 'D')
        state.SkipWithError("KAYDET did not store");
}
BENCHMARK_CAPTURE(Save, Update_D, 'D')->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Save, Append_Y, 'Y')->Unit(benchmark::kMicrosecond);

void Load(benchmark::State& state)
{
    Program& p = Program::get();
    archive::InvoiceArchive& a = p.window().archive();
    a.table().first();
    a.table().moveBy(int(kRecords / 2));
    for (auto _ : state)
        a.find(&p.window(), [] { return true; });
}
BENCHMARK(Load)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--make-archive") {
        fs::create_directories(argv[2]);
        makeArchive(fs::path(argv[2]).string() + '/');
        return 0;
    }
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Program::release();
    return 0;
}
