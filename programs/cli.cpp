#include "programs/cli.h"

#include <ostream>
#include <string_view>

#include "programs/cli_options.h"
#include "programs/cli_sequence.h"
#include "programs/cli_session.h"

namespace kalibron {

int runCli(int argc, char** argv, std::istream& in, std::ostream& out, std::ostream& err)
{
    const std::string_view first = argc >= 2 ? std::string_view(argv[1]) : std::string_view();
    if (first == "sequence")
        return runSequence(argc, argv, in, out, err);
    if (first == "--help" || first == "-h") {
        out << mainHelp();
        return kExitOk;
    }
    if (first == "--version") {
        out << "kalibron " KALIBRON_VERSION "\n";
        return kExitOk;
    }
    CliOptions options;
    try {
        options = parseOptions(argc, argv);
    } catch (const UsageError& e) {
        err << "kalibron: " << e.reason << '\n';
        return kExitRefused;
    }
    if (options.help) {
        out << commandHelp(options.command);
        return kExitOk;
    }
    CliSession session(options, argc > 0 ? argv[0] : "kalibron", out, err);
    if (const int status = session.calculate(in); status != kExitOk)
        return status;
    switch (options.command) {
    case Command::Export:
        return writeExport(session);
    case Command::Fit:
        return writeFit(session);
    case Command::Plot:
        return writePlot(session);
    case Command::Rank:
        return writeRank(session);
    case Command::Values:
        return writeValues(session);
    }
    return kExitOk;
}

} // namespace kalibron
