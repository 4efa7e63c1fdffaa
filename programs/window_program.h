#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

#include <QApplication>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include "core/store.h"
#include "programs/program_settings.h"
#include "programs/startup.h"
#include "ui/regression_window/message_box_sink.h"

#ifndef KALIBRON_VERSION
#error "KALIBRON_VERSION must name the version of the window programs"
#endif

namespace kalibron {

// What a window program says about itself on --help.
struct WindowProgramUsage {
    const char* name;    // as it is started, e.g. "Kalibron-01"
    const char* summary; // what it does, in lines of under 80 characters
    const char* options; // its own options, indented by two, as --help lays them out
};

namespace detail {

inline bool isSet(const char* variable)
{
    const char* value = std::getenv(variable);
    return value && *value;
}

inline const char*& openingProgram()
{
    static const char* name = nullptr;
    return name;
}

inline QtMessageHandler& handlerBeforeOpening()
{
    static QtMessageHandler handler = nullptr;
    return handler;
}

// While the QApplication is made: Qt ends a program whose display cannot be
// opened with an abort after a paragraph about platform plugins.
inline void reportDisplayFailure(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtFatalMsg) {
        std::fprintf(stderr,
                     "%s: cannot open the display (DISPLAY=%s); start it under xvfb-run, or with "
                     "QT_QPA_PLATFORM=offscreen\n",
                     openingProgram(), isSet("DISPLAY") ? std::getenv("DISPLAY") : "");
        std::fflush(stderr);
        std::_Exit(1);
    }
    if (QtMessageHandler before = handlerBeforeOpening())
        before(type, context, text);
    else
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
}

} // namespace detail

// Main of a window program, before its QApplication: answers "--help" and
// "--version" on standard output, and without a display (no DISPLAY, no
// WAYLAND_DISPLAY and no platform named by QT_QPA_PLATFORM or -platform)
// says so in one line on standard error, where Qt would abort. Returns the
// exit status when the program ends here; nothing when it goes on.
inline std::optional<int> answerBeforeWindow(const WindowProgramUsage& usage, int argc, char** argv)
{
    bool platformGiven = detail::isSet("QT_QPA_PLATFORM");
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("Usage: %s [OPTIONS]\n%s\n\nOptions:\n%s"
                        "  --help             show this help and exit\n"
                        "  --version          show the version and exit\n"
                        "  -platform NAME     the Qt platform to show the window on (as\n"
                        "                     QT_QPA_PLATFORM)\n\n"
                        "It shows a window and so needs a display. On a machine without one, start\n"
                        "it under a virtual X server (xvfb-run) or with QT_QPA_PLATFORM=offscreen\n"
                        "(nothing is seen; --screenshot still draws the window into a file).\n",
                        usage.name, usage.summary, usage.options);
            return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s %s\n", usage.name, KALIBRON_VERSION);
            return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
        }
        if (std::strcmp(argv[i], "-platform") == 0)
            platformGiven = true;
    }
    if (!platformGiven && !detail::isSet("DISPLAY") && !detail::isSet("WAYLAND_DISPLAY")) {
        std::fprintf(stderr,
                     "%s: no display to show the window on (DISPLAY and WAYLAND_DISPLAY are not set); start it "
                     "under xvfb-run, or with QT_QPA_PLATFORM=offscreen\n",
                     usage.name);
        return 1;
    }
    return std::nullopt;
}

// Holds while the QApplication is made: a display that cannot be opened
// ends the program with one line and exit status 1 instead of an abort.
class DisplayOpening {
public:
    explicit DisplayOpening(const char* programName)
    {
        detail::openingProgram() = programName;
        detail::handlerBeforeOpening() = qInstallMessageHandler(detail::reportDisplayFailure);
    }
    ~DisplayOpening() { qInstallMessageHandler(detail::handlerBeforeOpening()); }
    DisplayOpening(const DisplayOpening&) = delete;
    DisplayOpening& operator=(const DisplayOpening&) = delete;
};

// Main of a window program, after answerBeforeWindow: its QApplication,
// made while a display that cannot be opened is reported in one line.
// `argc` must outlive the application, as Qt requires.
inline std::unique_ptr<QApplication> openApplication(const WindowProgramUsage& usage, int& argc, char** argv)
{
    const DisplayOpening opening(usage.name);
    return std::make_unique<QApplication>(argc, argv);
}

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
