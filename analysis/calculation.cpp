#include "analysis/calculation.h"

#include <algorithm>
#include <cmath>
#include <span>
#include <string>
#include <vector>

#include "analysis/plot_axes.h"
#include "analysis/plot_scale.h"
#include "analysis/polynomial_rows.h"
#include "analysis/scene_items.h"
#include "analysis/tick_labels.h"
#include "core/messages.h"
#include "core/store.h"
#include "regression/bracketing.h"
#include "regression/confidence_band.h"
#include "regression/fit_values.h"
#include "regression/least_squares_line.h"
#include "regression/linear_fit.h"
#include "regression/logarithmic_fit.h"
#include "regression/polynomial_fit.h"
#include "regression/result_cell.h"
#include "regression/rounding.h"
#include "regression/smoothing_spline.h"
#include "regression/zigzag.h"

namespace kalibron {

namespace {

constexpr std::array<Rgb, 6> kRowColours = {colours::kBlack,     colours::kBlue, colours::kGreen,
                                            colours::kDarkGreen, colours::kTeal, colours::kLightBlue};

ValueCell numberOrEmpty(double value) { return std::isfinite(value) ? ValueCell(value) : ValueCell(); }

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

// Which methods run: those whose Show or Export box is ticked. The export
// must hold the fit of the current data for every block the user ticked,
// shown or not.
struct Enabled {
    bool zigzag = false, band = false, logarithmic = false;
    std::array<bool, 6> poly{};
    std::array<bool, kDriftMethods> drift{};
};

// chkEX(k) exports row k for k = 2..5 and the free-degree row 1 as box 6.
constexpr std::size_t exportBoxOfRow(int slot) { return slot == 1 ? 6 : static_cast<std::size_t>(slot); }

Enabled enabledMethods(const RegressionSettings& settings)
{
    const auto& ex = settings.chkEX;
    Enabled on;
    on.zigzag = settings.chkZigZag || ex[7];
    on.band = settings.chkConf || ex[0];
    on.logarithmic = settings.chkLog || ex[1];
    for (int slot = 1; slot <= 5; ++slot)
        on.poly[static_cast<std::size_t>(slot)] =
            settings.chkPoly[static_cast<std::size_t>(slot)] || ex[exportBoxOfRow(slot)];
    for (std::size_t m = 0; m < kDriftMethods; ++m)
        on.drift[m] = settings.chkDrift[m] || settings.chkDriftEX[m];
    return on;
}

LineFitResult lineResult(const ValueCell& a, const ValueCell& b, const ValueCell& r, const ValueCell& dev,
                         const ValueCell& devPct)
{
    LineFitResult result;
    result.a = resultNumber(a);
    result.b = resultNumber(b);
    result.r = resultNumber(r);
    result.dev = resultNumber(dev);
    result.devPct = resultNumber(devPct);
    return result;
}

// What the fits need to know besides the settings: the weights when the
// fits are weighted, and whether u is to be computed.
struct FitOptions {
    std::optional<std::vector<double>> weightsFromZero, weightsFromOne; // used points at 0..last, 1..last
    bool uncertainties = false;
    bool weighted() const { return weightsFromZero.has_value(); }
};

// "Weight by Y errors" asks for weights; without a usable error on every
// used point the fits stay unweighted, and the user hears it once.
FitOptions fitOptions(const Store& store, const RegressionSettings& settings, MessageSink& messages)
{
    FitOptions options;
    options.uncertainties = settings.wantsUncertainties();
    if (!settings.weightByYErrors || store.nPoints <= 1)
        return options;
    auto weights = yErrorWeights(store, 0, store.lastPosition());
    if (!weights) {
        messages.show(Message{kWeightsUnusableMessage});
        return options;
    }
    options.weightsFromOne = *weights;
    if (store.isUsed(0) && !options.weightsFromOne->empty())
        options.weightsFromOne->erase(options.weightsFromOne->begin());
    options.weightsFromZero = std::move(weights);
    return options;
}

std::span<const double> weightsOf(const std::optional<std::vector<double>>& weights)
{
    return weights ? std::span<const double>(*weights) : std::span<const double>();
}

// A line's results in the store from a weighted fit: a, b, r of the
// weighted line, the deviations of the points from it.
void storeWeightedLine(const CentredLine& line, const UsedPoints& points, LineResultCells cells)
{
    cells.a = resultCell(line.a);
    cells.b = resultCell(line.b);
    cells.r = resultCell(line.r);
    DeviationSums dev;
    for (std::size_t i = 0; i < points.x.size(); ++i)
        dev.add(line.a + line.b * points.x[i], points.y[i]);
    cells.dev = resultCell(dev.meanAbs());
    cells.devPct = resultCell(dev.meanPct());
}

// Weighted: the line refitted with the weights, into the store's cells.
// Either way, u at every position when asked for. n = 2 keeps the line
// through the two points, which no weight changes.
FitUncertainty refineLine(const UsedPoints& points, const FitOptions& options,
                          const std::optional<std::vector<double>>& weights, LineResultCells cells, int last,
                          bool logarithmic, std::optional<CentredLine>* fitted = nullptr)
{
    if (points.x.size() < 3 || (!options.weighted() && !options.uncertainties))
        return {};
    const auto line = centredLine(points.x, points.y, weightsOf(weights));
    if (!line)
        return {};
    if (options.weighted())
        storeWeightedLine(*line, points, cells);
    if (fitted)
        *fitted = line;
    return options.uncertainties ? lineUncertainty(*line, options.weighted(), last, logarithmic) : FitUncertainty{};
}

// --- Stage 1: fits --------------------------------------------------------

std::vector<ZigzagPoint> zigzagPoints(const Store& store)
{
    const int clusters = std::clamp(store.nClusters, 0, kMaxClusters);
    std::vector<ZigzagPoint> points;
    points.reserve(static_cast<std::size_t>(clusters));
    for (int c = 1; c <= clusters; ++c) {
        const auto x = resultNumber(store.ZzX[static_cast<std::size_t>(c)]);
        const auto y = resultNumber(store.ZzY[static_cast<std::size_t>(c)]);
        if (!x || !y)
            return {}; // a cluster without a number: no zigzag anywhere
        points.push_back({*x, *y});
    }
    return points;
}

void fitLinear(Store& store, const RegressionSettings& settings, const CalculationRules& rules, const Enabled& on,
               const FitOptions& options, MessageSink& messages, FitResults& fits)
{
    // With two points the fit leaves r and the deviations untouched; cleared
    // first, they show empty instead of describing earlier data.
    clearLinear(store);
    clearConfidence(store);
    Linear_Calc(store, messages);
    std::optional<CentredLine> weightedLine;
    FitUncertainty uncertainty;
    if (options.weighted() || options.uncertainties) {
        const UsedPoints points =
            usedPoints(store, 0, store.lastPosition(), [](int x) { return static_cast<double>(x); });
        uncertainty = refineLine(points, options, options.weightsFromZero,
                                 {store.LinA, store.LinB, store.LinR, store.LinDev, store.LinDevPct},
                                 store.lastPosition(), false, &weightedLine);
    }
    fits.linear = lineResult(store.LinA, store.LinB, store.LinR, store.LinDev, store.LinDevPct);
    fits.linear->uncertainty = std::move(uncertainty);
    // The band's quantities belong to the data being fitted, whether the band
    // is drawn or only its "C.I." cells exported.
    if (!(on.band && store.nPoints > 2 && Confidence_Calc(store)))
        return;
    fits.band = confidenceBand(store);
    // A weighted line's band is t times its own u.
    if (options.weighted() && weightedLine && fits.band) {
        const double mswd = weightedLine->chi2 / (weightedLine->n - 2);
        fits.band->ts = store.tValue.value() * std::max(1.0, std::sqrt(mswd));
        fits.band->invN = 1.0 / weightedLine->sumW;
        fits.band->invSxx = 1.0 / weightedLine->sgg;
        fits.band->mean = weightedLine->gMean;
        if (!std::isfinite(fits.band->ts) || !std::isfinite(fits.band->invN))
            fits.band.reset();
    }
    // The store keeps them only for a band that is shown.
    if (!settings.chkConf)
        clearConfidence(store);
    else if (!rules.keepBandQuantities)
        clearBandQuantities(store);
}

// Collects the used points once for every polynomial row (positions 1..last).
void collectPolynomialPoints(Store& store)
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
}

// One polynomial row: fit, values at every position, deviations.
// The weighted fit in place of the one Polynomial stored for the slot.
void storeWeightedPolynomial(Store& store, int slot, const PolynomialFit& fit)
{
    for (auto& c : store.PolyC)
        c = ValueCell(0.0);
    auto& coefficients = store.PolyCoef[static_cast<std::size_t>(slot)];
    for (std::size_t p = 0; p < fit.power.size(); ++p) {
        store.PolyC[p + 1] = ValueCell(fit.power[p]);
        coefficients[p + 2] = ValueCell(fit.power[p]);
    }
    store.PolyFit[static_cast<std::size_t>(slot)] = fit.stable;
}

void fitPolynomialRow(Store& store, int slot, int degree, const CalculationRules& rules, const FitOptions& options,
                      MessageSink& messages, PolynomialRowResult& row)
{
    store.PolySlot = slot;
    row.degree = degree;
    PolynomialFit fit = Polynomial(store, store.nPoly, degree, store.PX, store.PY, messages, nullptr, NumberLocale{},
                                   rules.tooFewPolynomialMessage.c_str());
    if (fit.status == PolynomialStatus::Fitted && options.weighted()) {
        const auto n = static_cast<std::size_t>(store.nPoly);
        fit = weightedPolynomialFit(std::span<const double>(store.PX).subspan(1, n),
                                    std::span<const double>(store.PY).subspan(1, n), *options.weightsFromOne, degree);
        if (fit.status == PolynomialStatus::Fitted)
            storeWeightedPolynomial(store, slot, fit);
    }
    if (fit.status != PolynomialStatus::Fitted) {
        clearPolynomialSlot(store, slot);
        return;
    }
    if (options.uncertainties)
        row.uncertainty = polynomialUncertainty(fit, options.weighted(), store.lastPosition());
    row.fitted = true;
    row.coefficients = fit.power;
    row.dsig = fit.dsig;
    row.stable = fit.stable;
    row.PolyDev = resultCell(fit.dev);
    row.PolyDevPct = resultCell(fit.devPct);
    row.values.resize(static_cast<std::size_t>(store.lastPosition()) + 1);
    polynomialValues(fit.stable, row.values);
}

void fitPolynomialRows(Store& store, const RegressionSettings& settings, const Enabled& on,
                       const CalculationRules& rules, const FitOptions& options, MessageSink& messages,
                       FitResults& fits)
{
    bool collected = false;
    const PolynomialRowResult* lastFitted = nullptr;
    for (int slot = 1; slot <= 5; ++slot) {
        const auto s = static_cast<std::size_t>(slot);
        if (!on.poly[s]) {
            clearPolynomialSlot(store, slot);
            continue;
        }
        PolynomialRowResult& row = fits.poly[s].emplace();
        row.degree = slot == 1 ? freeDegree(settings.ComboBox1) : slot;
        if (store.nPoints <= 2) {
            clearPolynomialSlot(store, slot);
            continue;
        }
        if (!collected) {
            collectPolynomialPoints(store);
            collected = true;
        }
        fitPolynomialRow(store, slot, row.degree, rules, options, messages, row);
        if (row.fitted)
            lastFitted = &row;
    }
    // The store keeps the values and deviations of the last row fitted.
    if (!lastFitted) {
        store.PolyDev.clear();
        store.PolyDevPct.clear();
        return;
    }
    store.PolyDev = lastFitted->PolyDev;
    store.PolyDevPct = lastFitted->PolyDevPct;
    const std::size_t count = std::min(lastFitted->values.size(), store.YPoly.size());
    for (std::size_t x = 0; x < count; ++x)
        store.YPoly[x] = numberOrEmpty(lastFitted->values[x]);
}

// --- Drift methods ----------------------------------------------------------

// In-sample deviations of the standards from the method's values there.
void addDeviations(DriftResult& result, const UsedPoints& points)
{
    DeviationSums sums;
    for (std::size_t i = 0; i < points.x.size(); ++i) {
        const double value = result.values[static_cast<std::size_t>(points.x[i])];
        if (std::isfinite(value))
            sums.add(value, points.y[i]);
    }
    result.dev = sums.meanAbs();
    result.devPct = sums.meanPct();
}

// The spline through the standards, weighted with the fits; a table it
// cannot take leaves it without a result and says why.
std::optional<DriftResult> fitSpline(const UsedPoints& points, const FitOptions& options, int last,
                                     MessageSink& messages)
{
    std::string error;
    const auto spline =
        SmoothingSpline::fit(points.x, points.y, weightsOf(options.weightsFromZero), std::nullopt, &error);
    if (!spline) {
        messages.show(Message{"The smoothing spline cannot be fitted to these standards: " + error});
        return std::nullopt;
    }
    DriftResult result;
    result.values = spline->values(last);
    result.lambda = spline->lambda();
    result.degreesOfFreedom = spline->degreesOfFreedom();
    result.weighted = options.weighted();
    if (options.uncertainties && spline->scatter()) {
        const double s = *spline->scatter();
        result.uncertainty.u = toNaN(spline->uncertainties(last));
        if (options.weighted())
            result.uncertainty.mswd = s * s;
        else
            result.uncertainty.s = s;
        const double residualDof = spline->size() - spline->degreesOfFreedom();
        result.uncertainty.dof = std::max(1, static_cast<int>(std::lround(residualDof)));
    }
    return result;
}

DriftResult ruleResult(const UsedPoints& points, BracketingRule rule, int last, const PooledScatter& pooled,
                       bool uncertainties)
{
    const BracketingCurve curve = bracketingCurve(points, rule, last, pooled.s);
    DriftResult result;
    result.values = toNaN(curve.value);
    result.degreesOfFreedom = static_cast<double>(points.x.size());
    if (uncertainties && pooled.s) {
        result.uncertainty.u = toNaN(curve.u);
        result.uncertainty.s = pooled.s;
        result.uncertainty.dof = pooled.dof;
    }
    return result;
}

std::optional<DriftResult> meanResult(const UsedPoints& points, int last, bool uncertainties)
{
    const auto baseline = meanBaseline(points.y);
    if (!baseline)
        return std::nullopt;
    DriftResult result;
    result.values.assign(static_cast<std::size_t>(last) + 1, baseline->mean);
    result.degreesOfFreedom = 1.0;
    if (uncertainties && baseline->u) {
        result.uncertainty.u.assign(static_cast<std::size_t>(last) + 1, *baseline->u);
        result.uncertainty.s = baseline->s;
        result.uncertainty.dof = static_cast<int>(points.y.size()) - 1;
    }
    return result;
}

void fitDriftMethods(const Store& store, const Enabled& on, const FitOptions& options, MessageSink& messages,
                     FitResults& fits)
{
    if (std::none_of(on.drift.begin(), on.drift.end(), [](bool b) { return b; }))
        return;
    const int last = fits.lastPosition;
    const UsedPoints points = usedPoints(store, 0, last, [](int x) { return static_cast<double>(x); });
    if (points.x.empty())
        return;
    const auto index = [](DriftMethod m) { return driftIndex(m); };
    if (on.drift[index(DriftMethod::Spline)])
        fits.drift[index(DriftMethod::Spline)] = fitSpline(points, options, last, messages);
    const bool rules = on.drift[index(DriftMethod::Preceding)] || on.drift[index(DriftMethod::Succeeding)] ||
        on.drift[index(DriftMethod::Bracket)];
    // The rules read the pooled scatter of the zigzag's clusters.
    const PooledScatter pooled =
        rules && options.uncertainties ? pooledScatterOf(store, zigzagClusters(store)) : PooledScatter{};
    for (const auto& [method, rule] : {std::pair{DriftMethod::Preceding, BracketingRule::Preceding},
                                       std::pair{DriftMethod::Succeeding, BracketingRule::Succeeding},
                                       std::pair{DriftMethod::Bracket, BracketingRule::Average}})
        if (on.drift[index(method)])
            fits.drift[index(method)] = ruleResult(points, rule, last, pooled, options.uncertainties);
    if (on.drift[index(DriftMethod::Mean)])
        fits.drift[index(DriftMethod::Mean)] = meanResult(points, last, options.uncertainties);
    for (auto& result : fits.drift)
        if (result)
            addDeviations(*result, points);
}

FitResults fitEnabledMethods(Store& store, const RegressionSettings& settings, const CalculationRules& rules,
                             MessageSink& messages)
{
    const Enabled on = enabledMethods(settings);
    const FitOptions options = fitOptions(store, settings, messages);
    FitResults fits;
    fits.weighted = options.weighted();
    fits.lastPosition = store.lastPosition();
    for (int x = 0; x <= fits.lastPosition; ++x) {
        if (store.isUsed(x)) {
            if (!fits.firstStandard)
                fits.firstStandard = x;
            fits.lastStandard = x;
        }
    }

    if (on.zigzag) {
        ZigZag(store);
        fits.zigzag = zigzagPoints(store);
        if (options.uncertainties && !fits.zigzag->empty())
            fits.zigzagUncertainty = zigzagUncertainty(zigzagClusters(store), store, fits.lastPosition);
    } else {
        store.nClusters = 0;
    }

    if (store.nPoints > 1) {
        fitLinear(store, settings, rules, on, options, messages, fits);
    } else {
        clearLinear(store);
        clearConfidence(store);
    }

    if (on.logarithmic && store.nPoints > 2) {
        clearLogarithmic(store);
        Logarithmic_Calc(store, messages);
        FitUncertainty uncertainty;
        if (options.weighted() || options.uncertainties) {
            const UsedPoints points =
                usedPoints(store, 1, store.lastPosition(), [](int x) { return std::log(static_cast<double>(x)); });
            uncertainty = refineLine(points, options, options.weightsFromOne,
                                     {store.LogA, store.LogB, store.LogR, store.LogDev, store.LogDevPct},
                                     store.lastPosition(), true);
        }
        fits.logarithmic = lineResult(store.LogA, store.LogB, store.LogR, store.LogDev, store.LogDevPct);
        fits.logarithmic->uncertainty = std::move(uncertainty);
    } else {
        clearLogarithmic(store);
    }

    fitPolynomialRows(store, settings, on, rules, options, messages, fits);
    fitDriftMethods(store, on, options, messages, fits);
    return fits;
}

// --- Stage 2: labels ----------------------------------------------------------

std::string rounded(const std::optional<double>& value, const NumberLocale& locale)
{
    return value ? Rounding(ValueCell(*value), locale) : std::string();
}

std::string squaredFixed2(const std::optional<double>& value, const NumberLocale& locale)
{
    return percentCaption(value ? std::optional<double>(*value * *value) : std::nullopt, locale);
}

// The captions of what Show asks for; a method fitted only for the export
// leaves its labels empty.
ResultLabels formatLabels(const Store& store, const FitResults& fits, const RegressionSettings& settings,
                          const NumberLocale& locale)
{
    ResultLabels labels;
    if (const auto& lin = fits.linear) {
        labels.lblNData = formatGeneral(store.MaxX, locale);
        labels.lblnDataOK = formatGeneral(store.nPointsAll, locale);
        labels.lblRej = formatGeneral(markedRejected(store), locale);
        labels.lbl_LRb = rounded(lin->b, locale);
        labels.lbl_LRa = rounded(lin->a, locale);
        labels.lbl_LRr = squaredFixed2(lin->r, locale);
        labels.lblDiff = rounded(lin->dev, locale);
        labels.lblDiffProc = percentCaption(lin->devPct, locale);
    }
    if (const auto& log = fits.logarithmic; log && settings.chkLog) {
        labels.lbl_LoRb = rounded(log->b, locale);
        labels.lbl_LoRa = rounded(log->a, locale);
        labels.lbl_LoRr = squaredFixed2(log->r, locale);
        labels.lblDiffLog = rounded(log->dev, locale);
        labels.lblDiffProcLog = percentCaption(log->devPct, locale);
    }
    for (std::size_t slot = 1; slot <= 5; ++slot) {
        const auto& row = fits.poly[slot];
        if (!settings.chkPoly[slot] || !row)
            continue;
        // Only a run that reached the fit sets the parameter text.
        if (slot == 1 && store.nPoints > 2)
            labels.Label2 = row->fitted ? polynomialParameterText(row->coefficients, row->dsig, locale) : std::string();
        if (!row->fitted)
            continue;
        labels.lblDiffPoly[slot] = Rounding(row->PolyDev, locale);
        labels.lblDiffProcPoly[slot] = percentCaption(resultNumber(row->PolyDevPct), locale);
    }
    return labels;
}

// --- Stage 3: scene -------------------------------------------------------

// The X ranges outside the standards, from the plot's edge to the first and
// from the last standard to the other edge, over the plot's full height.
void shadeExtrapolation(const FitResults& fits, PlotScene& scene)
{
    if (!fits.firstStandard || !fits.lastStandard)
        return;
    const PlotScale& s = scene.scale;
    const double left = std::min(s.left, s.left + s.width);
    const double right = std::max(s.left, s.left + s.width);
    const double top = s.top;
    const double bottom = s.top + s.height;
    const double first = *fits.firstStandard;
    const double last = *fits.lastStandard;
    if (left < first)
        addFilledBox(scene.items, Canvas::Plot, left, top, std::min(first, right), bottom, kExtrapolationShade);
    if (last < right)
        addFilledBox(scene.items, Canvas::Plot, std::max(last, left), top, right, bottom, kExtrapolationShade);
}

void drawZigzag(const std::vector<ZigzagPoint>& points, PlotScene& scene)
{
    for (std::size_t k = 0; k + 1 < points.size(); ++k)
        addSegment(scene.items, Canvas::Plot, points[k].x, points[k].y, points[k + 1].x, points[k + 1].y,
                   colours::kOrange);
}

// The band's two edges, one segment per step from FirstX to the last
// position; ConfHalf, ConfHalf2, LinFit and LineY1 keep the last step's values.
void drawBand(Store& store, double a, double b, const ConfidenceBand& band, PrimitiveList& items)
{
    const int last = store.lastPosition();
    if (store.FirstX >= last)
        return;
    UnitStepRun upper(Canvas::Plot, colours::kBlack, last), lower(Canvas::Plot, colours::kBlack, last);
    double h1 = band.at(store.FirstX);
    double y1 = b * store.FirstX + a;
    double lastH1 = 0, lastH2 = 0, lastY1 = 0, lastY2 = 0;
    bool drawn = false;
    for (int x = store.FirstX; x < last; ++x) {
        const double h2 = band.at(x + 1.0);
        const double y2 = b * (x + 1) + a;
        if (std::isfinite(h1) && std::isfinite(h2)) {
            upper.step(items, x, y1 + h1, y2 + h2);
            lower.step(items, x, y1 - h1, y2 - h2);
            lastH1 = h1;
            lastH2 = h2;
            lastY1 = y1;
            lastY2 = y2;
            drawn = true;
        }
        // A gap needs no flush here: the first step after it does not
        // continue either run, so each edge ends its run then, upper first.
        h1 = h2;
        y1 = y2;
    }
    upper.flush(items);
    lower.flush(items);
    if (drawn) {
        store.ConfHalf = lastH1;
        store.ConfHalf2 = lastH2;
        store.LinFit = numberOrEmpty(lastY1);
        store.LineY1 = numberOrEmpty(lastY2);
    }
}

void drawLinear(Store& store, const RegressionSettings& settings, const FitResults& fits, double maxX, PlotScene& scene)
{
    if (!fits.linear || !fits.linear->a || !fits.linear->b)
        return;
    const double a = *fits.linear->a;
    const double b = *fits.linear->b;
    store.LineX0 = 0;
    store.LinFit = numberOrEmpty(a + b * 0);
    store.LineX1 = maxX;
    store.LineY1 = numberOrEmpty(a + b * maxX);
    addSegment(scene.items, Canvas::Plot, store.LineX0, a, store.LineX1, a + b * maxX, colours::kBlack);
    if (settings.chkConf && fits.band)
        drawBand(store, a, b, *fits.band, scene.items);
}

// The band value ± t·u of a method other than the line, in its colour, one
// segment per step like the line's band; t of the chosen level with the
// method's own degrees of freedom.
void drawUncertaintyBand(const Store& store, const std::vector<double>& values, const FitUncertainty& u, Rgb colour,
                         PrimitiveList& items)
{
    if (u.empty() || u.dof < 1 || !store.Student.loaded || !store.ProbIndex || *store.ProbIndex < 1 ||
        *store.ProbIndex > 6)
        return;
    const double t = store.Student.at(*store.ProbIndex, std::min(u.dof, 101));
    const int last =
        std::min({store.lastPosition(), static_cast<int>(values.size()) - 1, static_cast<int>(u.u.size()) - 1});
    UnitStepRun upper(Canvas::Plot, colour, last), lower(Canvas::Plot, colour, last);
    for (int x = std::max(store.FirstX, 0); x < last; ++x) {
        const auto i = static_cast<std::size_t>(x);
        const double h1 = t * u.u[i], h2 = t * u.u[i + 1];
        if (!std::isfinite(values[i] + h1) || !std::isfinite(values[i + 1] + h2))
            continue; // the runs end at the next step, as in drawBand
        upper.step(items, x, values[i] + h1, values[i + 1] + h2);
        lower.step(items, x, values[i] - h1, values[i + 1] - h2);
    }
    upper.flush(items);
    lower.flush(items);
}

// The chosen method's values and u, when it was fitted with u.
void drawChosenBand(const Store& store, const RegressionSettings& settings, const FitResults& fits, PlotScene& scene)
{
    const std::string& key = settings.bandMethod;
    const int last = fits.lastPosition;
    std::vector<double> values(static_cast<std::size_t>(last) + 1, NAN);
    if (key == "log" && fits.logarithmic && fits.logarithmic->a && fits.logarithmic->b) {
        for (int x = 1; x <= last; ++x)
            values[static_cast<std::size_t>(x)] =
                *fits.logarithmic->a + *fits.logarithmic->b * std::log(static_cast<double>(x));
        drawUncertaintyBand(store, values, fits.logarithmic->uncertainty, colours::kMagenta, scene.items);
    } else if (key.size() == 5 && key.starts_with("poly") && key[4] >= '1' && key[4] <= '5') {
        const auto slot = static_cast<std::size_t>(key[4] - '0');
        if (const auto& row = fits.poly[slot]; row && row->fitted)
            drawUncertaintyBand(store, row->values, row->uncertainty, kRowColours[slot], scene.items);
    } else if (const auto m = driftMethodOf(key); m && fits.drift[*m]) {
        drawUncertaintyBand(store, fits.drift[*m]->values, fits.drift[*m]->uncertainty, kDriftColours[*m], scene.items);
    } else if (key == "zigzag" && fits.zigzag && fits.zigzagUncertainty) {
        for (int x = 0; x <= last; ++x)
            values[static_cast<std::size_t>(x)] = zigzagAt(*fits.zigzag, x).value_or(NAN);
        drawUncertaintyBand(store, values, *fits.zigzagUncertainty, colours::kOrange, scene.items);
    }
}

void drawLogarithmic(const Store& store, const LineFitResult& log, PlotScene& scene)
{
    if (!log.a || !log.b)
        return;
    const double a = *log.a;
    const double b = *log.b;
    const int last = store.lastPosition();
    // ln X is undefined at X <= 0: the curve starts with the segment from 1.
    const int first = std::max(store.FirstX, 1);
    double y1 = a + b * std::log(static_cast<double>(first));
    UnitStepRun run(Canvas::Plot, colours::kMagenta, last + 1);
    for (int x = first; x <= last; ++x) {
        const double y2 = a + b * std::log(x + 1.0);
        run.step(scene.items, x, y1, y2);
        y1 = y2;
    }
    run.flush(scene.items);
}

void drawPolynomialRow(const Store& store, int slot, const PolynomialRowResult& row, PlotScene& scene)
{
    const Rgb colour = kRowColours[static_cast<std::size_t>(slot)];
    const int last = std::min(store.lastPosition(), static_cast<int>(row.values.size()) - 1);
    UnitStepRun run(Canvas::Plot, colour, last);
    for (int x = std::max(store.FirstX, 0); x < last; ++x) {
        const double y1 = row.values[static_cast<std::size_t>(x)];
        const double y2 = row.values[static_cast<std::size_t>(x) + 1];
        run.step(scene.items, x, y1, y2);
    }
    run.flush(scene.items);
}

// One segment per step where the curve has a value at both ends; the mean,
// level everywhere, is one segment.
void drawDriftCurve(const Store& store, std::size_t method, const DriftResult& curve, PlotScene& scene)
{
    const Rgb colour = kDriftColours[method];
    const int last = std::min(store.lastPosition(), static_cast<int>(curve.values.size()) - 1);
    const int first = std::max(store.FirstX, 0);
    if (method == driftIndex(DriftMethod::Mean)) {
        if (first < last)
            addSegment(scene.items, Canvas::Plot, first, curve.values[0], last, curve.values[0], colour);
        return;
    }
    UnitStepRun run(Canvas::Plot, colour, last);
    for (int x = first; x < last; ++x) {
        const double y1 = curve.values[static_cast<std::size_t>(x)];
        const double y2 = curve.values[static_cast<std::size_t>(x) + 1];
        run.step(scene.items, x, y1, y2);
    }
    run.flush(scene.items);
}

void buildScene(Store& store, const RegressionSettings& settings, const CalculationRules& rules, const FitResults& fits,
                const NumberLocale& locale, PlotScene& scene)
{
    const double maxX = plotMaxX(store);
    const int last = store.lastPosition();
    // A curve is one polyline per unbroken run; marks and ticks come by the
    // position: reserving once spares the reallocations of a long run.
    scene.items.reserve(static_cast<std::size_t>(last) / 5 + 1024);
    const YSpan span = ySpan(store.MinY, store.MaxY, settings.yFull);
    scene.scale = plotScale(maxX, store.FirstX, span, settings.xFull, settings.yFull, store.MarginX, store.MarginY);

    // Under everything else.
    shadeExtrapolation(fits, scene);

    // Square marks on screen: the Y half-size follows the ratio of the two
    // scales and of the box's sides.
    const PlotGeometry& geometry = scene.geometry;
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

    if (settings.chkZigZag && fits.zigzag)
        drawZigzag(*fits.zigzag, scene);
    // The line's own band is drawn with the line unless another method's is chosen.
    RegressionSettings lineSettings = settings;
    lineSettings.chkConf = settings.chkConf && settings.bandMethod == "lin";
    if (fits.linear)
        drawLinear(store, lineSettings, fits, maxX, scene);
    if (settings.chkConf && settings.bandMethod != "lin")
        drawChosenBand(store, settings, fits, scene);
    if (settings.chkLog && fits.logarithmic)
        drawLogarithmic(store, *fits.logarithmic, scene);
    for (int slot = 1; slot <= 5; ++slot) {
        const auto& row = fits.poly[static_cast<std::size_t>(slot)];
        if (settings.chkPoly[static_cast<std::size_t>(slot)] && row && row->fitted)
            drawPolynomialRow(store, slot, *row, scene);
    }
    for (std::size_t m = 0; m < kDriftMethods; ++m)
        if (settings.chkDrift[m] && fits.drift[m])
            drawDriftCurve(store, m, *fits.drift[m], scene);
}

} // namespace

