#pragma once

#include <array>
#include <string>

#include "ui/regression_window/plot_scene.h"

namespace kalibron {

// The regression window's setting controls as the calculation and the export
// read them. Index 0 of chkPoly is unused (boxes 1..5). Defaults are the
// window's start state.
struct RegressionSettings {
    bool chkZigZag = true;
    bool chkConf = true;
    bool chkLog = true;
    std::array<bool, 6> chkPoly{false, false, true, false, false, false};
    std::string ComboBox1 = "6";         // text of the free-degree list
    bool yFull = true;                   // optScale(0)
    bool xFull = true;                   // optScaleX(0)
    std::array<bool, 8> chkEX{true, true, true, false, false, false, false, false};
};

// What differs in the regression window between the programs.
struct RegressionWindowOptions {
    bool showParametersButton = false; // cmdShowPars visible from the start
    PlotGeometry geometry;             // picture boxes and tick label counts
};

} // namespace kalibron
