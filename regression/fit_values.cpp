#include "regression/fit_values.h"

#include <cmath>

#include "core/store.h"
#include "regression/polynomial_fit.h"

namespace kalibron {

namespace {

std::optional<double> finite(double v) { return std::isfinite(v) ? std::optional<double>(v) : std::nullopt; }

} // namespace

std::optional<double> linearValueAt(const Store& store, double x)
{
    if (!store.LinA.isNumber() || !store.LinB.isNumber())
        return std::nullopt;
    return finite(store.LinA.value() + store.LinB.value() * x);
}

std::optional<double> logarithmicValueAt(const Store& store, double x)
{
    if (!store.LogA.isNumber() || !store.LogB.isNumber() || !(x > 0))
        return std::nullopt;
    return finite(store.LogA.value() + store.LogB.value() * std::log(x));
}

std::optional<double> polynomialValueAt(const Store& store, int slot, int degree, double x)
{
    if (slot < 0 || slot >= static_cast<int>(store.PolyFit.size()))
        return std::nullopt;
    const PolyChebyshev& fit = store.PolyFit[static_cast<std::size_t>(slot)];
    if (!fit.fitted() || fit.degree != degree)
        return std::nullopt;
    return finite(static_cast<double>(chebyshevValue(fit, x)));
}

} // namespace kalibron
