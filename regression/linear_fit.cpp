#include "regression/linear_fit.h"

#include <cmath>

#include "core/messages.h"
#include "core/store.h"
#include "regression/least_squares_line.h"
#include "regression/result_cell.h"

namespace kalibron {

void Linear_Calc(Store& store, MessageSink& messages)
{
    // n is the number of points actually used: a present Y that is not
    // positive counts in nPoints but is no point of the fit, and dividing by
    // nPoints would then give a wrong line.
    const UsedPoints points = usedPoints(store, 0, store.lastPosition(), [](int x) { return static_cast<double>(x); });
    const std::size_t n = points.x.size();

    if (n < 2) {
        messages.show(Message{kTooFewRegressionDataMessage});
        store.LinB = ValueCell::emptyText();
        store.LinA = ValueCell::emptyText();
        store.LinR = ValueCell::emptyText();
        return;
    }

    if (n == 2) {
        // The line through the two points. The first point is the first one
        // found, also when it lies at position 0.
        const double b = (points.y[1] - points.y[0]) / (points.x[1] - points.x[0]);
        const double a = points.y[0] - points.x[0] * b;
        const bool finite = std::isfinite(a) && std::isfinite(b);
        store.LinB = finite ? ValueCell(b) : ValueCell::emptyText();
        store.LinA = finite ? ValueCell(a) : ValueCell::emptyText();
        return;
    }

    storeLine(store, fitLine(points.x, points.y), {store.LinA, store.LinB, store.LinR, store.LinDev, store.LinDevPct});
}

} // namespace kalibron
