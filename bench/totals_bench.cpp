// Recalculation of a full eight-row invoice, as it runs on every keystroke in the tax rate.
#include "InvoicePage.h"
#include "NumericEdit.h"
#include "SpinEdit.h"
#include "Totals.h"

#include <QApplication>
#include <QLocale>
#include <benchmark/benchmark.h>

namespace {

void fillInvoice(fatura::InvoicePage& page)
{
    for (int n = 1; n <= 8; ++n) {
        page.number(QStringLiteral("M%1").arg(n))->setValue(n * 1.5L);
        page.number(QStringLiteral("F%1").arg(n))->setValue(1234.56L * n);
    }
    page.rate()->setValue(18);
}

void RecalculateFullInvoice(benchmark::State& state)
{
    fatura::InvoicePage page;
    fillInvoice(page);
    for (auto _ : state)
        fatura::RecalculateTotals(page);
}
BENCHMARK(RecalculateFullInvoice)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
