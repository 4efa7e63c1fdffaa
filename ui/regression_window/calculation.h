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
// earlier data.
CalculationResult A_PLOT(Store& store, const RegressionSettings& settings, MessageSink& messages,
                         const NumberLocale& locale, const PlotGeometry& geometry = {});

} // namespace kalibron
