// One recalculation of the regression window plus painting its scene, at the
// largest data the window takes: positions up to 30000, 6000 standards, every
// fit and the confidence band. Run by hand:
//   ./build/bin/bench_window --benchmark_repetitions=10 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cmath>
#include <cstdio>

#include "core/messages.h"
#include "core/store.h"
#include "core/student_table.h"
#include "analysis/calculation.h"
#include "ui/regression_window/scene_painter.h"

namespace {

kalibron::Store* g_store = nullptr;

// 3000 pairs of neighbouring standards, one pair every ten positions, on a
// slow drift with a little scatter.
void fillLargeSequence(kalibron::Store& store)
{
    int count = 0;
    for (int x = 10; x <= 30000; x += 10) {
        for (int k = 0; k < 2; ++k) {
            const int position = x - k;
            const double drift = 1000.0 - 0.01 * position + 2e-7 * position * position;
            store.Y[static_cast<std::size_t>(position)] = drift + 3.0 * std::sin(position * 0.37);
            ++count;
        }
    }
    store.MaxX = 30000;
    store.nPointsAll = count;
    store.nPoints = count;
    store.nCols = 2;
    store.AllData = true;
    store.ProbIndex = 3;
}

void BM_CalculateAndPaint(benchmark::State& state)
{
    kalibron::RegressionSettings settings;
    settings.chkPoly = {false, true, true, true, true, true};
    kalibron::CollectingMessageSink messages;
    const kalibron::NumberLocale locale;
    const kalibron::PlotGeometry geometry;
    const double dpi = 96.0;
    QImage image(static_cast<int>(std::lround(geometry.frameWidth / 1440.0 * dpi)),
                 static_cast<int>(std::lround(geometry.frameHeight / 1440.0 * dpi)), QImage::Format_RGB32);
    std::size_t items = 0;
    for (auto _ : state) {
        const kalibron::CalculationResult result = kalibron::A_PLOT(*g_store, settings, messages, locale, geometry);
        QPainter painter(&image);
        kalibron::paintScene(painter, result.scene, QRectF(image.rect()));
        painter.end();
        items = result.scene.items.size();
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["scene_items"] = static_cast<double>(items);
    state.counters["messages"] = static_cast<double>(messages.messages.size());
}
BENCHMARK(BM_CalculateAndPaint)->Unit(benchmark::kMillisecond);

// The two halves apart, to see which one to work on.
void BM_CalculateOnly(benchmark::State& state)
{
    kalibron::RegressionSettings settings;
    settings.chkPoly = {false, true, true, true, true, true};
    kalibron::CollectingMessageSink messages;
    for (auto _ : state) {
        const kalibron::CalculationResult result = kalibron::A_PLOT(*g_store, settings, messages, {}, {});
        benchmark::DoNotOptimize(result.scene.items.data());
    }
}
BENCHMARK(BM_CalculateOnly)->Unit(benchmark::kMillisecond);

void BM_PaintOnly(benchmark::State& state)
{
    kalibron::RegressionSettings settings;
    settings.chkPoly = {false, true, true, true, true, true};
    kalibron::CollectingMessageSink messages;
    const kalibron::CalculationResult result = kalibron::A_PLOT(*g_store, settings, messages, {}, {});
    QImage image(777, 433, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&image);
        kalibron::paintScene(painter, result.scene, QRectF(image.rect()));
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_PaintOnly)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    kalibron::Store store(kalibron::ProgramSettings{30000});
    store.gPath = kalibron::programFolder(argc > 0 ? argv[0] : nullptr);
    kalibron::CollectingMessageSink startMessages;
    kalibron::LoadStudent(store, startMessages);
    if (!startMessages.messages.empty()) {
        std::fprintf(stderr, "%s\n", startMessages.messages.front().text.c_str());
        return 1;
    }
    fillLargeSequence(store);
    g_store = &store;

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
