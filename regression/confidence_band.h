#pragma once

#include <optional>

namespace kalibron {

struct Store;

// Confidence_Calc: for n = nPoints >= 3 and a loaded t table, sets tValue
// (Student(ProbIndex, n − 2), row 101 for n > 102), ConfXMean (mean position
// of the used points at 1..lastPosition()), ConfSxx = Σ(X − x̄)² and
// ConfS = √(Σ(Y − (LinA + LinB·X))²/(n − 2)). Returns false and changes
// nothing when n < 3, the table is not loaded, ProbIndex is unset or LinA/LinB
// are not numbers.
bool Confidence_Calc(Store& store);

// Half-width of the band at x: h(x) = tValue·ConfS·√(1/n + (x − x̄)²/ConfSxx).
// Empty when nPoints < 3, any quantity is missing, ConfSxx is 0 or the result
// is not finite.
std::optional<double> confidenceHalfWidth(const Store& store, double x);

} // namespace kalibron
