#include "analysis/plot_axes.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "core/store.h"
#include "analysis/scene_items.h"

namespace kalibron {

namespace {

// Ticks lying a rounding error above the scale top still belong to the axis.
constexpr double kTopTolerance = 1e-9;
// More ticks than this cannot be told apart on the axis; stops a runaway loop.
constexpr long long kMaxTicks = 100000;
// Multiples of a step beyond 2^53 steps are no longer distinct doubles.
constexpr double kMaxExactIndex = 9.0e15;

} // namespace

FrameOffsets frameOffsets(const PlotGeometry& geometry)
{
    return {geometry.plotLeft - geometry.frameLeft, geometry.plotTop - geometry.frameTop + geometry.plotHeight};
}

void drawMarks(const Store& store, PlotScene& scene)
{
    const double dx = store.MarkDX;
    const double dy = store.MarkDY;
    const int last = store.lastPosition();
    for (int x = 0; x <= last; ++x) {
        const auto i = static_cast<std::size_t>(x);
        const ValueCell& cell = store.Y[i];
        if (!cell.present())
            continue;
        const Rgb colour = store.Rejected[i].value() > 0 ? colours::kRed : colours::kBlack;
        const double px = x;
        const double py = cell.value();
        if (store.nCols > 2) {
            addSegment(scene.items, Canvas::Plot, px - dx, py, px + dx, py, colour);
            const double err = store.Yerr[i].value();
            if (err != 0)
                addSegment(scene.items, Canvas::Plot, px, py - err, px, py + err, colour);
        } else if (store.nCols == 2) {
            addBox(scene.items, Canvas::Plot, px - dx, py - dy, px + dx, py + dy, colour);
        }
    }
}

void drawYAxis(PlotScene& scene, const YSpan& span, bool yFull, const FrameOffsets& frame, const NumberLocale& locale,
               const AxisRules& rules)
{
    const PlotScale& scale = scene.scale;
    const PlotGeometry& geometry = scene.geometry;
    double axisY0 = 0;
    if (yFull) {
        addSegment(scene.items, Canvas::Plot, 0, 0, 0, -scale.height, colours::kBlack);
    } else {
        axisY0 = scale.height + scale.top;
        addSegment(scene.items, Canvas::Plot, 0, axisY0, 0, scale.top, colours::kBlack);
    }

    const auto tick = yTickStep(span.high - axisY0);
    if (!tick)
        return;
    const double top = scale.top;
    const double extent = -scale.height;
    auto tickTop = [&](double y) { return frame.plotBottomY - (y - axisY0) / extent * geometry.plotHeight; };
    // First multiple of `step` that can lie at or above the bottom edge; ticks
    // start at 0, so negative values never get one.
    auto firstIndex = [&](double step) {
        const double k = std::ceil(axisY0 / step) - 1;
        return k > 0 ? static_cast<long long>(k) : 0LL;
    };
    // Data so far from 0 that neighbouring ticks are no longer distinct
    // doubles cannot be labelled sensibly; the axis line alone remains.
    if (!(std::fabs(axisY0) / tick->step < kMaxExactIndex))
        return;

    const double minor = tick->step;
    for (long long k = firstIndex(minor), n = 0; n < kMaxTicks; ++k, ++n) {
        const double y = static_cast<double>(k) * minor;
        if (y > top + kTopTolerance * minor)
            break;
        if (y >= axisY0) {
            const double t = tickTop(y);
            addSegment(scene.items, Canvas::Frame, frame.plotOffsetX - 50, t, frame.plotOffsetX, t, colours::kBlack);
        }
    }

    const double major = 10 * minor;
    const std::string_view pattern = yLabelPattern(tick->exponent);
    int label = 0;
    for (long long k = firstIndex(major), n = 0; n < kMaxTicks; ++k, ++n) {
        const double y = static_cast<double>(k) * major;
        if (y > top + kTopTolerance * major)
            break;
        if (!(y > axisY0 || (rules.yMajorAtBottomEdge && y == axisY0)))
            continue;
        const double t = tickTop(y);
        addSegment(scene.items, Canvas::Frame, frame.plotOffsetX - 90, t, frame.plotOffsetX, t, colours::kBlack);
        // A label that shows nothing ("###,###" at 0) takes no control, so
        // it cannot push a visible one out; once every control is used, the
        // higher major ticks go unlabelled rather than drawn off the frame.
        std::string text = formatPattern(y, pattern, locale);
        if (label < geometry.yLabelCount && std::isfinite(t) && !text.empty()) {
            scene.labels.push_back(TickLabel{TickLabel::Axis::Y, label, std::move(text), geometry.yLabelLeft,
                                             t - 0.4 * geometry.yLabelHeight, geometry.yLabelWidth,
                                             geometry.yLabelHeight});
            ++label;
        }
    }
}

void drawXAxis(PlotScene& scene, double maxX, int lastPosition, int firstX, bool xFull, double marginX,
               const FrameOffsets& frame, const NumberLocale& locale, const AxisRules& rules)
{
    const PlotGeometry& geometry = scene.geometry;
    const double axisLength = (1 - marginX) * geometry.plotWidth;
    addSegment(scene.items, Canvas::Frame, frame.plotOffsetX, frame.plotBottomY, frame.plotOffsetX + axisLength,
               frame.plotBottomY, colours::kBlack);

    int tickX0 = 0;
    if (!xFull) {
        tickX0 = firstX;
        // The plot's own Y axis stands at X = 0, out of view when zoomed.
        addSegment(scene.items, Canvas::Frame, frame.plotOffsetX - 25, frame.plotBottomY, frame.plotOffsetX - 25,
                   frame.plotBottomY - geometry.plotHeight, colours::kBlack);
    }
    double span = maxX - tickX0;
    if (!(span > 0))
        span = 1; // a single position still gets its tick at the axis start
    auto xpos = [&](int x) { return frame.plotOffsetX + axisLength * (x - tickX0) / span; };

    const std::optional<XTickSpacing> ticks = xTickSpacing(maxX, rules.xTicks);
    if (!ticks)
        return;
    const XTickSpacing spacing = *ticks;
    for (int x = std::max(tickX0, 0); x <= lastPosition; ++x) {
        if (x % spacing.minor == 0) {
            const double p = xpos(x);
            addSegment(scene.items, Canvas::Frame, p, frame.plotBottomY, p, frame.plotBottomY + 50, colours::kBlack);
        }
        if (x % spacing.major == 0) {
            const double p = xpos(x);
            addSegment(scene.items, Canvas::Frame, p, frame.plotBottomY, p, frame.plotBottomY + 90, colours::kBlack);
            const int label = x / spacing.major;
            if (label < geometry.xLabelCount && std::isfinite(p)) {
                scene.labels.push_back(TickLabel{TickLabel::Axis::X, label, formatGeneral(x, locale),
                                                 p - geometry.xLabelWidth / 2, geometry.xLabelTop, geometry.xLabelWidth,
                                                 geometry.xLabelHeight});
            }
        }
    }
}

} // namespace kalibron
