#pragma once

#include <limits>
#include <optional>
#include <string_view>

#include "core/store.h"
#include "analysis/file_list_options.h"
#include "analysis/regression_settings.h"

namespace kalibron {

// What each program built from this source sets up differently.
struct ProgramProfile {
    const char* applicationName;
    ProgramSettings store;
    RegressionWindowOptions regressionWindow;
    bool exampleSequence = true; // start-up puts the example sequence in the store
    FileListOptions fileListWindow{};
};

inline ProgramProfile kalibron01Profile()
{
    ProgramProfile profile{"Kalibron-01", {}, {}};
    profile.store.positionBound = 30000;
    profile.regressionWindow.showParametersButton = false;
    return profile;
}

// The file-list program works on a shorter sequence, ticks its axes in its
// own way, keeps no confidence quantities beyond drawing the band (so its
// export has no "C.I." column), has its own texts and shows the parameter
// button from the start. Its regression window is reached from the file list,
// whose hand-over it shows at the next recalculation the operator starts.
inline ProgramProfile kalibronHeVeviRavo1Profile()
{
    ProgramProfile profile{"Kalibron-He-VeviRavo-1", {}, {}};
    profile.store.positionBound = 20000;
    profile.exampleSequence = false;

    RegressionWindowOptions& window = profile.regressionWindow;
    window.showParametersButton = true;
    window.recalculateOnActivation = false;
    window.geometry.xLabelCount = 11;

    CalculationRules& calculation = window.calculation;
    calculation.waitForProbabilityLevel = false;
    calculation.keepBandQuantities = false;
    calculation.tooFewPolynomialMessage = "Too few data for polynomial regression.";
    // Y: a labelled major tick on the bottom edge too (in "Full" at 0).
    calculation.axes.yMajorAtBottomEdge = true;
    // X: three bands; MaxX exactly 2000 lies in none and gets no X ticks.
    calculation.axes.xTicks = {{131, false, 1, 10},
                               {2000, false, 10, 100},
                               {2000, true, 0, 0},
                               {std::numeric_limits<double>::infinity(), true, 100, 1000}};

    window.exportFormat.summaryTail = " aver.err. / err.%";
    window.exportFormat.confidenceColumn = false;

    RegressionWindowTexts& texts = window.texts;
    texts.aboutTitle = "TALVERO";
    texts.aboutText =
        "TALVERO is a Windows program that calculates interpolated values for standard-sample bracketing using "
        "different methods.\n"
        "\n"
        "Input: by paste of compacte tables from clipboard.\n"
        "First column: X, 2nd column: Y. If more columns are in the copied table then the 3rd column is considered "
        "as Y_ERROR.\n"
        "\n"
        "[Plot and calculate] button refreshes the plot.\n"
        "\n"
        "Mouse click on data point marks it for rejection.\n"
        "\n"
        "Output: copy to clipboard.";
    texts.maximumCaption = "Max. number:";
    texts.dataCountCaption = "Data meas.:";
    texts.copyButton = "Copy to clipboard";

    // The file list's table has no "C.I." column and "Interpolate" hands over
    // any number of standards (the regression reports too few itself).
    FileListOptions& fileList = profile.fileListWindow;
    fileList.checkStandardCount = false;
    fileList.table.results = {
        {6, "Lin. Interp.", ResultKind::Linear, std::nullopt, true},
        // &HFFC0FF, a Windows BGR value: red 255, green 192, blue 255 (pink).
        {7, "Log. Interp.", ResultKind::Logarithmic, Rgb{255, 192, 255}, true},
        {8, "Poly2 Inter.", ResultKind::Polynomial2, std::nullopt, true},
    };
    // &H80FFFF, BGR: red 255, green 255, blue 128 (pale yellow).
    fileList.table.standardValueBackground = Rgb{255, 255, 128};
    fileList.table.tableWidth = 9000;
    return profile;
}

// The profile a command-line user names with --program ("01" or
// "He-VeviRavo-1"; the full program names are taken too).
inline std::optional<ProgramProfile> programProfile(std::string_view name)
{
    if (name == "01" || name == "Kalibron-01")
        return kalibron01Profile();
    if (name == "He-VeviRavo-1" || name == "Kalibron-He-VeviRavo-1")
        return kalibronHeVeviRavo1Profile();
    return std::nullopt;
}

} // namespace kalibron
