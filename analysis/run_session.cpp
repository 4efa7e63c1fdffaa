#include "analysis/run_session.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <span>
#include <variant>

#include <nlohmann/json.hpp>

#include "analysis/file_scan.h"
#include "analysis/sequence_table.h"
#include "core/atomic_file.h"
#include "core/file_list_state.h"
#include "core/messages.h"
#include "core/store.h"
#include "core/value_cell.h"
#include "regression/polynomial_fit.h"
#include "regression/uncertainty.h"
#include "regression/zigzag.h"

namespace kalibron {
namespace {

using Json = nlohmann::ordered_json;

constexpr int kSessionVersion = 1;
// Far above the largest real session (999 rows of long names), low enough
// that a wrong file chosen by mistake is refused before it is read whole.
constexpr std::uintmax_t kMaxSessionBytes = 64u << 20;

// A refusal while a session is read: the key it concerns and why.
struct Refusal {
    std::string text;
};

// A name or path in a message, whole, with control and non-UTF-8 bytes as \xHH.
std::string shown(const std::string& text) { return shownText(text, 4096); }

std::string toHex(const std::string& bytes)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

std::optional<std::string> fromHex(const std::string& hex)
{
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    if (hex.size() % 2 != 0)
        return std::nullopt;
    std::string out;
    out.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int hi = nibble(hex[i]), lo = nibble(hex[i + 1]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        out += static_cast<char>(hi * 16 + lo);
    }
    return out;
}

// Folder and file names are bytes, not always UTF-8, and JSON holds only
// UTF-8: a text that is not valid UTF-8 goes under key + "_hex" as the hex
// digits of its bytes, so every name comes back exactly.
void putText(Json& object, const std::string& key, const std::string& text)
{
    if (isValidUtf8(text))
        object[key] = text;
    else
        object[key + "_hex"] = toHex(text);
}

std::optional<std::string> getText(const Json& object, const std::string& key, const std::string& where)
{
    if (const auto hex = object.find(key + "_hex"); hex != object.end()) {
        if (!hex->is_string())
            throw Refusal{"\"" + where + key + "_hex\" is not a text"};
        auto bytes = fromHex(hex->get<std::string>());
        if (!bytes)
            throw Refusal{"\"" + where + key + "_hex\" is not an even number of hex digits"};
        return bytes;
    }
    const auto it = object.find(key);
    if (it == object.end())
        return std::nullopt;
    if (!it->is_string())
        throw Refusal{"\"" + where + key + "\" is not a text"};
    return it->get<std::string>();
}

bool isBandMethod(const std::string& m)
{
    return m == "lin" || m == "log" || m == "zigzag" ||
        (m.size() == 5 && m.starts_with("poly") && m[4] >= '1' && m[4] <= '5') ||
        driftMethodOf(m).has_value();
}

bool isAlertMethod(const std::string& m)
{
    return m == "lin" || m == "log" || m == "zigzag" ||
        (m.size() == 5 && m.starts_with("poly") && m[4] >= '2' && m[4] <= '5');
}

// The regression settings by key: a new member of RegressionSettings is one
// more line here, and the reader, the writer and the documentation's table
// follow it.
using Member = std::variant<bool RegressionSettings::*, std::string RegressionSettings::*,
                            std::array<bool, 6> RegressionSettings::*, std::array<bool, 8> RegressionSettings::*,
                            std::array<bool, kDriftMethods> RegressionSettings::*>;
struct SettingKey {
    const char* key;
    Member member;
    bool (*valid)(const std::string&) = nullptr;
    const char* expected = nullptr; // what `valid` accepts, for the message
};
const SettingKey kSettingKeys[] = {
    {"zigzag", &RegressionSettings::chkZigZag},
    {"confidence_band", &RegressionSettings::chkConf},
    {"logarithmic", &RegressionSettings::chkLog},
    {"polynomials", &RegressionSettings::chkPoly},
    {"free_degree", &RegressionSettings::ComboBox1},
    {"y_full_scale", &RegressionSettings::yFull},
    {"x_full_scale", &RegressionSettings::xFull},
    {"export_columns", &RegressionSettings::chkEX},
    {"weight_by_y_errors", &RegressionSettings::weightByYErrors},
    {"export_uncertainties", &RegressionSettings::exportUncertainties},
    {"uncertainties", &RegressionSettings::uncertainties},
    {"band_method", &RegressionSettings::bandMethod, isBandMethod,
     "lin, log, poly1 .. poly5, zigzag, spline, preceding, succeeding, bracket or mean"},
    {"drift_methods_shown", &RegressionSettings::chkDrift},
    {"drift_methods_exported", &RegressionSettings::chkDriftEX},
};

template <std::size_t N> void readBools(const Json& value, std::array<bool, N>& out, const std::string& key)
{
    if (!value.is_array() || value.size() != N)
        throw Refusal{"\"" + key + "\" is not a list of " + std::to_string(N) + " true/false values"};
    for (std::size_t i = 0; i < N; ++i) {
        if (!value[i].is_boolean())
            throw Refusal{"\"" + key + "\" is not a list of " + std::to_string(N) + " true/false values"};
        out[i] = value[i].get<bool>();
    }
}

Json regressionJson(const RegressionSettings& settings)
{
    Json out = Json::object();
    for (const SettingKey& entry : kSettingKeys)
        std::visit([&](auto member) { out[entry.key] = settings.*member; }, entry.member);
    return out;
}

void readRegression(const Json& object, RegressionSettings& settings)
{
    if (!object.is_object())
        throw Refusal{"\"regression\" is not an object"};
    for (const SettingKey& entry : kSettingKeys) {
        const auto it = object.find(entry.key);
        if (it == object.end())
            continue;
        const std::string key = std::string("regression.") + entry.key;
        std::visit(
            [&](auto member) {
                using T = std::remove_reference_t<decltype(settings.*member)>;
                if constexpr (std::is_same_v<T, bool>) {
                    if (!it->is_boolean())
                        throw Refusal{"\"" + key + "\" is not true or false"};
                    settings.*member = it->template get<bool>();
                } else if constexpr (std::is_same_v<T, std::string>) {
                    if (!it->is_string())
                        throw Refusal{"\"" + key + "\" is not a text"};
                    const std::string text = it->template get<std::string>();
                    if (entry.valid && !entry.valid(text))
                        throw Refusal{"\"" + key + "\" is \"" + shown(text) + "\", not " + entry.expected};
                    settings.*member = text;
                } else {
                    readBools(*it, settings.*member, key);
                }
            },
            entry.member);
    }
}

template <typename T> T numberAt(const Json& object, const char* key, T fallback)
{
    const auto it = object.find(key);
    if (it == object.end())
        return fallback;
    if constexpr (std::is_same_v<T, bool>) {
        if (!it->is_boolean())
            throw Refusal{std::string("\"") + key + "\" is not true or false"};
    } else if constexpr (std::is_integral_v<T>) {
        if (!it->is_number_integer())
            throw Refusal{std::string("\"") + key + "\" is not a whole number"};
    } else if (!it->is_number()) {
        throw Refusal{std::string("\"") + key + "\" is not a number"};
    }
    return it->template get<T>();
}

RunSession sessionFrom(const Json& root)
{
    if (!root.is_object())
        throw Refusal{"it is not a JSON object"};
    const auto version = root.find("kalibron_session");
    if (version == root.end())
        throw Refusal{"\"kalibron_session\" is missing"};
    if (!version->is_number_integer() || version->get<long long>() != kSessionVersion)
        throw Refusal{"\"kalibron_session\" is " + version->dump() + "; this program reads version " +
                      std::to_string(kSessionVersion)};
    RunSession session;
    for (const auto& [key, target] : {std::pair{"directory", &session.directory}, std::pair{"day", &session.day},
                                      std::pair{"extension", &session.extension}, std::pair{"marker", &session.marker}})
        if (auto text = getText(root, key, ""))
            *target = std::move(*text);
    // Read wide so that a huge number is refused rather than cut into range.
    const long long level = numberAt<long long>(root, "probability_level", session.probabilityLevel);
    if (level < 1 || level > 6)
        throw Refusal{"\"probability_level\" is " + std::to_string(level) + ", not 1 .. 6"};
    session.probabilityLevel = static_cast<int>(level);
    session.interpolated = numberAt<bool>(root, "interpolated", session.interpolated);
    if (const auto alert = root.find("alert"); alert != root.end()) {
        if (!alert->is_object())
            throw Refusal{"\"alert\" is not an object"};
        session.alertMultiple = numberAt<double>(*alert, "multiple", session.alertMultiple);
        if (!std::isfinite(session.alertMultiple) || session.alertMultiple <= 0)
            throw Refusal{"\"alert.multiple\" is not a number above 0"};
        if (auto method = getText(*alert, "method", "alert.")) {
            if (!isAlertMethod(*method))
                throw Refusal{"\"alert.method\" is \"" + shown(*method) + "\", not lin, log, poly2 .. poly5 or zigzag"};
            session.alertMethod = *method;
        }
    }
    if (auto key = getText(root, "uncertainty_column", "")) {
        const std::optional<UncertaintyChoice> choice = uncertaintyChoiceOf(*key);
        if (!choice)
            throw Refusal{"\"uncertainty_column\" is \"" + shown(*key) + "\", not none, lin, log, poly2 or zigzag"};
        session.uncertaintyColumn = *choice;
    }
    if (const auto regression = root.find("regression"); regression != root.end())
        readRegression(*regression, session.regression);
    if (const auto rows = root.find("rows"); rows != root.end()) {
        if (!rows->is_array())
            throw Refusal{"\"rows\" is not a list"};
        for (std::size_t i = 0; i < rows->size(); ++i) {
            const Json& row = (*rows)[i];
            const std::string where = "rows[" + std::to_string(i) + "].";
            if (!row.is_object())
                throw Refusal{"\"rows[" + std::to_string(i) + "]\" is not an object"};
            RowMark mark;
            auto name = getText(row, "name", where);
            if (!name || name->empty())
                throw Refusal{"\"" + where + "name\" is missing or empty"};
            mark.name = std::move(*name);
            mark.type = getText(row, "type", where).value_or("");
            if (mark.type != "Std" && !mark.type.empty())
                throw Refusal{"\"" + where + "type\" is \"" + shown(mark.type) + "\", not \"Std\" or \"\""};
            mark.standardValue = getText(row, "value", where).value_or("");
            if (const auto refused = refuseStandardValue(mark.standardValue))
                throw Refusal{"\"" + where + "value\": " + *refused};
            mark.rejected = numberAt<bool>(row, "rejected", false);
            session.rows.push_back(std::move(mark));
        }
    }
    // A session belongs to one folder and day: without them it cannot be
    // continued, and a relative folder would name whichever one is current.
    if (session.directory.empty() || !std::filesystem::path(session.directory).is_absolute())
        throw Refusal{"\"directory\" is missing or not an absolute path"};
    if (session.day.empty())
        throw Refusal{"\"day\" is missing or empty"};
    return session;
}

std::string absoluteDirectory(const std::string& directory)
{
    std::error_code error;
    std::filesystem::path path = std::filesystem::absolute(directory, error);
    if (error)
        path = directory;
    std::string text = path.lexically_normal().string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

int positionOf(const FileListState& state, const Store& store, int row)
{
    const double position = leadingNumber(state.FlexGrid2.text(row, kColPosition));
    if (!(position >= 0) || position > store.bound())
        return -1;
    return static_cast<int>(roundHalfEven(position));
}

} // namespace

std::string sessionJson(const RunSession& session)
{
    Json root = Json::object();
    root["kalibron_session"] = kSessionVersion;
    putText(root, "directory", session.directory);
    putText(root, "day", session.day);
    putText(root, "extension", session.extension);
    putText(root, "marker", session.marker);
    root["probability_level"] = session.probabilityLevel;
    root["interpolated"] = session.interpolated;
    root["alert"] = Json::object();
    root["alert"]["multiple"] = session.alertMultiple;
    putText(root["alert"], "method", session.alertMethod);
    root["uncertainty_column"] = uncertaintyKeyOf(session.uncertaintyColumn);
    root["regression"] = regressionJson(session.regression);
    Json rows = Json::array();
    for (const RowMark& mark : session.rows) {
        Json row = Json::object();
        putText(row, "name", mark.name);
        putText(row, "type", mark.type);
        putText(row, "value", mark.standardValue);
        row["rejected"] = mark.rejected;
        rows.push_back(std::move(row));
    }
    root["rows"] = std::move(rows);
    return root.dump(2) + "\n";
}

SessionRead parseSession(std::string_view text, const std::string& fileName)
{
    const std::string head = "the session file " + shown(fileName) + " is not a KALIBRON session: ";
    SessionRead read;
    Json root;
    try {
        root = Json::parse(text.begin(), text.end());
    } catch (const nlohmann::json::parse_error& e) {
        const std::size_t at = std::min<std::size_t>(e.byte > 0 ? e.byte - 1 : 0, text.size());
        const long line = 1 + std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(at), '\n');
        std::string what = e.what();
        // nlohmann's own text after its position: "syntax error while parsing ...".
        if (const std::size_t colon = what.find(": "); colon != std::string::npos)
            what = what.substr(colon + 2);
        read.problem =
            head + (text.empty() ? std::string("it is empty") : shown(what)) + " (line " + std::to_string(line) + ")";
        return read;
    }
    try {
        read.session = sessionFrom(root);
    } catch (const Refusal& refusal) {
        read.problem = head + refusal.text;
    } catch (const nlohmann::json::exception& e) {
        read.problem = head + e.what();
    }
    return read;
}

SessionRead readSessionFile(const std::string& path)
{
    SessionRead read;
    const std::string head = "cannot read the session file " + shown(path) + ": ";
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (error) {
        read.problem = head + error.message();
        return read;
    }
    if (std::filesystem::is_directory(status)) {
        read.problem = head + std::strerror(EISDIR);
        return read;
    }
    // A device or a pipe chosen by mistake would be read without end.
    if (!std::filesystem::is_regular_file(status)) {
        read.problem = head + "it is not a plain file";
        return read;
    }
    const std::string tooLarge = head + "it holds more than " + std::to_string(kMaxSessionBytes >> 20) + " MiB";
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (!error && size > kMaxSessionBytes) {
        read.problem = tooLarge;
        return read;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        read.problem = head + std::strerror(errno);
        return read;
    }
    // No more than the limit, even from a file that grows while it is read.
    std::string text(kMaxSessionBytes + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad()) {
        read.problem = head + "a read error";
        return read;
    }
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.size() > kMaxSessionBytes) {
        read.problem = tooLarge;
        return read;
    }
    return parseSession(text, path);
}

