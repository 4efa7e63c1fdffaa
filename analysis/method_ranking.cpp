#include "analysis/method_ranking.h"

#include <algorithm>
#include <cmath>

#include "analysis/regression_settings.h"
#include "core/store.h"
#include "regression/bracketing.h"
#include "regression/polynomial_fit.h"
#include "regression/smoothing_spline.h"
#include "regression/uncertainty.h"
#include "regression/zigzag.h"

namespace kalibron {

namespace {

MethodScore score(std::string key, std::string name, const UsedPoints& points, const Predictions& predictions)
{
    MethodScore method;
    method.key = std::move(key);
    method.name = std::move(name);
    method.inSample = summariseLeaveOneOut(points, predictions.fitted);
    method.loo = summariseLeaveOneOut(points, predictions.withoutEach);
    return method;
}

// Positions of the points as abscissae, or their logarithms.
std::vector<double> abscissae(const UsedPoints& points, bool logarithmic)
{
    std::vector<double> t;
    t.reserve(points.x.size());
    for (double x : points.x)
        t.push_back(logarithmic ? std::log(x) : x);
    return t;
}

// Mean u over the positions without a used standard.
std::optional<double> meanOverSamples(const FitUncertainty& u, const Store& store)
{
    double sum = 0;
    int count = 0;
    for (std::size_t x = 0; x < u.u.size(); ++x) {
        if (!store.isUsed(static_cast<int>(x)) && std::isfinite(u.u[x])) {
            sum += u.u[x];
            ++count;
        }
    }
    return count > 0 ? std::optional<double>(sum / count) : std::nullopt;
}

void summarise(MethodScore& method, const FitUncertainty& u, const Store& store, bool weighted)
{
    method.weighted = weighted;
    method.spread = weighted ? u.mswd : u.s;
    method.meanU = meanOverSamples(u, store);
}

std::optional<BracketingRule> ruleOf(const std::string& key)
{
    const auto m = driftMethodOf(key);
    if (m == driftIndex(DriftMethod::Preceding))
        return BracketingRule::Preceding;
    if (m == driftIndex(DriftMethod::Succeeding))
        return BracketingRule::Succeeding;
    if (m == driftIndex(DriftMethod::Bracket))
        return BracketingRule::Average;
    return std::nullopt;
}

} // namespace

void addUncertaintySummaries(MethodRanking& ranking, const Store& store, bool weighted)
{
    const int last = store.lastPosition();
    const UsedPoints fromZero = usedPoints(store, 0);
    const UsedPoints fromOne = usedPoints(store, 1);
    std::optional<std::vector<double>> wZero, wOne;
    if (weighted) {
        wZero = yErrorWeights(store, 0, last);
        wOne = yErrorWeights(store, 1, last);
    }
    weighted = wZero && wOne;
    const std::vector<double> ones(fromOne.x.size(), 1.0);
    const std::span<const double> zeroWeights = weighted ? std::span<const double>(*wZero) : std::span<const double>();
    const std::span<const double> oneWeights =
        weighted ? std::span<const double>(*wOne) : std::span<const double>(ones);
    // The zigzag and the three rules rest on the same s_p.
    const std::vector<ZigzagCluster> clusters = zigzagClusters(store);
    const PooledScatter pooled = pooledScatterOf(store, clusters);
    for (MethodScore& method : ranking.methods) {
        FitUncertainty u;
        if (method.key == "lin" || method.key == "log") {
            const bool log = method.key == "log";
            const UsedPoints& points = log ? fromOne : fromZero;
            const std::span<const double> w = log ? (weighted ? oneWeights : std::span<const double>()) : zeroWeights;
            if (points.x.size() >= 3)
                if (const auto line = centredLine(abscissae(points, log), points.y, w))
                    u = lineUncertainty(*line, weighted, last, log);
            summarise(method, u, store, weighted);
        } else if (method.key.starts_with("poly")) {
            // The same least squares as the calculation's; unit weights
            // give the unweighted fit.
            const PolynomialFit fit =
                weightedPolynomialFit(fromOne.x, fromOne.y, oneWeights, std::stoi(method.key.substr(4)));
            if (fit.status == PolynomialStatus::Fitted)
                u = polynomialUncertainty(fit, weighted, last);
            summarise(method, u, store, weighted);
        } else if (method.key == kDriftMethodKeys[driftIndex(DriftMethod::Spline)]) {
            if (const auto spline = SmoothingSpline::fit(fromZero.x, fromZero.y, zeroWeights);
                spline && spline->scatter()) {
                const double s = *spline->scatter();
                u.u = toNaN(spline->uncertainties(last));
                if (weighted)
                    u.mswd = s * s;
                else
                    u.s = s;
            }
            summarise(method, u, store, weighted);
        } else if (method.key == kDriftMethodKeys[driftIndex(DriftMethod::Mean)]) {
            if (const auto baseline = meanBaseline(fromZero.y); baseline && baseline->u) {
                u.u.assign(static_cast<std::size_t>(last) + 1, *baseline->u);
                u.s = baseline->s;
            }
            summarise(method, u, store, false);
        } else if (const auto rule = ruleOf(method.key)) {
            if (pooled.s) {
                u.u = toNaN(bracketingCurve(fromZero, *rule, last, pooled.s).u);
                u.s = pooled.s;
            }
            summarise(method, u, store, false);
        } else if (method.key == "zigzag") {
            if (!clusters.empty())
                u = zigzagUncertainty(clusters, pooled, last);
            summarise(method, u, store, false);
        }
    }
}

MethodRanking rankMethods(const Store& store, int freeDegree)
{
    MethodRanking ranking;
    const UsedPoints fromZero = usedPoints(store, 0);
    const UsedPoints fromOne = usedPoints(store, 1);
    if (const auto standards = standardsRange(store)) {
        ranking.firstStandard = standards->first;
        ranking.lastStandard = standards->last;
    }

    std::vector<MethodScore>& methods = ranking.methods;
    // The standards each method was scored on: the baseline it is held
    // against must be scored on the same ones.
    std::vector<bool> scoredFromOne;
    const auto add = [&](MethodScore method, const UsedPoints& points) {
        methods.push_back(std::move(method));
        scoredFromOne.push_back(&points == &fromOne);
    };
    add(score("lin", "Linear", fromZero, linePredictions(abscissae(fromZero, false), fromZero.y)), fromZero);
    add(score("log", "Logarithmic", fromOne, linePredictions(abscissae(fromOne, true), fromOne.y)), fromOne);

    std::vector<int> degrees{2, 3, 4, 5};
    if (freeDegree >= 0 && freeDegree <= kMaxPolynomialDegree &&
        std::find(degrees.begin(), degrees.end(), freeDegree) == degrees.end())
        degrees.push_back(freeDegree);
    const std::vector<double> positions = abscissae(fromOne, false);
    for (int d : degrees) {
        add(score("poly" + std::to_string(d), "Polynomial " + std::to_string(d), fromOne,
                  polynomialPredictions(positions, fromOne.y, d)),
            fromOne);
    }
    const std::vector<ZigzagCluster> clusters = zigzagClusters(store);
    add(score("zigzag", "Zigzag", fromOne, zigzagPredictions(clusters, fromOne)), fromOne);
    const auto drift = [&](DriftMethod m, const Predictions& predictions) {
        add(score(kDriftMethodKeys[driftIndex(m)], kDriftMethodNames[driftIndex(m)], fromZero, predictions), fromZero);
    };
    drift(DriftMethod::Spline, smoothingSplinePredictions(fromZero.x, fromZero.y));
    drift(DriftMethod::Preceding, bracketingPredictions(fromZero, BracketingRule::Preceding));
    drift(DriftMethod::Succeeding, bracketingPredictions(fromZero, BracketingRule::Succeeding));
    drift(DriftMethod::Bracket, bracketingPredictions(fromZero, BracketingRule::Average));
    drift(DriftMethod::Mean, meanPredictions(fromZero.y));
    // A standard at position 0 counts for the mean from 0 but not for the
    // methods scored from 1, which are held against the mean over theirs.
    const MethodScore& baseline = methods.back();
    const std::optional<LeaveOneOut> baselineFromOne =
        summariseLeaveOneOut(fromOne, meanPredictions(fromOne.y).withoutEach);
    for (std::size_t i = 0; i + 1 < methods.size(); ++i) {
        const std::optional<LeaveOneOut>& bar = scoredFromOne[i] ? baselineFromOne : baseline.loo;
        methods[i].noBetterThanBaseline = bar && methods[i].loo && !(methods[i].loo->mean < bar->mean);
    }

    std::stable_sort(methods.begin(), methods.end(), [](const MethodScore& a, const MethodScore& b) {
        if (a.loo && b.loo)
            return a.loo->mean < b.loo->mean;
        return a.loo.has_value() && !b.loo.has_value();
    });
    return ranking;
}

} // namespace kalibron
