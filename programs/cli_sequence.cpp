#include "programs/cli_sequence.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <istream>
#include <iterator>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "analysis/calculation.h"
#include "analysis/file_scan.h"
#include "analysis/interpolation.h"
#include "analysis/run_session.h"
#include "analysis/sequence_table.h"
#include "analysis/table_output.h"
#include "core/file_list_state.h"
#include "core/messages.h"
#include "core/store.h"
#include "programs/cli.h"
#include "programs/program_settings.h"
#include "programs/startup.h"
#include "programs/tool_locale.h"

namespace kalibron {
namespace {

constexpr std::string_view kSequenceHelp =
    "Usage: kalibron sequence [--program 01|He-VeviRavo-1] --day YYMM_DD --ext EXT\n"
    "                         [--standard MARK] [--values FILE|-] [--prob N]\n"
    "                         [--uncertainty lin|log|poly2|zigzag]\n"
    "                         [--master FILE] [--listing] DIR\n"
    "       kalibron sequence [--program 01|He-VeviRavo-1] --session FILE\n"
    "                         [--master FILE] [--listing]\n"
    "\n"
    "Runs the file list window's day on DIR: the scan (files of the day YYMM_DD\n"
    "with the extension EXT, in time order), \"Edit list in table\", and with\n"
    "--values the typed standard values, \"Interpolate\" and \"Back to File List\".\n"
    "Writes the text \"Copy\" puts on the clipboard (TAB cells, CR line ends).\n"
    "  --program NAME   program whose settings apply (default 01)\n"
    "  --day YYMM_DD    the day at the start of the file names, e.g. 0808_27\n"
    "  --ext EXT        extension of the files, without the dot, e.g. env\n"
    "  --standard MARK  2-character marker of standard files (default -S)\n"
    "  --values FILE    lines ROW<TAB>VALUE typed into column \"STD c/s\" of table\n"
    "                   row ROW ('-' reads standard input); a later line for a row\n"
    "                   replaces an earlier one; an empty VALUE clears the cell\n"
    "  --prob N         probability level 1..6 of the confidence band (default 3)\n"
    "  --uncertainty M  with --values or --session, the hand-back also writes\n"
    "                   the standard uncertainty u of method M (lin, log, poly2\n"
    "                   or zigzag) at each row's position into the column after\n"
    "                   the results, titled \"u Lin.\", \"u Log.\", \"u Poly2\" or\n"
    "                   \"u Zigzag\"; the table and the master file carry it\n"
    "  --master FILE    also write the master file, as \"Save master file\" does\n"
    "  --session FILE   the file list window's session file: its folder, day,\n"
    "                   extension, marker, typed values, Typ marks, rejections,\n"
    "                   probability level and regression settings; when the session\n"
    "                   was interpolated, also \"Interpolate\" and \"Back to File\n"
    "                   List\" with them. Not with --day, --ext, --standard,\n"
    "                   --values, --prob or DIR\n"
    "  --listing        write the day listing of the scan instead of the table\n"
    "Exit status: 0 done, 2 wrong option, refused value or too few standards,\n"
    "1 folder, file or values not readable, master file or standard output not\n"
    "writable.\n";

struct SequenceOptions {
    ProgramProfile profile = kalibron01Profile();
    std::string day, extension, standard = "-S", values, master, directory;
    bool dayGiven = false, extensionGiven = false, valuesGiven = false, directoryGiven = false;
    bool listing = false, help = false;
    std::string session; // --session FILE; empty without
    bool standardGiven = false, probGiven = false;
    int probIndex = 3;
    UncertaintyChoice uncertainty = UncertaintyChoice::None;
    bool uncertaintyGiven = false; // --uncertainty given: it overrides a session's choice
};

struct Refused {
    std::string reason;
};

SequenceOptions parseSequenceOptions(int argc, char** argv)
{
    SequenceOptions o;
    for (int i = 2; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            o.help = true;
            continue;
        }
        if (!arg.starts_with("-") || arg == "-") {
            if (o.directoryGiven)
                throw Refused{"more than one directory given ('" + o.directory + "' and '" + std::string(arg) + "')"};
            o.directory = std::string(arg);
            o.directoryGiven = true;
            continue;
        }
        std::optional<std::string_view> inlineValue;
        if (const std::size_t eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
            inlineValue = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
        }
        const std::string name(arg);
        auto value = [&]() -> std::string {
            if (inlineValue)
                return std::string(*inlineValue);
            if (i + 1 >= argc)
                throw Refused{name + " needs a value"};
            return argv[++i];
        };
        if (name == "--program") {
            const std::string program = value();
            const auto profile = programProfile(program);
            if (!profile)
                throw Refused{"--program: unknown program '" + program + "' (01, He-VeviRavo-1)"};
            o.profile = *profile;
        } else if (name == "--day") {
            o.day = value();
            o.dayGiven = true;
        } else if (name == "--ext") {
            o.extension = value();
            o.extensionGiven = true;
        } else if (name == "--standard") {
            o.standard = value();
            o.standardGiven = true;
        } else if (name == "--values") {
            o.values = value();
            o.valuesGiven = true;
        } else if (name == "--prob") {
            const std::string text = value();
            int n = 0;
            const auto r = std::from_chars(text.data(), text.data() + text.size(), n);
            if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size() || n < 1 || n > 6)
                throw Refused{"--prob: '" + text + "' is not a whole number from 1 to 6"};
            o.probIndex = n;
            o.probGiven = true;
        } else if (name == "--uncertainty") {
            const std::string method = value();
            const std::optional<UncertaintyChoice> choice = uncertaintyChoiceOf(method);
            if (!choice || *choice == UncertaintyChoice::None)
                throw Refused{"--uncertainty: unknown method '" + method + "' (lin, log, poly2, zigzag)"};
            o.uncertainty = *choice;
            o.uncertaintyGiven = true;
        } else if (name == "--master") {
            o.master = value();
            if (o.master.empty())
                throw Refused{"--master needs a file name"};
        } else if (name == "--session") {
            o.session = value();
            if (o.session.empty())
                throw Refused{"--session needs a file name"};
        } else if (name == "--listing") {
            if (inlineValue)
                throw Refused{"--listing takes no value"};
            o.listing = true;
        } else {
            throw Refused{"unknown option '" + name + "' for sequence"};
        }
    }
    if (o.help)
        return o;
    // Only an interpolation hands a u column back: without one the option would do nothing.
    if (o.uncertaintyGiven && !o.valuesGiven && o.session.empty())
        throw Refused{"--uncertainty needs --values or --session: without an interpolation no u column is written"};
    if (!o.session.empty()) {
        // The session names all of these itself: two sources would leave one silently unused.
        const std::pair<bool, const char*> conflicts[] = {
            {o.dayGiven, "--day"},       {o.extensionGiven, "--ext"}, {o.standardGiven, "--standard"},
            {o.valuesGiven, "--values"}, {o.probGiven, "--prob"},     {o.directoryGiven, "a directory"}};
        for (const auto& [given, what] : conflicts)
            if (given)
                throw Refused{std::string("--session takes the folder, day, extension, marker, values and probability "
                                          "level from the session file; leave out ") +
                              what};
        return o;
    }
    if (!o.dayGiven)
        throw Refused{"--day YYMM_DD is needed"};
    if (!o.extensionGiven)
        throw Refused{"--ext EXT is needed"};
    if (!o.directoryGiven)
        throw Refused{"no directory given"};
    return o;
}

