// Fuzz target for the Student t table reader: parseStudent on the text and
// LoadStudent on the same bytes written as student.dat. A loaded table holds
// only positive finite t values and survives a round trip through the
// file's plain layout; a refused file leaves the store unloaded and unchanged
// and yields exactly one short message naming the file.
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "core/messages.h"
#include "core/store.h"
#include "core/student_table.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/store_snapshot.h"

namespace {

using namespace kalibron;
using namespace kalibron::testing_support;

// A message box is read by a person: the reader must not paste kilobytes of
// the file into it.
constexpr std::size_t kLongestProblem = 400;

std::filesystem::path& folder()
{
    static std::filesystem::path path;
    return path;
}

void removeFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(folder(), ignored);
}

std::string canonicalText(const StudentTable& table)
{
    std::string text = "df,0.1,0.05,0.025,0.01,0.005,0.001\r\n";
    char number[40];
    for (int r = 1; r <= 101; ++r) {
        text += std::to_string(r);
        for (int p = 1; p <= 6; ++p) {
            std::snprintf(number, sizeof number, ",%.17g", table.at(p, r));
            text += number;
        }
        text += "\r\n";
    }
    return text;
}

bool sameTable(const StudentTable& a, const StudentTable& b) { return a.loaded == b.loaded && a.t == b.t; }

void checkParse(const StudentParseResult& parsed)
{
    if (!parsed.problem.empty()) {
        KALIBRON_FUZZ_REQUIRE(!parsed.table.loaded, "table marked loaded despite a problem");
        KALIBRON_FUZZ_REQUIRE(parsed.problem.size() <= kLongestProblem, "problem text too long for a message");
        KALIBRON_FUZZ_REQUIRE(parsed.problem.find('\0') == std::string::npos, "problem text holds a NUL byte");
        return;
    }
    KALIBRON_FUZZ_REQUIRE(parsed.table.loaded, "no problem but table not loaded");
    for (int p = 0; p <= 6; ++p)
        for (int r = 0; r <= 101; ++r) {
            const double t = parsed.table.at(p, r);
            if (p == 0 || r == 0)
                KALIBRON_FUZZ_REQUIRE(t == 0, "column 0 or row 0 written");
            else
                KALIBRON_FUZZ_REQUIRE(std::isfinite(t) && t > 0, "t value not positive and finite");
        }
    // The same numbers in the file's plain layout must load to the same table.
    const StudentParseResult again = parseStudent(canonicalText(parsed.table));
    KALIBRON_FUZZ_REQUIRE(again.problem.empty() && sameTable(again.table, parsed.table),
                          "table does not survive a round trip through the plain layout");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char pattern[] = "/tmp/kalibron-fuzz-student-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    folder() = pattern;
    std::atexit(removeFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const StudentParseResult parsed = parseStudent(text);
    checkParse(parsed);

    {
        std::ofstream out(folder() / "student.dat", std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    Store store(ProgramSettings{8});
    store.gPath = folder().string();
    const StoreSnapshot before = snapshot(store);
    CollectingMessageSink sink;
    LoadStudent(store, sink);
    if (parsed.problem.empty()) {
        KALIBRON_FUZZ_REQUIRE(sink.messages.empty(), "loaded file produced a message");
        KALIBRON_FUZZ_REQUIRE(sameTable(store.Student, parsed.table), "LoadStudent disagrees with parseStudent");
    } else {
        KALIBRON_FUZZ_REQUIRE(sink.messages.size() == 1, "refused file without exactly one message");
        KALIBRON_FUZZ_REQUIRE(sink.messages.front().text.find("student.dat") != std::string::npos,
                              "message does not name student.dat");
        KALIBRON_FUZZ_REQUIRE(sink.messages.front().text.find(parsed.problem) != std::string::npos,
                              "message does not say what is wrong");
        KALIBRON_FUZZ_REQUIRE(snapshot(store) == before, "refused file changed the store");
    }
    return 0;
}
