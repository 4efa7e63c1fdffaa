#include "analysis/polynomial_rows.h"

#include <cmath>

#include "core/value_cell.h"

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

} // namespace kalibron
