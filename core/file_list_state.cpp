#include "core/file_list_state.h"

namespace kalibron {

namespace {
const std::string kNoText;
}

const std::string& SequenceGrid::text(int row, int col) const
{
    if (row < 0 || row >= kRows || col < 0 || col >= kCols || m_cells.empty())
        return kNoText;
    return m_cells[static_cast<std::size_t>(row) * kCols + static_cast<std::size_t>(col)];
}

void SequenceGrid::setText(int row, int col, std::string text)
{
    if (row < 0 || row >= kRows || col < 0 || col >= kCols)
        return;
    if (m_cells.empty())
        m_cells.resize(static_cast<std::size_t>(kRows) * kCols);
    m_cells[static_cast<std::size_t>(row) * kCols + static_cast<std::size_t>(col)] = std::move(text);
}

void SequenceGrid::clear()
{
    for (std::string& cell : m_cells)
        cell.clear();
}

} // namespace kalibron
