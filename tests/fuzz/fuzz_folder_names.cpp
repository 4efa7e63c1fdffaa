// Fuzz target for the folder listing and the handling of file names: the
// bytes are names (separated by '/', which no name holds) and write times.
// Every name goes through the match test, the display name and the standard
// test, checked against a plain code-point model of each rule; names that
// can be files are created in a fresh folder, listed, scanned and made into
// the sequence table. Checks: the listing gives back exactly the plain
// visible files with their times, the scan and the table agree with the
// rules, and every text written is valid UTF-8 when the names are.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/file_scan.h"
#include "analysis/sequence_table.h"
#include "analysis/table_output.h"
#include "core/file_list_state.h"
#include "core/messages.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

using namespace kalibron;

// A name as its characters: code points (as their byte sequences) of a UTF-8
// name, single bytes of any other.
std::vector<std::string> characters(std::string_view name)
{
    std::vector<std::string> out;
    const bool utf8 = isValidUtf8(name);
    for (std::size_t i = 0; i < name.size();) {
        std::size_t length = 1;
        if (utf8) {
            const auto lead = static_cast<unsigned char>(name[i]);
            length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        }
        out.emplace_back(name.substr(i, length));
        i += length;
    }
    return out;
}

std::string join(const std::vector<std::string>& parts, std::size_t from, std::size_t to)
{
    std::string out;
    for (std::size_t i = from; i < to; ++i)
        out += parts[i];
    return out;
}

// The rules, written from their wording on the character lists.
bool modelMatches(std::string_view name, std::string_view key, std::string_view extension)
{
    const auto n = characters(name);
    const bool utf8 = isValidUtf8(name);
    const std::size_t keyLength = utf8 ? characters(key).size() : key.size();
    const std::size_t extLength = utf8 ? characters(extension).size() : extension.size();
    if (utf8 && (!isValidUtf8(key) || !isValidUtf8(extension)))
        return false;
    if (keyLength != 7 || extLength != 3 || n.size() < 7)
        return false;
    return join(n, 0, 7) == key && join(n, n.size() - 4, n.size()) == "." + std::string(extension);
}

std::string modelDisplay(std::string_view name)
{
    const auto n = characters(name);
    if (n.size() < 3)
        return std::string(name);
    return join(n, 0, n.size() - 3) + "     " + join(n, n.size() - 2, n.size());
}

bool modelStandard(std::string_view name, std::string_view marker)
{
    const auto n = characters(name);
    const bool utf8 = isValidUtf8(name);
    if (utf8 && !isValidUtf8(marker))
        return false;
    if ((utf8 ? characters(marker).size() : marker.size()) != 2 || n.size() < 3)
        return false;
    for (std::size_t j = 0; j + 2 < n.size(); ++j)
        if (join(n, j, j + 2) == marker)
            return true;
    return false;
}

struct Folder {
    std::string path;
    Folder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "kalibron_fuzz_names_XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~Folder()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    // Byte 0 picks the day key and marker's forms, byte 1 the base of the times.
    const std::string_view keys[] = {"0808_27", "0808_2\xC3\xA9",
                                     "\xC3\xA4\xC3\xB6\xC3\xBC"
                                     "0808"};
    const std::string_view extensions[] = {"env", "\xC3\xA4\xC3\xB6\xC3\xBC", "e\xE2\x82\xACv"};
    const std::string_view markers[] = {"-S", "-\xC3\xA9", "\xC3\xA9", "\xFF\xFE"};
    const std::string_view key = keys[data[0] % 3];
    const std::string_view extension = extensions[(data[0] / 3) % 3];
    const std::string_view marker = markers[(data[0] / 9) % 4];
    const std::int64_t base = 1219795200 + static_cast<std::int64_t>(data[1]) * 331;

    std::vector<std::string> names;
    std::string current;
    for (std::size_t i = 2; i <= size; ++i) {
        if (i == size || data[i] == '/') {
            names.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(data[i]);
        }
    }

