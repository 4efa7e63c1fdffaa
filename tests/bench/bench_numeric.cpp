// One full numeric pass at the largest data the model holds: positions up to
// 30000 with 6000 standards in 100 runs of 60 (so the zigzag scans them all),
// some rejected, values positive with a slow drift. Target: median under 1.5 ms.
//   bench_numeric --benchmark_repetitions=10 --benchmark_report_aggregates_only=true

#include <cmath>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "core/messages.h"
#include "core/store.h"
#include "regression/confidence_band.h"
#include "regression/linear_fit.h"
#include "regression/logarithmic_fit.h"
#include "regression/polynomial_fit.h"
#include "regression/zigzag.h"

namespace {

using namespace kalibron;

void fillLargestSequence(Store& store)
{
    const int last = store.bound();
    for (int x = 0; x <= last; ++x) {
        if (x % 300 < 60 && x > 0) {
            const double drift = 1000.0 - 0.01 * x + 25.0 * std::sin(x / 2500.0);
            store.Y[static_cast<std::size_t>(x)] = ValueCell(drift + (x % 7) * 0.3);
            if (x % 97 == 0)
                store.Rejected[static_cast<std::size_t>(x)] = ValueCell(1.0);
        }
    }
    store.MaxX = last;
    for (int p = 1; p <= 6; ++p) {
        for (int r = 1; r <= 101; ++r)
            store.Student.t[static_cast<std::size_t>(p)][static_cast<std::size_t>(r)] = 1.5 + 10.0 / r + 0.2 * p;
    }
    store.Student.loaded = true;
    store.ProbIndex = 3;
}

void fullNumericPass(benchmark::State& state)
{
    Store store;
    fillLargestSequence(store);
    CollectingMessageSink messages;
    std::string parameterText;
    const int last = store.lastPosition();
    std::vector<double> halfWidth(static_cast<std::size_t>(last) + 1);
    std::vector<double> fitted(static_cast<std::size_t>(last) + 1);

    for (auto _ : state) {
        ScanData(store);
        Linear_Calc(store, messages);

        if (Confidence_Calc(store)) {
            if (const auto band = confidenceBand(store)) {
                for (int x = 0; x <= last; ++x)
                    halfWidth[static_cast<std::size_t>(x)] = band->at(x);
            }
        }
        benchmark::DoNotOptimize(halfWidth.data());

        Logarithmic_Calc(store, messages);

        int k = 0;
        for (int x = 1; x <= last; ++x) {
            if (store.isUsed(x)) {
                ++k;
                store.PX[static_cast<std::size_t>(k)] = x;
                store.PY[static_cast<std::size_t>(k)] = store.Y[static_cast<std::size_t>(x)].value();
            }
        }
        store.nPoly = k;
        for (int d = 2; d <= 6; ++d) {
            store.PolySlot = d - 1;
            const PolynomialFit fit = Polynomial(store, k, d, store.PX, store.PY, messages, &parameterText);
            if (fit.status != PolynomialStatus::Fitted)
                continue;
            polynomialValues(fit.stable, fitted);
            benchmark::DoNotOptimize(fitted.data());
        }

        ZigZag(store);
        benchmark::DoNotOptimize(store.nClusters);
    }
    if (!messages.messages.empty())
        state.SkipWithError("a routine reported too few data");
    if (store.nClusters != 100)
        state.SkipWithError("zigzag did not find the 100 runs");
}
BENCHMARK(fullNumericPass)->Unit(benchmark::kMicrosecond);

// The free-degree row at its top: degree 23 through the 6000 standards of
// the largest sequence (none rejected), then its values at all 30001
// positions (argument 1; 0: the fit alone). Target: median under 2 ms.
void degree23Fit(benchmark::State& state)
{
    Store store;
    fillLargestSequence(store);
    CollectingMessageSink messages;
    int k = 0;
    for (int x = 1; x <= store.bound(); ++x) {
        if (store.Y[static_cast<std::size_t>(x)].positive()) {
            ++k;
            store.PX[static_cast<std::size_t>(k)] = x;
            store.PY[static_cast<std::size_t>(k)] = store.Y[static_cast<std::size_t>(x)].value();
        }
    }
    std::vector<double> fitted(static_cast<std::size_t>(store.bound()) + 1);
    store.PolySlot = 1;
    for (auto _ : state) {
        const PolynomialFit fit = Polynomial(store, k, 23, store.PX, store.PY, messages, nullptr);
        if (fit.status != PolynomialStatus::Fitted)
            state.SkipWithError("degree 23 not fitted");
        if (state.range(0) != 0)
            polynomialValues(fit.stable, fitted);
        benchmark::DoNotOptimize(fitted.data());
    }
    if (k != 6000)
        state.SkipWithError("expected 6000 standards");
}
BENCHMARK(degree23Fit)->Unit(benchmark::kMicrosecond)->Arg(1);
BENCHMARK(degree23Fit)->Unit(benchmark::kMicrosecond)->Arg(0)->Name("degree23FitOnly");

} // namespace

BENCHMARK_MAIN();
