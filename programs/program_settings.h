#pragma once

#include "core/store.h"
#include "ui/regression_window/regression_window.h"

namespace kalibron {

// What each program built from this source sets up differently.
struct ProgramProfile {
    const char* applicationName;
    ProgramSettings store;
    RegressionWindowOptions regressionWindow;
};

inline ProgramProfile kalibron01Profile()
{
    ProgramProfile profile{"Kalibron-01", {}, {}};
    profile.store.positionBound = 30000;
    profile.regressionWindow.showParametersButton = false;
    return profile;
}

// The file-list program works on a shorter sequence and shows the parameter
// button from the start.
inline ProgramProfile kalibronHeVeviRavo1Profile()
{
    ProgramProfile profile{"Kalibron-He-VeviRavo-1", {}, {}};
    profile.store.positionBound = 20000;
    profile.regressionWindow.showParametersButton = true;
    profile.regressionWindow.geometry.xLabelCount = 11;
    return profile;
}

} // namespace kalibron
