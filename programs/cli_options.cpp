#include "programs/cli_options.h"

#include <cctype>
#include <charconv>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace kalibron {
namespace {

// ---------------------------------------------------------------------------
// Help texts

constexpr std::string_view kMainHelp =
    "Usage: kalibron COMMAND [OPTIONS] TABLE\n"
    "\n"
    "Runs the regression window's calculation on a table without the window.\n"
    "TABLE is a file of tab-separated numbers (X, Y, optional Y error), one row a\n"
    "line, as pasted into the window; '-' reads standard input.\n"
    "\n"
    "Commands:\n"
    "  export   write the text \"Copy interpolated values to clipboard\" gives\n"
    "  fit      write the fit results as one JSON object\n"
    "  plot     draw the plot into a PNG or SVG file (-o FILE)\n"
    "  rank     rank the methods by their leave-one-out prediction error\n"
    "  values   every position's fitted values and their uncertainties as CSV\n"
    "  sequence the file list window's day on a directory (kalibron sequence --help)\n"
    "\n"
    "Run 'kalibron COMMAND --help' for the options of a command.\n"
    "'kalibron --version' shows the version.\n"
    "Exit status: 0 done, 2 refused table or wrong option, 1 file not readable or writable.\n";

constexpr std::string_view kCommonOptionsHelp =
    "Options (defaults are the window's start state):\n"
    "  --program NAME        program whose settings apply: 01 or He-VeviRavo-1\n"
    "                        (default 01)\n"
    "  --prob N              probability level 1..6 for the confidence band:\n"
    "                        1 \"0.1    80%\", 2 \"0.05   90%\", 3 \"0.025  95%\",\n"
    "                        4 \"0.01   98%\", 5 \"0.005  99%\", 6 \"0.001  99.8\" (default 3)\n"
    "  --free-degree D       degree 2..25 of the free polynomial row (default 6)\n"
    "  --show LIST           curves shown, from log, poly1 (the free degree),\n"
    "                        poly2..poly5, zigzag, conf, spline, preceding,\n"
    "                        succeeding, bracket, mean, or none\n"
    "                        (default log,poly2,zigzag,conf)\n"
    "  --export LIST         export blocks, from lin, log, poly2..poly5, free,\n"
    "                        zigzag, spline, preceding, succeeding, bracket, mean,\n"
    "                        or none (default lin,log,poly2)\n"
    "                        spline: smoothing spline, smoothness chosen by\n"
    "                        generalised cross-validation; preceding, succeeding:\n"
    "                        the standard before or after; bracket: the mean of\n"
    "                        the two; mean: no correction (the standards' mean)\n"
    "  --reject LIST         positions whose points are rejected, e.g. 5,27\n"
    "  --only-unrejected     Y scaling at rejection: only unrejected points\n"
    "  --y-zoom, --x-zoom    zoom the Y or X scale instead of the full range\n"
    "  --weights W           yerr: fit line, log and polynomials weighted by\n"
    "                        1/error² of the table's third column; none: unweighted\n"
    "                        (default none)\n"
    "  --export-uncertainties  export: a u column after each exported block\n"
    "  -h, --help            show this help\n";

constexpr std::string_view kExportHelp = "Usage: kalibron export [OPTIONS] TABLE\n"
                                         "\n"
                                         "Writes to standard output exactly the text \"Copy interpolated values to\n"
                                         "clipboard\" puts on the clipboard (TAB cells, lines ended by CR).\n"
                                         "\n";

constexpr std::string_view kFitHelp = "Usage: kalibron fit [OPTIONS] TABLE\n"
                                      "\n"
                                      "Writes one JSON object: the fit results under their own names (LinA, LinB,\n"
                                      "LogA, ..., ZzX, ZzY), \"poly\" for each shown or exported polynomial row,\n"
                                      "\"labels\" with the window's result labels, \"loo\" with each method's\n"
                                      "leave-one-out error (null without a figure), \"ranking\" with the methods\n"
                                      "best first, \"firstStandard\" and \"lastStandard\", \"messages\" with the\n"
                                      "messages shown, \"uncertainty\" with each method's u summary, and one\n"
                                      "member per drift method (spline, preceding, succeeding, bracket, mean):\n"
                                      "null unless shown or exported, else its \"lambda\" (spline), \"edf\"\n"
                                      "(effective degrees of freedom), in-sample \"dev\" and \"devPct\",\n"
                                      "\"weighted\" (the spline fitted with weights 1/error²), \"u\" with its mean u\n"
                                      "over the samples, s and mswd, and \"noBetterThanBaseline\" (its\n"
                                      "leave-one-out mean error not below that of the mean).\n"
                                      "\n";

constexpr std::string_view kRankHelp = "Usage: kalibron rank [OPTIONS] TABLE\n"
                                       "\n"
                                       "Writes the methods of the regression window as a table, best first: each\n"
                                       "one's in-sample mean deviation and its leave-one-out prediction error (each\n"
                                       "standard predicted by the method fitted without it): mean, mean %, and the\n"
                                       "largest error with its position. A method without a figure comes last.\n"
                                       "A method whose leave-one-out mean error is not below that of \"No\n"
                                       "correction (mean)\" over the same standards is marked \"no better than\n"
                                       "no correction\".\n"
                                       "\n";

constexpr std::string_view kValuesHelp = "Usage: kalibron values [OPTIONS] TABLE\n"
                                         "\n"
                                         "Writes one CSV record (RFC 4180, LF line ends) per position 0..MaxX:\n"
                                         "X,Y,used,extrapolated, then for every method fitted (shown or exported) its\n"
                                         "value and its standard uncertainty u, in the order lin, log, poly2..poly5,\n"
                                         "free, zigzag, spline, preceding, succeeding, bracket, mean (header\n"
                                         "lin,lin_u,log,log_u,...). A cell is empty where the\n"
                                         "method has no value. Numbers read back to the same double.\n"
                                         "\n";

constexpr std::string_view kPlotHelp =
    "Usage: kalibron plot [OPTIONS] -o FILE TABLE\n"
    "\n"
    "Draws the window's plot into FILE, a PNG or SVG image by its ending.\n"
    "  -o, --output FILE     the image file (.png or .svg), written whole or not at all\n"
    "  --dpi N               resolution 24..1200 dots per inch (default 96)\n"
    "\n";

// ---------------------------------------------------------------------------
// Option values

std::optional<long long> parseInteger(std::string_view text)
{
    long long value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size())
        return std::nullopt;
    return value;
}

