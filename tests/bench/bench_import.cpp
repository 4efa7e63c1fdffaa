// Importing a table of the largest size the program takes: 6000 lines with
// positions up to 30000 (parse + apply). Target: median well under 2 ms.
//   bench_import --benchmark_repetitions=10 --benchmark_report_aggregates_only=true

#include <string>

#include <benchmark/benchmark.h>

#include "core/messages.h"
#include "core/store.h"
#include "core/table_import.h"

namespace {

std::string largestTable(bool withError)
{
    std::string text;
    for (int i = 1; i <= kalibron::kMaxTableLines; ++i) {
        text += std::to_string(i * 5) + "\t" + std::to_string(1000.0 - i * 0.0123);
        if (withError)
            text += "\t" + std::to_string(0.5 + i % 7);
        text += "\r\n";
    }
    return text;
}

void importTable(benchmark::State& state)
{
    const std::string text = largestTable(state.range(0) != 0);
    kalibron::Store store;
    kalibron::CollectingMessageSink messages;
    for (auto _ : state) {
        const kalibron::ImportStatus status = kalibron::ImportClipboard(store, text, messages);
        if (status != kalibron::ImportStatus::Ok) {
            state.SkipWithError("the table was refused");
            break;
        }
        benchmark::DoNotOptimize(store.nPointsAll);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(importTable)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void refuseGarbage(benchmark::State& state)
{
    std::string text(50u * 1024 * 1024, '7');
    for (std::size_t i = 3; i < text.size(); i += 4)
        text[i] = (i % 400 == 399) ? '\r' : '\t';
    kalibron::Store store;
    kalibron::CollectingMessageSink messages;
    for (auto _ : state) {
        benchmark::DoNotOptimize(kalibron::ImportClipboard(store, text, messages));
        messages.messages.clear();
    }
}
BENCHMARK(refuseGarbage)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
