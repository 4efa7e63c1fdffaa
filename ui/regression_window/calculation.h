#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "core/value_cell.h"

#include "core/number_format.h"
#include "ui/regression_window/plot_scene.h"
#include "ui/regression_window/regression_settings.h"

namespace kalibron {

class MessageSink;
struct Store;

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

// What one polynomial row of a calculation came to. The store keeps the
// deviations of the last row only, so each row's own figures travel here.
struct PolynomialRowResult {
    int degree = 0;
    bool fitted = false;                 // false: refused or singular
    std::vector<double> coefficients;    // c0 .. cd when fitted
    std::optional<double> dsig;
    ValueCell PolyDev, PolyDevPct;
};

struct CalculationResult {
    bool ran = false; // false: no probability level chosen yet, nothing touched
    ResultLabels labels;
    PlotScene scene;
    std::array<std::optional<PolynomialRowResult>, 6> poly{}; // rows 1..5 ticked in this run
};

// A_PLOT: the one recalculation of the regression window. ScanData, plot
// scale, marks and axes, then zigzag, linear fit (+ band), logarithmic fit and
// polynomial rows 1..5, as the settings enable them. Fits that do not run in
// this pass are cleared in the store so that nothing exports results of
// earlier data. The rules say whether it waits for a probability level,
// whether the band's quantities stay in the store, how the axes are ticked
// and what the polynomial fit says about too few points.
CalculationResult A_PLOT(Store& store, const RegressionSettings& settings, MessageSink& messages,
                         const NumberLocale& locale, const PlotGeometry& geometry = {},
                         const CalculationRules& rules = {});

// Confidence_Belt: the confidence band of the linear fit LinA + LinB·X,
// computed by Confidence_Calc and drawn as an upper and a lower segment from
// X to X + 1, ±h(X) to ±h(X + 1), for X = FirstX .. MaxX − 1 (ConfHalf,
// ConfHalf2, LinFit and LineY1 hold the values of the last step). With fewer
// than 3 usable points, no t table, no probability level or no linear fit it
// draws nothing and returns false, leaving the band's quantities as they were.
bool Confidence_Belt(Store& store, std::vector<Primitive>& items);

} // namespace kalibron
