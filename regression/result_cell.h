#pragma once

#include <cmath>
#include <optional>

#include "core/value_cell.h"

namespace kalibron {

// A result the store shows: the number when there is one, otherwise the
// empty text, so that inf or nan can never reach a label or an export cell.
inline ValueCell resultCell(std::optional<double> value)
{
    if (value && std::isfinite(*value))
        return ValueCell(*value);
    return ValueCell::emptyText();
}

// The number a result cell holds, or nothing for Empty, a text or a
// non-finite value. Readers of fit results go through this so that a result
// left empty is never taken for 0.
inline std::optional<double> resultNumber(const ValueCell& cell)
{
    if (cell.isNumber() && std::isfinite(cell.value()))
        return cell.value();
    return std::nullopt;
}

} // namespace kalibron
