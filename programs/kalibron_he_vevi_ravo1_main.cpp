// Kalibron-He-VeviRavo-1: starts in the real-time file list window.
#include <QApplication>

#include "programs/program_settings.h"
#include "programs/real_time_coordinator.h"
#include "programs/window_program.h"
#include "ui/file_list_window/file_list_window.h"

// Options for checking the layout on a virtual display:
//   --directory DIR    scan DIR at start, as a double click on it in Dir1 does
//   --screenshot FILE  save the window as an image once it shows, and quit
int main(int argc, char** argv)
{
    using namespace kalibron;
    const ProgramProfile profile = kalibronHeVeviRavo1Profile();

    QApplication app(argc, argv);
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
