#pragma once

#include <string>

#include "core/number_format.h"
#include "core/value_cell.h"

namespace kalibron {

// Rounding: display text of a result with decimals by magnitude a = |v|:
// a > 1000 "0", > 100 "0.0", > 10 "0.00", > 1 "0.000", > 0.1 "0.0000",
// else "0.00000". A cell that is not a finite number gives the empty text.
std::string Rounding(const ValueCell& value, const NumberLocale& locale);

} // namespace kalibron
