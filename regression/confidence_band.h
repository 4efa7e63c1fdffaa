#pragma once

#include <optional>

namespace kalibron {

struct Store;

// Confidence_Calc: the quantities of the confidence band of the linear fit,
// over the used points (Y positive, Rejected < 1) at positions
// 1..lastPosition() (position 0 never takes part). n is the number of those
// points, stored as ConfN; with nPoints as the count a present Y that is not
// positive would shift the mean and the spread.
//   tValue    = Student(ProbIndex, n − 2) for n < 103, Student(ProbIndex, 101) above
//   ConfXMean = ΣX / n
//   ConfSxx   = Σ(X − ConfXMean)²
//   ConfS     = √(Σ(Y − (LinA + LinB·X))² / (n − 2))
//   LinFit    = LinA + LinB·X of the last point visited
// Returns false and changes nothing when n < 3, the t table is not loaded,
// ProbIndex is unset or outside 1..6, or LinA/LinB are not numbers: then
// there is no band anywhere.
bool Confidence_Calc(Store& store);

// Half-width of the band at x: h(x) = tValue·ConfS·√(1/ConfN + (x − ConfXMean)²/ConfSxx).
// Empty when ConfN < 3, any of the quantities is not a number, ConfSxx is not
// positive (all points at one position) or the result is not finite.
std::optional<double> confidenceHalfWidth(const Store& store, double x);

} // namespace kalibron
