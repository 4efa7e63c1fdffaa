#include "ui/regression_window/scene_painter.h"

#include <QBuffer>
#include <QFont>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QSvgGenerator>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <variant>
#include <vector>

#include "analysis/plot_scene.h"

namespace kalibron {

namespace {

constexpr double kTwipsPerInch = 1440.0;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// isValidPoint, inlined: the painters test every end of every segment.
inline bool finitePoint(const QPointF& p) { return std::isfinite(p.x()) && std::isfinite(p.y()); }

bool usableScale(const PlotScale& scale)
{
    return std::isfinite(scale.left) && std::isfinite(scale.top) && std::isfinite(scale.width) &&
        std::isfinite(scale.height) && scale.width != 0 && scale.height != 0;
}

// Liang-Barsky: cuts the segment to `clip`; false when nothing of it is
// inside. Cutting before painting keeps far-off coordinates (a steep
// polynomial outside its data) away from the rasteriser, and drops the many
// segments of a large data set that lie outside a zoomed view. A cut end is
// put exactly on the edge it crosses and its other coordinate is found from
// the slope, not as start + t * delta: with ends near 1e100 the latter
// cancels to noise.
bool clipSegment(QPointF& a, QPointF& b, const QRectF& clip)
{
    const auto inside = [&clip](const QPointF& p) {
        return p.x() >= clip.left() && p.x() <= clip.right() && p.y() >= clip.top() && p.y() <= clip.bottom();
    };
    if (inside(a) && inside(b))
        return true;
    const double dx = b.x() - a.x();
    const double dy = b.y() - a.y();
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x() - clip.left(), clip.right() - a.x(), a.y() - clip.top(), clip.bottom() - a.y()};
    const double edge[4] = {clip.left(), clip.right(), clip.top(), clip.bottom()};
    double t0 = 0.0;
    double t1 = 1.0;
    int edge0 = -1;
    int edge1 = -1;
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0) {
            if (t > t1)
                return false;
            if (t > t0) {
                t0 = t;
                edge0 = i;
            }
        } else {
            if (t < t0)
                return false;
            if (t < t1) {
                t1 = t;
                edge1 = i;
            }
        }
    }
    const QPointF start = a;
    auto onEdge = [&](int i) {
        if (i < 2)
            return QPointF(edge[i], start.y() + (edge[i] - start.x()) * (dy / dx));
        return QPointF(start.x() + (edge[i] - start.y()) * (dx / dy), edge[i]);
    };
    if (edge0 >= 0)
        a = onEdge(edge0);
    if (edge1 >= 0)
        b = onEdge(edge1);
    return finitePoint(a) && finitePoint(b);
}

// Joins connected lines of one colour into polylines and draws each in one
// call. Lines of one colour may be drawn in any order, so a few polylines
// stay open at once (the band's upper and lower edges come alternately); a
// new colour draws them all first, so later colours lie on top as the scene
// orders them. A large data set has some forty curve steps per pixel
// column: a point within 0.75 px of the last one kept is held back and only
// drawn when the line moves on or ends, which keeps every drawn vertex within
// a pixel of the true curve and the vertex count near the number of pixels.
class LineBatch {
public:
    // Lines are never filled, the paths of short lines included.
    explicit LineBatch(QPainter& painter) : m_painter(painter) { m_painter.setBrush(Qt::NoBrush); }
    ~LineBatch() { finishAll(); }
    LineBatch(const LineBatch&) = delete;
    LineBatch& operator=(const LineBatch&) = delete;

    void add(const QPointF& a, const QPointF& b, const Rgb& colour)
    {
        if (!(colour == m_colour)) {
            finishAll();
            m_colour = colour;
        }
        OpenLine* line = nullptr;
        // Exact equality: the ends of connected lines are the same mapped
        // numbers (QPointF's own == is a fuzzy compare, far slower).
        for (OpenLine& open : m_open) {
            if (!open.points.empty() && open.end.x() == a.x() && open.end.y() == a.y()) {
                line = &open;
                break;
            }
        }
        if (!line) {
            line = &m_open[m_next];
            m_next = (m_next + 1) % m_open.size();
            finish(*line);
            line->points.push_back(a);
        }
        if (close(b, line->points.back())) {
            line->pending = b;
            line->hasPending = true;
        } else {
            if (line->hasPending)
                line->points.push_back(line->pending);
            line->hasPending = false;
            line->points.push_back(b);
        }
        line->end = b;
    }

    // A filled rectangle under the lines still to come: what is batched so
    // far is drawn first, so the scene's order holds.
    void fill(const QRectF& rect, const Rgb& colour)
    {
        finishAll();
        m_painter.fillRect(rect, toQColor(colour));
    }

private:
    struct OpenLine {
        std::vector<QPointF> points;
        QPointF end;
        QPointF pending;
        bool hasPending = false;
    };

    static bool close(const QPointF& p, const QPointF& q)
    {
        return std::abs(p.x() - q.x()) < 0.75 && std::abs(p.y() - q.y()) < 0.75;
    }

    void finishAll()
    {
        for (OpenLine& line : m_open)
            finish(line);
        if (!m_loose.isEmpty()) {
            setPen();
            m_painter.drawPath(m_loose);
            m_loose.clear();
        }
    }

