#pragma once

#include <optional>
#include <string>
#include <vector>

#include "regression/leave_one_out.h"

namespace kalibron {

struct Store;

// One method of the regression window, judged by how well it predicts a
// standard it has not seen (leave-one-out) beside how close it comes to the
// standards it was fitted to (in-sample).
struct MethodScore {
    // "lin", "log", "poly<degree>", "zigzag", and the drift methods' keys
    // (regression_settings.h: kDriftMethodKeys) with their names.
    std::string key;
    std::string name;                    // "Linear", "Logarithmic", "Polynomial 3", "Zigzag", "Smoothing spline", ...
    std::optional<LeaveOneOut> inSample; // |y − f| over the standards
    std::optional<LeaveOneOut> loo;      // |y − f(−i)|
    // Filled by addUncertaintySummaries: the fit's s (unweighted; the
    // zigzag's pooled s_p) or MSWD (weighted), and its mean standard
    // uncertainty u over the samples (positions 0..last without a used
    // standard, where the method has a value).
    std::optional<double> spread, meanU;
    bool weighted = false;
    // Its leave-one-out mean error is not below that of the mean of the
    // standards ("No correction (mean)"): correcting by it gains nothing.
    bool noBetterThanBaseline = false;
};

// What the "Compare methods" dialog and `kalibron rank` say of such a method.
inline constexpr const char* kNoBetterThanBaseline = "no better than no correction";

struct MethodRanking {
    // Best first: ascending leave-one-out mean error; methods without a
    // figure come last, in the window's order.
    std::vector<MethodScore> methods;
    // First and last used standard; samples outside them are extrapolated.
    std::optional<int> firstStandard, lastStandard;
};

// Ranks every method the window can show, whether ticked or not: the linear
// fit (positions 0..), the logarithmic fit (1..), the polynomials of degree
// 2..5 and of the free degree (1..; a free degree equal to one of 2..5 or
// outside 0..23 adds nothing), the zigzag, and the drift methods (0..): the
// smoothing spline (λ chosen by GCV once on all standards and held), the
// bracketing rules (each standard predicted from its neighbours) and the
// mean, over the used standards of the store (Y positive, not rejected) as
// the last ScanData left them. Every method with a figure whose mean is not
// below the mean's over the same standards (those from 1 for the log fit, the
// polynomials and the zigzag) is marked noBetterThanBaseline.
MethodRanking rankMethods(const Store& store, int freeDegree);

// Each ranked method's spread and mean u (uncertainty.h) over the same
// standards, the line, log fit and polynomials weighted by 1/σ² of the Y
// errors when `weighted` and every used point has one (otherwise unweighted,
// as the calculation falls back; the spline as well). The bracketing rules
// take the zigzag's pooled scatter, the mean s/√n. For the "Compare methods" dialog.
void addUncertaintySummaries(MethodRanking& ranking, const Store& store, bool weighted);

} // namespace kalibron