std::string percentCaption(const std::optional<double>& value, const NumberLocale& locale)
{
    return value && std::isfinite(*value) ? formatPattern(*value, "0.00", locale) : std::string();
}

bool Confidence_Belt(Store& store, PrimitiveList& items)
{
    if (!Confidence_Calc(store))
        return false;
    const auto band = confidenceBand(store);
    if (band)
        drawBand(store, store.LinA.value(), store.LinB.value(), *band, items);
    return true; // without a band all points lie at one position: no width anywhere
}

CalculationResult calculateFits(Store& store, const RegressionSettings& settings, MessageSink& messages,
                                const NumberLocale& locale, const CalculationRules& rules)
{
    CalculationResult result;
    if (rules.waitForProbabilityLevel && !store.ProbIndex)
        return result;
    result.ran = true;
    ScanData(store);
    store.MarginY = 0.1;
    store.MarginX = 0.05;
    store.MarkFrac = 0.003;
    result.fits = fitEnabledMethods(store, settings, rules, messages);
    result.labels = formatLabels(store, result.fits, settings, locale);
    return result;
}

CalculationResult A_PLOT(Store& store, const RegressionSettings& settings, MessageSink& messages,
                         const NumberLocale& locale, const PlotGeometry& geometry, const CalculationRules& rules,
                         PrimitiveList* recycled)
{
    CalculationResult result = calculateFits(store, settings, messages, locale, rules);
    if (!result.ran)
        return result;
    if (recycled) {
        result.scene.items = std::move(*recycled);
        result.scene.items.clear();
        recycled->clear();
    }
    result.scene.geometry = geometry;
    buildScene(store, settings, rules, result.fits, locale, result.scene);
    return result;
}

} // namespace kalibron
