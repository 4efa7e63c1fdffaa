// The smoothing spline at the largest table: 6000 standards in 100 runs of
// 60 over positions up to 30000, a slow drift with scatter. Target: the fit
// with its GCV search under 10 ms; the values and u at every position are
// timed beside it.
//   bench_spline --benchmark_repetitions=10 --benchmark_report_aggregates_only=true

#include <cmath>
#include <vector>

#include <benchmark/benchmark.h>

#include "regression/smoothing_spline.h"

namespace {

using namespace kalibron;

struct Standards {
    std::vector<double> x, y;
};

Standards largestTable()
{
    Standards s;
    for (int x = 1; x <= 30000; ++x) {
        if (x % 300 < 60 && x > 0 && s.x.size() < 6000) {
            s.x.push_back(x);
            s.y.push_back(1000.0 - 0.01 * x + 25.0 * std::sin(x / 2500.0) + (x % 7) * 0.3);
        }
    }
    return s;
}

void BM_SplineFitWithGcv(benchmark::State& state)
{
    const Standards s = largestTable();
    for (auto _ : state) {
        auto spline = SmoothingSpline::fit(s.x, s.y);
        benchmark::DoNotOptimize(spline);
    }
    state.counters["standards"] = static_cast<double>(s.x.size());
}
BENCHMARK(BM_SplineFitWithGcv)->Unit(benchmark::kMillisecond);

void BM_SplineValuesAndUncertaintyAtEveryPosition(benchmark::State& state)
{
    const Standards s = largestTable();
    const auto spline = SmoothingSpline::fit(s.x, s.y);
    for (auto _ : state) {
        auto v = spline->values(30000);
        auto u = spline->uncertainties(30000);
        benchmark::DoNotOptimize(v);
        benchmark::DoNotOptimize(u);
    }
}
BENCHMARK(BM_SplineValuesAndUncertaintyAtEveryPosition)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
