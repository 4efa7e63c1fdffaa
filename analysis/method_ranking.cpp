#include "analysis/method_ranking.h"

#include <algorithm>
#include <cmath>

#include "core/store.h"
#include "regression/polynomial_fit.h"
#include "regression/zigzag.h"

namespace kalibron {

namespace {

MethodScore score(std::string key, std::string name, const UsedPoints& points, const Predictions& predictions)
{
    return {std::move(key), std::move(name), summariseLeaveOneOut(points, predictions.fitted),
            summariseLeaveOneOut(points, predictions.withoutEach)};
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

} // namespace

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
    methods.push_back(score("lin", "Linear", fromZero, linePredictions(abscissae(fromZero, false), fromZero.y)));
    methods.push_back(score("log", "Logarithmic", fromOne, linePredictions(abscissae(fromOne, true), fromOne.y)));

    std::vector<int> degrees{2, 3, 4, 5};
    if (freeDegree >= 0 && freeDegree <= kMaxPolynomialDegree &&
        std::find(degrees.begin(), degrees.end(), freeDegree) == degrees.end())
        degrees.push_back(freeDegree);
    const std::vector<double> positions = abscissae(fromOne, false);
    for (int d : degrees) {
        methods.push_back(score("poly" + std::to_string(d), "Polynomial " + std::to_string(d), fromOne,
                                polynomialPredictions(positions, fromOne.y, d)));
    }
    const std::vector<ZigzagCluster> clusters = zigzagClusters(store);
    methods.push_back(score("zigzag", "Zigzag", fromOne, zigzagPredictions(clusters, fromOne)));

    std::stable_sort(methods.begin(), methods.end(), [](const MethodScore& a, const MethodScore& b) {
        if (a.loo && b.loo)
            return a.loo->mean < b.loo->mean;
        return a.loo.has_value() && !b.loo.has_value();
    });
    return ranking;
}

} // namespace kalibron
