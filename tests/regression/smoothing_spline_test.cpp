// The smoothing spline's own consistency: leave-one-out against refits,
// u against the smoother's rows, the few-standard cases and bad input. Its
// agreement with scipy is spline_vs_scipy.py's part.
#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "regression/smoothing_spline.h"
#include "regression_test_support.h"

namespace kalibron {
namespace {

struct Table {
    std::vector<double> x, y, w;
    double range() const
    {
        const auto [lo, hi] = std::minmax_element(y.begin(), y.end());
        return *hi - *lo;
    }
};

// n standards at distinct whole positions in [lo, hi], a smooth drift with
// noise; weights 1 or spread over 0.2..5.
Table table(int n, int lo, int hi, bool weighted, unsigned seed)
{
    std::mt19937 gen(seed);
    std::vector<int> all(static_cast<std::size_t>(hi - lo + 1));
    for (std::size_t i = 0; i < all.size(); ++i)
        all[i] = lo + static_cast<int>(i);
    std::shuffle(all.begin(), all.end(), gen);
    all.resize(static_cast<std::size_t>(n));
    std::sort(all.begin(), all.end());
    std::uniform_real_distribution<double> noise(-1, 1), weight(0.2, 5);
    Table t;
    for (int x : all) {
        const double s = double(x) / hi;
        t.x.push_back(x);
        t.y.push_back(500 + 30 * std::sin(4 * s) + 10 * s * s + 2 * noise(gen));
        t.w.push_back(weighted ? weight(gen) : 1.0);
    }
    return t;
}

std::vector<double> without(const std::vector<double>& v, std::size_t i)
{
    std::vector<double> out = v;
    out.erase(out.begin() + static_cast<std::ptrdiff_t>(i));
    return out;
}

TEST(SmoothingSpline, LeaveOneOutEqualsRefitsWithoutEachStandardAtTheSameLambda)
{
    struct Case {
        Table t;
        std::optional<double> lambda; // empty: GCV
    };
    const std::vector<Case>
        cases{
            {table(6, 0, 40, false, 1), {}},     {table(25, 100, 3000, true, 2), {}},
            {table(300, 0, 30000, true, 3), {}}, {table(40, 0, 30000, false, 4), 1e6},
            {table(30, 0, 200, true, 5), 1e-3}, // nearly interpolating: 1 − H_ii small
        };
    for (std::size_t c = 0; c < cases.size(); ++c) {
        const Table& t = cases[c].t;
        const auto spline = SmoothingSpline::fit(t.x, t.y, t.w, cases[c].lambda);
        ASSERT_TRUE(spline) << c;
        const double lambda = *spline->lambda();
        const auto loo = spline->leaveOneOut();
        for (std::size_t i = 0; i < t.x.size(); ++i) {
            const auto refit = SmoothingSpline::fit(without(t.x, i), without(t.y, i), without(t.w, i), lambda);
            ASSERT_TRUE(refit && loo[i]) << c << ' ' << i;
            EXPECT_LE(std::abs(*loo[i] - refit->value(t.x[i])), 1e-9 * t.range()) << c << ' ' << i;
        }
        if (!cases[c].lambda) { // what the ranking takes is the same
            const Predictions p = smoothingSplinePredictions(t.x, t.y, t.w);
            EXPECT_EQ(p.withoutEach, loo);
            EXPECT_EQ(p.fitted.size(), t.x.size());
        }
    }
}

TEST(SmoothingSpline, UncertaintyLeveragesAndDegreesOfFreedomFromTheSmoothersRows)
{
    // ĝ(x) = Σ_j l_j(x)·y_j: l_j(x) is the spline of the j-th unit vector.
    const Table t = table(9, 20, 110, true, 7);
    const int maxX = 130;
    const auto spline = SmoothingSpline::fit(t.x, t.y, t.w);
    ASSERT_TRUE(spline && spline->lambda() && spline->scatter());
    const std::size_t n = t.x.size();
    std::vector<std::vector<double>> rows; // rows[j][pos]
    double df = 0;
    for (std::size_t j = 0; j < n; ++j) {
        std::vector<double> unit(n, 0.0);
        unit[j] = 1;
        const auto lj = SmoothingSpline::fit(t.x, unit, t.w, spline->lambda());
        ASSERT_TRUE(lj);
        rows.push_back(lj->values(maxX));
        const double hjj = lj->value(t.x[j]);
        EXPECT_TRUE(test::near(spline->leverages()[j], hjj, 1e-10)) << j;
        df += hjj;
    }
    EXPECT_TRUE(test::near(spline->degreesOfFreedom(), df, 1e-10));
    double rss = 0;
    for (std::size_t i = 0; i < n; ++i)
        rss += t.w[i] * std::pow(t.y[i] - spline->fitted()[i], 2);
    EXPECT_TRUE(test::near(*spline->scatter(), std::sqrt(rss / (double(n) - df)), 1e-9));

    const auto values = spline->values(maxX);
    const auto u = spline->uncertainties(maxX);
    for (int pos = 0; pos <= maxX; ++pos) {
        const auto p = static_cast<std::size_t>(pos);
        double g = 0, norm = 0;
        for (std::size_t j = 0; j < n; ++j) {
            g += rows[j][p] * t.y[j];
            norm += rows[j][p] * rows[j][p] / t.w[j];
        }
        EXPECT_TRUE(test::near(values[p], g, 1e-11)) << pos;
        EXPECT_TRUE(test::near(u[p], *spline->scatter() * std::sqrt(norm), 1e-9)) << pos;
        // The position-by-position calls give the same numbers as the sweep.
        EXPECT_EQ(spline->value(pos), values[p]) << pos;
        EXPECT_EQ(spline->uncertainty(pos), u[p]) << pos;
    }
}

TEST(SmoothingSpline, NaturalEndsInterpolationAndStraightData)
{
    const Table t = table(12, 50, 400, false, 11);
    const auto spline = SmoothingSpline::fit(t.x, t.y);
    ASSERT_TRUE(spline);
    const auto v = spline->values(500);
    // A straight line before the first and after the last standard.
    for (int pos = 1; pos < 50; ++pos)
        EXPECT_NEAR(v[pos + 1] - 2 * v[pos] + v[pos - 1], 0, 1e-9 * t.range()) << pos;
    for (int pos = 401; pos < 500; ++pos)
        EXPECT_NEAR(v[pos + 1] - 2 * v[pos] + v[pos - 1], 0, 1e-9 * t.range()) << pos;

    // λ = 0 interpolates, with every leverage 1 and no scatter left.
    const auto exact = SmoothingSpline::fit(t.x, t.y, {}, 0.0);
    ASSERT_TRUE(exact);
    for (std::size_t i = 0; i < t.x.size(); ++i) {
        EXPECT_TRUE(test::near(exact->value(t.x[i]), t.y[i], 1e-12)) << i;
        EXPECT_NEAR(exact->leverages()[i], 1, 1e-12) << i;
    }
    EXPECT_FALSE(exact->scatter());
    EXPECT_FALSE(exact->uncertainty(100));
    // GCV all but interpolates five drifting standards (n − tr H ≈ 1e-6):
    // a scatter over nothing would claim a u near zero far outside them.
    const std::vector<double> fx{5, 10, 15, 25, 27}, fy{980, 770, 700, 550, 500};
    const auto nearlyExact = SmoothingSpline::fit(fx, fy);
    ASSERT_TRUE(nearlyExact);
    EXPECT_LT(5 - nearlyExact->degreesOfFreedom(), 1);
    EXPECT_FALSE(nearlyExact->scatter());
    EXPECT_FALSE(nearlyExact->uncertainty(0));

    // Points on a line are their own smoothing spline, whatever λ.
    std::vector<double> line;
    for (double x : t.x)
        line.push_back(3 + 0.25 * x);
    for (double lambda : {0.5, 1e4, 1e9}) {
        const auto s = SmoothingSpline::fit(t.x, line, t.w, lambda);
        ASSERT_TRUE(s);
        for (int pos = 0; pos <= 500; pos += 7)
            EXPECT_NEAR(s->value(pos), 3 + 0.25 * pos, 1e-9 * 100) << lambda << ' ' << pos;
    }
}

TEST(SmoothingSpline, OneToThreeStandardsGiveTheConstantOrTheLine)
{
    const std::vector<double> x1{5}, y1{7};
    const auto one = SmoothingSpline::fit(x1, y1);
    ASSERT_TRUE(one);
    EXPECT_EQ(one->value(0), 7);
    EXPECT_EQ(one->value(90), 7);
    EXPECT_FALSE(one->lambda());
    EXPECT_FALSE(one->uncertainty(5));
    EXPECT_EQ(one->leaveOneOut(), std::vector<std::optional<double>>(1));

    const std::vector<double> x2{2, 6}, y2{10, 18};
    const auto two = SmoothingSpline::fit(x2, y2, std::vector<double>{1, 3});
    ASSERT_TRUE(two);
    EXPECT_TRUE(test::near(two->value(0), 6, 1e-14));
    EXPECT_TRUE(test::near(two->value(4), 14, 1e-14));
    EXPECT_EQ(two->degreesOfFreedom(), 2);
    EXPECT_FALSE(two->scatter());
    EXPECT_EQ(two->leaveOneOut(), (std::vector<std::optional<double>>{18, 10}));

    // (0, 1), (1, 3), (2, 2): ĝ = 2 + 0.5(x − 1), residuals −0.5, 1, −0.5, s² = 1.5.
    const std::vector<double> x3{0, 1, 2}, y3{1, 3, 2};
    const auto three = SmoothingSpline::fit(x3, y3);
    ASSERT_TRUE(three);
    EXPECT_TRUE(test::near(three->value(5), 4, 1e-14));
    EXPECT_TRUE(test::near(three->uncertainty(3), std::sqrt(1.5 * (1.0 / 3 + 2)), 1e-14));
    const auto loo = three->leaveOneOut(); // the line through the other two
    EXPECT_TRUE(test::near(loo[0], 4, 1e-14));
    EXPECT_TRUE(test::near(loo[1], 1.5, 1e-14));
    EXPECT_TRUE(test::near(loo[2], 5, 1e-14));
}

TEST(SmoothingSpline, BadInputIsRefusedWithAMessage)
{
    const std::vector<double> x{0, 1, 2, 3, 4}, y{1, 2, 1, 2, 1};
    const std::vector<double> unsorted{0, 2, 1, 3, 4}, repeated{0, 1, 1, 3, 4}, nan{1, 2, NAN, 2, 1};
    const std::vector<double> zeroWeight{1, 1, 0, 1, 1}, shortY{1, 2};
    struct Case {
        std::vector<double> x, y, w;
        std::optional<double> lambda;
    };
    const std::vector<Case> cases{{unsorted, y, {}, {}},  {repeated, y, {}, {}}, {x, nan, {}, {}},
                                  {x, y, zeroWeight, {}}, {x, shortY, {}, {}},   {x, y, {}, -1.0},
                                  {{}, {}, {}, {}},       {x, y, {}, INFINITY}};
    for (std::size_t c = 0; c < cases.size(); ++c) {
        std::string error;
        EXPECT_FALSE(SmoothingSpline::fit(cases[c].x, cases[c].y, cases[c].w, cases[c].lambda, &error)) << c;
        EXPECT_FALSE(error.empty()) << c;
    }

    // Values near the largest double, or weights 600 decades apart: a message
    // or a spline whose every number is finite, never inf shown as a result.
    const std::vector<double> huge{1e300, -1e300, 1e300, 2e300, 1e300}, spread{1e-300, 1e300, 1, 1, 1};
    for (const auto& [yy, ww] : {std::pair{huge, std::vector<double>{}}, std::pair{y, spread}}) {
        std::string error;
        const auto s = SmoothingSpline::fit(x, yy, ww, std::nullopt, &error);
        if (!s) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        for (double v : s->values(10))
            EXPECT_TRUE(std::isfinite(v));
        for (auto u : s->uncertainties(10))
            EXPECT_TRUE(!u || std::isfinite(*u));
        for (auto p : s->leaveOneOut())
            EXPECT_TRUE(!p || std::isfinite(*p));
    }
}

} // namespace
} // namespace kalibron
