#include "ui/regression_window/scene_items.h"

#include <cmath>

namespace kalibron {

namespace {

bool finite(double x1, double y1, double x2, double y2)
{
    return std::isfinite(x1) && std::isfinite(y1) && std::isfinite(x2) && std::isfinite(y2);
}

} // namespace

bool addSegment(std::vector<Primitive>& items, Canvas canvas, double x1, double y1, double x2, double y2,
                Rgb colour)
{
    if (!finite(x1, y1, x2, y2))
        return false;
    items.emplace_back(Segment{canvas, x1, y1, x2, y2, colour});
    return true;
}

bool addBox(std::vector<Primitive>& items, Canvas canvas, double x1, double y1, double x2, double y2, Rgb colour)
{
    if (!finite(x1, y1, x2, y2))
        return false;
    items.emplace_back(Box{canvas, x1, y1, x2, y2, colour});
    return true;
}

bool addFilledBox(std::vector<Primitive>& items, Canvas canvas, double x1, double y1, double x2, double y2,
                  Rgb colour)
{
    if (!finite(x1, y1, x2, y2))
        return false;
    items.emplace_back(FilledBox{canvas, x1, y1, x2, y2, colour});
    return true;
}

} // namespace kalibron
