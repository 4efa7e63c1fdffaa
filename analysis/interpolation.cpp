#include "analysis/interpolation.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "analysis/calculation.h"
#include "analysis/sequence_table.h"
#include "core/file_list_state.h"
#include "core/messages.h"
#include "core/number_format.h"
#include "core/store.h"
#include "regression/confidence_band.h"
#include "regression/fit_values.h"
#include "regression/leave_one_out.h"
#include "regression/linear_fit.h"

namespace kalibron {

bool Interpolate(Store& store, const FileListOptions& options, MessageSink& messages)
{
    FileListState& list = store.fileList;
    const SequenceGrid& grid = list.FlexGrid2;
    const int rows = list.nDayFiles;

    int standards = 0;
    for (int r = 1; r <= rows; ++r)
        if (leadingNumber(grid.text(r, kColStandard)) > 0)
            ++standards;
    if (options.checkStandardCount && standards < 2) {
        messages.show({kTooFewStandards});
        return false;
    }
    const int bound = store.bound();
    for (int r = 1; r <= rows; ++r) {
        const double position = roundHalfEven(leadingNumber(grid.text(r, kColPosition)));
        if (position < 1 || position > bound) {
            messages.show({"Row " + std::to_string(r) + " (" + shownText(grid.text(r, kColFileName)) +
                           ") lies at position " + grid.text(r, kColPosition) + ", outside the positions 1 to " +
                           std::to_string(bound) + " of this program: a file written more than " +
                           std::to_string(bound - 1) +
                           " seconds after the first file of the day. Nothing was handed over."});
            return false;
        }
    }

    for (int x = 1; x <= bound; ++x) {
        const auto i = static_cast<std::size_t>(x);
        store.Y[i] = ValueCell::emptyText();
        store.Yerr[i] = ValueCell::emptyText();
        store.YPoly[i] = ValueCell::emptyText();
    }
    list.RowPos.assign(static_cast<std::size_t>(rows), 0.0);
    for (int r = 1; r <= rows; ++r) {
        const double position = leadingNumber(grid.text(r, kColPosition));
        const double value = leadingNumber(grid.text(r, kColStandard));
        if (value > 0)
            store.Y[static_cast<std::size_t>(roundHalfEven(position))] = ValueCell(value);
        list.RowPos[static_cast<std::size_t>(r - 1)] = position;
    }
    // The regression window's "Data meas." shows nPointsAll: the points
    // handed over, a position given twice counting once.
    int points = 0;
    for (int x = 1; x <= bound; ++x)
        points += store.Y[static_cast<std::size_t>(x)].positive() ? 1 : 0;
    store.nPointsAll = points;
    store.nPoints = standards;
    if (points < 2)
        messages.show({kTooFewRegressionDataMessage});
    store.MaxX = leadingNumber(grid.text(rows, kColPosition));
    store.nCols = 2;
    return true;
}

const FitUncertainty* chosenUncertainty(const FitResults& fits, UncertaintyChoice choice)
{
    const FitUncertainty* u = nullptr;
    switch (choice) {
    case UncertaintyChoice::None:
        break;
    case UncertaintyChoice::Linear:
        u = fits.linear ? &fits.linear->uncertainty : nullptr;
        break;
    case UncertaintyChoice::Logarithmic:
        u = fits.logarithmic ? &fits.logarithmic->uncertainty : nullptr;
        break;
    case UncertaintyChoice::Polynomial2:
        // The result column reads the degree-2 row: so does its u.
        if (const auto& row = fits.poly[2]; row && row->fitted && row->degree == 2)
            u = &row->uncertainty;
        break;
    case UncertaintyChoice::Zigzag:
        u = fits.zigzagUncertainty ? &*fits.zigzagUncertainty : nullptr;
        break;
    }
    return u && !u->empty() ? u : nullptr;
}

namespace {

const char* choiceCaption(UncertaintyChoice choice)
{
    for (const UncertaintyOption& option : kUncertaintyOptions)
        if (option.choice == choice)
            return option.caption;
    return "";
}

// The chosen u at every row's position; u is kept at whole positions only,
// and the table's positions are whole seconds.
void writeUncertaintyColumn(FileListState& list, int rows, const FileListTableLayout& layout,
                            const NumberLocale& locale, UncertaintyChoice choice, const FitResults* fits)
{
    const int column = layout.uncertaintyColumn();
    if (column >= SequenceGrid::kCols)
        return;
    SequenceGrid& grid = list.FlexGrid2;
    if (choice == UncertaintyChoice::None) {
        for (int r = 0; r <= std::max(rows, list.nDayFiles); ++r)
            if (!grid.text(r, column).empty())
                grid.setText(r, column, std::string());
        return;
    }
    grid.setText(0, column, std::string("u ") + choiceCaption(choice));
    const FitUncertainty* u = fits ? chosenUncertainty(*fits, choice) : nullptr;
    for (int r = 1; r <= rows; ++r) {
        const double x = list.RowPos[static_cast<std::size_t>(r - 1)];
        std::string text;
        if (u && x >= 0 && x == std::floor(x) && x < static_cast<double>(u->u.size())) {
            const double value = u->u[static_cast<std::size_t>(x)];
            if (std::isfinite(value))
                text = formatGeneral(value, locale);
        }
        grid.setText(r, column, std::move(text));
    }
}

} // namespace

void BackToFileList(Store& store, const FileListTableLayout& layout, const NumberLocale& locale,
                    UncertaintyChoice choice, const FitResults* fits)
{
    bool band = false;
    for (const ResultColumn& result : layout.results)
        band = band || result.kind == ResultKind::ConfidenceHalfWidth;
    if (band)
        Confidence_Calc(store);

    FileListState& list = store.fileList;
    const int rows = std::min(list.nDayFiles, static_cast<int>(list.RowPos.size()));
    const std::optional<StandardsRange> standards = standardsRange(store);
    list.Extrapolated.assign(static_cast<std::size_t>(rows), false);
    for (int r = 1; r <= rows; ++r) {
        const double x = list.RowPos[static_cast<std::size_t>(r - 1)];
        list.Extrapolated[static_cast<std::size_t>(r - 1)] = standards && (x < standards->first || x > standards->last);
        for (const ResultColumn& result : layout.results) {
            std::optional<double> value;
            switch (result.kind) {
            case ResultKind::Linear:
                value = linearValueAt(store, x);
                break;
            case ResultKind::ConfidenceHalfWidth:
                value = confidenceHalfWidth(store, x);
                break;
            case ResultKind::Logarithmic:
                value = logarithmicValueAt(store, x);
                break;
            case ResultKind::Polynomial2:
                value = polynomialValueAt(store, 2, 2, x);
                if (x >= 0 && x <= store.bound() && x == std::floor(x))
                    store.YPoly[static_cast<std::size_t>(x)] = value ? ValueCell(*value) : ValueCell::emptyText();
                break;
            }
            list.FlexGrid2.setText(r, result.column, value ? formatGeneral(*value, locale) : std::string());
        }
    }
    writeUncertaintyColumn(list, rows, layout, locale, choice, fits);
}

void clearResults(FileListState& list, const FileListTableLayout& layout)
{
    std::vector<int> columns;
    for (const ResultColumn& result : layout.results)
        columns.push_back(result.column);
    columns.push_back(layout.uncertaintyColumn());
    for (const int column : columns)
        for (int r = 1; r <= list.nDayFiles; ++r)
            list.FlexGrid2.setText(r, column, std::string());
    list.Extrapolated.clear();
}

} // namespace kalibron
