#pragma once

#include <memory>

#include <QApplication>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include "core/store.h"
#include "programs/program_settings.h"
#include "programs/startup.h"
#include "ui/regression_window/message_box_sink.h"

namespace kalibron {

// Main of a window program, once its QApplication exists: the application
// name, then the start-up with its messages in message boxes.
inline std::unique_ptr<Store> startWindowProgram(const ProgramProfile& profile, int argc, char** argv)
{
    QApplication::setApplicationName(QLatin1String(profile.applicationName));
    MessageBoxSink startMessages;
    return startUp(profile, argc > 0 ? argv[0] : nullptr, startMessages);
}

// The value after `option` on the command line; empty when it is not given.
inline QString optionValue(const QStringList& arguments, const QString& option)
{
    const qsizetype at = arguments.indexOf(option);
    return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1) : QString();
}

// "--screenshot FILE": once the window has shown, save it as an image and
// quit (exit status 1 when the image cannot be written). Used to check the
// layout on a virtual display.
inline void saveScreenshotOnceShown(QWidget& window, const QStringList& arguments)
{
    const QString path = optionValue(arguments, QStringLiteral("--screenshot"));
    if (path.isEmpty())
        return;
    QTimer::singleShot(500, &window, [&window, path] {
        const bool saved = window.grab().save(path);
        QCoreApplication::exit(saved ? 0 : 1);
    });
}

} // namespace kalibron
