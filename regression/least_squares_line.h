#pragma once

#include <cmath>
#include <optional>

#include "core/store.h"
#include "regression/result_cell.h"

namespace kalibron {

// Running sums of a straight-line least-squares fit. The linear and the
// logarithmic regression share them; the logarithmic one adds ln X as x.
struct LineSums {
    int n = 0;
    double sumX = 0, sumX2 = 0, sumY = 0, sumY2 = 0, sumXY = 0;

    void add(double x, double y)
    {
        ++n;
        sumX += x;
        sumX2 += x * x;
        sumY += y;
        sumY2 += y * y;
        sumXY += x * y;
    }
};

struct LineCoefficients {
    std::optional<double> a, b, r;
};

// Least-squares line y = a + b·x from its sums:
//   b = (n·Σxy − Σx·Σy) / (n·Σx² − (Σx)²)
//   a = (Σy − b·Σx) / n
//   r = (n·Σxy − Σx·Σy) / √((n·Σy² − (Σy)²)·(n·Σx² − (Σx)²))
// The spreads n·Σx² − (Σx)² and n·Σy² − (Σy)² are differences of large,
// nearly equal numbers; one that is not above 1e-14·n·Σx² (resp. n·Σy²) is
// rounding noise, not data, and counts as zero. A vanishing x spread (all
// points at one x, or n < 2) leaves a, b and r empty; a vanishing y spread
// (all y equal) leaves only r empty. No result is ever inf or nan.
LineCoefficients solveLine(const LineSums& sums);

// Mean absolute and mean relative deviation of points from a fitted curve:
// dev = Σ|f − y| / n, devPct = 100·Σ(|f − y| / y) / n. The points must have
// y > 0 (every used point has). Empty for n = 0 or a non-finite mean.
struct DeviationSums {
    int n = 0;
    double absSum = 0, relSum = 0;

    void add(double fitted, double y)
    {
        const double d = std::abs(fitted - y);
        ++n;
        absSum += d;
        relSum += d / y;
    }
    std::optional<double> meanAbs() const;
    std::optional<double> meanPct() const;
};

// The five results of a fitted line as the store keeps them.
struct LineResultCells {
    ValueCell& a;
    ValueCell& b;
    ValueCell& r;
    ValueCell& dev;
    ValueCell& devPct;
};

// Keeps the sums as the store's working sums, solves the line into the cells
// and takes the mean deviations of the used points at positions first..last,
// whose abscissa is abscissa(x) (x itself, or ln x). Results that cannot be
// computed are left as the empty text.
template <class Abscissa>
void storeLine(Store& store, const LineSums& sums, LineResultCells cells, int first, int last, Abscissa abscissa)
{
    store.SumX = sums.sumX;
    store.SumX2 = sums.sumX2;
    store.SumY = sums.sumY;
    store.SumY2 = sums.sumY2;
    store.SumXY = sums.sumXY;

    const LineCoefficients line = solveLine(sums);
    cells.b = resultCell(line.b);
    cells.a = resultCell(line.a);
    cells.r = resultCell(line.r);
    if (!line.a || !line.b) {
        cells.dev = ValueCell::emptyText();
        cells.devPct = ValueCell::emptyText();
        return;
    }
    DeviationSums dev;
    for (int x = first; x <= last; ++x) {
        if (store.isUsed(x))
            dev.add(*line.a + *line.b * abscissa(x), store.Y[static_cast<std::size_t>(x)].value());
    }
    cells.dev = resultCell(dev.meanAbs());
    cells.devPct = resultCell(dev.meanPct());
}

} // namespace kalibron
