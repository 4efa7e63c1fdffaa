#include "analysis/table_output.h"

#include <algorithm>

#include <unistd.h>

#include "core/atomic_file.h"
#include "core/file_list_state.h"

namespace kalibron {

void appendLineCell(std::string& out, const std::string& text)
{
    for (const char c : text)
        out += c == '\t' || c == '\r' || c == '\n' ? ' ' : c;
}

std::string tableCopyText(const FileListState& state, const FileListTableLayout& layout)
{
    const int uColumn = layout.uncertaintyColumn();
    const bool uShown =
        uColumn > layout.lastCopiedColumn && uColumn < SequenceGrid::kCols && !state.FlexGrid2.text(0, uColumn).empty();
    std::string text;
    for (int r = 0; r <= state.nDayFiles; ++r) {
        for (int c = 1; c <= layout.lastCopiedColumn; ++c) {
            text += '\t';
            appendLineCell(text, state.FlexGrid2.text(r, c));
        }
        if (uShown) {
            text += '\t';
            appendLineCell(text, state.FlexGrid2.text(r, uColumn));
        }
        text += '\r';
    }
    return text;
}

void appendQuoted(std::string& out, std::string_view text)
{
    out += '"';
    for (const char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

std::string masterFileText(const FileListState& state)
{
    const int lastRow = std::min(std::max(state.nAllFiles, state.nDayFiles), SequenceGrid::kRows - 1);
    std::string text;
    for (int r = 0; r <= lastRow; ++r) {
        if (r == 0)
            text += "\"\"";
        else
            text += std::to_string(r);
        for (int c = 1; c <= 13; ++c) {
            text += ',';
            appendQuoted(text, state.FlexGrid2.text(r, c));
        }
        text += "\r\n";
    }
    return text;
}

std::string WriteMaster(const FileListState& state, const std::string& fileName)
{
    const std::string problem = writeFileAtomically(fileName, masterFileText(state));
    if (problem.empty())
        return {};
    return "The master file " + fileName + " could not be written: " + problem + ".";
}

std::string masterDialogFolder(const std::string& programFolder, const std::string& scannedDirectory)
{
    if (!programFolder.empty() && ::access(programFolder.c_str(), W_OK) == 0)
        return programFolder;
    return scannedDirectory;
}

} // namespace kalibron
