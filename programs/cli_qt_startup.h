#pragma once

#include <memory>

#include <QtGlobal>

class QGuiApplication;

namespace kalibron {

// What drawing needs of Qt for the length of one image: a QGuiApplication
// (fonts for the tick labels) on the offscreen platform when no display is
// named, made here unless the caller has one already, and Qt's own chatter
// kept off standard error (only its errors pass, as "kalibron: Qt: ...").
class QtForDrawing {
public:
    QtForDrawing();
    ~QtForDrawing();
    QtForDrawing(const QtForDrawing&) = delete;
    QtForDrawing& operator=(const QtForDrawing&) = delete;

private:
    QtMessageHandler m_previousHandler;
    std::unique_ptr<QGuiApplication> m_application;
};

} // namespace kalibron
