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
    if (!std::isfinite(sum))
        return std::nullopt;
    return sum;
}

} // namespace kalibron
