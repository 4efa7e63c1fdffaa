// The operator's half of the restart test: follows FOLDER as the program does,
// types the standards' values, toggles two Typ cells, rejects one standard and
// interpolates, then says "ready" and waits to be killed.
// Usage: live_run_child FOLDER
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>

#include <cstdio>

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

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: live_run_child FOLDER\n");
        return 2;
    }
    QApplication::setApplicationName(QLatin1String(test::kLiveProgram));
    test::LiveWindows live;
    FileListWindow& list = live.list();
    RealTimeCoordinator& windows = *live.windows;
    Store* const store = live.store.get();
    const CollectingMessageSink& messages = live.messages;
    list.setCurrentDirectory(QString::fromLocal8Bit(argv[1]));
    list.cmdAccept_Click();
    list.findChild<QCheckBox*>(QStringLiteral("chkFollow"))->setChecked(true);
    list.chkFollow_Click();

    const auto type = [&](int k) { live.type(k, test::standardValue(k)); };
    // Typ: a sample made a standard (with a value), a standard made a sample.
    list.FlexGrid2_DblClick(live.rowOf(12), 2);
    list.FlexGrid2_DblClick(live.rowOf(15), 2);
    for (int k = 10; k < 25; ++k)
        if ((test::isStandardFile(k) && k != 15) || k == 12)
            type(k);
    list.cmdInterpolate_Click();
    windows.backToFileList();
    // A rejection, then the last value typed.
    const int rejected = live.rowOf(20);
    store->Rejected[static_cast<std::size_t>(std::stoi(store->fileList.FlexGrid2.text(rejected, 4)))] = ValueCell(1.0);
    type(25);
    if (!messages.messages.empty()) {
        std::fprintf(stderr, "unexpected message: %s\n", messages.messages.front().text.c_str());
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return QApplication::exec();
}
