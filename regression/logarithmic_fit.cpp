#include "regression/logarithmic_fit.h"

#include <cmath>
#include <vector>

#include "core/messages.h"
#include "core/store.h"
#include "regression/least_squares_line.h"
#include "regression/linear_fit.h"
#include "regression/result_cell.h"

namespace kalibron {

namespace {

// ln X of a position. Every recalculation needs it twice per used point, so
// the values for the positions of the data model are worked out once.
double lnPosition(int x)
{
    static const std::vector<double> table = [] {
        std::vector<double> t(static_cast<std::size_t>(ProgramSettings{}.positionBound) + 1);
        for (std::size_t k = 1; k < t.size(); ++k)
            t[k] = std::log(static_cast<double>(k));
        return t;
    }();
    return static_cast<std::size_t>(x) < table.size() ? table[static_cast<std::size_t>(x)]
                                                      : std::log(static_cast<double>(x));
}

} // namespace

void Logarithmic_Calc(Store& store, MessageSink& messages)
{
    const UsedPoints points = usedPoints(store, 1, store.lastPosition(), lnPosition);
    if (points.x.size() < 3) {
        messages.show(Message{kTooFewRegressionDataMessage});
        store.LogB = ValueCell::emptyText();
        store.LogA = ValueCell::emptyText();
        store.LogR = ValueCell::emptyText();
        return;
    }
    storeLine(store, fitLine(points.x, points.y), {store.LogA, store.LogB, store.LogR, store.LogDev, store.LogDevPct});
}

} // namespace kalibron
