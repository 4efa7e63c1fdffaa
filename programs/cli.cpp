#include "programs/cli.h"
#include "programs/cli_sequence.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <istream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QByteArray>
#include <QGuiApplication>
#include <QImage>

#include "core/messages.h"
#include "core/number_format.h"
#include "core/store.h"
#include "core/student_table.h"
#include "core/table_import.h"
#include "programs/program_settings.h"
#include "programs/startup.h"
#include "ui/regression_window/scene_svg.h"
#include "ui/regression_window/calculation.h"
#include "ui/regression_window/export_text.h"
#include "ui/regression_window/qt_locale.h"
#include "ui/regression_window/regression_settings.h"
#include "ui/regression_window/scene_painter.h"

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
    "                        poly2..poly5, zigzag, conf, or none\n"
    "                        (default log,poly2,zigzag,conf)\n"
    "  --export LIST         export blocks, from lin, log, poly2..poly5, free,\n"
    "                        zigzag, or none (default lin,log,poly2)\n"
    "  --reject LIST         positions whose points are rejected, e.g. 5,27\n"
    "  --only-unrejected     Y scaling at rejection: only unrejected points\n"
    "  --y-zoom, --x-zoom    zoom the Y or X scale instead of the full range\n"
    "  -h, --help            show this help\n";

constexpr std::string_view kExportHelp =
    "Usage: kalibron export [OPTIONS] TABLE\n"
    "\n"
    "Writes to standard output exactly the text \"Copy interpolated values to\n"
    "clipboard\" puts on the clipboard (TAB cells, lines ended by CR).\n"
    "\n";

constexpr std::string_view kFitHelp =
    "Usage: kalibron fit [OPTIONS] TABLE\n"
    "\n"
    "Writes one JSON object: the fit results under their own names (LinA, LinB,\n"
    "LogA, ..., ZzX, ZzY), \"poly\" for each shown or exported polynomial row,\n"
    "\"labels\" with the window's result labels and \"messages\" with the messages\n"
    "shown.\n"
    "\n";

constexpr std::string_view kPlotHelp =
    "Usage: kalibron plot [OPTIONS] -o FILE TABLE\n"
    "\n"
    "Draws the window's plot into FILE, a PNG or SVG image by its ending.\n"
    "  -o, --output FILE     the image file (.png or .svg), written whole or not at all\n"
    "  --dpi N               resolution 24..1200 dots per inch (default 96)\n"
    "\n";

// ---------------------------------------------------------------------------
// Options

enum class Command { Export, Fit, Plot };

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
        throw UsageError{std::string(option) + ": '" + std::string(text) + "' is not a whole number from "
                         + std::to_string(low) + " to " + std::to_string(high)};
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

void applyShowList(RegressionSettings& s, std::string_view list)
{
    const auto items = splitList("--show", list);
    s.chkLog = s.chkZigZag = s.chkConf = false;
    s.chkPoly.fill(false);
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
        else
            throw UsageError{"--show: unknown item '" + item + "' (log, poly1..poly5, zigzag, conf, none)"};
    }
}

