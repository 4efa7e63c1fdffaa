#include "programs/cli_qt_startup.h"

#include <cstdio>
#include <cstdlib>

#include <QGuiApplication>

namespace kalibron {

namespace {

// Qt's own chatter while rendering (a missing runtime folder, the offscreen
// platform) is no message of this program; only Qt's errors get through.
void quietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "kalibron: Qt: %s\n", message.toLocal8Bit().constData());
}

} // namespace

QtForDrawing::QtForDrawing() : m_previousHandler(qInstallMessageHandler(quietQtMessages))
{
    if (QGuiApplication::instance())
        return;
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "kalibron";
    static char* argv[] = {name, nullptr};
    m_application = std::make_unique<QGuiApplication>(argc, argv);
}

QtForDrawing::~QtForDrawing()
{
    m_application.reset();
    qInstallMessageHandler(m_previousHandler);
}

} // namespace kalibron
