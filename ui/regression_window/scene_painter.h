#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QSizeF>

class QFont;
class QPainter;

namespace kalibron {

struct PlotGeometry;
struct PlotScale;
struct PlotScene;
struct TickLabel;
struct Rgb;

QColor toQColor(const Rgb& colour);

// Where pict1 lies when pict2 occupies `frame` (pixels of the same device):
// the fixed twips layout of the two boxes, scaled to the frame.
QRectF plotRectInFrame(const PlotGeometry& geometry, const QRectF& frame);

// Data units of pict1's user scale <-> pixels of a plot area of size
// `plotSize` whose top left corner is (0, 0). A degenerate scale (zero or
// non-finite width or height) maps nothing: the result is nullopt-like
// {NaN, NaN}, so callers must test with isValidPoint().
QPointF dataToPixel(const PlotScale& scale, const QSizeF& plotSize, double x, double y);
QPointF pixelToData(const PlotScale& scale, const QSizeF& plotSize, const QPointF& pixel);
bool isValidPoint(const QPointF& point);

// Rectangle of a tick label's text of size `textSize` (pixels), relative to
// the frame's top left corner, `twipsToPixel` being the frame's scale factors.
// X labels are centred on their tick; Y labels are right-aligned in their
// column and centred where the label's top + 0.4 of its height lies, which is
// the tick the calculation placed them against.
QRectF tickLabelRect(const TickLabel& label, const QSizeF& textSize, const QSizeF& twipsToPixel);

// Paints the frame (pict2): background and the frame's segments and boxes,
// and the tick labels when `withLabels` (the window shows them as child
// labels instead, so it passes false).
void paintFrame(QPainter& painter, const PlotScene& scene, const QRectF& frame, bool withLabels);

// Paints the plot area (pict1) into `plotRect`: `background`, then the plot
// items through the scene's user scale, clipped to the area.
void paintPlot(QPainter& painter, const PlotScene& scene, const QRectF& plotRect, const QColor& background);

// Paints a whole plot scene: the frame (pict2: background, ticks, axis lines,
// tick labels) and the plot area inside it (pict1: background, marks, curves
// in the scene's user coordinate system, clipped to the area). `target` is
// the frame's rectangle in the painter's device; twips are scaled to it.
void paintScene(QPainter& painter, const PlotScene& scene, const QRectF& target);

// The scene as an image of the frame's size at `dpi` dots per inch
// (1440 twips = 1 inch).
QImage renderSceneImage(const PlotScene& scene, double dpi);

// The same scene as an SVG document of the same size in pixels, drawn by
// the same painting through QSvgGenerator: the SVG and the PNG of a scene
// place every line and label alike. Empty when the document cannot be made.
// Text needs a QGuiApplication, as for the image.
QByteArray renderSceneSvg(const PlotScene& scene, double dpi);

} // namespace kalibron