void applyExportList(RegressionSettings& s, std::string_view list)
{
    const auto items = splitList("--export", list);
    s.chkEX.fill(false);
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
        else
            throw UsageError{"--export: unknown item '" + item + "' (lin, log, poly2..poly5, free, zigzag, none)"};
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

CliOptions parseOptions(int argc, char** argv)
{
    CliOptions o;
    if (argc < 2)
        throw UsageError{"no command given (export, fit, plot; see kalibron --help)"};
    const std::string_view command = argv[1];
    if (command == "export")
        o.command = Command::Export;
    else if (command == "fit")
        o.command = Command::Fit;
    else if (command == "plot")
        o.command = Command::Plot;
    else
        throw UsageError{"unknown command '" + std::string(command) + "' (export, fit, plot)"};

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

// ---------------------------------------------------------------------------
// Reading the table

struct ReadResult {
    std::string bytes;
    int status = kExitOk;
    std::string problem; // one line, without the "kalibron: " prefix
};

ReadResult readStream(std::istream& in)
{
    ReadResult r;
    std::array<char, 65536> chunk;
    while (in) {
        in.read(chunk.data(), chunk.size());
        r.bytes.append(chunk.data(), static_cast<std::size_t>(in.gcount()));
        if (r.bytes.size() > kMaxTableBytes) {
            r.status = kExitRefused;
            r.problem = "standard input holds more than 64 MiB; not a table";
            return r;
        }
    }
    if (in.bad()) {
        r.status = kExitIoError;
        r.problem = "cannot read standard input";
    }
    return r;
}

ReadResult readFile(const std::string& path)
{
    ReadResult r;
    auto fail = [&](int status, const std::string& reason) {
        r.status = status;
        r.problem = (status == kExitIoError ? "cannot read " : "refused ") + path + ": " + reason;
        r.bytes.clear();
        return r;
    };
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        return fail(kExitIoError, std::strerror(EISDIR));
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file)
        return fail(kExitIoError, std::strerror(errno));
    std::array<char, 65536> chunk;
    while (true) {
        const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), file.get());
        r.bytes.append(chunk.data(), got);
        if (r.bytes.size() > kMaxTableBytes)
            return fail(kExitRefused, "larger than 64 MiB; not a table");
        if (got < chunk.size()) {
            if (std::ferror(file.get()))
                return fail(kExitIoError, std::strerror(errno));
            break;
        }
    }
    return r;
}

// ---------------------------------------------------------------------------
// Output helpers

// Messages are one line each on standard error; a box may hold line breaks.
void writeMessageLine(std::ostream& err, std::string_view text)
{
    std::string line;
    line.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (!line.empty() && line.back() != ' ')
                line += ' ';
            continue;
        }
        line += c;
    }
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    err << line << '\n';
}

// --- JSON -------------------------------------------------------------------

void appendJsonNumber(std::string& json, double value)
{
    if (!std::isfinite(value)) {
        json += "null";
        return;
    }
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    json.append(buffer, result.ptr);
}

void appendJsonCell(std::string& json, const ValueCell& cell)
{
    // A result left Empty or as the empty text has no value.
    if (!cell.present())
        json += "null";
    else
        appendJsonNumber(json, cell.value());
}

// Length of the valid UTF-8 sequence at text[i], 0 when it is not one.
std::size_t utf8SequenceLength(std::string_view text, std::size_t i)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    unsigned int min = 0;
    unsigned int code = 0;
    if (lead < 0x80)
        return 1;
    if ((lead & 0xE0) == 0xC0)
        length = 2, min = 0x80, code = lead & 0x1F;
    else if ((lead & 0xF0) == 0xE0)
        length = 3, min = 0x800, code = lead & 0x0F;
    else if ((lead & 0xF8) == 0xF0)
        length = 4, min = 0x10000, code = lead & 0x07;
    else
        return 0;
    if (i + length > text.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

void appendJsonString(std::string& json, std::string_view text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    json += '"';
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += static_cast<char>(c);
        } else if (c == '\r') {
            json += "\\r";
        } else if (c < 0x20) {
            json += "\\u00";
            json += kHex[c >> 4];
            json += kHex[c & 15];
        } else if (c >= 0x80) {
            // A file name in a message may hold bytes that are not UTF-8;
            // JSON must be valid text, so such a byte becomes U+FFFD.
            const std::size_t length = utf8SequenceLength(text, i);
            if (length == 0) {
                json += "\xEF\xBF\xBD";
                ++i;
            } else {
                json.append(text.substr(i, length));
                i += length;
            }
            continue;
        } else {
            json += static_cast<char>(c);
        }
        ++i;
    }
    json += '"';
}

class JsonObject {
public:
    explicit JsonObject(std::string& json) : m_json(json) { m_json += '{'; }
    std::string& key(std::string_view name)
    {
        if (!m_first)
            m_json += ',';
        m_first = false;
        appendJsonString(m_json, name);
        m_json += ':';
        return m_json;
    }
    void close() { m_json += '}'; }

private:
    std::string& m_json;
    bool m_first = true;
};