std::string writeSessionFile(const RunSession& session, const std::string& path)
{
    return writeSessionText(sessionJson(session), path);
}

std::string writeSessionText(const std::string& json, const std::string& path)
{
    const std::string head = "cannot write the session file " + shown(path) + ": ";
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    std::error_code error;
    if (!parent.empty())
        std::filesystem::create_directories(parent, error);
    if (error)
        return head + error.message();
    const std::string problem = writeFileAtomically(path, json);
    return problem.empty() ? std::string() : head + problem;
}

std::string sessionFileName(const std::string& directory, const std::string& day)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : absoluteDirectory(directory)) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    static constexpr char digits[] = "0123456789abcdef";
    std::string name = "session-";
    for (int shift = 60; shift >= 0; shift -= 4)
        name += digits[(hash >> shift) & 15];
    name += '-';
    for (const char c : day) {
        const bool plain = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
        name += plain ? c : '_';
    }
    return name + ".json";
}

std::vector<RowMark> captureRowMarks(const FileListState& state, const Store& store, std::string_view marker)
{
    std::vector<RowMark> marks;
    const int rows = std::min<int>(state.nDayFiles, static_cast<int>(state.SortName.size()));
    for (int row = 1; row <= rows; ++row) {
        RowMark mark;
        mark.name = state.SortName[static_cast<std::size_t>(row - 1)];
        mark.type = state.FlexGrid2.text(row, kColType);
        mark.standardValue = state.FlexGrid2.text(row, kColStandard);
        const int position = positionOf(state, store, row);
        mark.rejected = position >= 0 && store.Rejected[static_cast<std::size_t>(position)].value() >= 1;
        const std::string scanned = isStandardName(mark.name, marker) ? "Std" : "";
        if (mark.type != scanned || !mark.standardValue.empty() || mark.rejected)
            marks.push_back(std::move(mark));
    }
    return marks;
}

