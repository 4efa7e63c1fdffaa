#include "regression/fit_values.h"

#include <cmath>

#include "core/store.h"
#include "regression/polynomial_fit.h"

namespace kalibron {

namespace {

std::optional<double> finite(double v)
{
    return std::isfinite(v) ? std::optional<double>(v) : std::nullopt;
}

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
    if (degree < 0 || degree > kMaxPolynomialDegree || slot < 0 || slot >= static_cast<int>(store.PolyCoef.size()))
        return std::nullopt;
    const auto& row = store.PolyCoef[static_cast<std::size_t>(slot)];
    return evaluatePolynomial(std::span<const ValueCell>(row.data() + 2, static_cast<std::size_t>(degree) + 1), x);
}

std::optional<double> evaluatePolynomial(std::span<const ValueCell> coefficients, double x)
{
    // The power is carried from term to term: pow() per term costs more than
    // the whole rest of a recalculation at 30000 positions.
    double sum = 0;
    double power = 1;
    for (const ValueCell& c : coefficients) {
        if (!c.isNumber())
            return std::nullopt;
        sum += c.value() * power;
        power *= x;
    }
    return finite(sum);
}

} // namespace kalibron
