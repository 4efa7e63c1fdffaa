#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "core/messages.h"
#include "core/store.h"
#include "regression/least_squares_line.h"
#include "regression/polynomial_fit.h"
#include "regression/uncertainty.h"
#include "regression/zigzag.h"
#include "regression_test_support.h"

namespace kalibron {
namespace {

using test::near;

// Standard normal numbers from a fixed-seed generator, the same on every
// library (std::normal_distribution is not): Box–Muller on 53-bit uniforms.
class Gaussian {
public:
    explicit Gaussian(std::uint64_t seed) : m_bits(seed) {}
    double operator()()
    {
        if (m_haveSpare) {
            m_haveSpare = false;
            return m_spare;
        }
        const double u1 = uniformOpen(), u2 = uniformOpen();
        const double radius = std::sqrt(-2 * std::log(u1));
        const double angle = 2 * M_PI * u2;
        m_spare = radius * std::sin(angle);
        m_haveSpare = true;
        return radius * std::cos(angle);
    }

private:
    double uniformOpen() { return (static_cast<double>(m_bits() >> 11) + 1) * 0x1p-53; } // (0, 1]
    std::mt19937_64 m_bits;
    double m_spare = 0;
    bool m_haveSpare = false;
};

// t(0.975; 9): the two-sided 95 % quantile for 12 standards and 3 parameters.
constexpr double kT975Dof9 = 2.2621571627982;

// The coverage runs: 12 standards spread over positions 1..52, the 40 other
// positions samples; a known quadratic drift plus Gaussian noise, the
// degree-2 row fitted, its value ± t·u at one sample position per run
// (taking each of the 40 in turn) checked against the true drift.
struct CoverageSetup {
    std::vector<double> x;     // standards' positions
    std::vector<int> samples;  // sample positions
    std::vector<double> sigma; // true σ of each standard
    static double drift(double x) { return 500 + 2.0 * x - 0.03 * x * x; }
};

CoverageSetup coverageSetup(bool heteroscedastic)
{
    CoverageSetup s;
    std::vector<bool> isStandard(53, false);
    for (int k = 0; k < 12; ++k) {
        const int position = 1 + static_cast<int>(std::lround(k * 51.0 / 11.0));
        s.x.push_back(position);
        isStandard[static_cast<std::size_t>(position)] = true;
        s.sigma.push_back(heteroscedastic ? 0.5 + 0.5 * (k % 4) : 1.5);
    }
    for (int p = 1; p <= 52; ++p)
        if (!isStandard[static_cast<std::size_t>(p)])
            s.samples.push_back(p);
    return s;
}

// z(0.975): with σ known, the interval of the unscaled u.
constexpr double kZ975 = 1.959963984540054;

struct Coverage {
    int covered = 0, runs = 0;
    int coveredKnownSigma = 0; // value ± z·u₀, u₀ = u / max(1, √MSWD)
};

Coverage runCoverage(bool weighted)
{
    const CoverageSetup setup = coverageSetup(weighted);
    EXPECT_EQ(setup.samples.size(), 40u);
    Gaussian noise(weighted ? 0x5eedf00dULL : 0xca11b4a7eULL);
    Store store;
    CollectingMessageSink messages;
    Coverage c;
    for (int run = 0; run < 1000; ++run) {
        std::vector<double> X{0}, Y{0}, w;
        for (std::size_t i = 0; i < setup.x.size(); ++i) {
            X.push_back(setup.x[i]);
            Y.push_back(CoverageSetup::drift(setup.x[i]) + setup.sigma[i] * noise());
            w.push_back(1 / (setup.sigma[i] * setup.sigma[i]));
        }
        const PolynomialFit fit = weighted
            ? weightedPolynomialFit(std::span(X).subspan(1), std::span(Y).subspan(1), w, 2)
            : Polynomial(store, 12, 2, X, Y, messages, nullptr);
        EXPECT_EQ(fit.status, PolynomialStatus::Fitted);
        const int sample = setup.samples[static_cast<std::size_t>(run) % setup.samples.size()];
        const FitUncertainty u = polynomialUncertainty(fit, weighted, 52);
        EXPECT_FALSE(u.empty());
        if (u.empty())
            continue;
        const double value = static_cast<double>(chebyshevValue(fit.stable, sample));
        const double halfWidth = kT975Dof9 * u.u[static_cast<std::size_t>(sample)];
        const double error = std::abs(value - CoverageSetup::drift(sample));
        ++c.runs;
        if (error <= halfWidth)
            ++c.covered;
        if (weighted && u.mswd &&
            error <= kZ975 * u.u[static_cast<std::size_t>(sample)] / std::max(1.0, std::sqrt(*u.mswd)))
            ++c.coveredKnownSigma;
    }
    return c;
}

TEST(Uncertainty, DegreeTwoIntervalCoversTheTrueDriftNinetyFivePercentOfRuns)
{
    const Coverage c = runCoverage(false);
    EXPECT_EQ(c.runs, 1000);
    EXPECT_GE(c.covered, 935);
    EXPECT_LE(c.covered, 965);
}

// Weighted with the true σ, u₀ = √(f(x)ᵀ(FᵀWF)⁻¹f(x)) is the exact standard
// deviation of the fitted value, so value ± z·u₀ covers 95 %. The u the
// program reports is u₀·max(1, √MSWD) and its interval takes t(0.975; 9),
// both on the safe side: P(|Z| <= t·max(1, √(χ²₉/9))) = 0.9822 (numerical
// integration over χ²₉), so t·u covers some 98 %, not 95 %.
TEST(Uncertainty, WeightedDegreeTwoIntervalCoversTheTrueDriftWithTheTrueSigma)
{
    const Coverage c = runCoverage(true);
    EXPECT_EQ(c.runs, 1000);
    EXPECT_GE(c.coveredKnownSigma, 935);
    EXPECT_LE(c.coveredKnownSigma, 965);
    // 98.2 % ± three binomial standard deviations (0.42 % each).
    EXPECT_GE(c.covered, 969);
    EXPECT_LE(c.covered, 995);
}

// The zigzag's rules on a hand-made table: two clusters of several points
// pool their scatter (8 + 8 over 2 + 1 degrees of freedom), the single
// point in between has no scatter of its own but its u_c = s_p/√1.
TEST(Uncertainty, ZigzagPoolsTheScatterAboutClusterMeansAndInterpolatesBetweenThem)
{
    Store store;
    test::setPoints(store, {{1, 10}, {2, 12}, {3, 14}, {6, 20}, {9, 30}, {10, 34}}, 12);
    const std::vector<ZigzagCluster> clusters = zigzagClusters(store);
    ASSERT_EQ(clusters.size(), 3u);
    const FitUncertainty u = zigzagUncertainty(clusters, store, 12);
    ASSERT_EQ(u.u.size(), 13u);
    const double sp = std::sqrt(16.0 / 3.0);
    const double uA = sp / std::sqrt(3.0), uB = sp, uC = sp / std::sqrt(2.0);
    EXPECT_TRUE(near(u.s, sp, 1e-15));
    EXPECT_TRUE(near(u.u[0], uA, 1e-15)); // before the first cluster
    EXPECT_TRUE(near(u.u[2], uA, 1e-15)); // on it
    EXPECT_TRUE(near(u.u[4], std::hypot(0.5 * uA, 0.5 * uB), 1e-15));
    EXPECT_TRUE(near(u.u[6], uB, 1e-15));
    EXPECT_TRUE(near(u.u[8], std::hypot((1 - 2 / 3.5) * uB, 2 / 3.5 * uC), 1e-15));
    EXPECT_TRUE(near(u.u[12], uC, 1e-15)); // after the last
    // Single points only: nothing to pool, no u anywhere.
    test::setPoints(store, {{1, 10}, {3, 12}, {5, 14}}, 6);
    EXPECT_TRUE(zigzagUncertainty(zigzagClusters(store), store, 6).empty());
}

// Two independent routes to the same number: the degree-1 polynomial's u
// from its pivoted QR factor in the Chebyshev basis, the line's from its
// centred sums.
TEST(Uncertainty, DegreeOnePolynomialAgreesWithTheLineAndEmptyWithoutDegreesOfFreedom)
{
    Store store;
    CollectingMessageSink messages;
    const std::vector<double> X{0, 3, 7, 20, 21, 40}, Y{0, 11, 13.5, 19, 22, 30.25};
    const PolynomialFit fit = Polynomial(store, 5, 1, X, Y, messages, nullptr);
    ASSERT_EQ(fit.status, PolynomialStatus::Fitted);
    const FitUncertainty fromQr = polynomialUncertainty(fit, false, 50);
    const auto line = centredLine(std::span(X).subspan(1), std::span(Y).subspan(1), {});
    ASSERT_TRUE(line);
    const FitUncertainty fromSums = lineUncertainty(*line, false, 50, false);
    ASSERT_EQ(fromQr.u.size(), 51u);
    ASSERT_EQ(fromSums.u.size(), 51u);
    for (std::size_t x = 0; x <= 50; ++x)
        EXPECT_TRUE(near(fromQr.u[x], fromSums.u[x], 1e-12)) << x;
    EXPECT_TRUE(near(fromQr.s, *fromSums.s, 1e-12));
    // Three points for three parameters leave no scatter to estimate.
    const PolynomialFit exact = Polynomial(store, 3, 2, X, Y, messages, nullptr);
    ASSERT_EQ(exact.status, PolynomialStatus::Fitted);
    EXPECT_TRUE(polynomialUncertainty(exact, false, 50).empty());
    const auto two = centredLine(std::span(X).subspan(1, 2), std::span(Y).subspan(1, 2), {});
    ASSERT_TRUE(two);
    EXPECT_TRUE(lineUncertainty(*two, false, 50, false).empty());
}

// Equal weights c change no fitted value; with c·s² >= 1 the MSWD is above 1
// and the weighted u is the unweighted one.
TEST(Uncertainty, EqualWeightsGiveTheUnweightedFitAndItsU)
{
    Store store;
    CollectingMessageSink messages;
    std::vector<double> X{0}, Y{0};
    for (int i = 1; i <= 30; ++i) {
        X.push_back(100 + 37 * i);
        Y.push_back(800 + 0.3 * i - 0.01 * i * i + ((i * 7919) % 13 - 6) * 0.4);
    }
    const PolynomialFit plain = Polynomial(store, 30, 3, X, Y, messages, nullptr);
    ASSERT_EQ(plain.status, PolynomialStatus::Fitted);
    const double c = 100.0;
    const PolynomialFit weighted =
        weightedPolynomialFit(std::span(X).subspan(1), std::span(Y).subspan(1), std::vector<double>(30, c), 3);
    ASSERT_EQ(weighted.status, PolynomialStatus::Fitted);
    const FitUncertainty u0 = polynomialUncertainty(plain, false, 1300);
    const FitUncertainty uw = polynomialUncertainty(weighted, true, 1300);
    ASSERT_TRUE(uw.mswd);
    ASSERT_GT(*uw.mswd, 1.0);
    EXPECT_TRUE(near(*uw.mswd, c * *u0.s * *u0.s, 1e-10));
    for (int x = 0; x <= 1300; x += 13) {
        EXPECT_TRUE(near(static_cast<double>(chebyshevValue(weighted.stable, x)),
                         static_cast<double>(chebyshevValue(plain.stable, x)), 1e-13))
            << x;
        EXPECT_TRUE(near(uw.u[static_cast<std::size_t>(x)], u0.u[static_cast<std::size_t>(x)], 1e-11)) << x;
    }
}

// Weights only from a usable third column: every used point needs a
// positive error; a rejected point's error does not matter.
TEST(Uncertainty, WeightsNeedAPositiveErrorOnEveryUsedPoint)
{
    Store store;
    test::setPoints(store, {{1, 10}, {2, 12}, {4, 14}}, 4);
    store.nCols = 2;
    EXPECT_FALSE(yErrorWeights(store, 0, 4));
    store.nCols = 3;
    store.Yerr[1] = ValueCell(0.5);
    store.Yerr[2] = ValueCell(2.0);
    EXPECT_FALSE(yErrorWeights(store, 0, 4)); // position 4 has none
    store.Yerr[4] = ValueCell(0.0);
    EXPECT_FALSE(yErrorWeights(store, 0, 4));
    test::reject(store, 4);
    const auto w = yErrorWeights(store, 0, 4);
    ASSERT_TRUE(w);
    EXPECT_EQ(*w, (std::vector<double>{4.0, 0.25}));
}

} // namespace
} // namespace kalibron
