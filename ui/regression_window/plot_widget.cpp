#include "ui/regression_window/plot_widget.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include "analysis/plot_scene.h"
#include "ui/regression_window/scene_painter.h"

namespace kalibron {

PlotArea::PlotArea(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

void PlotArea::setScene(const PlotScene* scene)
{
    m_scene = scene;
    sceneChanged();
}

void PlotArea::sceneChanged()
{
    m_cache = QImage();
    update();
}

void PlotArea::paintEvent(QPaintEvent* /*event*/)
{
    // A large data set has some hundred thousand segments; render them once
    // per change, not on every expose.
    const qreal ratio = devicePixelRatioF();
    if (m_cache.isNull() || m_cache.deviceIndependentSize() != QSizeF(size())) {
        m_cache = QImage(size() * ratio, QImage::Format_RGB32);
        m_cache.setDevicePixelRatio(ratio);
        QPainter cachePainter(&m_cache);
        if (m_scene)
            paintPlot(cachePainter, *m_scene, QRectF(QPointF(0, 0), QSizeF(size())), palette().color(QPalette::Base));
        else
            m_cache.fill(palette().color(QPalette::Base));
    }
    QPainter painter(this);
    painter.drawImage(0, 0, m_cache);
}

void PlotArea::mousePressEvent(QMouseEvent* event) { emit mouseDown(event->button(), event->position()); }

void PlotArea::resizeEvent(QResizeEvent* /*event*/) { m_cache = QImage(); }

PlotFrame::PlotFrame(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

void PlotFrame::setScene(const PlotScene* scene)
{
    m_scene = scene;
    update();
}

void PlotFrame::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    if (m_scene)
        paintFrame(painter, *m_scene, QRectF(rect()), false);
    else
        painter.fillRect(rect(), toQColor(colours::kFrameBackground));
}

} // namespace kalibron
