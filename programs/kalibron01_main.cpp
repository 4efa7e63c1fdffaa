// Kalibron-01: starts in the regression window with the built-in example.
// "--screenshot FILE" saves the window once it shows, and quits.
#include <QApplication>

#include "programs/program_settings.h"
#include "programs/window_program.h"
#include "ui/regression_window/regression_window.h"

int main(int argc, char** argv)
{
    using namespace kalibron;
    const ProgramProfile profile = kalibron01Profile();

    QApplication app(argc, argv);
    const std::unique_ptr<Store> started = startWindowProgram(profile, argc, argv);
    RegressionWindow window(*started, profile.regressionWindow);
    window.show();

    saveScreenshotOnceShown(window, QApplication::arguments());
    return QApplication::exec();
}
