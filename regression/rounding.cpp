#include "regression/rounding.h"

#include <cmath>

namespace kalibron {

std::string Rounding(const ValueCell& value, const NumberLocale& locale)
{
    if (!value.isNumber() || !std::isfinite(value.value()))
        return std::string();
    const double v = value.value();
    const double a = std::abs(v);
    const char* pattern = a > 1000 ? "0"
        : a > 100                  ? "0.0"
        : a > 10                   ? "0.00"
        : a > 1                    ? "0.000"
        : a > 0.1                  ? "0.0000"
                                   : "0.00000";
    return formatPattern(v, pattern, locale);
}

} // namespace kalibron