// ---------------------------------------------------------------------------
// The run

class CliRun {
public:
    CliRun(const CliOptions& options, const char* argv0, std::ostream& out, std::ostream& err)
        : m_options(options), m_argv0(argv0), m_out(out), m_err(err), m_locale(systemNumberLocale())
    {
    }

    int run(std::istream& in);

private:
    int fail(int status, const std::string& reason)
    {
        m_err << "kalibron: " << reason << '\n';
        return status;
    }
    void flushMessages();
    int applyRejections();
    int writeExport();
    int writeFit();
    int writePlot();
    void appendPolyRows(std::string& json);

    const CliOptions& m_options;
    const char* m_argv0;
    std::ostream& m_out;
    std::ostream& m_err;
    NumberLocale m_locale; // the window's separators: QLocale::system()

    std::unique_ptr<Store> m_store;
    CollectingMessageSink m_sink;
    std::size_t m_messagesWritten = 0;
    CalculationResult m_result;
};

void CliRun::flushMessages()
{
    for (; m_messagesWritten < m_sink.messages.size(); ++m_messagesWritten)
        writeMessageLine(m_err, m_sink.messages[m_messagesWritten].text);
}

int CliRun::run(std::istream& in)
{
    ReadResult table = m_options.table == "-" ? readStream(in) : readFile(m_options.table);
    if (table.status != kExitOk)
        return fail(table.status, table.problem);

    // Start-up as the program does it.
    m_store = startUp(m_options.profile, m_argv0, m_sink);
    Store& store = *m_store;
    store.ProbIndex = m_options.probIndex;
    flushMessages();

    // A refused table ends the run with nothing on standard output.
    const ImportStatus imported = ImportClipboard(store, clipboardTextFromFile(table.bytes), m_sink);
    flushMessages();
    if (imported != ImportStatus::Ok)
        return kExitRefused;

    if (const int status = applyRejections(); status != kExitOk)
        return status;
    store.AllData = !m_options.onlyUnrejected;

    const RegressionWindowOptions& window = m_options.profile.regressionWindow;
    // Only the plot draws; the export and the fit need no scene.
    m_result = m_options.command == Command::Plot
        ? A_PLOT(store, m_options.settings, m_sink, m_locale, window.geometry, window.calculation)
        : calculateFits(store, m_options.settings, m_sink, m_locale, window.calculation);
    flushMessages();

    switch (m_options.command) {
    case Command::Export:
        return writeExport();
    case Command::Fit:
        return writeFit();
    case Command::Plot:
        return writePlot();
    }
    return kExitOk;
}

// As a click on each point would do it; a position that holds no positive
// point could not be clicked, so naming it is a mistake worth reporting.
int CliRun::applyRejections()
{
    Store& store = *m_store;
    for (const int position : m_options.reject) {
        if (position > store.lastPosition() || !store.Y[static_cast<std::size_t>(position)].positive())
            return fail(kExitRefused, "--reject: position " + std::to_string(position) + " holds no positive point");
        store.Rejected[static_cast<std::size_t>(position)] = ValueCell(1.0);
    }
    return kExitOk;
}

int CliRun::writeExport()
{
    const std::string text = buildExport(*m_store, m_result.fits, m_options.settings, m_locale,
                                         m_options.profile.regressionWindow.exportFormat);
    m_out.write(text.data(), static_cast<std::streamsize>(text.size()));
    m_out.flush();
    if (!m_out)
        return fail(kExitIoError, "cannot write standard output");
    return kExitOk;
}

