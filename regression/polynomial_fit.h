#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/number_format.h"
#include "core/store.h"

namespace kalibron {

class MessageSink;

// Largest degree the coefficient tables hold (PolyCoef(slot, d + 2) <= 25).
inline constexpr int kMaxPolynomialDegree = 23;

inline constexpr const char* kTooFewPolyDataMessage = "Too few data for polynomial regression of the requested degree.";
inline constexpr const char* kPolyDegreeTooHighMessage =
    "Too few data for polynomial regression of the requested degree. The highest degree is 23.";
inline constexpr const char* kPolyDegreeNegativeMessage =
    "Too few data for polynomial regression of the requested degree. The lowest degree is 0.";

// A diagonal element |R_kk| of the pivoted triangular factor not above this
// times |R_00| makes the system rank deficient: the fit is left empty.
inline constexpr double kRankTolerance = 1e-10;

using PolyChebyshev = Store::PolyChebyshev;

enum class PolynomialStatus {
    Fitted,     // fit stored
    TooFewData, // n < d + 1, or d outside 0..23: message shown, outputs unchanged
    Singular,   // rank deficient: slot's coefficients and stable form left empty
};

// What one polynomial fit came to.
struct PolynomialFit {
    PolynomialStatus status = PolynomialStatus::TooFewData;
    PolyChebyshev stable;              // the curve; evaluate it with chebyshevValue
    std::vector<double> power;         // c0 .. cd in powers of x, for display
    std::optional<double> dsig;        // √(SS/(n − 2)); empty when n <= 2
    std::optional<double> dev, devPct; // mean |f − y| and 100·mean(|f − y|/y) over the n points
    // Triangular factor of the column-pivoted QR of the Chebyshev design
    // matrix V (n × m, V(i, k) = T_k(t_i)): V·P = Q·R, R upper triangular,
    // column-major m × m; column j of V·P is column pivot[j] of V.
    // Enough for the leverages (polynomialLeverages) without Q.
    std::vector<double> r;
    std::vector<int> pivot;
    // Points fitted and Σe² of their residuals about the stable form: with
    // the factor above, all the standard uncertainty of the curve needs
    // (polynomialUncertainty, uncertainty.h).
    int n = 0;
    double rss = 0;
};

// Polynomial: least-squares polynomial of degree d through the n points
// X(1..n), Y(1..n) (index 0 unused; Y > 0 for the relative deviation).
//  Method: t_i = PolyChebyshev::scaled(x_i) ≈ (2x_i − (a + b))/(b − a) with
//  a = min x, b = max x; the design matrix V(i, k) = T_k(t_i) (k = 0..d) is
//  reduced by a Householder QR a block of rows at a time (TallQR), its
//  triangle by a column-pivoted Householder QR (together one pivoted QR of
//  V). |R_kk| <= kRankTolerance·|R_00| for some k: rank deficient. The
//  solution is refined once with the residual y − f formed in long double by
//  the evaluator; SS, dev and devPct come from that residual less the
//  correction V·δ (formed in double: it is tiny against f).
//  d outside 0..kMaxPolynomialDegree, or n < d + 1 (or X, Y shorter than
//  n + 1): message (d < 0 or d > 23 with their own texts, else tooFewMessage)
//  with no icon and the application's title; nothing changed; TooFewData.
//  Fitted: PolyFit(PolySlot) = the stable form; PolyC(p + 1) = c_p (p = 0..d,
//  every other entry of PolyC 0) and PolyCoef(PolySlot, p + 2) = c_p
//  (k = 2..25, entries beyond d + 2 are 0), the power coefficients converted
//  in long double then rounded; when PolySlot = 1 and parameterText is given,
//  *parameterText = "P0 = c0" CR LF … "Pd = cd" CR LF, CR LF, CR LF, "dsig="
//  √(SS/(n − 2)) CR LF in the general format of locale (the dsig number left
//  out when n − 2 <= 0). SS, dev and devPct use the stable form.
//  Singular: PolyC(0..25), PolyCoef(PolySlot, 2..25) become Empty and
//  PolyFit(PolySlot) is cleared; for PolySlot = 1 *parameterText becomes
//  empty, so no stale coefficients remain.
// PolySlot outside 0..5 fits without touching PolyCoef and PolyFit.
PolynomialFit Polynomial(Store& store, int n, int d, std::span<const double> X, std::span<const double> Y,
                         MessageSink& messages, std::string* parameterText, const NumberLocale& locale = NumberLocale{},
                         const char* tooFewMessage = kTooFewPolyDataMessage);

// The parameter text of a fit: "P0 = c0" CR LF … "Pd = cd" CR LF, CR LF,
// CR LF, "dsig=" dsig CR LF, the numbers in the general format of locale
// (the dsig number left out when there is none).
std::string polynomialParameterText(std::span<const double> power, std::optional<double> dsig,
                                    const NumberLocale& locale);

// f(x) of a stable form by Clenshaw's recurrence in t = fit.scaled(x) (a
// double) with a long double accumulator: b_k = (c_k − b_{k+2}) + 2t·b_{k+1},
// f = (c_0 − b_2) + t·b_1 (clenshawValue, clenshaw.h). The one evaluator of
// a polynomial fit. Not for an unfitted form.
long double chebyshevValue(const PolyChebyshev& fit, double x);

// f(x) at every position x = 0 .. out.size() − 1, each exactly as
// chebyshevValue gives it (rounded to double); several positions are worked
// side by side. An unfitted form gives NaN.
void polynomialValues(const PolyChebyshev& fit, std::span<double> out);

// Power coefficients c0..cd of the stable form in x, computed in long double
// (Chebyshev series to powers of t, then t = αx + β substituted by Horner's
// rule). For display: they lose digits that the stable form keeps.
std::vector<long double> powerCoefficients(const PolyChebyshev& fit);

// Leverages h_ii = v_i·(VᵀV)⁻¹·v_iᵀ of the points x (the diagonal of the hat
// matrix, v_i the Chebyshev row of x_i) from the fit's triangular factor:
// h_i = ‖z‖² with Rᵀz = Pᵀv_i. For the fitted points they lie in [0, 1] and
// sum to d + 1; e_i/(1 − h_ii) is the leave-one-out residual. Empty when
// the fit has no factor.
std::vector<double> polynomialLeverages(const PolynomialFit& fit, std::span<const double> x);

} // namespace kalibron
