#include "regression/confidence_band.h"

#include <algorithm>
#include <cmath>

#include "core/store.h"
#include "regression/least_squares_line.h"
#include "regression/result_cell.h"

namespace kalibron {

bool Confidence_Calc(Store& store)
{
    if (!store.Student.loaded || !store.ProbIndex || *store.ProbIndex < 1 || *store.ProbIndex > 6)
        return false;
    const auto a = resultNumber(store.LinA);
    const auto b = resultNumber(store.LinB);
    if (!a || !b)
        return false;

    const UsedPoints points = usedPoints(store, 1, store.lastPosition(), [](int x) { return static_cast<double>(x); });
    const auto band = bandQuantities(points.x, points.y, *a, *b);
    if (!band)
        return false;
    const int n = band->n;
    store.tValue = store.Student.at(*store.ProbIndex, n < 103 ? n - 2 : 101);
    store.ConfN = n;
    store.ConfXMean = band->mean;
    store.ConfSxx = band->sxx;
    store.ConfS = resultCell(band->s);
    store.LinFit = band->lastFit;
    return true;
}

std::optional<BandQuantities> bandQuantities(std::span<const double> x, std::span<const double> y, double a, double b)
{
    const std::size_t count = std::min(x.size(), y.size());
    if (count < 3)
        return std::nullopt;
    BandQuantities band;
    band.n = static_cast<int>(count);
    double sum = 0, ssr = 0;
    for (std::size_t i = 0; i < count; ++i) {
        sum += x[i];
        band.lastFit = a + b * x[i];
        const double r = y[i] - band.lastFit;
        ssr += r * r;
    }
    band.mean = sum / band.n;
    for (std::size_t i = 0; i < count; ++i)
        band.sxx += (x[i] - band.mean) * (x[i] - band.mean);
    band.s = std::sqrt(ssr / (band.n - 2));
    return band;
}

std::optional<ConfidenceBand> confidenceBand(const Store& store)
{
    if (store.ConfN < 3)
        return std::nullopt;
    const auto t = resultNumber(store.tValue);
    const auto s = resultNumber(store.ConfS);
    const auto sxx = resultNumber(store.ConfSxx);
    const auto mean = resultNumber(store.ConfXMean);
    if (!t || !s || !sxx || !mean || !(*sxx > 0))
        return std::nullopt;
    ConfidenceBand band;
    band.ts = *t * *s;
    band.invN = 1.0 / store.ConfN;
    band.invSxx = 1.0 / *sxx;
    band.mean = *mean;
    if (!std::isfinite(band.ts) || !std::isfinite(band.invSxx))
        return std::nullopt;
    return band;
}

std::optional<double> confidenceHalfWidth(const Store& store, double x)
{
    const auto band = confidenceBand(store);
    if (!band)
        return std::nullopt;
    const double h = band->at(x);
    if (!std::isfinite(h))
        return std::nullopt;
    return h;
}

} // namespace kalibron