std::vector<std::string> applyRowMarks(FileListState& state, Store& store, const std::vector<RowMark>& marks)
{
    std::map<std::string_view, int> rowOf;
    const int rows = std::min<int>(state.nDayFiles, static_cast<int>(state.SortName.size()));
    for (int row = 1; row <= rows; ++row) {
        rowOf.emplace(state.SortName[static_cast<std::size_t>(row - 1)], row);
        if (const int position = positionOf(state, store, row); position >= 0)
            store.Rejected[static_cast<std::size_t>(position)] = ValueCell(0.0);
    }
    std::vector<std::string> missing;
    for (const RowMark& mark : marks) {
        const auto it = rowOf.find(mark.name);
        if (it == rowOf.end()) {
            missing.push_back(mark.name);
            continue;
        }
        state.FlexGrid2.setText(it->second, kColType, mark.type);
        state.FlexGrid2.setText(it->second, kColStandard, mark.standardValue);
        if (const int position = positionOf(state, store, it->second); mark.rejected && position >= 0)
            store.Rejected[static_cast<std::size_t>(position)] = ValueCell(1.0);
    }
    return missing;
}

std::optional<ArrivalCheck> checkArrival(const std::vector<double>& x, const std::vector<double>& y, double newX,
                                         double newY, const std::string& method, double multiple)
{
    if (x.size() != y.size() || !std::isfinite(newX) || !std::isfinite(newY))
        return std::nullopt;
    const auto n = static_cast<int>(x.size());
    ArrivalCheck check;
    double s = 0, u = 0;
    if (method == "lin" || method == "log") {
        const bool logarithmic = method == "log";
        std::vector<double> g(x);
        if (logarithmic) {
            if (!(newX > 0) || std::any_of(x.begin(), x.end(), [](double v) { return !(v > 0); }))
                return std::nullopt;
            std::transform(x.begin(), x.end(), g.begin(), [](double v) { return std::log(v); });
        }
        const auto line = centredLine(g, y, {});
        if (!line || line->n <= 2)
            return std::nullopt;
        const double gNew = logarithmic ? std::log(newX) : newX;
        s = std::sqrt(line->chi2 / (line->n - 2));
        u = s * std::sqrt(1.0 / line->sumW + (gNew - line->gMean) * (gNew - line->gMean) / line->sgg);
        check.prediction = line->a + line->b * gNew;
    } else if (method.size() == 5 && method.starts_with("poly") && method[4] >= '2' && method[4] <= '5') {
        const int degree = method[4] - '0';
        if (n <= degree + 1)
            return std::nullopt;
        const std::vector<double> w(x.size(), 1.0);
        const PolynomialFit fit = weightedPolynomialFit(x, y, w, degree);
        if (fit.status != PolynomialStatus::Fitted)
            return std::nullopt;
        const double newXs[] = {newX};
        const std::vector<double> h = polynomialLeverages(fit, newXs);
        if (h.empty())
            return std::nullopt;
        s = std::sqrt(fit.rss / (fit.n - degree - 1));
        u = s * std::sqrt(h[0]);
        check.prediction = static_cast<double>(chebyshevValue(fit.stable, newX));
    } else if (method == "zigzag") {
        // The zigzag reads its points from a store's positions.
        Store store;
        const double top = store.bound();
        if (!(newX >= 0 && newX <= top))
            return std::nullopt;
        for (int i = 0; i < n; ++i) {
            if (!(x[static_cast<std::size_t>(i)] >= 0 && x[static_cast<std::size_t>(i)] <= top))
                return std::nullopt;
            const double position = roundHalfEven(x[static_cast<std::size_t>(i)]);
            store.Y[static_cast<std::size_t>(position)] = ValueCell(y[static_cast<std::size_t>(i)]);
            store.MaxX = std::max(store.MaxX, position);
        }
        const std::vector<ZigzagCluster> clusters = zigzagClusters(store);
        std::vector<ZigzagPoint> points;
        for (const ZigzagCluster& c : clusters)
            points.push_back({c.x, c.y});
        const auto value = zigzagAt(points, newX);
        const int at = static_cast<int>(roundHalfEven(newX));
        const FitUncertainty fu = zigzagUncertainty(clusters, store, at);
        if (!value || fu.empty() || !fu.s || !std::isfinite(fu.u[static_cast<std::size_t>(at)]))
            return std::nullopt;
        s = *fu.s;
        u = fu.u[static_cast<std::size_t>(at)];
        check.prediction = *value;
    } else {
        return std::nullopt;
    }
    check.uPred = std::sqrt(s * s + u * u);
    check.value = newY;
    check.distance = std::abs(newY - check.prediction);
    check.flagged = check.distance > multiple * check.uPred;
    return check;
}

