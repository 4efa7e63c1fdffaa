#pragma once

#include <cmath>
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

// The band's half-width in a form cheap to evaluate at every position:
// h(x) = ts·√(invN + (x − mean)²·invSxx), ts = tValue·ConfS, invN = 1/ConfN,
// invSxx = 1/ConfSxx. at() is finite for any x within the data model.
struct ConfidenceBand {
    double ts = 0, invN = 0, invSxx = 0, mean = 0;
    double at(double x) const
    {
        const double d = x - mean;
        return ts * std::sqrt(invN + d * d * invSxx);
    }
};

// The band of the last Confidence_Calc; empty when ConfN < 3, any of tValue,
// ConfS, ConfSxx, ConfXMean is not a finite number or ConfSxx is not positive
// (all points at one position).
std::optional<ConfidenceBand> confidenceBand(const Store& store);

// Half-width of the band at x: h(x) = tValue·ConfS·√(1/ConfN + (x − ConfXMean)²/ConfSxx).
// Empty when ConfN < 3, any of the quantities is not a number, ConfSxx is not
// positive (all points at one position) or the result is not finite.
std::optional<double> confidenceHalfWidth(const Store& store, double x);

} // namespace kalibron