int integerInRange(std::string_view option, std::string_view text, long long low, long long high)
{
    const auto value = parseInteger(text);
    if (!value || *value < low || *value > high)
        throw UsageError{std::string(option) + ": '" + std::string(text) + "' is not a whole number from " +
                         std::to_string(low) + " to " + std::to_string(high)};
    return static_cast<int>(*value);
}

std::vector<std::string> splitList(std::string_view option, std::string_view list)
{
    std::vector<std::string> items;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = list.find(',', start);
        const std::string_view item = list.substr(start, comma == std::string_view::npos ? comma : comma - start);
        if (item.empty())
            throw UsageError{std::string(option) + ": empty item in '" + std::string(list) + "'"};
        items.emplace_back(item);
        if (comma == std::string_view::npos)
            break;
        start = comma + 1;
    }
    return items;
}

// "none" stands alone; it would be ambiguous next to other names.
bool isNone(std::string_view option, const std::vector<std::string>& items)
{
    if (items.size() == 1 && items.front() == "none")
        return true;
    for (const std::string& item : items)
        if (item == "none")
            throw UsageError{std::string(option) + ": 'none' cannot be combined with other items"};
    return false;
}

// The drift methods' keys as option items.
void applyShowList(RegressionSettings& s, std::string_view list)
{
    const auto items = splitList("--show", list);
    s.chkLog = s.chkZigZag = s.chkConf = false;
    s.chkPoly.fill(false);
    s.chkDrift.fill(false);
    if (isNone("--show", items))
        return;
    for (const std::string& item : items) {
        if (item == "log")
            s.chkLog = true;
        else if (item == "zigzag")
            s.chkZigZag = true;
        else if (item == "conf")
            s.chkConf = true;
        else if (item.size() == 5 && item.starts_with("poly") && item[4] >= '1' && item[4] <= '5')
            s.chkPoly[static_cast<std::size_t>(item[4] - '0')] = true;
        else if (const auto m = driftMethodOf(item))
            s.chkDrift[*m] = true;
        else
            throw UsageError{"--show: unknown item '" + item +
                             "' (log, poly1..poly5, zigzag, conf, spline, preceding, succeeding, bracket, mean, "
                             "none)"};
    }
}

void applyExportList(RegressionSettings& s, std::string_view list)
{
    const auto items = splitList("--export", list);
    s.chkEX.fill(false);
    s.chkDriftEX.fill(false);
    if (isNone("--export", items))
        return;
    for (const std::string& item : items) {
        if (item == "lin")
            s.chkEX[0] = true;
        else if (item == "log")
            s.chkEX[1] = true;
        else if (item.size() == 5 && item.starts_with("poly") && item[4] >= '2' && item[4] <= '5')
            s.chkEX[static_cast<std::size_t>(item[4] - '0')] = true;
        else if (item == "free")
            s.chkEX[6] = true;
        else if (item == "zigzag")
            s.chkEX[7] = true;
        else if (const auto m = driftMethodOf(item))
            s.chkDriftEX[*m] = true;
        else
            throw UsageError{"--export: unknown item '" + item +
                             "' (lin, log, poly2..poly5, free, zigzag, spline, preceding, succeeding, bracket, "
                             "mean, none)"};
    }
}

std::vector<int> parseRejectList(std::string_view list)
{
    std::vector<int> positions;
    for (const std::string& item : splitList("--reject", list)) {
        const auto value = parseInteger(item);
        if (!value || *value < 0 || *value > 1000000000)
            throw UsageError{"--reject: '" + item + "' is not a position"};
        positions.push_back(static_cast<int>(*value));
    }
    return positions;
}

} // namespace

