#pragma once

#include <array>
#include <optional>
#include <string_view>
#include <vector>

#include "analysis/plot_scene.h"

namespace kalibron {

// Which fit value a result column of the sequence table shows at a row's
// position (written by "Back to File List").
enum class ResultKind {
    Linear,              // LinA + LinB·x
    ConfidenceHalfWidth, // half-width of the linear fit's confidence band at x
    Logarithmic,         // LogA + LogB·ln x
    Polynomial2,         // the degree-2 polynomial at x (also kept in YPoly(x))
};

// Whose standard uncertainty the hand-back writes in the column after the
// result columns; None leaves that column empty.
enum class UncertaintyChoice { None, Linear, Logarithmic, Polynomial2, Zigzag };

struct UncertaintyOption {
    UncertaintyChoice choice;
    const char* caption; // the column's title is "u " + caption
    const char* key;     // the tool's and the session file's name of the choice
};

// The choices in the order the file list offers them.
inline constexpr std::array<UncertaintyOption, 5> kUncertaintyOptions{{
    {UncertaintyChoice::None, "none", "none"},
    {UncertaintyChoice::Linear, "Lin.", "lin"},
    {UncertaintyChoice::Logarithmic, "Log.", "log"},
    {UncertaintyChoice::Polynomial2, "Poly2", "poly2"},
    {UncertaintyChoice::Zigzag, "Zigzag", "zigzag"},
}};

// The choice of a key; nullopt for a key that names none.
inline std::optional<UncertaintyChoice> uncertaintyChoiceOf(std::string_view key)
{
    for (const UncertaintyOption& option : kUncertaintyOptions)
        if (key == option.key)
            return option.choice;
    return std::nullopt;
}

inline const char* uncertaintyKeyOf(UncertaintyChoice choice)
{
    for (const UncertaintyOption& option : kUncertaintyOptions)
        if (choice == option.choice)
            return option.key;
    return "none";
}

struct ResultColumn {
    int column;
    const char* title;
    ResultKind kind;
    std::optional<Rgb> background; // per filled row; none = the grid's default
    bool copiedByClick;            // a single click copies the cell
};

// The sequence table's result columns, width and colours. The window lays
// the table out from it, and the hand-back, the copy text and the master file
// read the same value, so a program with other columns changes only this.
struct FileListTableLayout {
    std::vector<ResultColumn> results{
        {6, "Lin. Interp.", ResultKind::Linear, Rgb{255, 255, 0}, true},
        {7, "C.I.", ResultKind::ConfidenceHalfWidth, std::nullopt, true},
        {8, "Log. Interp.", ResultKind::Logarithmic, Rgb{255, 192, 255}, true},
        {9, "Poly2 Inter.", ResultKind::Polynomial2, std::nullopt, false},
    };
    Rgb standardValueBackground{255, 255, 128}; // column 5 "STD c/s"
    int tableWidth = 9350;                      // twips, set by Update_Flex2
    int tableHeight = 4575;
    // Widths in twips of columns 0..7; the others keep the grid's standard width.
    std::array<int, 8> columnWidths{400, 2600, 400, 800, 600, 800, 800, 800};
    int lastCopiedColumn = 8; // "Copy" puts columns 1..this on the clipboard
    // The first column after the result columns: where the chosen u goes.
    int uncertaintyColumn() const
    {
        int last = 5; // "STD c/s", the last column before any result
        for (const ResultColumn& result : results)
            last = result.column > last ? result.column : last;
        return last + 1;
    }
};

// What differs in the file list window between the programs.
struct FileListOptions {
    FileListTableLayout table;
    // "Interpolate" refuses a table with fewer than two standard values.
    bool checkStandardCount = true;
};

} // namespace kalibron
