#pragma once

#include <cmath>
#include <optional>
#include <span>
#include <vector>

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

// A least-squares line through points (x_i, y_i), y_i > 0: the sums, the
// coefficients by solveLine and the mean deviations of the points from it
// (dev, devPct empty when the line is). The one kernel of the linear and
// the logarithmic regression, which hand it x or ln x.
struct LineFit {
    LineSums sums;
    LineCoefficients line;
    std::optional<double> dev, devPct;
};
LineFit fitLine(std::span<const double> x, std::span<const double> y);

// The used points (Y positive, Rejected < 1) at positions first..last as
// arrays: abscissa(X) and Y(X), in increasing X.
struct UsedPoints {
    std::vector<double> x, y;
};
template <class Abscissa> UsedPoints usedPoints(const Store& store, int first, int last, Abscissa abscissa)
{
    UsedPoints points;
    for (int x = first; x <= last; ++x) {
        if (store.isUsed(x)) {
            points.x.push_back(abscissa(x));
            points.y.push_back(store.Y[static_cast<std::size_t>(x)].value());
        }
    }
    return points;
}

// The five results of a fitted line as the store keeps them.
struct LineResultCells {
    ValueCell& a;
    ValueCell& b;
    ValueCell& r;
    ValueCell& dev;
    ValueCell& devPct;
};

// Keeps the fit's sums as the store's working sums and its results in the
// cells; results that cannot be computed are left as the empty text.
void storeLine(Store& store, const LineFit& fit, LineResultCells cells);

} // namespace kalibron
