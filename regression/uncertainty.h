#pragma once

#include <optional>
#include <span>
#include <vector>

#include "regression/bracketing.h"
#include "regression/polynomial_fit.h"
#include "regression/zigzag.h"

namespace kalibron {

struct Store;

inline constexpr const char* kWeightsUnusableMessage =
    "Weighting by Y errors needs a positive Y error (third column) on every used point. The fits are unweighted.";

// The standard uncertainty of one method's fitted value (the uncertainty of
// the standard's interpolated value there, not of a new measurement) at
// every position 0..last. Unweighted: u(x) = s·√(f(x)ᵀ(FᵀF)⁻¹f(x)) with
// s² = RSS/(n − p); weighted (w = 1/σ²): u(x) = √(f(x)ᵀ(FᵀWF)⁻¹f(x))·
// max(1, √MSWD) with MSWD = Σw·r²/(n − p). F is the design of the n used
// points, f(x) its row at x, p the number of parameters.
struct FitUncertainty {
    std::vector<double> u;      // u at x = 0 .. last; NaN where the method has no value
    std::optional<double> s;    // unweighted fits and the zigzag's pooled s_p
    std::optional<double> mswd; // weighted fits
    int dof = 0;                // degrees of freedom of s or MSWD: n − p, or Σ(k_c − 1)
    bool empty() const { return u.empty(); }
};

// Values as FitUncertainty and the drift curves hold them: NaN where there is none.
std::vector<double> toNaN(std::span<const std::optional<double>> values);

// w_i = 1/σ_i² of the used points (Y positive, not rejected) at positions
// first..last, in increasing position, σ_i the Y error of the table's third
// column. Empty when the table had fewer than three columns or a used point
// has an error that is missing, not positive or gives no finite weight.
std::optional<std::vector<double>> yErrorWeights(const Store& store, int first, int last);

// The least-squares line y = a + b·g through (g_i, y_i) with weights w_i
// (all 1 when w is empty), in centred form, two passes:
//   Σw, ḡ = Σw·g/Σw, Sgg = Σw·(g − ḡ)², b = Σw·(g − ḡ)·y / Sgg, a = ȳ − b·ḡ,
//   chi2 = Σw·(y − a − b·g)², r = Σw(g − ḡ)(y − ȳ)/√(Sgg·Syy).
// Empty with fewer than two points or Sgg not positive (all g equal).
struct CentredLine {
    int n = 0;
    double sumW = 0, gMean = 0, sgg = 0;
    double a = 0, b = 0, chi2 = 0;
    std::optional<double> r; // empty when all y are equal
};
std::optional<CentredLine> centredLine(std::span<const double> g, std::span<const double> y, std::span<const double> w);

// u of a line fitted by centredLine, at x = 0..last with g(x) = x, or
// g(x) = ln x when logarithmic (no value at x = 0):
//   u(x) = σ·√(1/Σw + (g(x) − ḡ)²/Sgg), σ = √(chi2/(n − 2)) unweighted,
//   max(1, √(chi2/(n − 2))) weighted. Empty for n <= 2.
FitUncertainty lineUncertainty(const CentredLine& line, bool weighted, int last, bool logarithmic);

// u of a polynomial fit at x = 0..last from its pivoted triangular factor:
// f(x)ᵀ(FᵀWF)⁻¹f(x) = ‖z‖² with Rᵀz = Pᵀf(x), f(x) the Chebyshev row of the
// fit's scaled x (triangular solves, no normal equations: L = R⁻ᵀ by
// forward substitution once, then z = L·Pᵀf(x) at each position). rss is Σe²
// (unweighted) or Σw·e² (weighted). Empty when the fit has no factor or
// n <= d + 1.
FitUncertainty polynomialUncertainty(const PolynomialFit& fit, bool weighted, int last);

// The weighted least-squares polynomial of degree d through (x_i, y_i),
// weights w_i: the same Chebyshev basis on the same scaled positions as
// Polynomial, the rows of the design and of y scaled by √w_i and reduced by
// a column-pivoted Householder QR, then one refinement step with the
// residual formed in long double by the evaluator. rss = Σw·e², dsig =
// √(Σe²/(n − 2)), dev and devPct unweighted as Polynomial gives them.
// TooFewData for n < d + 1 or d outside 0..23; Singular when |R_kk| <=
// kRankTolerance·|R_00| for some k or a coefficient is not finite. Touches
// no store and shows no message.
PolynomialFit weightedPolynomialFit(std::span<const double> x, std::span<const double> y, std::span<const double> w,
                                    int degree);

// u of the zigzag at x = 0..last. s_p² = Σ over the clusters of two or more
// points of Σ(y − ȳ_c)², divided by Σ(k_c − 1); each cluster's mean has
// u_c = s_p/√k_c. Between cluster points m and m + 1 (the first m with
// x_m <= x <= x_{m+1}, as zigzagAt takes it) at f = (x − x_m)/(x_{m+1} − x_m):
// u = √(((1 − f)·u_m)² + (f·u_{m+1})²); before the first and after the last
// cluster point, that cluster's u_c. y(k) is Y at member position k. Empty
// when no cluster has two points.
FitUncertainty zigzagUncertainty(std::span<const ZigzagCluster> clusters, const Store& store, int last);
// The same with s_p already pooled over these clusters (pooledScatterOf).
FitUncertainty zigzagUncertainty(std::span<const ZigzagCluster> clusters, const PooledScatter& pooled, int last);

} // namespace kalibron