// Writes collected messages, one line each, as the window would have shown them.
void flush(CollectingMessageSink& sink, std::size_t& written, std::ostream& err)
{
    for (; written < sink.messages.size(); ++written) {
        std::string line = sink.messages[written].text;
        for (char& c : line)
            if (c == '\r' || c == '\n')
                c = ' ';
        // The messages quote names and values already cut and escaped.
        err << shownText(line, line.size()) << '\n';
    }
}

// Types the values of --values into the table, with the yellow field's rules.
// Returns the reason of the first refused line, or nothing.
std::optional<std::string> typeValues(FileListState& list, const std::string& text)
{
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        const std::string where = "--values line " + std::to_string(number) + " ('" + shownText(line) + "'): ";
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos)
            return where + "no TAB between row and value";
        int row = 0;
        const auto r = std::from_chars(line.data(), line.data() + tab, row);
        if (tab == 0 || r.ec != std::errc() || r.ptr != line.data() + tab || row < 1 || row > list.nDayFiles)
            return where + "row is not a number from 1 to " + std::to_string(list.nDayFiles);
        const std::string value = line.substr(tab + 1);
        if (const auto refused = refuseStandardValue(value))
            return where + *refused;
        list.EditRow = row;
        enterStandardValue(list, value);
    }
    return std::nullopt;
}

// The values file, read with the system's own calls so that every failure
// (a folder, a file that may not be read, a read error) has its reason.
std::optional<std::string> readAll(const std::string& path, std::istream& in, std::string& text)
{
    if (path == "-") {
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (in.bad())
            return std::string("cannot read standard input");
        if (text.size() > kMaxTableBytes)
            return "the values on standard input hold more than " + std::to_string(kMaxTableBytes >> 20) + " MiB";
        return std::nullopt;
    }
    const std::string shown = shownText(path, 4096);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return "cannot read " + shown + ": " + std::strerror(errno);
    std::string problem;
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        problem = "cannot read " + shown + ": " + std::strerror(errno);
    else if (S_ISDIR(info.st_mode))
        problem = "cannot read " + shown + ": " + std::strerror(EISDIR);
    char buffer[65536];
    while (problem.empty()) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno != EINTR)
                problem = "cannot read " + shown + ": " + std::strerror(errno);
            continue;
        }
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.size() > kMaxTableBytes)
            problem = "cannot read " + shown + ": it holds more than " + std::to_string(kMaxTableBytes >> 20) +
                " MiB, far more than values for a table of " + std::to_string(kMaxTableRows) + " rows";
    }
    ::close(fd);
    if (!problem.empty())
        return problem;
    return std::nullopt;
}

} // namespace

