#include "programs/cli.h"

#include <exception>
#include <new>
#include <ostream>
#include <string_view>

#include "core/messages.h"
#include "programs/cli_options.h"
#include "programs/cli_sequence.h"
#include "programs/cli_session.h"

namespace kalibron {

namespace {

int runCommand(int argc, char** argv, std::istream& in, std::ostream& out, std::ostream& err)
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
        // The reason quotes the words given; they may hold anything.
        err << "kalibron: " << shownText(e.reason, 400) << '\n';
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

} // namespace

int runCli(int argc, char** argv, std::istream& in, std::ostream& out, std::ostream& err)
{
    // Every command reports its own failures; whatever escapes one (a library
    // that throws, memory running out) still ends in one line and status 1,
    // never in the runtime's abort.
    try {
        return runCommand(argc, argv, in, out, err);
    } catch (const std::bad_alloc&) {
        err << "kalibron: not enough memory to finish the command\n";
    } catch (const std::exception& e) {
        err << "kalibron: the command stopped: " << shownText(e.what()) << '\n';
    } catch (...) {
        err << "kalibron: the command stopped on an unexpected error\n";
    }
    return kExitIoError;
}

} // namespace kalibron
