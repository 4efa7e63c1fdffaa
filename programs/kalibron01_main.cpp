// Kalibron-01: starts in the regression window with the built-in example.
#include <QApplication>
#include <QStringList>
#include <QTimer>

#include "core/messages.h"
#include "core/store.h"
#include "programs/program_settings.h"
#include "programs/startup.h"
#include "ui/regression_window/message_box_sink.h"
#include "ui/regression_window/regression_window.h"

namespace {

// "--screenshot FILE": show the window, save it as an image and quit. Used
// to check the layout on a virtual display.
QString screenshotPath(const QStringList& arguments)
{
    const qsizetype at = arguments.indexOf(QStringLiteral("--screenshot"));
    return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1) : QString();
}

} // namespace

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

    const QString screenshot = screenshotPath(QApplication::arguments());
    if (!screenshot.isEmpty()) {
        QTimer::singleShot(300, &window, [&window, screenshot] {
            const bool saved = window.grab().save(screenshot);
            QCoreApplication::exit(saved ? 0 : 1);
        });
    }
    return QApplication::exec();
}
