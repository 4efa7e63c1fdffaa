#pragma once

#include <vector>

#include "analysis/plot_scene.h"

namespace kalibron {

struct Store;

// pict1_MouseDown's work: with the left button, toggles Rejected() of every
// point with a positive Y inside 0.5 % of the visible width and height around
// (x, y) (data units of `scale`), and returns the boxes to draw at once: red
// for a newly rejected point, black for one taken back. Other buttons: nothing.
PrimitiveList togglePointsAt(Store& store, const PlotScale& scale, double x, double y, bool leftButton = true);

} // namespace kalibron
