#include "regression/linear_fit.h"

#include <cmath>

#include "core/messages.h"
#include "core/store.h"
#include "regression/least_squares_line.h"
#include "regression/result_cell.h"

namespace kalibron {

void Linear_Calc(Store& store, MessageSink& messages)
{
    const int last = store.lastPosition();

    // n is the number of points actually summed: a present Y that is not
    // positive counts in nPoints but not in the sums, and dividing the sums
    // by nPoints would then give a wrong line. One pass finds the count, the
    // first two points and the sums; the sums are stored only for n >= 3.
    LineSums sums;
    int x1 = 0, x2 = 0;
    double y1 = 0, y2 = 0;
    for (int x = 0; x <= last; ++x) {
        if (!store.isUsed(x))
            continue;
        const double y = store.Y[static_cast<std::size_t>(x)].value();
        if (sums.n == 0) {
            x1 = x;
            y1 = y;
        } else if (sums.n == 1) {
            x2 = x;
            y2 = y;
        }
        sums.add(x, y);
    }
    const int n = sums.n;

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
        const double b = (y2 - y1) / (x2 - x1);
        const double a = y1 - x1 * b;
        const bool finite = std::isfinite(a) && std::isfinite(b);
        store.LinB = finite ? ValueCell(b) : ValueCell::emptyText();
        store.LinA = finite ? ValueCell(a) : ValueCell::emptyText();
        return;
    }

    storeLine(store, sums, {store.LinA, store.LinB, store.LinR, store.LinDev, store.LinDevPct}, 0, last,
              [](int x) { return static_cast<double>(x); });
}

} // namespace kalibron
