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
    double sum = 0;
    for (int x = 1; x <= last; ++x) {
        if (store.isUsed(x)) {
            ++n;
            sum += x;
        }
    }
    if (n < 3)
        return false;

    const double mean = sum / n;
    double ssr = 0, sxx = 0, fit = 0;
    for (int x = 1; x <= last; ++x) {
        if (!store.isUsed(x))
            continue;
        fit = *a + *b * x;
        const double r = store.Y[static_cast<std::size_t>(x)].value() - fit;
        ssr += r * r;
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

std::optional<double> confidenceHalfWidth(const Store& store, double x)
{
    if (store.ConfN < 3)
        return std::nullopt;
    const auto t = resultNumber(store.tValue);
    const auto s = resultNumber(store.ConfS);
    const auto sxx = resultNumber(store.ConfSxx);
    const auto mean = resultNumber(store.ConfXMean);
    if (!t || !s || !sxx || !mean || !(*sxx > 0))
        return std::nullopt;
    const double d = x - *mean;
    const double h = *t * *s * std::sqrt(1.0 / store.ConfN + d * d / *sxx);
    if (!std::isfinite(h))
        return std::nullopt;
    return h;
}

} // namespace kalibron
