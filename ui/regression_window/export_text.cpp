#include "ui/regression_window/export_text.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>

#include "core/store.h"
#include "regression/confidence_band.h"
#include "regression/fit_values.h"
#include "regression/polynomial_fit.h"
#include "regression/zigzag.h"
#include "ui/regression_window/polynomial_rows.h"

namespace kalibron {

namespace {

constexpr char kTab = '\t';
constexpr char kCr = '\r';
constexpr const char* kTitle = "* * *  KALIBRON  -  Export of interpolated data";

// Result cells of the store in the general form; a fit that left no number
// gives the empty cell, so the columns stay aligned.
std::string general(const ValueCell& cell, const NumberLocale& locale)
{
    if (cell.isNumber())
        return formatGeneral(cell.value(), locale);
    return cell.text();
}

std::string general(const std::optional<double>& value, const NumberLocale& locale)
{
    return value ? formatGeneral(*value, locale) : std::string();
}

// The data value as the store holds it. Separators inside a text would break
// the table apart, so they become blanks.
std::string dataCell(const ValueCell& cell, const NumberLocale& locale)
{
    if (!cell.present())
        return {};
    if (cell.isNumber())
        return formatGeneral(cell.value(), locale);
    std::string text = cell.text();
    for (char& c : text) {
        if (c == kTab || c == kCr || c == '\n')
            c = ' ';
    }
    return text;
}

void appendItem(std::string& out, std::string_view label, const std::string& dev, const std::string& devPct)
{
    out += label;
    out += kTab;
    out += dev;
    out += kTab;
    out += devPct;
    out += kTab;
    out += kTab;
}

void appendBlock(std::string& out, const std::string& first, const std::string& second,
                 std::initializer_list<std::string> values)
{
    out += first;
    out += kTab;
    out += second;
    for (const std::string& v : values) {
        out += kTab;
        out += v;
    }
    out += kTab;
    out += kTab;
}

} // namespace

const std::string& buildExport(Store& store, const RegressionSettings& settings, const ResultLabels& shown,
                               const NumberLocale& locale, const ExportFormat& format)
{
    const auto& ex = settings.chkEX;
    const std::string& freeText = settings.ComboBox1;
    const int freeN = freeDegree(freeText);
    std::string out = kTitle;
    out += kCr;

    const std::string& tail = format.summaryTail;
    if (ex[0])
        appendItem(out, "L.R." + tail, general(store.LinDev, locale), general(store.LinDevPct, locale));
    if (ex[1])
        appendItem(out, "Log.R." + tail, general(store.LogDev, locale), general(store.LogDevPct, locale));
    for (int k = 2; k <= 5; ++k) {
        if (ex[static_cast<std::size_t>(k)])
            appendItem(out, "Poly" + std::to_string(k) + ".R." + tail, shown.lblDiffPoly[static_cast<std::size_t>(k)],
                       shown.lblDiffProcPoly[static_cast<std::size_t>(k)]);
    }
    if (ex[6])
        appendItem(out, "Poly" + freeText + ".R." + tail, shown.lblDiffPoly[1], shown.lblDiffProcPoly[1]);
    if (ex[7])
        out += "Zigzag";
    out += kCr;
    out += kCr;

    if (ex[0] && format.confidenceColumn)
        appendBlock(out, "No.", "Data", {"Lin.Reg.", "C.I."});
    else if (ex[0])
        appendBlock(out, "No.", "Data", {"Lin.Reg."});
    if (ex[1])
        appendBlock(out, "No.", "Data", {"Log.Reg."});
    for (int k = 2; k <= 5; ++k) {
        if (ex[static_cast<std::size_t>(k)])
            appendBlock(out, "No.", "Data", {"Poly" + std::to_string(k) + ".Reg."});
    }
    if (ex[6])
        appendBlock(out, "No.", "Data", {"Poly" + freeText + ".Reg."});
    if (ex[7])
        out += "No.\tData\tZigzag";
    out += kCr;

    // The band's quantities belong to the data being exported, whether or
    // not the band is shown; without them the C.I. cells stay empty.
    const bool band = format.confidenceColumn && store.nPoints > 2 && Confidence_Calc(store);
    const int nClusters = std::min(store.nClusters, kMaxClusters);
    const double zigzagFirst = nClusters >= 1 ? store.ZzX[1].value() : 0;
    const double zigzagLast = nClusters >= 1 ? store.ZzX[static_cast<std::size_t>(nClusters)].value() : 0;

    const int last = store.lastPosition();
    for (int i = 1; i <= last; ++i) {
        const double x = i;
        const std::string no = std::to_string(i);
        const std::string data = dataCell(store.Y[static_cast<std::size_t>(i)], locale);
        if (ex[0] && format.confidenceColumn)
            appendBlock(out, no, data,
                        {general(linearValueAt(store, x), locale),
                         band ? general(confidenceHalfWidth(store, x), locale) : std::string()});
        else if (ex[0])
            appendBlock(out, no, data, {general(linearValueAt(store, x), locale)});
        if (ex[1])
            appendBlock(out, no, data, {general(logarithmicValueAt(store, x), locale)});
        for (int k = 2; k <= 5; ++k) {
            if (ex[static_cast<std::size_t>(k)])
                appendBlock(out, no, data, {general(polynomialValueAt(store, k, k, x), locale)});
        }
        if (ex[6])
            appendBlock(out, no, data, {general(polynomialValueAt(store, 1, freeN, x), locale)});
        if (ex[7] && nClusters >= 1 && zigzagFirst <= x && x <= zigzagLast)
            appendBlock(out, no, data, {general(zigzagAt(store, x), locale)});
        out += kCr;
    }

    store.ClipOut = std::move(out);
    return store.ClipOut;
}

} // namespace kalibron