    void setPen()
    {
        if (!m_penSet || !(m_penColour == m_colour)) {
            QPen pen(toQColor(m_colour));
            pen.setCosmetic(true);
            pen.setWidth(1);
            m_painter.setPen(pen);
            m_penColour = m_colour;
            m_penSet = true;
        }
    }

    void finish(OpenLine& line)
    {
        if (line.points.empty())
            return;
        if (line.hasPending)
            line.points.push_back(line.pending);
        line.hasPending = false;
        if (line.points.size() == 1)
            line.points.push_back(line.points.front());
        if (line.points.size() <= kLoosePoints) {
            m_loose.moveTo(line.points.front());
            for (std::size_t i = 1; i < line.points.size(); ++i)
                m_loose.lineTo(line.points[i]);
        } else {
            setPen();
            m_painter.drawPolyline(line.points.data(), static_cast<int>(line.points.size()));
        }
        line.points.clear();
    }

    QPainter& m_painter;
    Rgb m_colour;
    Rgb m_penColour;
    bool m_penSet = false;
    std::array<OpenLine, 4> m_open;
    // Short lines of m_colour (ticks, marks, box sides), drawn as one path:
    // an SVG file then holds one element for them, not one each.
    static constexpr std::size_t kLoosePoints = 5;
    QPainterPath m_loose;
    std::size_t m_next = 0;
};

// Maps coordinates of one canvas to device pixels and feeds the batch.
template <typename Map>
void addItems(LineBatch& batch, const PlotScene& scene, Canvas canvas, const QRectF& clip, Map map)
{
    auto addLine = [&](QPointF a, QPointF b, const Rgb& colour) {
        if (!finitePoint(a) || !finitePoint(b))
            return;
        if (clipSegment(a, b, clip))
            batch.add(a, b, colour);
    };
    for (const Primitive& item : scene.items) {
        if (const auto* segment = std::get_if<Segment>(&item)) {
            if (segment->canvas == canvas)
                addLine(map(segment->x1, segment->y1), map(segment->x2, segment->y2), segment->colour);
        } else if (const auto* line = std::get_if<Polyline>(&item)) {
            if (line->canvas != canvas)
                continue;
            // Step by step through the same clipping as single segments: the
            // batch joins the steps again into one drawPolyline with the
            // line's pen, and a step that leaves the plot is cut as before.
            for (std::size_t k = 0; k + 1 < line->ys.size(); ++k) {
                const double x = line->x0 + static_cast<double>(k);
                addLine(map(x, line->ys[k]), map(x + 1, line->ys[k + 1]), line->colour);
            }
        } else if (const auto* box = std::get_if<Box>(&item)) {
            if (box->canvas != canvas)
                continue;
            const QPointF a = map(box->x1, box->y1);
            const QPointF c = map(box->x2, box->y2);
            const QPointF b(c.x(), a.y());
            const QPointF d(a.x(), c.y());
            addLine(a, b, box->colour);
            addLine(b, c, box->colour);
            addLine(c, d, box->colour);
            addLine(d, a, box->colour);
        } else if (const auto* fill = std::get_if<FilledBox>(&item)) {
            if (fill->canvas != canvas)
                continue;
            const QPointF a = map(fill->x1, fill->y1);
            const QPointF c = map(fill->x2, fill->y2);
            if (!finitePoint(a) || !finitePoint(c))
                continue;
            const QRectF rect = QRectF(a, c).normalized().intersected(clip);
            if (!rect.isEmpty())
                batch.fill(rect, fill->colour);
        }
    }
}

QSizeF frameScale(const PlotGeometry& geometry, const QRectF& frame)
{
    return {frame.width() / geometry.frameWidth, frame.height() / geometry.frameHeight};
}

} // namespace

QColor toQColor(const Rgb& colour) { return QColor(colour.r, colour.g, colour.b); }

QRectF plotRectInFrame(const PlotGeometry& geometry, const QRectF& frame)
{
    const QSizeF s = frameScale(geometry, frame);
    return {frame.left() + (geometry.plotLeft - geometry.frameLeft) * s.width(),
            frame.top() + (geometry.plotTop - geometry.frameTop) * s.height(), geometry.plotWidth * s.width(),
            geometry.plotHeight * s.height()};
}

QPointF dataToPixel(const PlotScale& scale, const QSizeF& plotSize, double x, double y)
{
    if (!usableScale(scale) || !std::isfinite(x) || !std::isfinite(y))
        return {kNaN, kNaN};
    return {(x - scale.left) / scale.width * plotSize.width(), (y - scale.top) / scale.height * plotSize.height()};
}

QPointF pixelToData(const PlotScale& scale, const QSizeF& plotSize, const QPointF& pixel)
{
    if (!usableScale(scale) || plotSize.width() <= 0 || plotSize.height() <= 0)
        return {kNaN, kNaN};
    return {scale.left + pixel.x() / plotSize.width() * scale.width,
            scale.top + pixel.y() / plotSize.height() * scale.height};
}

