#pragma once

#include "analysis/file_list_options.h"

namespace kalibron {

class MessageSink;
struct FitResults;
struct FitUncertainty;
struct FileListState;
struct NumberLocale;
struct Store;

inline constexpr const char* kTooFewStandards = "Too few data. Type more standard values in the pale yellow field.";

// "Interpolate" without the windows: hands the standards of the sequence
// table to the regression data. A row is a standard when the numeric value
// of its column 5 is above 0. Refuses, with a message and nothing changed:
//  - fewer than two standards, when options.checkStandardCount;
//  - a row whose position (column 4) lies outside 1 .. store.bound().
// Otherwise clears Y(), Yerr() and YPoly() at 1..bound, sets Y(position) of
// each standard (a later row at the same position wins), nPoints = number of
// standards, nPointsAll = number of points handed over (positions with a
// standard), MaxX = position of the last row, nCols = 2 and RowPos of every
// row. Rejected() and entry 0 are not touched. Fewer than two points handed
// over (without the count check) leave the regression nothing to fit: the
// regression's "too few data" message says so. Returns whether it handed over.
bool Interpolate(Store& store, const FileListOptions& options, MessageSink& messages);

// The u of the chosen method in fits calculated with uncertainties (the
// degree-2 row for Polynomial2); nullptr when the method did not run or
// brought no u.
const FitUncertainty* chosenUncertainty(const FitResults& fits, UncertaintyChoice choice);

// "Back to File List" without the windows: Confidence_Calc when the layout
// has a band column, then the value of each result column at every row's
// position (RowPos), standards and samples alike, in the general number form.
// A fit without a result gives the empty text; so does the band when it
// cannot be computed (fewer than three points), so no cell keeps a value of
// an earlier interpolation. The degree-2 value is also kept in YPoly(x).
// With a choice other than None, column layout.uncertaintyColumn() gets the
// title "u " + the choice's caption and, at each row, the chosen method's u
// at the row's position from `fits` (calculated with uncertainties for the
// data handed over), in the same number form; empty where the method has no
// u. With None that column is emptied, so the table is what it was before
// any choice.
void BackToFileList(Store& store, const FileListTableLayout& layout, const NumberLocale& locale,
                    UncertaintyChoice choice = UncertaintyChoice::None, const FitResults* fits = nullptr);

// Empties the result columns and the u column at every row of the table
// (their titles stay) and forgets which rows were extrapolated: what a change
// that leaves nothing to interpolate must not let stand.
void clearResults(FileListState& list, const FileListTableLayout& layout);

} // namespace kalibron
