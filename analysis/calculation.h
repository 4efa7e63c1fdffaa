#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "core/value_cell.h"

#include "analysis/plot_scene.h"
#include "analysis/regression_settings.h"
#include "core/number_format.h"
#include "core/store.h"
#include "regression/confidence_band.h"
#include "regression/uncertainty.h"
#include "regression/zigzag.h"

namespace kalibron {

class MessageSink;

// Captions of the result labels after one calculation. Index 0 of the
// polynomial arrays is unused (rows 1..5).
struct ResultLabels {
    // The three count labels keep their previous text when the run does not
    // reach the linear fit: nullopt means "leave as it is".
    std::optional<std::string> lblNData, lblnDataOK, lblRej;
    std::string lbl_LRa, lbl_LRb, lbl_LRr, lblDiff, lblDiffProc;
    std::string lbl_LoRa, lbl_LoRb, lbl_LoRr, lblDiffLog, lblDiffProcLog;
    std::array<std::string, 6> lblDiffPoly{}, lblDiffProcPoly{};
    // Parameter text of the row-1 fit; nullopt: Label2 keeps its text.
    std::optional<std::string> Label2;
};

// A fitted line y = a + b·g(x) (linear: g(x) = x, logarithmic: g(x) = ln x)
// as its fit left it; a member the fit gave no number for is empty.
struct LineFitResult {
    std::optional<double> a, b, r, dev, devPct;
    // u at every position, with s or MSWD; empty unless asked for (settings.wantsUncertainties()).
    FitUncertainty uncertainty;
};

// What one polynomial row of a calculation came to. The store keeps the
// deviations of the last row only, so each row's own figures travel here.
struct PolynomialRowResult {
    int degree = 0;
    bool fitted = false;              // false: refused or singular
    std::vector<double> coefficients; // c0 .. cd when fitted
    std::optional<double> dsig;
    ValueCell PolyDev, PolyDevPct;
    Store::PolyChebyshev stable; // the curve, when fitted
    std::vector<double> values;  // f(x) at x = 0 .. lastPosition, when fitted
    FitUncertainty uncertainty;  // when fitted and asked for
};

// A drift method's curve (regression_settings.h: DriftMethod) over the
// used standards: its value at every position, and what the tool and the
// export say of it.
struct DriftResult {
    std::vector<double> values;   // x = 0 .. lastPosition; NaN where it has none
    FitUncertainty uncertainty;   // when asked for; s (or MSWD when weighted) and dof with it
    std::optional<double> lambda; // the spline's λ (none for one to three standards)
    // Effective degrees of freedom: tr(H) of the spline; n, the number of
    // standards, for the rules, whose value at each standard is its own;
    // one for the mean.
    std::optional<double> degreesOfFreedom;
    std::optional<double> dev, devPct; // mean |y − f| and 100·|y − f|/y over the standards
    bool weighted = false;             // the spline fitted with w = 1/σ²
};

// The fits of one calculation, each as a plain value: everything the labels,
// the plot and the export read. A method has a result when its Show or its
// Export box was ticked (and it had enough points to run).
struct FitResults {
    int lastPosition = 0;
    // First and last used standard (Y positive, not rejected); samples
    // outside them are extrapolated.
    std::optional<int> firstStandard, lastStandard;
    std::optional<LineFitResult> linear; // nPoints > 1
    // Half-width of the linear fit's band for these data, whether the band is
    // shown or its "C.I." cells exported; empty without one.
    std::optional<ConfidenceBand> band;
    std::optional<LineFitResult> logarithmic;                 // chkLog or chkEX(1), nPoints > 2
    std::array<std::optional<PolynomialRowResult>, 6> poly{}; // rows 1..5
    // Cluster points of the zigzag (chkZigZag or chkEX(7)); empty optional
    // when it did not run.
    std::optional<std::vector<ZigzagPoint>> zigzag;
    std::optional<FitUncertainty> zigzagUncertainty; // when the zigzag ran and u was asked for
    // By DriftMethod: when its Show or Export box is ticked and a standard is used.
    std::array<std::optional<DriftResult>, kDriftMethods> drift{};
    // Line, log and polynomials were fitted with w = 1/σ² (settings.weightByYErrors
    // and every used point had a usable Y error).
    bool weighted = false;
};

struct CalculationResult {
    bool ran = false; // false: no probability level chosen yet, nothing touched
    FitResults fits;
    ResultLabels labels;
    PlotScene scene;
};

// The light grey under the X ranges outside the standards, where every
// method extrapolates.
inline constexpr Rgb kExtrapolationShade{236, 236, 236};

// The drift methods' curves, by DriftMethod: wine, brown, olive, navy and
// grey, none of them a colour the other curves or the marks use.
inline constexpr std::array<Rgb, kDriftMethods> kDriftColours{Rgb{160, 0, 80}, Rgb{150, 75, 0}, Rgb{128, 128, 0},
                                                              Rgb{0, 0, 128}, Rgb{128, 128, 128}};

// The "%:" caption of a deviation in per cent, and of r²: Format(v, "0.00");
// empty without a number.
std::string percentCaption(const std::optional<double>& value, const NumberLocale& locale);

// A_PLOT: the one recalculation of the regression window, in three stages.
// Fit: ScanData, then zigzag, linear fit (+ band quantities), logarithmic fit
// and polynomial rows 1..5, each when its Show or its Export box is ticked,
// into plain results (the store keeps them too, for its other readers).
// Format: the result labels, for what Show asks only. Draw: plot scale,
// shading outside the standards, marks, axes, then the shown curves. Fits
// that do not run in this pass are cleared in the store so that nothing reads
// results of earlier data. The rules say whether it waits for a probability level,
// whether the band's quantities stay in the store, how the axes are ticked
// and what the polynomial fit says about too few points. A caller that
// replaces an earlier scene by the new one may hand over its item list as
// `recycled`: when the pass draws, the new scene is built in that list's
// storage (the list is left empty), so that a live run redrawing a plot of
// hundreds of thousands of items at every change does not allocate a second one.
CalculationResult A_PLOT(Store& store, const RegressionSettings& settings, MessageSink& messages,
                         const NumberLocale& locale, const PlotGeometry& geometry = {},
                         const CalculationRules& rules = defaultCalculationRules(), PrimitiveList* recycled = nullptr);

// A_PLOT's fit and label stages alone, for a reader that draws nothing (the
// command-line tool's export and fit): the same fits, labels, messages and
// fit results in the store; no scene, and the store's plot values (MarkDX,
// PlotOffsetX, LineX0, ...) are left as they were.
CalculationResult calculateFits(Store& store, const RegressionSettings& settings, MessageSink& messages,
                                const NumberLocale& locale, const CalculationRules& rules = defaultCalculationRules());

// Confidence_Belt: the confidence band of the linear fit LinA + LinB·X,
// computed by Confidence_Calc and drawn as an upper and a lower segment from
// X to X + 1, ±h(X) to ±h(X + 1), for X = FirstX .. MaxX − 1 (ConfHalf,
// ConfHalf2, LinFit and LineY1 hold the values of the last step). With fewer
// than 3 usable points, no t table, no probability level or no linear fit it
// draws nothing and returns false, leaving the band's quantities as they were.
bool Confidence_Belt(Store& store, PrimitiveList& items);

} // namespace kalibron
