#include "analysis/scene_items.h"

#include <cmath>

namespace kalibron {

bool addBox(PrimitiveList& items, Canvas canvas, double x1, double y1, double x2, double y2, Rgb colour)
{
    if (!finiteCorners(x1, y1, x2, y2))
        return false;
    items.emplace_back(Box{canvas, x1, y1, x2, y2, colour});
    return true;
}

bool addFilledBox(PrimitiveList& items, Canvas canvas, double x1, double y1, double x2, double y2, Rgb colour)
{
    if (!finiteCorners(x1, y1, x2, y2))
        return false;
    items.emplace_back(FilledBox{canvas, x1, y1, x2, y2, colour});
    return true;
}

} // namespace kalibron
