// Kalibron-01: starts in the regression window with the built-in example.
// "--screenshot FILE" saves the window once it shows, and quits.
#include <QApplication>

#include "core/messages.h"
#include "core/store.h"
#include "programs/program_settings.h"
#include "programs/startup.h"
#include "programs/window_program.h"
#include "ui/regression_window/message_box_sink.h"
#include "ui/regression_window/regression_window.h"

int main(int argc, char** argv)
{
    using namespace kalibron;
    const ProgramProfile profile = kalibron01Profile();

    QApplication app(argc, argv);
    QApplication::setApplicationName(QLatin1String(profile.applicationName));

    // Main
    MessageBoxSink startMessages;
    const std::unique_ptr<Store> started = startUp(profile, argc > 0 ? argv[0] : nullptr, startMessages);
    Store& store = *started;

    RegressionWindow window(store, profile.regressionWindow);
    window.show();

    saveScreenshotOnceShown(window, QApplication::arguments());
    return QApplication::exec();
}
