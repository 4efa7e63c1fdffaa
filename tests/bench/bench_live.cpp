// A simulated day of a live run: 1440 analysis files written one after the
// other into a followed folder (every fifth a standard whose value is typed
// when it arrives), with the results following every change. Times each
// update (the folder read, the table with its marks, the interpolation, the
// fits and the result columns, the session file, the events; once the table
// is full, a corrected standard value stands for a typed one) and the memory
// (VmRSS) after the first hundred files and at the end. Exit status 1 when an
// update at a full table takes more than 50 ms or the memory grew by more
// than 10 %.
// Run: QT_QPA_PLATFORM=offscreen TZ=UTC ./build/bin/bench_live [FILES]
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "analysis/file_scan.h"
#include "core/file_list_state.h"
#include "core/messages.h"
#include "core/store.h"
#include "programs/program_settings.h"
#include "programs/real_time_coordinator.h"
#include "programs/startup.h"
#include "tests/file_list_window/live_test_support.h"
#include "ui/file_list_window/file_list_window.h"
#include "ui/regression_window/regression_window.h"

using namespace kalibron;

namespace {

long residentKilobytes()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

struct Times {
    std::vector<double> ms;
    void add(double value) { ms.push_back(value); }
    double quantile(double q) const
    {
        if (ms.empty())
            return 0;
        std::vector<double> sorted = ms;
        std::sort(sorted.begin(), sorted.end());
        return sorted[static_cast<std::size_t>(q * static_cast<double>(sorted.size() - 1))];
    }
    void print(const char* what) const
    {
        if (ms.empty())
            return;
        std::printf("%-40s n=%4zu  median %6.2f ms  p95 %6.2f ms  max %6.2f ms\n", what, ms.size(), quantile(0.5),
                    quantile(0.95), quantile(1.0));
    }
};

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("TZ", "UTC");
    QTemporaryDir data, folder;
    qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
    QApplication app(argc, argv);
    const QDir dir(folder.path());

    test::LiveWindows live;
    FileListWindow& list = live.list();
    RealTimeCoordinator& windows = *live.windows;
    Store* const store = live.store.get();
    const CollectingMessageSink& messages = live.messages;
    // Settled at the second look; the timer stays out of the measurement.
    list.setFollowTiming(0, 3600 * 1000);
    const auto rowOf = [&](int k) { return live.rowOf(k); };
    const auto type = [&](int k) { live.type(k, test::standardValue(k)); };

    for (int k = 0; k <= 5; ++k)
        test::writeLiveFile(dir, k);
    list.setCurrentDirectory(folder.path());
    list.cmdAccept_Click();
    list.findChild<QCheckBox*>(QStringLiteral("chkFollow"))->setChecked(true);
    list.chkFollow_Click();
    type(0);
    type(5);
    list.cmdInterpolate_Click();
    windows.backToFileList();

    const int kFiles = argc > 1 ? std::max(100, std::atoi(argv[1])) : 1440; // fewer for a quick look
    Times arrivals, arrivalsFull, values, valuesFull;
    long afterHundred = 0, whenFull = 0;
    QElapsedTimer clock;
    for (int i = 0; i < kFiles; ++i) {
        const int k = 6 + i;
        if (!test::writeLiveFile(dir, k)) {
            std::fprintf(stderr, "bench_live: cannot write %s\n", qPrintable(test::liveFileName(k)));
            return 2;
        }
        list.followTick(); // first sight: the file settles
        clock.start();
        list.followTick();
        QCoreApplication::processEvents();
        const double arrival = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        const bool full = store->fileList.nDayFiles >= kMaxTableRows;
        if (full && whenFull == 0)
            whenFull = residentKilobytes();
        arrivals.add(arrival);
        if (full)
            arrivalsFull.add(arrival);
        if (test::isStandardFile(k)) {
            // Once the table is full a new file is not listed: the operator
            // then corrects an earlier standard's value instead.
            const bool listed = rowOf(k) > 0;
            const int standard = listed ? k : 10 + 5 * (i % 190);
            clock.start();
            live.type(standard, test::standardValue(standard) + (listed ? 0 : 0.001 * (1 + i % 7)));
            QCoreApplication::processEvents();
            const double typed = static_cast<double>(clock.nsecsElapsed()) / 1e6;
            values.add(typed);
            if (full)
                valuesFull.add(typed);
        }
        if (i == 99)
            afterHundred = residentKilobytes();
        if ((i + 1) % 240 == 0)
            std::printf("after %4d files: %3d rows, VmRSS %ld kB\n", i + 1, store->fileList.nDayFiles,
                        residentKilobytes());
    }
    const long atEnd = residentKilobytes();

    std::printf("simulated day: %d files, %d rows in the table, %zu standards typed\n", kFiles,
                store->fileList.nDayFiles, values.ms.size());
    arrivals.print("update on a new file, all");
    arrivalsFull.print("update on a new file, full table");
    values.print("update on a typed value, all");
    valuesFull.print("update on a typed value, full table");
    std::printf("VmRSS after 100 files %ld kB, at the end %ld kB (%+.1f %%)\n", afterHundred, atEnd,
                100.0 * static_cast<double>(atEnd - afterHundred) / static_cast<double>(afterHundred));
    if (whenFull > 0)
        std::printf("VmRSS when the table filled %ld kB, at the end %ld kB (%+.1f %%)\n", whenFull, atEnd,
                    100.0 * static_cast<double>(atEnd - whenFull) / static_cast<double>(whenFull));
    for (const Message& message : messages.messages)
        std::printf("message: %s\n", message.text.c_str());
    const bool fast = arrivalsFull.quantile(1.0) <= 50 && valuesFull.quantile(1.0) <= 50;
    const bool lean = static_cast<double>(atEnd) <= 1.10 * static_cast<double>(afterHundred);
    std::printf("%s\n", fast && lean ? "within 50 ms per update and 10 % of memory" : "OUT OF BOUNDS");
    return fast && lean ? 0 : 1;
}
