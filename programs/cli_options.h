#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "analysis/regression_settings.h"
#include "programs/program_settings.h"

namespace kalibron {

// The commands that run the regression window's calculation on a table.
enum class Command { Export, Fit, Plot, Rank, Values };

struct CliOptions {
    Command command = Command::Export;
    std::string table;
    bool tableGiven = false;
    int probIndex = 3;
    ProgramProfile profile = kalibron01Profile();
    RegressionSettings settings;
    std::vector<int> reject;
    bool onlyUnrejected = false;
    std::string output;
    double dpi = 96;
    bool help = false;
};

// A wrong option or option value; the text is the one-line reason.
struct UsageError {
    std::string reason;
};

// `kalibron COMMAND [OPTIONS] TABLE` into options; throws UsageError.
CliOptions parseOptions(int argc, char** argv);

// The text of `kalibron --help` and of `kalibron COMMAND --help`.
std::string_view mainHelp();
std::string commandHelp(Command command);

bool endsWithIgnoringCase(std::string_view text, std::string_view ending);

} // namespace kalibron
