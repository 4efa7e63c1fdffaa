// Kalibron-He-VeviRavo-1: starts in the real-time file list window.
#include <QApplication>

#include "programs/program_settings.h"
#include "programs/real_time_coordinator.h"
#include "programs/window_program.h"
#include "ui/file_list_window/file_list_window.h"

int main(int argc, char** argv)
{
    using namespace kalibron;
    const WindowProgramUsage usage{"Kalibron-He-VeviRavo-1",
                                   "The real-time file list window of KALIBRON: lists the analysis files of one\n"
                                   "day in a folder in time order, takes the standards' values and hands the day\n"
                                   "over to the regression window for interpolated values of the samples.",
                                   "  --directory DIR    at start, scan DIR as a double click on it in the\n"
                                   "                     directory list does, for the day and extension the\n"
                                   "                     fields start with (0808, 27, env)\n"
                                   "  --screenshot FILE  once the window shows, save it as the image FILE (PNG,\n"
                                   "                     JPEG, BMP... by the name's ending) and quit; exit\n"
                                   "                     status 1 when it cannot be written\n"};
    if (const std::optional<int> done = answerBeforeWindow(usage, argc, argv))
        return *done;
    const ProgramProfile profile = kalibronHeVeviRavo1Profile();

    const std::unique_ptr<QApplication> app = openApplication(usage, argc, argv);
    const std::unique_ptr<Store> started = startWindowProgram(profile, argc, argv);
    RealTimeCoordinator windows(*started, profile);
    FileListWindow& fileList = windows.fileList();
    fileList.show();

    const QStringList arguments = QApplication::arguments();
    const QString directory = optionValue(arguments, QStringLiteral("--directory"));
    if (!directory.isEmpty())
        fileList.setCurrentDirectory(directory);
    saveScreenshotOnceShown(fileList, arguments);
    return QApplication::exec();
}
