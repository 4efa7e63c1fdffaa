#include "analysis/interpolation.h"

#include <algorithm>
#include <cmath>
#include <string>

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

void BackToFileList(Store& store, const FileListTableLayout& layout, const NumberLocale& locale)
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
}

} // namespace kalibron
