#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "analysis/plot_scale.h"
#include "analysis/plot_scene.h"
#include "regression/polynomial_fit.h"

namespace kalibron {

// The methods that follow the drift without a formula of the position, and
// the baseline that corrects nothing: a smoothing spline, the three
// bracketing rules and the mean of the standards. Indices of chkDrift and
// chkDriftEX; the keys are the tool's option names and column names.
enum class DriftMethod { Spline, Preceding, Succeeding, Bracket, Mean };
inline constexpr std::size_t kDriftMethods = 5;
inline constexpr std::array<const char*, kDriftMethods> kDriftMethodKeys{"spline", "preceding", "succeeding", "bracket",
                                                                         "mean"};
inline constexpr std::array<const char*, kDriftMethods> kDriftMethodNames{
    "Smoothing spline", "Preceding standard", "Succeeding standard", "Bracketing average", "No correction (mean)"};
constexpr std::size_t driftIndex(DriftMethod method) { return static_cast<std::size_t>(method); }
// The index of the drift method a key names; none for any other text.
constexpr std::optional<std::size_t> driftMethodOf(std::string_view key)
{
    for (std::size_t m = 0; m < kDriftMethods; ++m)
        if (key == kDriftMethodKeys[m])
            return m;
    return std::nullopt;
}

// The regression window's setting controls as the calculation and the export
// read them. Index 0 of chkPoly is unused (boxes 1..5). Defaults are the
// window's start state.
struct RegressionSettings {
    bool chkZigZag = true;
    bool chkConf = true;
    bool chkLog = true;
    std::array<bool, 6> chkPoly{false, false, true, false, false, false};
    std::string ComboBox1 = "6"; // text of the free-degree list
    bool yFull = true;           // optScale(0)
    bool xFull = true;           // optScaleX(0)
    std::array<bool, 8> chkEX{true, true, true, false, false, false, false, false};
    // "Weight by Y errors": line, log and polynomials by weighted least
    // squares, w = 1/σ² from the table's third column.
    bool weightByYErrors = false;
    // "Export uncertainties": a u column after each exported block (and so
    // the uncertainties computed).
    bool exportUncertainties = false;
    // The standard uncertainty u of every fitted method at every position,
    // for a reader that asks for it; nothing is spent on it otherwise.
    bool uncertainties = false;
    // Whose band value ± t·u the plot shows with chkConf: "lin" (the
    // confidence band as it always was), "log", "poly1".."poly5", "zigzag".
    // "spline", "preceding", "succeeding", "bracket" and "mean" as well.
    std::string bandMethod = "lin";
    // Show and Export boxes of the drift methods, by DriftMethod; all off at
    // the start, so that the export and the plot stay as they were.
    std::array<bool, kDriftMethods> chkDrift{}, chkDriftEX{};
    bool operator==(const RegressionSettings&) const = default;
    bool wantsUncertainties() const { return uncertainties || exportUncertainties || (chkConf && bandMethod != "lin"); }
};

// What the calculation driver does differently in the programs. The
// defaults are Kalibron-01's.
struct CalculationRules {
    // Return at once, touching nothing, while no probability level has been
    // chosen (as before the window's first activation).
    bool waitForProbabilityLevel = true;
    // Keep the band's s, x̄ and Sxx (ConfS, ConfSxx, ConfXMean) in the store
    // after drawing it; without them nothing outside the band reads them.
    bool keepBandQuantities = true;
    AxisRules axes;
    // What the polynomial fit says when a row has fewer points than d + 1.
    std::string tooFewPolynomialMessage = kTooFewPolyDataMessage;
};

// Kalibron-01's rules, for callers that name none. One shared object rather
// than a temporary default argument, which GCC 12 at -O3 takes for
// uninitialised.
inline const CalculationRules& defaultCalculationRules()
{
    static const CalculationRules rules;
    return rules;
}

// How the export text is built. The defaults are Kalibron-01's.
struct ExportFormat {
    // Each summary item is the method's name ("L.R.", "Log.R.", "Poly2.R.",
    // ...) followed by this text.
    std::string summaryTail = " aver.diff. /diff.%";
    // The linear block carries the band's half-width in a "C.I." column,
    // computed afresh for the export; without it no band quantity is computed.
    bool confidenceColumn = true;
};

// Texts of the regression window that differ between the programs.
struct RegressionWindowTexts {
    std::string aboutTitle = "KALIBRON";
    // Lines separated by LF.
    std::string aboutText =
        "KALIBRON is a Windows program that calculates interpolated values for standard-sample-standard sequences "
        "using different methods.\n"
        "\n"
        "Input: paste a compact table from clipboard (2 or 3 columns, only numbers).\n"
        "First column: X, 2nd column: Y. If more columns are in the copied table then the 3rd column is considered "
        "as Y_ERROR.\n"
        "\n"
        "Mouse click on data point marks it for rejection.\n"
        "\n"
        "[Plot and calculate] button refreshes the plot.\n"
        "\n"
        "Output: copy to clipboard.";
    std::string maximumCaption = "Maximum:";                          // beside lblNData
    std::string dataCountCaption = "Number of data:";                 // beside lblnDataOK
    std::string copyButton = "Copy interpolated values to clipboard"; // cmdCopy
};

// What differs in the regression window between the programs.
struct RegressionWindowOptions {
    bool showParametersButton = false;   // cmdShowPars visible from the start
    bool recalculateOnActivation = true; // Form_Activate ends in a full recalculation
    PlotGeometry geometry;               // picture boxes and tick label counts
    CalculationRules calculation;
    ExportFormat exportFormat;
    RegressionWindowTexts texts;
};

} // namespace kalibron
