#pragma once

#include <limits>
#include <optional>
#include <string_view>
#include <vector>

#include "analysis/plot_scene.h"

namespace kalibron {

struct Store;

// The Y values the plot is scaled to: "Full" spans 0..MaxY, "Zoom" MinY..MaxY.
// A span that is empty or inverted (all values equal, MaxY <= 0 in Full, no
// point at all) is widened to ±10 % of the value, or to 0..1 when the value is
// 0, so that the scale height never vanishes and every later division is defined.
struct YSpan {
    double low = 0, high = 1;
};
YSpan ySpan(double minY, double maxY, bool yFull);

// Largest X the plot is scaled to: MaxX clamped to 0..bound (a non-finite
// MaxX falls back to the last position of the loops).
double plotMaxX(const Store& store);

// pict1's user scale from the two margins:
//  X Full: left 0, width (1 + marginX)·maxX; X Zoom: left firstX,
//  width (1 + marginX)·maxX − firstX; a width that is not positive becomes 1.
//  Y Full: top (1 + marginY)·high, height −(1 + marginY)·high;
//  Y Zoom: top high + marginY·(high − low), height −(1 + 2·marginY)·(high − low).
PlotScale plotScale(double maxX, int firstX, const YSpan& span, bool xFull, bool yFull, double marginX, double marginY);

// Minor Y tick step 10^Int(ln(range)/ln 10) / 10 (the quotient taken as
// written, so a range of exactly 1000 gives 10), with the power of ten of the
// step kept for choosing the label pattern. nullopt for a range that is not
// positive and finite, or a step that is not a usable positive number.
struct YTickStep {
    double step = 0;
    int exponent = 0; // step = 10^exponent
};
std::optional<YTickStep> yTickStep(double range);

// Label pattern of the major Y ticks by the minor step 10^exponent:
// step >= 1 "###,###", above 99999 "0.0E-00", 0.1 "0", 0.01 "0.0",
// 0.001 "0.00", 0.0001 "0.000", 0.00001 "0.0000", smaller "0E-00".
std::string_view yLabelPattern(int exponent);

// One row of an X tick table: the spacing of the ticks for MaxX up to
// `upTo` (included when `upToIncluded`), for MaxX above the previous row.
// A row with minor spacing 0 draws no X ticks and no X labels at all.
struct XTickBand {
    double upTo = 0;
    bool upToIncluded = false;
    int minor = 1;
    int major = 10;
};

// How the axes are ticked. The defaults are those of Kalibron-01:
//  - a labelled major Y tick only above the bottom edge (not on it);
//  - X ticks below 131 every position (labels every 10), up to 2000 every
//    10 (100), up to 20000 every 100 (1000), above every 1000 (10000);
//    2000 and 20000 belong to the lower band so that their 21 labels fit.
struct AxisRules {
    bool yMajorAtBottomEdge = false; // a labelled major tick also at the bottom edge itself
    std::vector<XTickBand> xTicks{{131, false, 1, 10},
                                  {2000, true, 10, 100},
                                  {20000, true, 100, 1000},
                                  {std::numeric_limits<double>::infinity(), true, 1000, 10000}};
};

// Kalibron-01's axis rules, as one shared object (see defaultCalculationRules).
inline const AxisRules& defaultAxisRules()
{
    static const AxisRules rules;
    return rules;
}

// The X tick spacing for MaxX from the first row of `table` that holds it;
// nullopt when no row does or the row draws no ticks.
struct XTickSpacing {
    int minor = 1;
    int major = 10;
};
std::optional<XTickSpacing> xTickSpacing(double maxX, const std::vector<XTickBand>& table = AxisRules{}.xTicks);

} // namespace kalibron
