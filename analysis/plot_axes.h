#pragma once

#include "core/number_format.h"
#include "analysis/plot_scale.h"
#include "analysis/plot_scene.h"

namespace kalibron {

struct Store;

// Where the plot area pict1 lies inside the frame pict2, in frame twips.
struct FrameOffsets {
    double plotOffsetX = 0; // left edge of the plot area
    double plotBottomY = 0; // bottom edge of the plot area
};
FrameOffsets frameOffsets(const PlotGeometry& geometry);

// A mark for every present Y at 0..lastPosition(), red when rejected: with a
// Y_ERROR column (nCols > 2) a horizontal stroke of ±MarkDX and an error bar
// of ±Yerr (left out when Yerr is 0 or missing), with two columns a box of
// ±MarkDX × ±MarkDY; no mark for any other column count.
void drawMarks(const Store& store, PlotScene& scene);

// Y axis in pict1 at X = 0, minor ticks (50 twips) and labelled major ticks
// (90 twips, ten minor steps) in pict2 from Y = 0 upwards; only values at or
// above the bottom edge get a tick, and none below 0. A major tick on the
// bottom edge itself gets its tick and label only when the rules say so.
// Labels go to lblY(0), lblY(1), ... from the bottom up; a major tick beyond
// the last label control keeps its tick and gets no label. The loops start
// at the first step at or above the bottom edge, so the work depends on the
// visible range only, not on how far the data lie from 0.
void drawYAxis(PlotScene& scene, const YSpan& span, bool yFull, const FrameOffsets& frame, const NumberLocale& locale,
               const AxisRules& rules = defaultAxisRules());

// X axis line and ticks in pict2, placed by position between TickX0 (0, or
// FirstX in Zoom, which also gets a substitute Y axis) and maxX across 95 % of
// the plot width, spaced by the rules' X tick table (no ticks where it has
// none for maxX); labels every major step while a label control is left.
void drawXAxis(PlotScene& scene, double maxX, int lastPosition, int firstX, bool xFull, double marginX,
               const FrameOffsets& frame, const NumberLocale& locale, const AxisRules& rules = defaultAxisRules());

} // namespace kalibron
