// Fuzz target for the master-file writer: the bytes are file names and cell
// texts (separated by 0xFF 0x00, which no UTF-8 text holds), put into the
// sequence table as the scan and the yellow field put them; the master file
// is written as "Save master file" writes it and read back by a strict CSV
// reader. Checks: every record has the row number and the 13 cells exactly,
// records end with CR LF, the file is valid UTF-8 when every name and text
// is, and the file written is byte for byte the text built.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/file_list_options.h"
#include "analysis/file_scan.h"
#include "analysis/sequence_table.h"
#include "analysis/table_output.h"
#include "core/file_list_state.h"
#include "core/messages.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

using namespace kalibron;

// RFC 4180 records: a field is either plain (no quote, comma, CR or LF) or
// quoted, with a quote inside written twice; every record ends with CR LF.
// Nothing else is taken.
std::optional<std::vector<std::vector<std::string>>> readStrictCsv(std::string_view text)
{
    std::vector<std::vector<std::string>> records;
    std::size_t i = 0;
    while (i < text.size()) {
        std::vector<std::string> record;
        for (;;) {
            std::string field;
            if (i < text.size() && text[i] == '"') {
                for (++i;; ++i) {
                    if (i >= text.size())
                        return std::nullopt; // an open quote at the end
                    if (text[i] == '"') {
                        if (i + 1 < text.size() && text[i + 1] == '"') {
                            field += '"';
                            ++i;
                        } else {
                            ++i;
                            break;
                        }
                    } else {
                        field += text[i];
                    }
                }
            } else {
                while (i < text.size() && text[i] != ',' && text[i] != '\r' && text[i] != '\n') {
                    if (text[i] == '"')
                        return std::nullopt;
                    field += text[i++];
                }
            }
            record.push_back(std::move(field));
            if (i < text.size() && text[i] == ',') {
                ++i;
                continue;
            }
            if (text.substr(i, 2) != "\r\n")
                return std::nullopt;
            i += 2;
            break;
        }
        records.push_back(std::move(record));
    }
    return records;
}

std::vector<std::string> split(std::string_view bytes)
{
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (std::size_t at; (at = bytes.find(std::string_view("\xFF\0", 2), from)) != std::string_view::npos;
         from = at + 2)
        parts.emplace_back(bytes.substr(from, at - from));
    parts.emplace_back(bytes.substr(from));
    return parts;
}

const std::string& target()
{
    static const std::string path = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "kalibron_fuzz_master_XXXXXX").string();
        return std::string(::mkdtemp(pattern.data())) + "/0_master.csv";
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    // Byte 0: how many parts are names (the rest are typed cells), and how
    // many more files the folder lists than the day has.
    const std::size_t nameCount = data[0] % 16;
    const int extraFiles = data[0] / 16;
    const std::vector<std::string> parts = split(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));

    FileListState state;
    bool allUtf8 = true;
    for (std::size_t i = 0; i < parts.size() && i < nameCount; ++i) {
        state.SortName.push_back(parts[i]);
        state.SortTime.push_back(timeOfDayText(static_cast<int>(i) * 61));
        state.SortSecs.push_back(static_cast<int>(i) * 61);
        allUtf8 = allUtf8 && isValidUtf8(parts[i]);
    }
    state.nDayFiles = static_cast<int>(state.SortName.size());
    state.nAllFiles = state.nDayFiles + extraFiles;
    FileListTableLayout layout;
    Update_Flex2(state, "-S", layout);
    // The other parts: texts of the cells behind the name, row by row, as a
    // hand-back or a pasted value may leave any text there.
    for (std::size_t i = nameCount; i < parts.size(); ++i) {
        const std::size_t k = i - nameCount;
        const int row = state.nDayFiles > 0 ? static_cast<int>(k % static_cast<std::size_t>(state.nDayFiles)) + 1 : 1;
        const int col = 2 + static_cast<int>(k / std::max<std::size_t>(1, state.SortName.size()) % 12);
        state.FlexGrid2.setText(row, col, parts[i]);
        allUtf8 = allUtf8 && isValidUtf8(parts[i]);
    }

    const std::string text = masterFileText(state);
    KALIBRON_FUZZ_REQUIRE(WriteMaster(state, target()).empty(), "the master file could not be written");
    std::ifstream in(target(), std::ios::binary);
    const std::string written{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    KALIBRON_FUZZ_REQUIRE(written == text, "the file differs from the text built");
    if (allUtf8)
        KALIBRON_FUZZ_REQUIRE(isValidUtf8(written), "the master file of UTF-8 names is not UTF-8");

    const auto records = readStrictCsv(written);
    KALIBRON_FUZZ_REQUIRE(records.has_value(), "the master file is no strict CSV");
    const int lastRow = std::max(state.nAllFiles, state.nDayFiles);
    KALIBRON_FUZZ_REQUIRE(records->size() == static_cast<std::size_t>(lastRow) + 1, "records lost or added");
    for (int r = 0; r <= lastRow; ++r) {
        const std::vector<std::string>& record = (*records)[static_cast<std::size_t>(r)];
        KALIBRON_FUZZ_REQUIRE(record.size() == 14, "a record without its 14 fields");
        KALIBRON_FUZZ_REQUIRE(record[0] == (r == 0 ? std::string() : std::to_string(r)), "a row number changed");
        for (int c = 1; c <= 13; ++c)
            KALIBRON_FUZZ_REQUIRE(record[static_cast<std::size_t>(c)] == state.FlexGrid2.text(r, c),
                                  "a cell did not come back");
    }
    return 0;
}
