#pragma once

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QWidget>

namespace kalibron {

struct PlotScene;

// pict1: the plot area. Paints the plot items of the scene it is shown and
// reports mouse presses in its own pixels; the window converts them.
class PlotArea : public QWidget {
    Q_OBJECT
public:
    explicit PlotArea(QWidget* parent = nullptr);

    // The scene stays owned by the caller; call sceneChanged() after any
    // change to it (the area keeps a rendered copy until then).
    void setScene(const PlotScene* scene);
    void sceneChanged();

signals:
    void mouseDown(Qt::MouseButton button, const QPointF& position);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    const PlotScene* m_scene = nullptr;
    QImage m_cache;
};

// pict2: the light yellow frame behind the plot area, with the ticks and axis
// lines; its tick labels are child labels placed by the window.
class PlotFrame : public QWidget {
    Q_OBJECT
public:
    explicit PlotFrame(QWidget* parent = nullptr);

    void setScene(const PlotScene* scene);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const PlotScene* m_scene = nullptr;
};

} // namespace kalibron