bool isValidPoint(const QPointF& point) { return std::isfinite(point.x()) && std::isfinite(point.y()); }

QRectF tickLabelRect(const TickLabel& label, const QSizeF& textSize, const QSizeF& twipsToPixel)
{
    if (label.axis == TickLabel::Axis::X) {
        const double centre = (label.left + label.width / 2) * twipsToPixel.width();
        return {centre - textSize.width() / 2, label.top * twipsToPixel.height(), textSize.width(), textSize.height()};
    }
    const double right = (label.left + label.width) * twipsToPixel.width();
    const double middle = (label.top + 0.4 * label.height) * twipsToPixel.height();
    return {right - textSize.width(), middle - textSize.height() / 2, textSize.width(), textSize.height()};
}

void paintFrame(QPainter& painter, const PlotScene& scene, const QRectF& frame, bool withLabels)
{
    painter.save();
    painter.fillRect(frame, toQColor(colours::kFrameBackground));
    const QSizeF s = frameScale(scene.geometry, frame);
    {
        LineBatch batch(painter);
        addItems(batch, scene, Canvas::Frame, frame.adjusted(-1, -1, 1, 1), [&](double x, double y) {
            return std::isfinite(x) && std::isfinite(y)
                ? QPointF(frame.left() + x * s.width(), frame.top() + y * s.height())
                : QPointF(kNaN, kNaN);
        });
    }
    if (withLabels) {
        painter.setPen(toQColor(colours::kBlack));
        // The size the scene's labels were spaced for (tick_labels.h).
        QFont font = painter.font();
        font.setPixelSize(std::max(1, static_cast<int>(std::lround(scene.geometry.labelFontTwips * s.height()))));
        painter.setFont(font);
        const QFontMetricsF metrics(painter.font());
        for (const TickLabel& label : scene.labels) {
            const QString text = QString::fromStdString(label.text);
            const QSizeF size(metrics.horizontalAdvance(text), metrics.height());
            const QRectF rect = tickLabelRect(label, size, s).translated(frame.topLeft());
            painter.drawText(rect, Qt::AlignCenter, text);
        }
    }
    painter.restore();
}

void paintPlot(QPainter& painter, const PlotScene& scene, const QRectF& plotRect, const QColor& background)
{
    painter.save();
    painter.setClipRect(plotRect);
    painter.fillRect(plotRect, background);
    if (usableScale(scene.scale)) {
        LineBatch batch(painter);
        // dataToPixel, with its factors worked out once for the whole scene.
        const double sx = plotRect.width() / scene.scale.width;
        const double sy = plotRect.height() / scene.scale.height;
        const PlotScale& scale = scene.scale;
        const QPointF origin = plotRect.topLeft();
        addItems(batch, scene, Canvas::Plot, plotRect.adjusted(-1, -1, 1, 1), [&](double x, double y) {
            return QPointF(origin.x() + (x - scale.left) * sx, origin.y() + (y - scale.top) * sy);
        });
    }
    painter.restore();
}

void paintScene(QPainter& painter, const PlotScene& scene, const QRectF& target)
{
    paintFrame(painter, scene, target, true);
    paintPlot(painter, scene, plotRectInFrame(scene.geometry, target), toQColor(colours::kPlotBackground));
}

namespace {

// The frame's size in pixels at `dpi` (1440 twips = 1 inch), at least 1 × 1.
QSize imageSize(const PlotScene& scene, double dpi)
{
    const int width = static_cast<int>(std::lround(scene.geometry.frameWidth / kTwipsPerInch * dpi));
    const int height = static_cast<int>(std::lround(scene.geometry.frameHeight / kTwipsPerInch * dpi));
    return {std::max(width, 1), std::max(height, 1)};
}

} // namespace

QImage renderSceneImage(const PlotScene& scene, double dpi)
{
    const QSize size = imageSize(scene, dpi);
    QImage image(size, QImage::Format_RGB32);
    const int dotsPerMetre = static_cast<int>(std::lround(dpi / 0.0254));
    image.setDotsPerMeterX(dotsPerMetre);
    image.setDotsPerMeterY(dotsPerMetre);
    image.fill(Qt::white);
    QPainter painter(&image);
    paintScene(painter, scene, QRectF(0, 0, image.width(), image.height()));
    return image;
}

QByteArray renderSceneSvg(const PlotScene& scene, double dpi)
{
    const QSize size = imageSize(scene, dpi);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator generator;
    generator.setOutputDevice(&buffer);
    generator.setSize(size);
    generator.setViewBox(QRect(QPoint(0, 0), size));
    generator.setResolution(static_cast<int>(std::lround(dpi)));
    generator.setTitle(QStringLiteral("KALIBRON plot"));
    QPainter painter;
    if (!painter.begin(&generator))
        return {};
    // The family the image's text is drawn in, by its own name: the default
    // family's alias ("Sans Serif") means nothing to an SVG viewer.
    QFont font = painter.font();
    font.setFamily(QFontInfo(font).family());
    painter.setFont(font);
    paintScene(painter, scene, QRectF(QPointF(0, 0), QSizeF(size)));
    if (!painter.end())
        return {};
    return bytes;
}

} // namespace kalibron
