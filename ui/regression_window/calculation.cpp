#include "ui/regression_window/calculation.h"

#include <algorithm>
#include <cmath>
#include <span>
#include <string>
#include <vector>

#include "core/messages.h"
#include "core/store.h"
#include "regression/confidence_band.h"
#include "regression/fit_values.h"
#include "regression/linear_fit.h"
#include "regression/logarithmic_fit.h"
#include "regression/polynomial_fit.h"
#include "regression/result_cell.h"
#include "regression/rounding.h"
#include "regression/zigzag.h"
#include "ui/regression_window/plot_axes.h"
#include "ui/regression_window/plot_scale.h"
#include "ui/regression_window/polynomial_rows.h"
#include "ui/regression_window/scene_items.h"
#include "ui/regression_window/tick_labels.h"

namespace kalibron {

namespace {

constexpr std::array<Rgb, 6> kRowColours = {colours::kBlack, colours::kBlue,     colours::kGreen,
                                            colours::kDarkGreen, colours::kTeal, colours::kLightBlue};

bool finiteNumber(const ValueCell& cell)
{
    return cell.isNumber() && std::isfinite(cell.value());
}

// Format(v, "0.00") of a result cell; empty when the fit left no number.
std::string fixed2(const ValueCell& cell, const NumberLocale& locale)
{
    return finiteNumber(cell) ? formatPattern(cell.value(), "0.00", locale) : std::string();
}

std::string squaredFixed2(const ValueCell& cell, const NumberLocale& locale)
{
    return finiteNumber(cell) ? formatPattern(cell.value() * cell.value(), "0.00", locale) : std::string();
}

ValueCell numberOrEmpty(double value)
{
    return std::isfinite(value) ? ValueCell(value) : ValueCell();
}

void clearLinear(Store& store)
{
    store.LinA.clear();
    store.LinB.clear();
    store.LinR.clear();
    store.LinDev.clear();
    store.LinDevPct.clear();
}

void clearLogarithmic(Store& store)
{
    store.LogA.clear();
    store.LogB.clear();
    store.LogR.clear();
    store.LogDev.clear();
    store.LogDevPct.clear();
}

// s, x̄ and Sxx of the band, which only the band's readers use.
void clearBandQuantities(Store& store)
{
    store.ConfS.clear();
    store.ConfSxx.clear();
    store.ConfXMean.clear();
    store.ConfN = 0;
}

void clearConfidence(Store& store)
{
    store.tValue.clear();
    clearBandQuantities(store);
}

// The export and the hand-back read a slot's coefficients whether or not its
// row was fitted in this pass; an empty slot keeps them from using a fit of
// earlier data.
void clearPolynomialSlot(Store& store, int slot)
{
    auto& row = store.PolyCoef[static_cast<std::size_t>(slot)];
    for (std::size_t k = 2; k <= 25; ++k)
        row[k].clear();
    store.PolyFit[static_cast<std::size_t>(slot)].clear();
}

void drawZigzag(const Store& store, PlotScene& scene)
{
    for (int k = 1; k < store.nClusters && k < kMaxClusters; ++k) {
        const auto i = static_cast<std::size_t>(k);
        addSegment(scene.items, Canvas::Plot, store.ZzX[i].value(), store.ZzY[i].value(), store.ZzX[i + 1].value(),
                   store.ZzY[i + 1].value(), colours::kOrange);
    }
}

// "Rejected:" counts the points the user has marked rejected: a present Y
// whose mark is 1. nPointsAll − nPoints, the count's first form, went below 0
// when a Y of 0 was imported (counted in nPoints, not in nPointsAll) and
// counted lines repeating an X as rejected points.
int markedRejected(const Store& store)
{
    int count = 0;
    for (int x = 0, last = store.lastPosition(); x <= last; ++x) {
        const auto i = static_cast<std::size_t>(x);
        if (store.Y[i].present() && store.Rejected[i].value() >= 1)
            ++count;
    }
    return count;
}

void runLinear(Store& store, const RegressionSettings& settings, const CalculationRules& rules,
               MessageSink& messages, const NumberLocale& locale, double maxX, CalculationResult& result)
{
    ResultLabels& labels = result.labels;
    // With two points the fit leaves r and the deviations untouched; cleared
    // first, they show empty instead of describing earlier data.
    clearLinear(store);
    Linear_Calc(store, messages);

    labels.lblNData = formatGeneral(store.MaxX, locale);
    labels.lblnDataOK = formatGeneral(store.nPointsAll, locale);
    labels.lblRej = formatGeneral(markedRejected(store), locale);
    labels.lbl_LRb = Rounding(store.LinB, locale);
    labels.lbl_LRa = Rounding(store.LinA, locale);
    labels.lbl_LRr = squaredFixed2(store.LinR, locale);
    labels.lblDiff = Rounding(store.LinDev, locale);
    labels.lblDiffProc = fixed2(store.LinDevPct, locale);

    if (!finiteNumber(store.LinA) || !finiteNumber(store.LinB)) {
        clearConfidence(store);
        return;
    }
    const double a = store.LinA.value();
    const double b = store.LinB.value();
    store.LineX0 = 0;
    store.LinFit = numberOrEmpty(a + b * 0);
    store.LineX1 = maxX;
    store.LineY1 = numberOrEmpty(a + b * maxX);
    addSegment(result.scene.items, Canvas::Plot, store.LineX0, a, store.LineX1, a + b * maxX, colours::kBlack);

    // The belt tests the number of usable points itself (at least 3, which
    // also means nPoints > 2).
    if (!(settings.chkConf && Confidence_Belt(store, result.scene.items))) {
        clearConfidence(store);
        return;
    }
    if (!rules.keepBandQuantities)
        clearBandQuantities(store);
}

void runLogarithmic(Store& store, MessageSink& messages, const NumberLocale& locale, CalculationResult& result)
{
    clearLogarithmic(store);
    Logarithmic_Calc(store, messages);
    ResultLabels& labels = result.labels;
    labels.lbl_LoRb = Rounding(store.LogB, locale);
    labels.lbl_LoRa = Rounding(store.LogA, locale);
    labels.lbl_LoRr = squaredFixed2(store.LogR, locale);
    labels.lblDiffLog = Rounding(store.LogDev, locale);
    labels.lblDiffProcLog = fixed2(store.LogDevPct, locale);

    if (!finiteNumber(store.LogA) || !finiteNumber(store.LogB))
        return;
    const double a = store.LogA.value();
    const double b = store.LogB.value();
    const int last = store.lastPosition();
    // ln X is undefined at X <= 0: the curve starts with the segment from 1.
    for (int x = std::max(store.FirstX, 1); x <= last; ++x)
        addSegment(result.scene.items, Canvas::Plot, x, a + b * std::log(x), x + 1, a + b * std::log(x + 1.0),
                   colours::kMagenta);
}

// One polynomial row: collect, fit, evaluate, deviations, labels, curve.
// Returns whether the row was fitted.
bool runPolynomialRow(Store& store, int slot, int degree, const CalculationRules& rules, MessageSink& messages,
                      const NumberLocale& locale, CalculationResult& result)
{
    const int last = store.lastPosition();
    int count = 0;
    for (int x = 1; x <= last; ++x) {
        if (!store.isUsed(x))
            continue;
        ++count;
        store.PX[static_cast<std::size_t>(count)] = x;
        store.PY[static_cast<std::size_t>(count)] = store.Y[static_cast<std::size_t>(x)].value();
    }
    // A present Y that is not positive counts in nPoints but is no point of
    // the fit: n is what was actually collected.
    store.nPoly = count;
    store.PolySlot = slot;
    std::string parameters;
    PolynomialRowResult& row = result.poly[static_cast<std::size_t>(slot)].emplace();
    row.degree = degree;
    const PolynomialFit fit = Polynomial(store, store.nPoly, degree, store.PX, store.PY, messages,
                                         slot == 1 ? &parameters : nullptr, locale,
                                         rules.tooFewPolynomialMessage.c_str());
    if (slot == 1)
        result.labels.Label2 = fit.status == PolynomialStatus::Fitted ? parameters : std::string();
    if (fit.status != PolynomialStatus::Fitted) {
        clearPolynomialSlot(store, slot);
        return false;
    }
    row.fitted = true;
    row.coefficients = fit.power;
    row.dsig = fit.dsig;

    std::vector<double> values(static_cast<std::size_t>(last) + 1);
    polynomialValues(fit.stable, values);
    for (int x = 0; x <= last; ++x)
        store.YPoly[static_cast<std::size_t>(x)] = numberOrEmpty(values[static_cast<std::size_t>(x)]);

    store.PolyDev = resultCell(fit.dev);
    store.PolyDevPct = resultCell(fit.devPct);
    row.PolyDev = store.PolyDev;
    row.PolyDevPct = store.PolyDevPct;
    result.labels.lblDiffPoly[static_cast<std::size_t>(slot)] = Rounding(store.PolyDev, locale);
    result.labels.lblDiffProcPoly[static_cast<std::size_t>(slot)] = fixed2(store.PolyDevPct, locale);

    const Rgb colour = kRowColours[static_cast<std::size_t>(slot)];
    for (int x = store.FirstX; x < last; ++x) {
        const ValueCell& y1 = store.YPoly[static_cast<std::size_t>(x)];
        const ValueCell& y2 = store.YPoly[static_cast<std::size_t>(x) + 1];
        if (y1.isNumber() && y2.isNumber())
            addSegment(result.scene.items, Canvas::Plot, x, y1.value(), x + 1, y2.value(), colour);
    }
    return true;
}

} // namespace

bool Confidence_Belt(Store& store, std::vector<Primitive>& items)
{
    if (!Confidence_Calc(store))
        return false;
    const auto band = confidenceBand(store);
    if (!band)
        return true; // all points at one position: the band has no width anywhere
    const double a = store.LinA.value();
    const double b = store.LinB.value();
    const int last = store.lastPosition();
    for (int x = store.FirstX; x < last; ++x) {
        const double h1 = band->at(x);
        const double h2 = band->at(x + 1.0);
        if (!std::isfinite(h1) || !std::isfinite(h2))
            continue;
        const double y1 = b * x + a;
        const double y2 = b * (x + 1) + a;
        store.ConfHalf = h1;
        store.ConfHalf2 = h2;
        store.LinFit = numberOrEmpty(y1);
        store.LineY1 = numberOrEmpty(y2);
        addSegment(items, Canvas::Plot, x, y1 + h1, x + 1, y2 + h2, colours::kBlack);
        addSegment(items, Canvas::Plot, x, y1 - h1, x + 1, y2 - h2, colours::kBlack);
    }
    return true;
}

CalculationResult A_PLOT(Store& store, const RegressionSettings& settings, MessageSink& messages,
                         const NumberLocale& locale, const PlotGeometry& geometry, const CalculationRules& rules)
{
    CalculationResult result;
    if (rules.waitForProbabilityLevel && !store.ProbIndex)
        return result;
    result.ran = true;
    PlotScene& scene = result.scene;
    scene.geometry = geometry;

    ScanData(store);
    store.MarginY = 0.1;
    store.MarginX = 0.05;
    store.MarkFrac = 0.003;

    const double maxX = plotMaxX(store);
    const int last = store.lastPosition();
    // One segment per position for the band's two edges, the log curve and
    // each polynomial row, plus marks and ticks: reserving once spares the
    // reallocations of a list that grows to some 250000 items.
    std::size_t curves = 3;
    for (int slot = 1; slot <= 5; ++slot)
        curves += settings.chkPoly[static_cast<std::size_t>(slot)] ? 1 : 0;
    scene.items.reserve(curves * (static_cast<std::size_t>(last) + 1) + static_cast<std::size_t>(last) / 5 + 1024);
    const YSpan span = ySpan(store.MinY, store.MaxY, settings.yFull);
    scene.scale = plotScale(maxX, store.FirstX, span, settings.xFull, settings.yFull, store.MarginX, store.MarginY);

    // Square marks on screen: the Y half-size follows the ratio of the two
    // scales and of the box's sides.
    store.MarkDX = store.MarkFrac * scene.scale.width;
    const double markDY =
        store.MarkDX * (-scene.scale.height / scene.scale.width) * (geometry.plotWidth / geometry.plotHeight);
    store.MarkDY = std::isfinite(markDY) ? markDY : 0;
    drawMarks(store, scene);

    const FrameOffsets frame = frameOffsets(geometry);
    store.PlotOffsetX = frame.plotOffsetX;
    store.PlotBottomY = frame.plotBottomY;
    drawYAxis(scene, span, settings.yFull, frame, locale, rules.axes);
    drawXAxis(scene, maxX, last, store.FirstX, settings.xFull, store.MarginX, frame, locale, rules.axes);
    thinTickLabels(scene.labels, TickLabel::Axis::X, scene.geometry.labelFontTwips);
    thinTickLabels(scene.labels, TickLabel::Axis::Y, scene.geometry.labelFontTwips);

    if (settings.chkZigZag) {
        ZigZag(store);
        drawZigzag(store, scene);
    } else {
        store.nClusters = 0;
    }

    if (store.nPoints > 1) {
        runLinear(store, settings, rules, messages, locale, maxX, result);
    } else {
        clearLinear(store);
        clearConfidence(store);
    }

    if (settings.chkLog && store.nPoints > 2)
        runLogarithmic(store, messages, locale, result);
    else
        clearLogarithmic(store);

    bool anyFitted = false;
    for (int slot = 1; slot <= 5; ++slot) {
        if (!settings.chkPoly[static_cast<std::size_t>(slot)]) {
            clearPolynomialSlot(store, slot);
            continue;
        }
        const int degree = slot == 1 ? freeDegree(settings.ComboBox1) : slot;
        if (store.nPoints <= 2) {
            clearPolynomialSlot(store, slot);
            result.poly[static_cast<std::size_t>(slot)].emplace().degree = degree;
            continue;
        }
        anyFitted = runPolynomialRow(store, slot, degree, rules, messages, locale, result) || anyFitted;
    }
    if (!anyFitted) {
        store.PolyDev.clear();
        store.PolyDevPct.clear();
    }
    return result;
}

} // namespace kalibron
