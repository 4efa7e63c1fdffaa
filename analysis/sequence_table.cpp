#include "analysis/sequence_table.h"

#include "analysis/file_scan.h"
#include "core/file_list_state.h"
#include "core/messages.h"
#include "core/value_cell.h"

namespace kalibron {

std::string displayName(std::string_view sortName)
{
    const NameUnits units(sortName);
    const std::size_t n = units.count();
    if (n < 3)
        return std::string(sortName);
    return std::string(sortName.substr(0, units.offset(n - 3))) + "     " +
        std::string(sortName.substr(units.offset(n - 2)));
}

bool isStandardName(std::string_view sortName, std::string_view marker)
{
    const NameUnits units(sortName);
    const std::size_t n = units.count();
    if (units.countOf(marker) != 2 || n < 3)
        return false;
    // Compared at the start of a character, a marker of two characters that
    // matches covers two whole characters of the name.
    for (std::size_t j = 0; j + 2 < n; ++j)
        if (sortName.substr(units.offset(j)).starts_with(marker))
            return true;
    return false;
}

void Update_Flex2(FileListState& state, std::string_view standardMarker, const FileListTableLayout& layout)
{
    SequenceGrid& grid = state.FlexGrid2;
    grid.clear();
    state.RowPos.clear(); // positions of an earlier hand-over no longer match the rows
    state.Extrapolated.clear();
    grid.setText(0, kColFileName, "File name");
    grid.setText(0, kColType, "Typ");
    grid.setText(0, kColTime, "Time");
    grid.setText(0, kColPosition, "Time");
    grid.setText(0, kColStandard, "STD c/s");
    for (const ResultColumn& result : layout.results)
        grid.setText(0, result.column, result.title);

    for (int r = 1; r <= state.nDayFiles; ++r) {
        const auto i = static_cast<std::size_t>(r - 1);
        const std::string& name = state.SortName[i];
        grid.setText(r, 0, std::to_string(r));
        grid.setText(r, kColFileName, displayName(name));
        if (isStandardName(name, standardMarker))
            grid.setText(r, kColType, "Std");
        grid.setText(r, kColTime, state.SortTime[i]);
        grid.setText(r, kColPosition, std::to_string(state.SortSecs[i] - state.FirstSecs + 1));
    }
}

bool toggleStandardType(FileListState& state, int row)
{
    if (row < 1 || row > kMaxTableRows)
        return false;
    const std::string& text = state.FlexGrid2.text(row, kColType);
    if (text == "Std")
        state.FlexGrid2.setText(row, kColType, "");
    else if (text.empty())
        state.FlexGrid2.setText(row, kColType, "Std");
    else
        return false;
    return true;
}

std::optional<std::string> refuseStandardValue(std::string_view text)
{
    if (text.empty())
        return std::nullopt;
    // Digits, one optional "." and fraction, an optional exponent: nothing
    // may follow that the table would read differently.
    std::size_t i = 0;
    if (text[i] == '+' || text[i] == '-')
        ++i;
    std::size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9')
        ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i, ++digits;
    }
    bool complete = digits > 0;
    if (complete && i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        std::size_t exponentDigits = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i, ++exponentDigits;
        complete = exponentDigits > 0;
    }
    if (complete && i == text.size()) {
        if (parseDecimal(text))
            return std::nullopt;
        return "\"" + shownText(text) +
            "\" is out of range: a standard value must lie between -1.79e308 and 1.79e308. Type another value, or "
            "clear the field to empty the cell.";
    }
    return "\"" + shownText(text) +
        "\" is not a number. Type the standard value with \".\" as the decimal separator (for example 120.5), "
        "or clear the field to empty the cell.";
}

bool enterStandardValue(FileListState& state, std::string_view text)
{
    if (refuseStandardValue(text) || state.EditRow < 1 || state.EditRow > kMaxTableRows)
        return false;
    state.FlexGrid2.setText(state.EditRow, kColStandard, std::string(text));
    return true;
}

} // namespace kalibron
