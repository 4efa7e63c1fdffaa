#pragma once

#include <optional>

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

// The polynomial fit of the given degree kept for a slot (PolyFit(slot),
// slot 0..5), at x, by its stable form (chebyshevValue, polynomial_fit.h);
// empty when the slot holds no fit of that degree.
std::optional<double> polynomialValueAt(const Store& store, int slot, int degree, double x);

} // namespace kalibron
