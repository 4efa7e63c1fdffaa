#include "regression/least_squares_line.h"

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

} // namespace kalibron
