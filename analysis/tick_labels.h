#pragma once

#include <string_view>
#include <vector>

#include "analysis/plot_scene.h"

namespace kalibron {

// Width of `text` in a sans-serif font of `fontTwips` (its em), estimated
// without a font engine so that the scene, built without Qt, can tell where
// labels would collide. It is an upper bound for the fonts the painters use:
// digits, letters and signs 0.64 em (DejaVu Sans digits are 0.636 em, Liberation
// Sans 0.556 em), separators and blanks 0.36 em.
double estimatedTextWidth(std::string_view text, double fontTwips);

// Tick labels never overlap: while two neighbouring labels of `axis` would
// touch (less than a quarter em apart along the axis), every second one is
// left out, by label number so that the labels kept stay at round multiples;
// again, until none touches. Ticks are not affected. X labels are centred on
// their tick and as wide as their text; Y labels are stacked, one line of
// 1.25 em high each.
void thinTickLabels(std::vector<TickLabel>& labels, TickLabel::Axis axis, double fontTwips);

} // namespace kalibron
