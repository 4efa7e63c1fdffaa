// Kalibron-01: starts in the regression window with the built-in example.
#include <QApplication>

#include "programs/program_settings.h"
#include "programs/window_program.h"
#include "ui/regression_window/regression_window.h"

int main(int argc, char** argv)
{
    using namespace kalibron;
    const WindowProgramUsage usage{"Kalibron-01",
                                   "The regression window of KALIBRON: interpolated values for samples between\n"
                                   "standard measurements, by several methods side by side. It starts with a\n"
                                   "built-in example; \"Paste data from clipboard\" takes a table copied from a\n"
                                   "spreadsheet.",
                                   "  --screenshot FILE  once the window shows, save it as the image FILE (PNG,\n"
                                   "                     JPEG, BMP... by the name's ending) and quit; exit\n"
                                   "                     status 1 when it cannot be written\n"};
    if (const std::optional<int> done = answerBeforeWindow(usage, argc, argv))
        return *done;
    const ProgramProfile profile = kalibron01Profile();

    const std::unique_ptr<QApplication> app = openApplication(usage, argc, argv);
    const std::unique_ptr<Store> started = startWindowProgram(profile, argc, argv);
    RegressionWindow window(*started, profile.regressionWindow);
    window.show();

    saveScreenshotOnceShown(window, QApplication::arguments());
    return QApplication::exec();
}
