// The file list's scan of a folder of 10000 files, 200 of them of the day:
// listing with last-write times, match test, time sort, day listing and
// the sequence table (Update_Flex2). Run by hand:
//   ./build/bin/bench_sequence --benchmark_repetitions=10 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <utime.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "core/file_list_state.h"
#include "core/messages.h"
#include "analysis/file_list_options.h"
#include "analysis/file_scan.h"
#include "analysis/sequence_table.h"

namespace {

namespace fs = std::filesystem;

class Folder {
public:
    Folder() : m_path(fs::temp_directory_path() / ("kalibron_bench_" + std::to_string(::getpid())))
    {
        fs::remove_all(m_path);
        fs::create_directories(m_path);
        for (int i = 0; i < 10000; ++i) {
            char name[40];
            // Every 50th file is of the day; the others of other days or extensions.
            if (i % 50 == 0)
                std::snprintf(name, sizeof name, "0808_27s%05d%s.env", i, i % 200 == 0 ? "-S" : "");
            else if (i % 2)
                std::snprintf(name, sizeof name, "0808_26x%05d.env", i);
            else
                std::snprintf(name, sizeof name, "0808_27y%05d.txt", i);
            const fs::path file = m_path / name;
            std::ofstream(file) << "x";
            const time_t t = 1219795200 + (i * 7919) % 86400;
            const struct utimbuf times {
                t, t
            };
            ::utime(file.c_str(), &times);
        }
    }
    ~Folder() { fs::remove_all(m_path); }
    std::string path() const { return m_path.string(); }

private:
    fs::path m_path;
};

void BM_ScanSortAndTable(benchmark::State& state)
{
    static const Folder folder;
    const kalibron::FileListTableLayout layout;
    for (auto _ : state) {
        kalibron::FileListState list;
        kalibron::CollectingMessageSink messages;
        list.DayKey = "0808_27";
        const kalibron::DirectoryListing listing = kalibron::listDirectory(
            folder.path(), [&](std::string_view name) { return kalibron::matchesDay(name, list.DayKey, "env"); });
        kalibron::scanDay(list, listing.files, "env", messages);
        kalibron::Update_Flex2(list, "-S", layout);
        if (list.nDayFiles != 200 || list.nAllFiles != 10000)
            state.SkipWithError("unexpected scan result");
        benchmark::DoNotOptimize(list.FlexGrid2.text(200, 1));
    }
}
BENCHMARK(BM_ScanSortAndTable)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
