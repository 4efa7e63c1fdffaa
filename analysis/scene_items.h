#pragma once

#include <cmath>
#include <vector>

#include "analysis/plot_scene.h"

namespace kalibron {

// Append a segment, a box outline or a filled box unless one of its
// coordinates is not finite: such an item has no place on screen (the log
// curve at X = 0, a fit that overflowed), and a painter must never receive
// inf or nan. Returns whether the item was added. Inline: a large data set
// adds a quarter of a million segments per calculation.
inline bool finiteCorners(double x1, double y1, double x2, double y2)
{
    return std::isfinite(x1) && std::isfinite(y1) && std::isfinite(x2) && std::isfinite(y2);
}

inline bool addSegment(PrimitiveList& items, Canvas canvas, double x1, double y1, double x2, double y2, Rgb colour)
{
    if (!finiteCorners(x1, y1, x2, y2))
        return false;
    // Braces, not emplace's parentheses: clang 14 (the fuzz build) cannot yet
    // initialise an aggregate from a parenthesised list.
    items.push_back(Segment{canvas, x1, y1, x2, y2, colour});
    return true;
}

bool addBox(PrimitiveList& items, Canvas canvas, double x1, double y1, double x2, double y2, Rgb colour);
bool addFilledBox(PrimitiveList& items, Canvas canvas, double x1, double y1, double x2, double y2, Rgb colour);

} // namespace kalibron
