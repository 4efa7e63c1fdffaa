#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kalibron {

class MessageSink;
struct Store;

inline constexpr int kMaxTableLines = 6000;
inline constexpr int kMaxTableCells = 100;
// No number an instrument or a spreadsheet writes comes near this; a longer
// cell is refused before any of it is converted.
inline constexpr std::size_t kMaxCellLength = 1000;

inline constexpr const char* kClipboardEmptyMessage = "The Clipboard is empty.";
inline constexpr const char* kTableFormatMessage =
    "Error occurred while trying paste data from the clipboard. Please check the format of the copied table.";

enum class ImportStatus { Ok, Empty, BadFormat };

// One line of the table: its cells' values (at least two).
struct TableRow {
    std::vector<double> cells;
};

struct ParsedTable {
    int nCols = 0;              // tabs in the first line + 1
    int nLines = 0;             // CRs among all characters but the last
    std::vector<TableRow> rows; // rows[0..nLines-1]
};

struct TableParse {
    ImportStatus status = ImportStatus::BadFormat;
    ParsedTable table;
};

// Pure parse of a pasted table (no store, no clipboard): CR ends a line, LF
// alone does not; TAB separates cells; every cell a finite decimal number.
// Refuses what lies outside the data model: fewer than 3 or more than 6000
// lines, more than 100 cells in a line, a line with fewer than two cells, an
// X that rounds (half to even) outside 0..positionBound, a value beyond the
// range of a double. Cells of a last line that is not counted (the text ends
// in a bare CR) are checked but not stored; text behind the last tab or CR is
// never read. Linear in the length of the text.
TableParse parseTable(std::string_view text, int positionBound);

// Replaces the sequence data of the store with an accepted table: every Y the
// empty text, then per line Y(x) and Yerr(x) (Empty when the line has no third
// cell; later lines win), nPointsAll = lines with Y > 0, MaxX = largest X as
// read, every Rejected 0, nCols. Both programs take the largest X: the X of
// the last line would leave every point of a table that is not in ascending
// X beyond that line out of the position loops without a word.
void applyTable(Store& store, const ParsedTable& table);

// ImportClipboard: parse + apply, reporting a refusal through the sink with
// the system's messages. A refused text leaves the store unchanged.
ImportStatus ImportClipboard(Store& store, std::string_view text, MessageSink& messages);

} // namespace kalibron
