#pragma once

#include <vector>

#include "ui/regression_window/plot_scene.h"

namespace kalibron {

// Append a segment, a box outline or a filled box unless one of its coordinates is not
// finite: such an item has no place on screen (the log curve at X = 0, a fit
// that overflowed), and a painter must never receive inf or nan.
// Returns whether the item was added.
bool addSegment(std::vector<Primitive>& items, Canvas canvas, double x1, double y1, double x2, double y2,
                Rgb colour);
bool addBox(std::vector<Primitive>& items, Canvas canvas, double x1, double y1, double x2, double y2, Rgb colour);
bool addFilledBox(std::vector<Primitive>& items, Canvas canvas, double x1, double y1, double x2, double y2,
                  Rgb colour);

} // namespace kalibron
