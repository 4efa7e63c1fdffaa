#pragma once

#include <optional>
#include <string_view>

#include "core/store.h"
#include "ui/file_list_window/file_list_options.h"
#include "ui/regression_window/regression_settings.h"

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

// The file-list program works on a shorter sequence and shows the parameter
// button from the start.
inline ProgramProfile kalibronHeVeviRavo1Profile()
{
    ProgramProfile profile{"Kalibron-He-VeviRavo-1", {}, {}};
    profile.store.positionBound = 20000;
    profile.regressionWindow.showParametersButton = true;
    profile.regressionWindow.geometry.xLabelCount = 11;
    profile.exampleSequence = false;
    return profile;
}

// The profile a command-line user names with --program ("01", "He-VeviRavo-1").
inline std::optional<ProgramProfile> programProfile(std::string_view name)
{
    if (name == "01")
        return kalibron01Profile();
    if (name == "He-VeviRavo-1")
        return kalibronHeVeviRavo1Profile();
    return std::nullopt;
}

} // namespace kalibron
