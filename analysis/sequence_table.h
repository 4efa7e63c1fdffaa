#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "analysis/file_list_options.h"

namespace kalibron {

struct FileListState;

// Columns of the sequence table before the result columns.
inline constexpr int kColFileName = 1;
inline constexpr int kColType = 2;
inline constexpr int kColTime = 3;
inline constexpr int kColPosition = 4;
inline constexpr int kColStandard = 5;

// Column 1 of a row: the name without its third-last character, as the
// first (length − 3) characters, five spaces and the last 2 characters
// ("0808_27ab12" -> "0808_27a     12"). A name shorter than 3 characters is
// shown whole. Characters as NameUnits counts them, so a UTF-8 name is never
// cut inside a letter.
std::string displayName(std::string_view sortName);

// The standard test: the 2-character marker occurs in the name at a start
// 1 .. length − 2 (1-based), so never in its last two characters. A marker
// of another length never matches.
bool isStandardName(std::string_view sortName, std::string_view marker);

// Update_Flex2 without the window: empties the grid, writes the titles of
// row 0 and, for each file of the day, its number, display name, "Std" when
// the name holds the marker, time of day and position (seconds after the
// earliest file of the day + 1).
void Update_Flex2(FileListState& state, std::string_view standardMarker, const FileListTableLayout& layout);

// Double click on a "Typ" cell (row 1..999): "Std" becomes empty and the empty
// text "Std"; any other text stays. Returns whether the cell changed.
bool toggleStandardType(FileListState& state, int row);

// A standard value as the yellow field takes it on Enter: the empty text
// (clears the cell) or one complete finite number with "." as the decimal
// separator (optional sign, digits, optional fraction, optional exponent).
// nullopt when accepted, else the message that names the refused text (a
// number beyond the range of a double is named as out of range).
std::optional<std::string> refuseStandardValue(std::string_view text);

// Enter in txtInpSTDgas: writes the text, as typed, into column 5 of EditRow.
// Returns false (nothing written) when refuseStandardValue refuses it or
// EditRow is not a row of the table.
bool enterStandardValue(FileListState& state, std::string_view text);

} // namespace kalibron
