#pragma once

#include <cmath>
#include <optional>
#include <span>

namespace kalibron {

struct Store;

// The band's quantities for the points (x_i, y_i) about the line a + b·x:
//   mean = Σx / n, sxx = Σ(x − mean)², s = √(Σ(y − (a + b·x))² / (n − 2)),
//   lastFit = a + b·x of the last point.
// Empty for n < 3. The spread about the mean is summed in a second pass,
// rather than as Σx² − n·mean², which loses digits far from 0.
struct BandQuantities {
    int n = 0;
    double mean = 0, sxx = 0, s = 0, lastFit = 0;
};
std::optional<BandQuantities> bandQuantities(std::span<const double> x, std::span<const double> y, double a, double b);

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