int runSequence(int argc, char** argv, std::istream& in, std::ostream& out, std::ostream& err)
{
    SequenceOptions o;
    try {
        o = parseSequenceOptions(argc, argv);
    } catch (const Refused& e) {
        err << "kalibron: " << shownText(e.reason, 400) << '\n';
        return kExitRefused;
    }
    if (o.help) {
        out << kSequenceHelp;
        return kExitOk;
    }

    // A session replaces the folder, day, extension, marker and level options.
    std::optional<RunSession> session;
    if (!o.session.empty()) {
        SessionRead read = readSessionFile(o.session);
        if (!read.session) {
            err << "kalibron: " << shownText(read.problem, 4096) << '\n';
            return kExitIoError;
        }
        session = std::move(read.session);
        o.directory = session->directory;
        o.day = session->day;
        o.extension = session->extension;
        o.standard = session->marker;
        o.probIndex = session->probabilityLevel;
        if (!o.uncertaintyGiven)
            o.uncertainty = session->uncertaintyColumn;
    }

    std::string valuesText;
    if (o.valuesGiven) {
        if (const auto problem = readAll(o.values, in, valuesText)) {
            err << "kalibron: " << *problem << '\n';
            return kExitIoError;
        }
    }

    const DirectoryListing listing =
        listDirectory(o.directory, [&](std::string_view name) { return matchesDay(name, o.day, o.extension); });
    if (!listing.problem.empty()) {
        err << "kalibron: " << listing.problem << '\n';
        return kExitIoError;
    }

    CollectingMessageSink sink;
    std::size_t written = 0;
    const std::unique_ptr<Store> store = startUp(o.profile, argc > 0 ? argv[0] : "kalibron", sink);
    flush(sink, written, err);
    FileListState& list = store->fileList;
    const FileListOptions& options = o.profile.fileListWindow;
    const ToolLocale toolLocale = toolNumberLocale(store->gPath);
    if (!toolLocale.problem.empty()) {
        err << "kalibron: " << toolLocale.problem << '\n';
        return kExitIoError;
    }
    const NumberLocale& locale = toolLocale.locale;

    // The scan, then "Edit list in table".
    list.DayKey = o.day;
    scanDay(list, listing.files, o.extension, sink);
    flush(sink, written, err);
    Update_Flex2(list, o.standard, options.table);

    bool interpolate = o.valuesGiven;
    if (session) {
        // As the window restores a session: marks by file name, rejections at today's positions.
        for (const std::string& name : applyRowMarks(list, *store, session->rows))
            err << "kalibron: " << shownText(name)
                << " of the session is not a file of the day; its marks are left out\n";
        bool anyValue = false;
        for (int row = 1; row <= list.nDayFiles; ++row)
            anyValue = anyValue || !list.FlexGrid2.text(row, kColStandard).empty();
        interpolate = session->interpolated && anyValue;
        if (!interpolate)
            err << "kalibron: "
                << (session->interpolated ? "the session holds no standard value" : "the session was not interpolated")
                << "; no result columns (and so no u column) are written\n";
    }
    if (interpolate) {
        if (const auto refused = o.valuesGiven ? typeValues(list, valuesText) : std::nullopt) {
            err << "kalibron: " << *refused << '\n';
            return kExitRefused;
        }
        // "Interpolate", the regression window's activation, "Back to File List".
        if (!Interpolate(*store, options, sink)) {
            flush(sink, written, err);
            return kExitRefused;
        }
        if (store->nPointsAll < 2) {
            // A program that hands over any number of standards: the
            // regression's own "too few data" message, and no result.
            flush(sink, written, err);
            return kExitRefused;
        }
        store->ProbIndex = o.probIndex;
        RegressionSettings settings = session ? session->regression : RegressionSettings{};
        settings.uncertainties = o.uncertainty != UncertaintyChoice::None;
        const CalculationResult result =
            calculateFits(*store, settings, sink, locale, o.profile.regressionWindow.calculation);
        flush(sink, written, err);
        BackToFileList(*store, options.table, locale, o.uncertainty, &result.fits);
    }

    out << (o.listing ? list.DayListing : tableCopyText(list, options.table));
    out.flush();
    if (!out) {
        err << "kalibron: cannot write standard output\n";
        return kExitIoError;
    }
    if (!o.master.empty()) {
        const std::string problem = WriteMaster(list, o.master);
        if (!problem.empty()) {
            err << "kalibron: " << problem << '\n';
            return kExitIoError;
        }
    }
    return kExitOk;
}

} // namespace kalibron
