#include "core/student_table.h"

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

#include "core/messages.h"
#include "core/store.h"
#include "core/value_cell.h"

namespace kalibron {

namespace {

// Where an installed program's data folder lies, seen from the program's
// folder (bin/ -> share/kalibron/); set by the build from the install folders.
#ifndef KALIBRON_DATA_FROM_BIN
#define KALIBRON_DATA_FROM_BIN "../share/kalibron"
#endif
constexpr int kRecords = 101;
constexpr int kValuesPerRecord = 7;
constexpr int kValuesNeeded = kRecords * kValuesPerRecord;
// The table takes some 8 KB; a file many times that size is something else
// and is refused before it is read.
constexpr std::uintmax_t kMaxFileBytes = 1 << 20;

std::string sizeProblem(std::uintmax_t bytes)
{
    return "it holds " + std::to_string(bytes) + " bytes, far more than a Student t table";
}

bool isLineEnd(char c) { return c == '\r' || c == '\n'; }

// Steps over one line end (CR LF, CR or LF) at `pos`.
std::size_t skipLineEnd(std::string_view text, std::size_t pos)
{
    if (pos < text.size() && text[pos] == '\r')
        ++pos;
    else if (pos < text.size() && text[pos] == '\n')
        return pos + 1;
    if (pos < text.size() && text[pos] == '\n')
        ++pos;
    return pos;
}

std::string_view trimBlanks(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// Where a value sits, for the problem text.
std::string placeOf(int valueIndex, int line)
{
    const int record = valueIndex / kValuesPerRecord + 1;
    const int inRecord = valueIndex % kValuesPerRecord + 1;
    return "value " + std::to_string(inRecord) + " of record " + std::to_string(record) + " (line " +
        std::to_string(line) + ")";
}

// The value as the message shows it, cut and with its control bytes escaped
// as every message shows outside text.
std::string quoted(std::string_view text) { return "\"" + shownText(text, 40, "...") + "\""; }

} // namespace

StudentParseResult parseStudent(std::string_view text)
{
    StudentParseResult result;
    if (text.size() > kMaxFileBytes) {
        result.problem = sizeProblem(text.size());
        return result;
    }
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    if (trimBlanks(text).empty()) {
        result.problem = "the file is empty";
        return result;
    }

    // The header line holds column titles; whatever it says is ignored.
    std::size_t pos = 0;
    while (pos < text.size() && !isLineEnd(text[pos]))
        ++pos;
    pos = skipLineEnd(text, pos);
    int line = 2;

    int count = 0;
    bool afterComma = false;
    while (count < kValuesNeeded && pos < text.size()) {
        std::size_t end = pos;
        while (end < text.size() && text[end] != ',' && !isLineEnd(text[end]))
            ++end;
        const std::string_view field = trimBlanks(text.substr(pos, end - pos));
        const bool beforeComma = end < text.size() && text[end] == ',';

        if (field.empty()) {
            // Blank lines separate nothing; an empty field beside a comma is
            // a value left out, which would shift every value behind it.
            if (afterComma || beforeComma) {
                result.problem = placeOf(count, line) + " is empty";
                return result;
            }
        } else {
            if (count % kValuesPerRecord != 0) { // the first value of a record is its label
                const int p = count % kValuesPerRecord;
                const int r = count / kValuesPerRecord + 1;
                const std::optional<double> value = parseDecimal(field);
                if (!value) {
                    result.problem = placeOf(count, line) + " " + quoted(field) + " is not a finite number";
                    return result;
                }
                if (!(*value > 0)) {
                    result.problem = placeOf(count, line) + " " + quoted(field) + " is not a positive t value";
                    return result;
                }
                result.table.t[static_cast<std::size_t>(p)][static_cast<std::size_t>(r)] = *value;
            }
            ++count;
        }

        afterComma = beforeComma;
        if (beforeComma) {
            pos = end + 1;
        } else {
            pos = skipLineEnd(text, end);
            ++line;
        }
    }

    if (count < kValuesNeeded) {
        result.table = StudentTable{};
        result.problem = "it holds only " + std::to_string(count) + " values after the header line, " +
            std::to_string(kValuesNeeded) + " are needed";
        return result;
    }
    result.table.loaded = true;
    return result;
}

const char* studentDataFromProgram() { return KALIBRON_DATA_FROM_BIN; }

void LoadStudent(Store& store, MessageSink& messages)
{
    store.Student = StudentTable{};
    const std::filesystem::path folder(store.gPath.empty() ? std::string(".") : store.gPath);
    const std::filesystem::path beside = folder / "student.dat";
    const std::filesystem::path installed = (folder / studentDataFromProgram() / "student.dat").lexically_normal();
    std::error_code error;
    const bool besideExists = std::filesystem::exists(beside, error);
    const std::filesystem::path& path = !besideExists && std::filesystem::exists(installed, error) ? installed : beside;

    std::string problem;
    std::string contents;
    if (!std::filesystem::exists(path, error)) {
        problem = "the file does not exist, nor does " + installed.string();
    } else if (std::filesystem::is_directory(path, error)) {
        problem = "it is a folder, not a file";
    } else if (const std::uintmax_t size = std::filesystem::file_size(path, error); !error && size > kMaxFileBytes) {
        problem = sizeProblem(size);
    } else {
        std::ifstream file(path, std::ios::binary);
        if (!file) {
            problem = "the file cannot be opened";
        } else {
            std::ostringstream buffer;
            buffer << file.rdbuf();
            if (file.bad())
                problem = "the file cannot be read";
            else
                contents = std::move(buffer).str();
        }
    }

    if (problem.empty()) {
        StudentParseResult parsed = parseStudent(contents);
        if (parsed.table.loaded) {
            store.Student = parsed.table;
            return;
        }
        problem = parsed.problem;
    }

    Message message;
    message.text =
        "Cannot use the Student t table " + path.string() + ": " + problem + ". The confidence band is not available.";
    message.title = std::string();
    message.icon = MessageIcon::Exclamation;
    messages.show(message);
}

} // namespace kalibron