bool endsWithIgnoringCase(std::string_view text, std::string_view ending)
{
    if (text.size() < ending.size())
        return false;
    const std::string_view tail = text.substr(text.size() - ending.size());
    for (std::size_t i = 0; i < ending.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(tail[i])) != ending[i])
            return false;
    return true;
}

std::string_view mainHelp() { return kMainHelp; }

std::string commandHelp(Command command)
{
    std::string_view own;
    switch (command) {
    case Command::Export:
        own = kExportHelp;
        break;
    case Command::Fit:
        own = kFitHelp;
        break;
    case Command::Plot:
        own = kPlotHelp;
        break;
    case Command::Rank:
        own = kRankHelp;
        break;
    case Command::Values:
        own = kValuesHelp;
        break;
    }
    return std::string(own) + std::string(kCommonOptionsHelp);
}

CliOptions parseOptions(int argc, char** argv)
{
    CliOptions o;
    if (argc < 2)
        throw UsageError{"no command given (export, fit, plot, rank, sequence, values; see kalibron --help)"};
    const std::string_view command = argv[1];
    if (command == "export")
        o.command = Command::Export;
    else if (command == "fit")
        o.command = Command::Fit;
    else if (command == "plot")
        o.command = Command::Plot;
    else if (command == "rank")
        o.command = Command::Rank;
    else if (command == "values")
        o.command = Command::Values;
    else
        throw UsageError{"unknown command '" + std::string(command) + "' (export, fit, plot, rank, sequence, values)"};
    // The fit's summaries and the values table read u; no other command pays for it.
    o.settings.uncertainties = o.command == Command::Values || o.command == Command::Fit;

    for (int i = 2; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            o.help = true;
            continue;
        }
        if (arg == "-" || !arg.starts_with("-")) {
            if (o.tableGiven)
                throw UsageError{"more than one table given ('" + o.table + "' and '" + std::string(arg) + "')"};
            o.table = std::string(arg);
            o.tableGiven = true;
            continue;
        }
        // "--name=value" and "--name value" are both accepted.
        std::optional<std::string_view> inlineValue;
        if (arg.starts_with("--")) {
            if (const std::size_t eq = arg.find('='); eq != std::string_view::npos) {
                inlineValue = arg.substr(eq + 1);
                arg = arg.substr(0, eq);
            }
        }
        const std::string name(arg);
        auto flag = [&]() {
            if (inlineValue)
                throw UsageError{name + " takes no value"};
        };
        auto value = [&]() -> std::string_view {
            if (inlineValue)
                return *inlineValue;
            if (i + 1 >= argc)
                throw UsageError{name + " needs a value"};
            return argv[++i];
        };
        const bool plot = o.command == Command::Plot;

        if (name == "--program") {
            const std::string_view program = value();
            const std::optional<ProgramProfile> profile = programProfile(program);
            if (!profile)
                throw UsageError{"--program: unknown program '" + std::string(program) + "' (01, He-VeviRavo-1)"};
            o.profile = *profile;
        } else if (name == "--prob") {
            o.probIndex = integerInRange(name, value(), 1, 6);
        } else if (name == "--free-degree") {
            o.settings.ComboBox1 = std::to_string(integerInRange(name, value(), 2, 25));
        } else if (name == "--show") {
            applyShowList(o.settings, value());
        } else if (name == "--export") {
            applyExportList(o.settings, value());
        } else if (name == "--reject") {
            const auto positions = parseRejectList(value());
            o.reject.insert(o.reject.end(), positions.begin(), positions.end());
        } else if (name == "--only-unrejected") {
            flag();
            o.onlyUnrejected = true;
        } else if (name == "--y-zoom") {
            flag();
            o.settings.yFull = false;
        } else if (name == "--x-zoom") {
            flag();
            o.settings.xFull = false;
        } else if (name == "--weights") {
            const std::string_view weights = value();
            if (weights != "yerr" && weights != "none")
                throw UsageError{"--weights: unknown weighting '" + std::string(weights) + "' (yerr, none)"};
            o.settings.weightByYErrors = weights == "yerr";
        } else if (name == "--export-uncertainties") {
            flag();
            o.settings.exportUncertainties = true;
        } else if (plot && (name == "-o" || name == "--output")) {
            o.output = std::string(value());
            if (o.output.empty())
                throw UsageError{name + " needs a file name"};
        } else if (plot && name == "--dpi") {
            o.dpi = integerInRange(name, value(), 24, 1200);
        } else {
            throw UsageError{"unknown option '" + name + "' for " + std::string(command)};
        }
    }
    if (o.help)
        return o;
    if (!o.tableGiven)
        throw UsageError{"no table given (a file name, or - for standard input)"};
    if (o.command == Command::Plot) {
        if (o.output.empty())
            throw UsageError{"plot needs -o FILE (.png or .svg)"};
        if (!endsWithIgnoringCase(o.output, ".png") && !endsWithIgnoringCase(o.output, ".svg"))
            throw UsageError{"-o: '" + o.output + "' must end in .png or .svg"};
    }
    return o;
}

} // namespace kalibron
