#include "analysis/export_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/polynomial_rows.h"
#include "core/store.h"
#include "regression/polynomial_fit.h"
#include "regression/result_cell.h"
#include "regression/rounding.h"

namespace kalibron {

namespace {

constexpr char kTab = '\t';
constexpr char kCr = '\r';
constexpr std::string_view kTitle = "* * *  KALIBRON  -  Export of interpolated data";
// Names of the drift methods' blocks (header) and summary items, by DriftMethod.
constexpr std::array<std::string_view, kDriftMethods> kDriftBlockNames{"Spline", "Preceding", "Succeeding", "Bracket",
                                                                       "Mean"};

// A computed cell: the number in the general form, or nothing when the fit
// left none, so the columns stay aligned.
void appendNumber(std::string& out, const std::optional<double>& value, const NumberLocale& locale)
{
    if (value)
        appendGeneral(out, *value, locale);
}

void appendInteger(std::string& out, int value)
{
    char buffer[16];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, end.ptr);
}

// The data value as the store holds it. Separators inside a text would break
// the table apart, so they become blanks.
void appendDataCell(std::string& out, const ValueCell& cell, const NumberLocale& locale)
{
    if (!cell.present())
        return;
    if (cell.isNumber()) {
        appendGeneral(out, cell.value(), locale);
        return;
    }
    for (const char c : cell.text())
        out.push_back(c == kTab || c == kCr || c == '\n' ? ' ' : c);
}

void appendItem(std::string& out, std::string_view label, std::string_view tail, std::string_view dev,
                std::string_view devPct)
{
    out += label;
    out += tail;
    out += kTab;
    out += dev;
    out += kTab;
    out += devPct;
    out += kTab;
    out += kTab;
}

void appendHeader(std::string& out, std::string_view name, std::string_view nameTail, bool confidence, bool uncertainty)
{
    out += "No.\tData\t";
    out += name;
    out += nameTail;
    if (confidence)
        out += "\tC.I.";
    if (uncertainty)
        out += "\tu";
    out += "\t\t";
}

// The row of a polynomial block, when the calculation fitted it with the
// degree the export names.
const PolynomialRowResult* fittedRow(const FitResults& fits, int slot, int degree)
{
    const auto& row = fits.poly[static_cast<std::size_t>(slot)];
    return row && row->fitted && row->degree == degree ? &*row : nullptr;
}

std::optional<double> finite(double value)
{
    return std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

std::optional<double> polynomialAt(const PolynomialRowResult* row, int x)
{
    if (!row)
        return std::nullopt;
    const auto i = static_cast<std::size_t>(x);
    return finite(i < row->values.size() ? row->values[i] : static_cast<double>(chebyshevValue(row->stable, x)));
}

// u of a method at x, when it has one there.
std::optional<double> uncertaintyAt(const FitUncertainty* fit, int x)
{
    if (fit == nullptr || static_cast<std::size_t>(x) >= fit->u.size())
        return std::nullopt;
    return finite(fit->u[static_cast<std::size_t>(x)]);
}

std::optional<double> lineAt(const std::optional<LineFitResult>& fit, double t)
{
    if (!fit || !fit->a || !fit->b)
        return std::nullopt;
    return finite(*fit->a + *fit->b * t);
}

// Writes the export into `out`. With `flush`, `out` is handed over and
// emptied whenever it has grown past a piece; false once flush refuses.
bool exportInto(std::string& out, const std::function<bool(std::string_view)>* flush, const Store& store,
                const FitResults& fits, const RegressionSettings& settings, const NumberLocale& locale,
                const ExportFormat& format)
{
    const auto& ex = settings.chkEX;
    const std::string& freeText = settings.ComboBox1;
    // chkEX(2..5) export the rows of those degrees, chkEX(6) the free row 1.
    const PolynomialRowResult* rows[7] = {};
    for (int k = 2; k <= 5; ++k)
        rows[k] = fittedRow(fits, k, k);
    rows[6] = fittedRow(fits, 1, freeDegree(freeText));
    const auto polyName = [&](int k) {
        return k == 6 ? std::string_view(freeText) : std::string_view(&"2345"[k - 2], 1);
    };

    const int last = store.lastPosition();
    int blocks = 0;
    for (const bool box : ex)
        blocks += box ? 1 : 0;
    // The drift methods' blocks come after the polynomials, before the
    // zigzag, whose block is left out on the lines outside its clusters.
    const auto& driftEx = settings.chkDriftEX;
    for (const bool box : driftEx)
        blocks += box ? 1 : 0;
    constexpr std::size_t kPiece = std::size_t{1} << 18;
    const std::size_t estimate = static_cast<std::size_t>(last + 4) * (2 + static_cast<std::size_t>(blocks) * 48) + 512;
    const std::size_t pieceRoom = std::min(estimate, kPiece + 4096); // a piece and the line that ends it
    out.reserve(flush != nullptr ? pieceRoom : estimate);
    out += kTitle;
    out += kCr;

    // Summary line.
    const std::string& tail = format.summaryTail;
    std::string dev, devPct;
    const auto lineItem = [&](std::string_view label, const std::optional<LineFitResult>& fit) {
        dev.clear();
        devPct.clear();
        if (fit) {
            appendNumber(dev, fit->dev, locale);
            appendNumber(devPct, fit->devPct, locale);
        }
        appendItem(out, label, tail, dev, devPct);
    };
    if (ex[0])
        lineItem("L.R.", fits.linear);
    if (ex[1])
        lineItem("Log.R.", fits.logarithmic);
    for (int k = 2; k <= 6; ++k) {
        if (!ex[static_cast<std::size_t>(k)])
            continue;
        // The figures as the window's labels round them.
        const PolynomialRowResult* row = rows[k];
        dev = row ? Rounding(row->PolyDev, locale) : std::string();
        devPct = row ? percentCaption(resultNumber(row->PolyDevPct), locale) : std::string();
        std::string label = "Poly";
        label += polyName(k);
        label += ".R.";
        appendItem(out, label, tail, dev, devPct);
    }
    for (std::size_t m = 0; m < kDriftMethods; ++m) {
        if (!driftEx[m])
            continue;
        dev.clear();
        devPct.clear();
        if (const auto& curve = fits.drift[m]) {
            appendNumber(dev, curve->dev, locale);
            appendNumber(devPct, curve->devPct, locale);
        }
        appendItem(out, kDriftBlockNames[m], tail, dev, devPct);
    }
    if (ex[7])
        out += "Zigzag";
    out += kCr;
    out += kCr;

    // Header line.
    // "Export uncertainties": a u column closes every block.
    const bool withU = settings.exportUncertainties;
    if (ex[0])
        appendHeader(out, "Lin.Reg.", "", format.confidenceColumn, withU);
    if (ex[1])
        appendHeader(out, "Log.Reg.", "", false, withU);
    for (int k = 2; k <= 6; ++k) {
        if (!ex[static_cast<std::size_t>(k)])
            continue;
        std::string name = "Poly";
        name += polyName(k);
        appendHeader(out, name, ".Reg.", false, withU);
    }
    for (std::size_t m = 0; m < kDriftMethods; ++m)
        if (driftEx[m])
            appendHeader(out, kDriftBlockNames[m], "", false, withU);
    if (ex[7])
        out += withU ? "No.\tData\tZigzag\tu" : "No.\tData\tZigzag";
    out += kCr;

    // Data lines: the position and data cells are the same in every block of
    // a line, so they are written once into `lead` and copied.
    const bool band = format.confidenceColumn && fits.band.has_value();
    const auto uOf = [&](const auto& fit) -> const FitUncertainty* { return fit ? &fit->uncertainty : nullptr; };
    const FitUncertainty* linearU = uOf(fits.linear);
    const FitUncertainty* logU = uOf(fits.logarithmic);
    const FitUncertainty* zigzagU = fits.zigzagUncertainty ? &*fits.zigzagUncertainty : nullptr;
    const auto appendU = [&](std::string& text, const FitUncertainty* fit, int x) {
        if (!withU)
            return;
        text += kTab;
        appendNumber(text, uncertaintyAt(fit, x), locale);
    };
    const std::span<const ZigzagPoint> zigzag =
        fits.zigzag ? std::span<const ZigzagPoint>(*fits.zigzag) : std::span<const ZigzagPoint>();
    // Lines from..to into `text`; with `piece`, `text` is handed to it and
    // emptied whenever it has grown past a piece. False once piece refuses.
    const auto dataLines = [&](std::string& text, int from, int to, const auto& piece) {
        std::string lead;
        for (int i = from; i <= to; ++i) {
            const double x = i;
            lead.clear();
            appendInteger(lead, i);
            lead += kTab;
            appendDataCell(lead, store.Y[static_cast<std::size_t>(i)], locale);
            lead += kTab;
            if (ex[0]) {
                text += lead;
                appendNumber(text, lineAt(fits.linear, x), locale);
                if (format.confidenceColumn) {
                    text += kTab;
                    if (band)
                        appendNumber(text, finite(fits.band->at(x)), locale);
                }
                appendU(text, linearU, i);
                text += "\t\t";
            }
            if (ex[1]) {
                text += lead;
                appendNumber(text, lineAt(fits.logarithmic, std::log(x)), locale);
                appendU(text, logU, i);
                text += "\t\t";
            }
            for (int k = 2; k <= 6; ++k) {
                if (!ex[static_cast<std::size_t>(k)])
                    continue;
                text += lead;
                appendNumber(text, polynomialAt(rows[k], i), locale);
                appendU(text, rows[k] ? &rows[k]->uncertainty : nullptr, i);
                text += "\t\t";
            }
            for (std::size_t m = 0; m < kDriftMethods; ++m) {
                if (!driftEx[m])
                    continue;
                text += lead;
                const auto& curve = fits.drift[m];
                if (curve && static_cast<std::size_t>(i) < curve->values.size())
                    appendNumber(text, finite(curve->values[static_cast<std::size_t>(i)]), locale);
                appendU(text, curve ? &curve->uncertainty : nullptr, i);
                text += "\t\t";
            }
            if (ex[7] && !zigzag.empty() && zigzag.front().x <= x && x <= zigzag.back().x) {
                text += lead;
                appendNumber(text, zigzagAt(zigzag, x), locale);
                appendU(text, zigzagU, i);
                text += "\t\t";
            }
            text += kCr;
            if (text.size() >= kPiece && !piece(text))
                return false;
        }
        return true;
    };
    // Hands a grown text to `flush`; without one the text keeps growing.
    const auto handOver = [&](std::string& text) {
        if (flush == nullptr)
            return true;
        if (!(*flush)(text))
            return false;
        text.clear();
        return true;
    };

    return dataLines(out, 1, last, handOver) && (flush == nullptr || out.empty() || (*flush)(out));
}

} // namespace

std::string buildExport(const Store& store, const FitResults& fits, const RegressionSettings& settings,
                        const NumberLocale& locale, const ExportFormat& format)
{
    std::string out;
    exportInto(out, nullptr, store, fits, settings, locale, format);
    return out;
}

bool streamExport(const Store& store, const FitResults& fits, const RegressionSettings& settings,
                  const NumberLocale& locale, const ExportFormat& format,
                  const std::function<bool(std::string_view)>& write)
{
    std::string piece;
    return exportInto(piece, &write, store, fits, settings, locale, format);
}

} // namespace kalibron
