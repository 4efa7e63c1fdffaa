// Fuzz target for the typed-values reader of `kalibron sequence --values`:
// the bytes are the values file, read from standard input in-process, for a
// fixed day of five files (first byte: program and output). Checks: the tool
// accepts exactly the files the reader's rules accept (lines ROW<TAB>VALUE,
// ROW 1..5, VALUE empty or one finite decimal number, at least two positive
// standards), a refusal writes nothing to standard output and no master file,
// every message is one short line of valid UTF-8 without control bytes, and
// an accepted file gives the table with the values as typed.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/sequence_table.h"
#include "core/messages.h"
#include "core/value_cell.h"
#include "programs/cli.h"
#include "tests/fuzz/finite_text.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

using namespace kalibron;

constexpr int kRows = 5;

// The day's folder, made once: five files ten minutes apart.
const std::string& dayFolder()
{
    static const std::string path = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "kalibron_fuzz_values_XXXXXX").string();
        std::string folder = ::mkdtemp(pattern.data());
        for (int i = 0; i < kRows; ++i) {
            const std::string file = folder + "/0808_27" + static_cast<char>('a' + i) + (i % 2 ? "" : "-S") + "0" +
                std::to_string(i) + ".env";
            std::ofstream(file) << "x";
            const time_t t = 1219795200 + 9 * 3600 + 600 * i;
            const struct timespec times[2] = {{t, 0}, {t, 0}};
            ::utimensat(AT_FDCWD, file.c_str(), times, 0);
        }
        return folder;
    }();
    return path;
}

// The reader's rules, line by line: the cells typed, or nothing when a line
// is refused.
std::optional<std::array<std::string, kRows + 1>> expectedCells(std::string_view text)
{
    std::array<std::string, kRows + 1> cells{};
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        const bool last = end == std::string_view::npos;
        std::string_view line = text.substr(start, last ? std::string_view::npos : end - start);
        start = last ? text.size() : end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty())
            continue;
        const std::size_t tab = line.find('\t');
        if (tab == std::string_view::npos || tab == 0)
            return std::nullopt;
        const std::string_view rowText = line.substr(0, tab);
        int row = 0;
        for (const char c : rowText) {
            if (c < '0' || c > '9' || row > 1000)
                return std::nullopt;
            row = row * 10 + (c - '0');
        }
        if (row < 1 || row > kRows)
            return std::nullopt;
        const std::string_view value = line.substr(tab + 1);
        if (refuseStandardValue(value))
            return std::nullopt;
        cells[static_cast<std::size_t>(row)] = std::string(value);
    }
    return cells;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const bool he = data[0] & 1;
    const std::string values(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::string master = dayFolder() + ".master.csv";
    ::unlink(master.c_str());

    std::vector<std::string> args{"kalibron", "sequence", "--program", he ? "He-VeviRavo-1" : "01",
                                  "--day",    "0808_27",  "--ext",     "env",
                                  "--values", "-",        "--master",  master,
                                  dayFolder()};
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::istringstream in(values);
    std::ostringstream out, err;
    const int status = runCli(static_cast<int>(args.size()), argv.data(), in, out, err);

    const std::string message = err.str();
    KALIBRON_FUZZ_REQUIRE(isValidUtf8(message), "a message is not valid UTF-8");
    for (const char c : message)
        KALIBRON_FUZZ_REQUIRE(static_cast<unsigned char>(c) >= 0x20 || c == '\n', "control byte on standard error");
    KALIBRON_FUZZ_REQUIRE(message.size() <= 1000, "an unbounded message");

    const auto cells = expectedCells(values);
    int standards = 0;
    if (cells)
        for (int r = 1; r <= kRows; ++r)
            standards += parseDecimal((*cells)[static_cast<std::size_t>(r)]).value_or(0) > 0 ? 1 : 0;
    const bool accepted = cells && standards >= 2;
    KALIBRON_FUZZ_REQUIRE(status == (accepted ? kExitOk : kExitRefused), "exit status disagrees with the rules");
    if (!accepted) {
        KALIBRON_FUZZ_REQUIRE(out.str().empty(), "refused values wrote to standard output");
        KALIBRON_FUZZ_REQUIRE(!message.empty(), "refused values without a message");
        KALIBRON_FUZZ_REQUIRE(::access(master.c_str(), F_OK) != 0, "refused values wrote a master file");
        return 0;
    }
    // Row r of the copy text holds the value as typed in column 5 ("STD c/s").
    std::istringstream lines(out.str());
    std::string line;
    KALIBRON_FUZZ_REQUIRE(std::getline(lines, line, '\r'), "no title line");
    for (int r = 1; r <= kRows; ++r) {
        KALIBRON_FUZZ_REQUIRE(std::getline(lines, line, '\r'), "a row is missing");
        std::vector<std::string> parts;
        std::size_t from = 0;
        for (std::size_t tab; (tab = line.find('\t', from)) != std::string::npos; from = tab + 1)
            parts.push_back(line.substr(from, tab - from));
        parts.push_back(line.substr(from));
        KALIBRON_FUZZ_REQUIRE(parts.size() >= 6, "a row lost its cells");
        KALIBRON_FUZZ_REQUIRE(parts[5] == (*cells)[static_cast<std::size_t>(r)], "a typed value changed");
    }
    KALIBRON_FUZZ_REQUIRE(!testing_support::showsNonFinite(out.str()), "non-finite number in the table");
    KALIBRON_FUZZ_REQUIRE(::access(master.c_str(), F_OK) == 0, "accepted values wrote no master file");
    ::unlink(master.c_str());
    return 0;
}