// Each ticked polynomial row as the calculation left it.
void CliRun::appendPolyRows(std::string& json)
{
    JsonObject rows(json);
    for (int s = 1; s <= 5; ++s) {
        const auto& row = m_result.fits.poly[static_cast<std::size_t>(s)];
        if (!row)
            continue;
        std::string& text = rows.key(std::to_string(s));
        JsonObject fields(text);
        appendJsonNumber(fields.key("degree"), row->degree);
        std::string& coefficients = fields.key("coefficients");
        if (row->fitted) {
            coefficients += '[';
            for (std::size_t p = 0; p < row->coefficients.size(); ++p) {
                if (p > 0)
                    coefficients += ',';
                appendJsonCell(coefficients, ValueCell(row->coefficients[p]));
            }
            coefficients += ']';
        } else {
            coefficients += "null";
        }
        if (row->fitted && row->dsig)
            appendJsonNumber(fields.key("dsig"), *row->dsig);
        else
            fields.key("dsig") += "null";
        appendJsonCell(fields.key("PolyDev"), row->fitted ? row->PolyDev : ValueCell());
        appendJsonCell(fields.key("PolyDevPct"), row->fitted ? row->PolyDevPct : ValueCell());
        fields.close();
    }
    rows.close();
}

int CliRun::writeFit()
{
    const Store& s = *m_store;
    const ResultLabels& l = m_result.labels;
    std::string json;
    json.reserve(8192);
    JsonObject root(json);
    auto number = [&](std::string_view name, double value) { appendJsonNumber(root.key(name), value); };
    auto cell = [&](std::string_view name, const ValueCell& value) { appendJsonCell(root.key(name), value); };

    number("MaxX", s.MaxX);
    number("nPoints", s.nPoints);
    number("nPointsAll", s.nPointsAll);
    number("nCols", s.nCols);
    number("FirstX", s.FirstX);
    number("MaxY", s.MaxY);
    number("MinY", s.MinY);
    cell("LinA", s.LinA);
    cell("LinB", s.LinB);
    cell("LinR", s.LinR);
    cell("LinDev", s.LinDev);
    cell("LinDevPct", s.LinDevPct);
    cell("LogA", s.LogA);
    cell("LogB", s.LogB);
    cell("LogR", s.LogR);
    cell("LogDev", s.LogDev);
    cell("LogDevPct", s.LogDevPct);
    cell("tValue", s.tValue);
    // A program that keeps none of the band's quantities has none to report.
    if (m_options.profile.regressionWindow.calculation.keepBandQuantities) {
        cell("ConfS", s.ConfS);
        cell("ConfSxx", s.ConfSxx);
        cell("ConfXMean", s.ConfXMean);
    }
    const int clusters = std::clamp(s.nClusters, 0, static_cast<int>(s.ZzX.size()) - 1);
    number("nClusters", clusters);
    for (const auto& [name, values] : {std::pair{"ZzX", &s.ZzX}, std::pair{"ZzY", &s.ZzY}}) {
        std::string& array = root.key(name);
        array += '[';
        for (int c = 1; c <= clusters; ++c) {
            if (c > 1)
                array += ',';
            appendJsonCell(array, (*values)[static_cast<std::size_t>(c)]);
        }
        array += ']';
    }
    appendPolyRows(root.key("poly"));

    {
        JsonObject labels(root.key("labels"));
        auto text = [&](std::string_view name, const std::string& value) { appendJsonString(labels.key(name), value); };
        // A count label the run did not reach keeps an earlier text, and the
        // tool has run no earlier calculation: null.
        auto kept = [&](std::string_view name, const std::optional<std::string>& value) {
            if (value)
                text(name, *value);
            else
                labels.key(name) += "null";
        };
        kept("lblNData", l.lblNData);
        kept("lblnDataOK", l.lblnDataOK);
        kept("lblRej", l.lblRej);
        text("lbl_LRa", l.lbl_LRa);
        text("lbl_LRb", l.lbl_LRb);
        text("lbl_LRr", l.lbl_LRr);
        text("lblDiff", l.lblDiff);
        text("lblDiffProc", l.lblDiffProc);
        text("lbl_LoRa", l.lbl_LoRa);
        text("lbl_LoRb", l.lbl_LoRb);
        text("lbl_LoRr", l.lbl_LoRr);
        text("lblDiffLog", l.lblDiffLog);
        text("lblDiffProcLog", l.lblDiffProcLog);
        for (std::size_t row = 1; row <= 5; ++row)
            text("lblDiffPoly(" + std::to_string(row) + ")", l.lblDiffPoly[row]);
        for (std::size_t row = 1; row <= 5; ++row)
            text("lblDiffProcPoly(" + std::to_string(row) + ")", l.lblDiffProcPoly[row]);
        kept("Label2", l.Label2);
        labels.close();
    }
    {
        std::string& messages = root.key("messages");
        messages += '[';
        for (std::size_t i = 0; i < m_sink.messages.size(); ++i) {
            if (i > 0)
                messages += ',';
            appendJsonString(messages, m_sink.messages[i].text);
        }
        messages += ']';
    }
    root.close();
    json += '\n';

    m_out.write(json.data(), static_cast<std::streamsize>(json.size()));
    m_out.flush();
    if (!m_out)
        return fail(kExitIoError, "cannot write standard output");
    return kExitOk;
}

