#pragma once

#include <QCoreApplication>
#include <QStringList>
#include <QTimer>
#include <QWidget>

namespace kalibron {

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
