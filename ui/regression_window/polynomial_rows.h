#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "core/value_cell.h"

namespace kalibron {

// Degree of the free-degree row from the text of ComboBox1: its leading
// number rounded to a whole number (half to even), so that a text without a
// number gives 0. Returns −1 for a negative or non-finite number; very large
// numbers are capped at 32767. The polynomial fit refuses both with its
// message, like any degree beyond its matrix.
int freeDegree(std::string_view comboText);

// Σ c[p]·x^p for p = 0 .. c.size() − 1, summed from 0 in increasing p.
// Empty when a coefficient is not a number (the fit did not run or was
// refused) or the sum is not finite.
std::optional<double> evaluatePolynomial(std::span<const ValueCell> coefficients, double x);

} // namespace kalibron
