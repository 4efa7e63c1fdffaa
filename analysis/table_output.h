#pragma once

#include <string>
#include <string_view>

#include "analysis/file_list_options.h"

namespace kalibron {

struct FileListState;

// Appends a cell of a TAB-separated, CR-ended line. A TAB, CR or LF inside
// the text (a file name may hold them) would break the line apart, so each
// becomes a blank.
void appendLineCell(std::string& out, const std::string& text);

// "Copy": one line per grid row 0..nDayFiles; each holds, for each column
// 1..layout.lastCopiedColumn, a TAB and the cell's text, and ends with CR.
// When the hand-back has put a u column up (its title is there), each line
// carries that column too, after the others.
std::string tableCopyText(const FileListState& state, const FileListTableLayout& layout);

// The master file's text: one record per grid row 0 .. nAllFiles (at most the
// grid's last row), each ended by CR LF. Field 1 is "" for row 0 and the row
// number for the others; fields 2..14 are columns 1..13, each between double
// quotes with every quote inside doubled (a"b is written "a""b"), so CSV
// readers read every record back exactly.
std::string masterFileText(const FileListState& state);

// Appends a CSV text cell between double quotes, each quote doubled
// (RFC 4180), whatever it holds: the reader never has to guess.
void appendQuoted(std::string& out, std::string_view text);

// WriteMaster: writes masterFileText to fileName at once or not at all (an
// existing file stays untouched on failure). Empty on success, else the
// message naming the file and the reason.
std::string WriteMaster(const FileListState& state, const std::string& fileName);

// Folder the save dialog starts in: the program's folder when it is a
// writable folder, otherwise the scanned directory.
std::string masterDialogFolder(const std::string& programFolder, const std::string& scannedDirectory);

} // namespace kalibron
