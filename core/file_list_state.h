#pragma once

#include <string>
#include <vector>

namespace kalibron {

// The sequence table FlexGrid2 as plain text cells: rows 0..999 and columns
// 0..79, row 0 and column 0 being the header cells. The file list window
// shows it; the hand-back, the copy text and the master file read it.
class SequenceGrid {
public:
    static constexpr int kRows = 1000;
    static constexpr int kCols = 80;

    // Text of a cell; the empty text outside the grid.
    const std::string& text(int row, int col) const;
    // Writes a cell; a cell outside the grid is ignored.
    void setText(int row, int col, std::string text);
    void clear();

private:
    // Allocated by the first write: a program that never fills the table
    // (the command-line tool's export, Kalibron-01) pays nothing for it.
    std::vector<std::string> m_cells;
};

// The file list window's part of the shared data store. Lists are held from
// index 0 (the first file) rather than 1; a table row r shows entry r - 1.
struct FileListState {
    // --- Scan of a directory --------------------------------------------------
    std::string DayKey;                // Text1 & "_" & Text3, e.g. 0808_27
    std::vector<std::string> AllFiles; // every listed file, in code-point order
    int nAllFiles = 0;                 // files listed (at most kMaxListedFiles)
    int nDirectoryFiles = 0;           // plain files found, before the limit
    std::vector<std::string> SortName; // files of the day without ".ext", by time
    std::vector<std::string> SortTime; // their time of day, hh:mm:ss
    std::vector<int> SortSecs;         // the same as seconds since midnight
    int nDayFiles = 0;                 // rows of the sequence table
    int FirstSecs = 0;                 // seconds of the earliest file of the day
    std::string DayListing;            // the day list put on the clipboard

    // --- Sequence table -------------------------------------------------------
    SequenceGrid FlexGrid2;
    int EditRow = 0;            // row whose standard value is being typed
    std::vector<double> RowPos; // position of each row, from the hand-over
    // Rows whose results the hand-back extrapolated: before the first or after
    // the last standard the fits used (shown apart; texts unchanged).
    std::vector<bool> Extrapolated;

    // --- Output -----------------------------------------------------------------
    std::string MasterName = "0_master.csv";
    std::string MasterPath;
};

} // namespace kalibron
