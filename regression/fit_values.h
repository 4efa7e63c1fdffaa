#pragma once

#include <optional>
#include <span>

#include "core/value_cell.h"

namespace kalibron {

struct Store;

// Values of the fits the last calculation left in the store, at a position x.
// The export, the hand-back into the file list's table and the command-line
// tool all read the fits through these, so a curve has one evaluator.
// Each is empty when the fit has no result (its parameters are not numbers)
// or the value is not finite. The band's half-width is confidenceHalfWidth
// (confidence_band.h).

// LinA + LinB·x.
std::optional<double> linearValueAt(const Store& store, double x);

// LogA + LogB·ln x; also empty for x <= 0.
std::optional<double> logarithmicValueAt(const Store& store, double x);

// The polynomial of the given degree kept in PolyCoef(slot, ·) (slot 1..5),
// at x; empty for a degree outside 0..23 or a slot outside 0..5.
std::optional<double> polynomialValueAt(const Store& store, int slot, int degree, double x);

// Σ c[p]·x^p for p = 0 .. c.size() − 1, summed from 0 in increasing p.
// Empty when a coefficient is not a number (the fit did not run or was
// refused) or the sum is not finite.
std::optional<double> evaluatePolynomial(std::span<const ValueCell> coefficients, double x);

} // namespace kalibron
