#include "ui/regression_window/polynomial_rows.h"

#include <cmath>

namespace kalibron {

int freeDegree(std::string_view comboText)
{
    const double number = leadingNumber(comboText);
    if (!std::isfinite(number))
        return -1;
    const double rounded = roundHalfEven(number);
    if (rounded < 0)
        return -1;
    if (rounded > 32767)
        return 32767;
    return static_cast<int>(rounded);
}

std::optional<double> evaluatePolynomial(std::span<const ValueCell> coefficients, double x)
{
    double sum = 0;
    for (std::size_t p = 0; p < coefficients.size(); ++p) {
        const ValueCell& c = coefficients[p];
        if (!c.isNumber())
            return std::nullopt;
        sum += c.value() * std::pow(x, static_cast<double>(p));
    }
    if (!std::isfinite(sum))
        return std::nullopt;
    return sum;
}

} // namespace kalibron
