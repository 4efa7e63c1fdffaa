#include "analysis/point_rejection.h"

#include <cmath>

#include "core/store.h"
#include "analysis/scene_items.h"

namespace kalibron {

PrimitiveList togglePointsAt(Store& store, const PlotScale& scale, double x, double y, bool leftButton)
{
    PrimitiveList boxes;
    if (!leftButton)
        return boxes;
    // Half a percent of the visible range, so the target shrinks with a zoom.
    const double toleranceX = 0.005 * scale.width;
    const double toleranceY = 0.005 * std::fabs(scale.height);
    const double dx = store.MarkDX;
    const double dy = store.MarkDY;
    const int last = store.lastPosition();
    for (int p = 0; p <= last; ++p) {
        const auto i = static_cast<std::size_t>(p);
        if (!store.Y[i].positive())
            continue;
        const double value = store.Y[i].value();
        const bool inside =
            p > x - toleranceX && p < x + toleranceX && value > y - toleranceY && value < y + toleranceY;
        if (!inside)
            continue;
        ValueCell& rejected = store.Rejected[i];
        if (rejected.value() < 1) {
            addBox(boxes, Canvas::Plot, p - dx, value - dy, p + dx, value + dy, colours::kRed);
            rejected = ValueCell(1.0);
        } else if (rejected.value() > 0) {
            addBox(boxes, Canvas::Plot, p - dx, value - dy, p + dx, value + dy, colours::kBlack);
            rejected = ValueCell(0.0);
        }
    }
    return boxes;
}

} // namespace kalibron
