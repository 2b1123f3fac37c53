// AmountToWords on the amounts an invoice typically totals to. Run from build/<preset>/bench:
//   ./words_bench
#include "SayiOku.h"

#include <benchmark/benchmark.h>

namespace {

void BM_AmountToWords(benchmark::State& state, double amount)
{
    for (auto _ : state) {
        benchmark::DoNotOptimize(amount);
        std::string text = fatura::AmountToWords(1, 0, amount);
        benchmark::DoNotOptimize(text);
    }
}

// The grand total of a large invoice, a small one, and hundredths alone.
BENCHMARK_CAPTURE(BM_AmountToWords, 1234567.89, 1234567.89);
BENCHMARK_CAPTURE(BM_AmountToWords, 46.59, 46.59);
BENCHMARK_CAPTURE(BM_AmountToWords, 0.5, 0.5);
// The longest text the totals can get: every group and scale word present.
BENCHMARK_CAPTURE(BM_AmountToWords, 999999999999999.5, 999999999999999.5);

} // namespace
