#include "regression/confidence_band.h"

#include <cmath>

#include "core/store.h"
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

    const int last = store.lastPosition();
    int n = 0;
    double sum = 0, ssr = 0, fit = 0;
    for (int x = 1; x <= last; ++x) {
        if (!store.isUsed(x))
            continue;
        ++n;
        sum += x;
        fit = *a + *b * x;
        const double r = store.Y[static_cast<std::size_t>(x)].value() - fit;
        ssr += r * r;
    }
    if (n < 3)
        return false;

    // The spread about the mean needs the mean first: a second pass, rather
    // than Σx² − n·x̄², which loses digits for positions far from 0.
    const double mean = sum / n;
    double sxx = 0;
    for (int x = 1; x <= last; ++x) {
        if (store.isUsed(x))
            sxx += (x - mean) * (x - mean);
    }

    store.tValue = store.Student.at(*store.ProbIndex, n < 103 ? n - 2 : 101);
    store.ConfN = n;
    store.ConfXMean = mean;
    store.ConfSxx = sxx;
    store.ConfS = resultCell(std::sqrt(ssr / (n - 2)));
    store.LinFit = fit;
    return true;
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
