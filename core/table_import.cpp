#include "core/table_import.h"

#include <algorithm>
#include <optional>

#include "core/messages.h"
#include "core/store.h"
#include "core/value_cell.h"

namespace kalibron {

namespace {

TableParse refused() { return TableParse{ImportStatus::BadFormat, {}}; }

// Tabs before the first CR, counting no further than `limit` + 1 so that a
// huge first line is refused without reading all of it.
int tabsInFirstLine(std::string_view text, int limit)
{
    const std::string_view first = text.substr(0, text.find('\r'));
    int tabs = 0;
    for (std::size_t pos = first.find('\t'); pos != std::string_view::npos; pos = first.find('\t', pos + 1))
        if (++tabs > limit)
            break;
    return tabs;
}

// End of the cell that starts at `pos`: the next tab or CR, npos when the text
// holds neither (the unread tail). A cell runs no further than `cap`
// characters; past that, `tooLong` is set as long as a tab or CR still comes.
std::size_t cellEnd(std::string_view text, std::size_t pos, std::size_t cap, bool& tooLong)
{
    const std::size_t stop = std::min(text.size(), pos + cap + 1);
    for (std::size_t end = pos; end < stop; ++end)
        if (text[end] == '\t' || text[end] == '\r')
            return end;
    tooLong = stop < text.size() &&
        (text.find('\t', stop) != std::string_view::npos || text.find('\r', stop) != std::string_view::npos);
    return std::string_view::npos;
}

// CRs among all characters but the last; the last character never ends a
// counted line. Stops once `limit` is exceeded.
int countedLines(std::string_view text, int limit)
{
    const std::string_view counted = text.substr(0, text.size() - 1);
    int lines = 0;
    for (std::size_t pos = counted.find('\r'); pos != std::string_view::npos; pos = counted.find('\r', pos + 1))
        if (++lines > limit)
            break;
    return lines;
}

} // namespace

TableParse parseTable(std::string_view text, int positionBound)
{
    if (text.empty())
        return TableParse{ImportStatus::Empty, {}};

    // The first line must hold a tab: this also refuses most texts that are
    // not tables at once, before anything else of them is read.
    const int tabs = tabsInFirstLine(text, kMaxTableCells - 1);
    if (tabs == 0 || tabs + 1 > kMaxTableCells)
        return refused();

    const int nLines = countedLines(text, kMaxTableLines);
    if (nLines < 3 || nLines > kMaxTableLines)
        return refused();

    TableParse result;
    result.table.nCols = tabs + 1;
    result.table.nLines = nLines;
    std::vector<TableRow>& rows = result.table.rows;
    rows.resize(static_cast<std::size_t>(nLines));
    for (TableRow& row : rows)
        row.cells.reserve(static_cast<std::size_t>(result.table.nCols));

    // Every cell ended by a tab or a CR must be a number, also those of a last
    // line that is not stored; text behind the last tab or CR is never read.
    std::size_t line = 0;
    int cellsInLine = 0;
    std::size_t pos = 0;
    for (;;) {
        bool tooLong = false;
        const std::size_t end = cellEnd(text, pos, kMaxCellLength, tooLong);
        if (tooLong)
            return refused();
        if (end == std::string_view::npos)
            break;
        const std::optional<double> value = parseDecimal(text.substr(pos, end - pos));
        if (!value || ++cellsInLine > kMaxTableCells)
            return refused();
        const bool stored = line < rows.size();
        if (stored)
            rows[line].cells.push_back(*value);
        if (text[end] == '\r') {
            if (stored && cellsInLine < 2)
                return refused();
            ++line;
            cellsInLine = 0;
        }
        pos = end + 1;
    }

    for (const TableRow& row : rows) {
        const double x = roundHalfEven(row.cells[0]);
        if (x < 0 || x > positionBound)
            return refused();
    }
    result.status = ImportStatus::Ok;
    return result;
}

void applyTable(Store& store, const ParsedTable& table)
{
    store.nPointsAll = 0;
    store.MaxX = 0;
    // Most cells already hold what they get after an earlier import, so
    // only the others are written.
    for (ValueCell& y : store.Y)
        if (!y.isText() || !y.text().empty())
            y = ValueCell::emptyText();
    for (const TableRow& row : table.rows) {
        if (row.cells.size() < 2)
            continue;
        const double x = roundHalfEven(row.cells[0]);
        if (!(x >= 0 && x < static_cast<double>(store.Y.size())))
            continue; // parseTable refuses such rows; a hand-made table must not leave the arrays either
        const auto k = static_cast<std::size_t>(x);
        store.Y[k] = row.cells[1];
        store.Yerr[k] = row.cells.size() > 2 ? ValueCell(row.cells[2]) : ValueCell();
        if (row.cells[1] > 0)
            ++store.nPointsAll;
        if (row.cells[0] > store.MaxX)
            store.MaxX = row.cells[0];
    }
    for (ValueCell& mark : store.Rejected)
        if (!mark.isNumber() || mark.value() != 0)
            mark = 0.0;
    store.nCols = table.nCols;
}

ImportStatus ImportClipboard(Store& store, std::string_view text, MessageSink& messages)
{
    const TableParse parsed = parseTable(text, store.bound());
    switch (parsed.status) {
    case ImportStatus::Ok:
        applyTable(store, parsed.table);
        break;
    case ImportStatus::Empty:
        messages.show(Message{kClipboardEmptyMessage, std::string(), MessageIcon::Exclamation});
        break;
    case ImportStatus::BadFormat:
        messages.show(Message{kTableFormatMessage, std::string(), MessageIcon::Exclamation});
        break;
    }
    return parsed.status;
}

} // namespace kalibron
