// The ranking of every method by its leave-one-out error at the largest data
// the window takes: 6000 standards over positions up to 30000. Run by hand:
//   ./build/bin/bench_ranking --benchmark_repetitions=10 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <cmath>

#include "core/store.h"
#include "analysis/method_ranking.h"

namespace {

void BM_RankMethods(benchmark::State& state)
{
    kalibron::Store store;
    // Pairs of neighbouring standards every ten positions on a slow drift.
    for (int x = 10; x <= 30000; x += 10)
        for (int position : {x - 1, x})
            store.Y[static_cast<std::size_t>(position)] = kalibron::ValueCell(
                1000.0 - 0.01 * position + 2e-7 * position * position + 3.0 * std::sin(position * 0.37));
    store.MaxX = 30000;
    kalibron::ScanData(store);
    for (auto _ : state) {
        const kalibron::MethodRanking ranking = kalibron::rankMethods(store, 6);
        benchmark::DoNotOptimize(ranking.methods.data());
    }
}
BENCHMARK(BM_RankMethods)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