std::optional<ArrivalCheck> checkArrivalOf(const FileListState& state, const Store& store, const std::string& name,
                                           const std::string& method, double multiple)
{
    // The standards as Interpolate hands them over: a value above 0 in
    // column 5 at the row's position; a rejected one takes no part.
    struct Standard {
        int position;
        double value;
    };
    const auto standardAt = [&](int row) -> std::optional<Standard> {
        const double value = leadingNumber(state.FlexGrid2.text(row, kColStandard));
        const int position = positionOf(state, store, row);
        if (!(value > 0) || position < 0)
            return std::nullopt;
        return Standard{position, value};
    };
    const int rows = std::min<int>(state.nDayFiles, static_cast<int>(state.SortName.size()));
    std::optional<Standard> arrival;
    for (int row = 1; row <= rows && !arrival; ++row)
        if (state.SortName[static_cast<std::size_t>(row - 1)] == name && !(arrival = standardAt(row)))
            return std::nullopt;
    if (!arrival)
        return std::nullopt;
    std::vector<double> x, y;
    for (int row = 1; row <= rows; ++row) {
        const std::optional<Standard> standard = standardAt(row);
        if (standard && standard->position < arrival->position &&
            !(store.Rejected[static_cast<std::size_t>(standard->position)].value() >= 1)) {
            x.push_back(standard->position);
            y.push_back(standard->value);
        }
    }
    return checkArrival(x, y, arrival->position, arrival->value, method, multiple);
}

} // namespace kalibron
