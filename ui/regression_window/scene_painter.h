#pragma once

#include <QImage>
#include <QRectF>

class QPainter;

namespace kalibron {

struct PlotScene;

// Paints a whole plot scene: the frame (pict2: background, ticks, axis lines,
// tick labels) and the plot area inside it (pict1: background, marks, curves
// in the scene's user coordinate system, clipped to the area). `target` is
// the frame's rectangle in the painter's device; twips are scaled to it.
void paintScene(QPainter& painter, const PlotScene& scene, const QRectF& target);

// The scene as an image of the frame's size at `dpi` dots per inch
// (1440 twips = 1 inch).
QImage renderSceneImage(const PlotScene& scene, double dpi);

} // namespace kalibron
