#include "regression/least_squares_line.h"

#include <algorithm>

namespace kalibron {

namespace {

// Relative size below which a spread is rounding noise of its two terms.
constexpr double kSpreadNoise = 1e-14;

std::optional<double> finiteOrNothing(double v)
{
    if (std::isfinite(v))
        return v;
    return std::nullopt;
}

// big − small, or nothing when the difference is lost in the rounding of big.
std::optional<double> spread(double big, double small)
{
    const double d = big - small;
    if (!std::isfinite(d) || !(d > kSpreadNoise * std::abs(big)))
        return std::nullopt;
    return d;
}

} // namespace

LineCoefficients solveLine(const LineSums& s)
{
    LineCoefficients out;
    if (s.n < 2)
        return out;
    const double n = s.n;
    const auto sxx = spread(n * s.sumX2, s.sumX * s.sumX);
    if (!sxx)
        return out;
    const double sxy = n * s.sumXY - s.sumX * s.sumY;
    out.b = finiteOrNothing(sxy / *sxx);
    if (!out.b)
        return out;
    out.a = finiteOrNothing((s.sumY - *out.b * s.sumX) / n);
    if (!out.a)
        out.b.reset();
    if (const auto syy = spread(n * s.sumY2, s.sumY * s.sumY))
        out.r = finiteOrNothing(sxy / (std::sqrt(*syy) * std::sqrt(*sxx)));
    return out;
}

std::optional<double> DeviationSums::meanAbs() const
{
    if (n <= 0)
        return std::nullopt;
    return finiteOrNothing(absSum / n);
}

std::optional<double> DeviationSums::meanPct() const
{
    if (n <= 0)
        return std::nullopt;
    return finiteOrNothing(100.0 * relSum / n);
}

LineFit fitLine(std::span<const double> x, std::span<const double> y)
{
    LineFit fit;
    const std::size_t n = std::min(x.size(), y.size());
    for (std::size_t i = 0; i < n; ++i)
        fit.sums.add(x[i], y[i]);
    fit.line = solveLine(fit.sums);
    if (!fit.line.a || !fit.line.b)
        return fit;
    DeviationSums dev;
    for (std::size_t i = 0; i < n; ++i)
        dev.add(*fit.line.a + *fit.line.b * x[i], y[i]);
    fit.dev = dev.meanAbs();
    fit.devPct = dev.meanPct();
    return fit;
}

void storeLine(Store& store, const LineFit& fit, LineResultCells cells)
{
    store.SumX = fit.sums.sumX;
    store.SumX2 = fit.sums.sumX2;
    store.SumY = fit.sums.sumY;
    store.SumY2 = fit.sums.sumY2;
    store.SumXY = fit.sums.sumXY;
    cells.b = resultCell(fit.line.b);
    cells.a = resultCell(fit.line.a);
    cells.r = resultCell(fit.line.r);
    cells.dev = resultCell(fit.dev);
    cells.devPct = resultCell(fit.devPct);
}

} // namespace kalibron