    bool allUtf8 = true;
    for (const std::string& name : names) {
        KALIBRON_FUZZ_REQUIRE(matchesDay(name, key, extension) == modelMatches(name, key, extension),
                              "match test disagrees with the character rule");
        const std::string shown = displayName(name);
        KALIBRON_FUZZ_REQUIRE(shown == modelDisplay(name), "display name disagrees with the character rule");
        KALIBRON_FUZZ_REQUIRE(!isValidUtf8(name) || isValidUtf8(shown), "display name of a UTF-8 name is not UTF-8");
        KALIBRON_FUZZ_REQUIRE(isStandardName(name, marker) == modelStandard(name, marker),
                              "standard test disagrees with the character rule");
        const std::string message = shownText(name);
        KALIBRON_FUZZ_REQUIRE(isValidUtf8(message), "a message quotes a name as invalid UTF-8");
        for (const char c : message)
            KALIBRON_FUZZ_REQUIRE(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F, "control byte in a message");
        allUtf8 = allUtf8 && isValidUtf8(name);
    }

    // Names a folder can hold: created, listed, scanned.
    Folder folder;
    std::vector<FileEntry> expected;
    std::vector<std::string> created;
    for (std::size_t i = 0; i < names.size() && created.size() < 12; ++i) {
        const std::string& name = names[i];
        if (name.empty() || name == "." || name == ".." || name.find('\0') != std::string::npos || name.size() > 255 ||
            std::find(created.begin(), created.end(), name) != created.end())
            continue;
        const std::string path = folder.path + "/" + name;
        const bool asFolder = !name.empty() && name.back() == 'd';
        if (asFolder ? ::mkdir(path.c_str(), 0755) != 0 : ::close(::open(path.c_str(), O_CREAT | O_WRONLY, 0644)) != 0)
            continue;
        created.push_back(name);
        const std::int64_t time = base + static_cast<std::int64_t>(i) * 4099 % 90000;
        const struct timespec times[2] = {{static_cast<time_t>(time), 0}, {static_cast<time_t>(time), 0}};
        KALIBRON_FUZZ_REQUIRE(::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0, "cannot set a time");
        if (!asFolder && name.front() != '.')
            expected.push_back({name, time});
    }
    std::sort(expected.begin(), expected.end(), [](const FileEntry& a, const FileEntry& b) { return a.name < b.name; });

    const DirectoryListing listing = listDirectory(folder.path);
    KALIBRON_FUZZ_REQUIRE(listing.problem.empty(), "a readable folder gave a problem");
    KALIBRON_FUZZ_REQUIRE(listing.files.size() == expected.size(), "the listing lost or invented a file");
    for (std::size_t i = 0; i < expected.size(); ++i) {
        KALIBRON_FUZZ_REQUIRE(listing.files[i].name == expected[i].name, "the listing changed a name or its order");
        KALIBRON_FUZZ_REQUIRE(listing.files[i].lastWrite == expected[i].lastWrite, "the listing changed a time");
    }

    FileListState state;
    state.DayKey = std::string(key);
    CollectingMessageSink messages;
    const std::string selection = scanDay(state, listing.files, extension, messages);
    int dayFiles = 0;
    for (const FileEntry& file : expected)
        dayFiles += modelMatches(file.name, key, extension) ? 1 : 0;
    KALIBRON_FUZZ_REQUIRE(state.nDayFiles == dayFiles, "the scan picked other files than the match test");
    KALIBRON_FUZZ_REQUIRE(messages.messages.empty(), "a message for a plain folder");
    for (int i = 0; i + 1 < state.nDayFiles; ++i)
        KALIBRON_FUZZ_REQUIRE(state.SortSecs[static_cast<std::size_t>(i)] <=
                                  state.SortSecs[static_cast<std::size_t>(i + 1)],
                              "the day is not in time order");
    FileListTableLayout layout;
    Update_Flex2(state, marker, layout);
    for (int r = 1; r <= state.nDayFiles; ++r) {
        const std::string& name = state.SortName[static_cast<std::size_t>(r - 1)];
        KALIBRON_FUZZ_REQUIRE(state.FlexGrid2.text(r, kColFileName) == modelDisplay(name), "table cell 1 differs");
        KALIBRON_FUZZ_REQUIRE((state.FlexGrid2.text(r, kColType) == "Std") == modelStandard(name, marker),
                              "table cell 2 differs");
    }
    if (allUtf8) {
        KALIBRON_FUZZ_REQUIRE(isValidUtf8(selection), "the blue field's text is not UTF-8");
        KALIBRON_FUZZ_REQUIRE(isValidUtf8(state.DayListing), "the day listing is not UTF-8");
        KALIBRON_FUZZ_REQUIRE(isValidUtf8(tableCopyText(state, layout)), "the copy text is not UTF-8");
        KALIBRON_FUZZ_REQUIRE(isValidUtf8(masterFileText(state)), "the master file is not UTF-8");
    }
    return 0;
}
