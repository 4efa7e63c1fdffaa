// Fuzz target for the command-line tool's table reader and everything behind
// it: the bytes of a table file go through clipboardTextFromFile, the import,
// the whole calculation and the JSON report or the export, in-process. The
// first byte picks the options. Checks: the file-to-clipboard conversion
// loses nothing, the tool accepts exactly the tables the import accepts, a
// refusal writes nothing to standard output, and no number written is
// infinite or nan.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "core/table_import.h"
#include "programs/cli.h"
#include "tests/fuzz/finite_text.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

using namespace kalibron;
using namespace kalibron::testing_support;

const std::string kEverything = "log,poly1,poly2,poly3,poly4,poly5,zigzag,conf";

const std::vector<std::vector<std::string>>& variants()
{
    static const std::vector<std::vector<std::string>> all = {
        {"fit", "-"},
        {"fit", "--show", kEverything, "--free-degree", "25", "-"},
        {"fit", "--show", kEverything, "--free-degree", "3", "--only-unrejected", "--y-zoom", "--x-zoom", "--prob", "6",
         "-"},
        {"export", "--show", kEverything, "--export", "lin,log,poly2,poly3,poly4,poly5,free,zigzag", "-"},
    };
    return all;
}

// CR LF pairs read as LF: the form in which a file and its clipboard text
// must agree.
std::string lineEndsAsLf(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            out += text[i];
    return out;
}

void checkClipboardText(std::string_view file, const std::string& clip)
{
    for (std::size_t i = 0; i < clip.size(); ++i)
        KALIBRON_FUZZ_REQUIRE(clip[i] != '\n' || (i > 0 && clip[i - 1] == '\r'), "a lone LF survived");
    if (file.substr(0, 3) == "\xEF\xBB\xBF")
        file.remove_prefix(3);
    KALIBRON_FUZZ_REQUIRE(lineEndsAsLf(file) == lineEndsAsLf(clip), "the conversion changed more than line ends");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    std::vector<std::string> args = variants()[data[0] % variants().size()];
    const std::string_view file(reinterpret_cast<const char*>(data) + 1, size - 1);

    const std::string clip = clipboardTextFromFile(file);
    checkClipboardText(file, clip);
    const bool importable = parseTable(clip, 30000).status == ImportStatus::Ok;

    args.insert(args.begin(), "kalibron");
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::istringstream in{std::string(file)};
    std::ostringstream out, err;
    const int status = runCli(static_cast<int>(args.size()), argv.data(), in, out, err);

    KALIBRON_FUZZ_REQUIRE(status == (importable ? kExitOk : kExitRefused), "exit status disagrees with the import");
    for (const char c : err.str())
        KALIBRON_FUZZ_REQUIRE(static_cast<unsigned char>(c) >= 0x20 || c == '\n', "control byte on standard error");
    if (status != kExitOk) {
        KALIBRON_FUZZ_REQUIRE(out.str().empty(), "a refused table wrote to standard output");
        KALIBRON_FUZZ_REQUIRE(!err.str().empty(), "a refused table without a message");
        return 0;
    }
    if (args[1] == "fit") {
        const std::string json = out.str();
        KALIBRON_FUZZ_REQUIRE(json.size() >= 3 && json.front() == '{' && json.substr(json.size() - 2) == "}\n",
                              "the report is not one JSON object");
        KALIBRON_FUZZ_REQUIRE(firstNonFiniteJson(json).empty(), "non-finite number in the JSON report");
    } else {
        KALIBRON_FUZZ_REQUIRE(!showsNonFinite(out.str()), "non-finite number in the export");
    }
    return 0;
}