// PNG rendering draws text, which needs a QGuiApplication; without a display
// the offscreen platform serves.
// Qt's own chatter while rendering (a missing runtime folder, the offscreen
// platform) is no message of this program; only Qt's errors get through.
void quietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "kalibron: Qt: %s\n", message.toLocal8Bit().constData());
}

QByteArray renderPng(const PlotScene& scene, double dpi)
{
    const QtMessageHandler previous = qInstallMessageHandler(quietQtMessages);
    struct Restore {
        QtMessageHandler handler;
        ~Restore() { qInstallMessageHandler(handler); }
    } restore{previous};

    std::unique_ptr<QGuiApplication> application;
    if (!QGuiApplication::instance()) {
        if (std::getenv("QT_QPA_PLATFORM") == nullptr)
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "kalibron";
        static char* argv[] = {name, nullptr};
        application = std::make_unique<QGuiApplication>(argc, argv);
    }
    const QImage image = renderSceneImage(scene, dpi);
    QByteArray bytes;
    if (image.isNull())
        return bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        bytes.clear();
    return bytes;
}

int CliRun::writePlot()
{
    const bool png = endsWithIgnoringCase(m_options.output, ".png");
    std::string bytes;
    if (png) {
        const QByteArray image = renderPng(m_result.scene, m_options.dpi);
        if (image.isEmpty())
            return fail(kExitIoError, "cannot render the plot as PNG at " + std::to_string(static_cast<int>(m_options.dpi)) + " dpi");
        bytes.assign(image.constData(), static_cast<std::size_t>(image.size()));
    } else {
        bytes = sceneToSvg(m_result.scene, m_options.dpi);
    }
    if (const std::string problem = writeFileAtomically(m_options.output, bytes); !problem.empty())
        return fail(kExitIoError, "cannot write " + m_options.output + ": " + problem);
    return kExitOk;
}

} // namespace

std::string clipboardTextFromFile(std::string_view bytes)
{
    if (bytes.starts_with("\xEF\xBB\xBF"))
        bytes.remove_prefix(3);
    std::string text;
    text.reserve(bytes.size() + bytes.size() / 16);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r'))
            text += '\r';
        text += bytes[i];
    }
    return text;
}

int runCli(int argc, char** argv, std::istream& in, std::ostream& out, std::ostream& err)
{
    if (argc >= 2 && std::string_view(argv[1]) == "sequence")
        return runSequence(argc, argv, in, out, err);
    if (argc >= 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
        out << kMainHelp;
        return kExitOk;
    }
    if (argc >= 2 && std::string_view(argv[1]) == "--version") {
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
        switch (options.command) {
        case Command::Export:
            out << kExportHelp << kCommonOptionsHelp;
            break;
        case Command::Fit:
            out << kFitHelp << kCommonOptionsHelp;
            break;
        case Command::Plot:
            out << kPlotHelp << kCommonOptionsHelp;
            break;
        }
        return kExitOk;
    }
    CliRun run(options, argc > 0 ? argv[0] : "kalibron", out, err);
    return run.run(in);
}

} // namespace kalibron
