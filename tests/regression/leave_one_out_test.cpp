// Leave-one-out predictions against brute-force refits without each point.
#include <cmath>
#include <optional>
#include <random>
#include <vector>

#include <Eigen/Dense>
#include <gtest/gtest.h>

#include "regression/least_squares_line.h"
#include "regression/leave_one_out.h"
#include "regression/zigzag.h"
#include "regression_test_support.h"

namespace kalibron {
namespace {

using test::near;

// A drifting run of standards in clusters of 1..4 consecutive positions, some rejected.
Store randomRun(std::mt19937& rng, int maxX)
{
    Store store;
    std::uniform_int_distribution<int> gap(2, 40), size(1, 4), coin(0, 9);
    std::normal_distribution<double> noise(0, 8);
    int x = gap(rng);
    while (x < maxX) {
        for (int k = size(rng); k > 0 && x <= maxX; --k, ++x) {
            store.Y[static_cast<std::size_t>(x)] = ValueCell(1000 - 0.02 * x + 30 * std::sin(x / 90.0) + noise(rng));
            if (coin(rng) == 0)
                test::reject(store, x);
        }
        x += gap(rng);
    }
    store.MaxX = maxX;
    return store;
}

void expectSamePredictions(const std::vector<std::optional<double>>& fast,
                           const std::vector<std::optional<double>>& brute)
{
    ASSERT_EQ(fast.size(), brute.size());
    for (std::size_t i = 0; i < fast.size(); ++i) {
        ASSERT_EQ(fast[i].has_value(), brute[i].has_value()) << i;
        if (fast[i]) {
            EXPECT_TRUE(near(*fast[i], *brute[i], 1e-9)) << i;
        }
    }
}

TEST(LeaveOneOut, ClosedFormsEqualRefitsWithoutEachPoint)
{
    std::mt19937 rng(20261208);
    for (int trial = 0; trial < 10; ++trial) {
        const Store store = randomRun(rng, trial % 2 ? 30000 : 400);
        const UsedPoints points = usedPoints(store, 1);
        ASSERT_GE(points.x.size(), 5u);

        // Straight line in x and in ln x: the line refitted from its sums without i.
        for (bool logarithmic : {false, true}) {
            std::vector<double> t;
            for (double x : points.x)
                t.push_back(logarithmic ? std::log(x) : x);
            std::vector<std::optional<double>> brute;
            for (std::size_t i = 0; i < t.size(); ++i) {
                LineSums sums;
                for (std::size_t j = 0; j < t.size(); ++j)
                    if (j != i)
                        sums.add(t[j], points.y[j]);
                const LineCoefficients line = solveLine(sums);
                brute.push_back(line.a && line.b ? std::optional<double>(*line.a + *line.b * t[i]) : std::nullopt);
            }
            expectSamePredictions(linePredictions(t, points.y).withoutEach, brute);
        }

        // Zigzag: the member taken out of its cluster, the whole zigzag read again.
        const std::vector<ZigzagCluster> clusters = zigzagClusters(store);
        std::vector<std::optional<double>> brute(points.x.size());
        for (std::size_t c = 0; c < clusters.size(); ++c) {
            for (int member : clusters[c].members) {
                std::vector<ZigzagPoint> rest;
                double y = 0;
                for (std::size_t i = 0; i < points.x.size(); ++i)
                    if (points.x[i] == member)
                        y = points.y[i];
                for (std::size_t k = 0; k < clusters.size(); ++k) {
                    const double n = static_cast<double>(clusters[k].members.size());
                    if (k != c)
                        rest.push_back({clusters[k].x, clusters[k].y});
                    else if (n > 1)
                        rest.push_back({(clusters[k].sumX - member) / (n - 1), (clusters[k].sumY - y) / (n - 1)});
                }
                for (std::size_t i = 0; i < points.x.size(); ++i)
                    if (points.x[i] == member)
                        brute[i] = zigzagAt(rest, member);
            }
        }
        expectSamePredictions(zigzagPredictions(clusters, points).withoutEach, brute);
    }
}

// The polynomial refitted without point `skip` by an SVD (another factorisation
// than the one under test), read at t[skip].
std::optional<double> polynomialRefit(const std::vector<double>& t, const std::vector<double>& y, int degree,
                                      std::size_t skip)
{
    const auto n = static_cast<Eigen::Index>(t.size() - 1);
    double a = 1e300, b = -1e300;
    for (std::size_t i = 0; i < t.size(); ++i)
        if (i != skip) {
            a = std::min(a, t[i]);
            b = std::max(b, t[i]);
        }
    auto row = [&](double x) {
        Eigen::RowVectorXd r(degree + 1);
        const double s = (2 * x - (a + b)) / (b - a);
        r(0) = 1;
        if (degree > 0)
            r(1) = s;
        for (int k = 2; k <= degree; ++k)
            r(k) = 2 * s * r(k - 1) - r(k - 2);
        return r;
    };
    Eigen::MatrixXd basis(n, degree + 1);
    Eigen::VectorXd values(n);
    Eigen::Index r = 0;
    for (std::size_t i = 0; i < t.size(); ++i)
        if (i != skip) {
            basis.row(r) = row(t[i]);
            values(r++) = y[i];
        }
    const Eigen::VectorXd c = basis.bdcSvd(Eigen::ComputeThinU | Eigen::ComputeThinV).solve(values);
    return (row(t[skip]) * c)(0);
}

TEST(LeaveOneOut, PolynomialClosedFormEqualsRefitsAtDegreesOneToTen)
{
    std::mt19937 rng(8122026);
    for (int trial = 0; trial < 4; ++trial) {
        const Store store = randomRun(rng, trial % 2 ? 3000 : 400);
        const UsedPoints points = usedPoints(store, 1);
        const std::vector<double> t(points.x.begin(), points.x.end());
        for (int degree = 1; degree <= 10; ++degree) {
            std::vector<std::optional<double>> brute;
            for (std::size_t i = 0; i < t.size(); ++i)
                brute.push_back(polynomialRefit(t, points.y, degree, i));
            SCOPED_TRACE(degree);
            expectSamePredictions(polynomialPredictions(t, points.y, degree).withoutEach, brute);
        }
    }
    // Fewer distinct positions than unknowns: rank deficient, nothing predicted.
    const std::vector<double> t{5, 5, 5, 9, 9, 9}, y{1, 2, 3, 4, 5, 6};
    for (const auto& p : polynomialPredictions(t, y, 2).withoutEach)
        EXPECT_FALSE(p);
}

TEST(LeaveOneOut, TooFewPredictionsGiveNoFigure)
{
    Store store;
    test::setPoints(store, {{5, 100}, {10, 90}}, 10);
    const UsedPoints two = usedPoints(store, 1);
    const std::vector<double> t{5, 10};
    EXPECT_FALSE(summariseLeaveOneOut(two, linePredictions(t, two.y).withoutEach));

    // Three standards on a line: every prediction is exact, the largest error is the first.
    test::setPoints(store, {{5, 100}, {10, 90}, {20, 70}}, 20);
    const UsedPoints three = usedPoints(store, 1);
    const std::vector<double> t3{5, 10, 20};
    const auto figure = summariseLeaveOneOut(three, linePredictions(t3, three.y).withoutEach);
    ASSERT_TRUE(figure);
    EXPECT_EQ(figure->count, 3);
    EXPECT_NEAR(figure->mean, 0, 1e-9);
    EXPECT_EQ(figure->maxAt, 5);
}

} // namespace
} // namespace kalibron
