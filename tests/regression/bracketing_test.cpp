// Bracketing rules, the pooled scatter they take their u from, and the
// no-correction baseline, against tables worked out by hand.
#include <cmath>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "regression/bracketing.h"
#include "regression/uncertainty.h"
#include "regression_test_support.h"

namespace kalibron {
namespace {

using Opt = std::vector<std::optional<double>>;

// Standards at 3, 5 and 9 (10, 14, 11), positions 0..11.
UsedPoints threeStandards() { return UsedPoints{{3, 5, 9}, {10, 14, 11}}; }

TEST(Bracketing, EachRuleAtEveryPositionWithTheEndsFallingBackToThePresentSide)
{
    const UsedPoints p = threeStandards();
    const double s = 0.4, h = 0.4 / std::sqrt(2.0);
    // position:              0    1    2    3    4     5    6     7     8     9    10   11
    const Opt preceding{10, 10, 10, 10, 10, 14, 14, 14, 14, 11, 11, 11};
    const Opt succeeding{10, 10, 10, 10, 14, 14, 11, 11, 11, 11, 11, 11};
    const Opt average{10, 10, 10, 10, 12, 14, 12.5, 12.5, 12.5, 11, 11, 11};
    const Opt averageU{s, s, s, s, h, s, h, h, h, s, s, s};

    const auto pre = bracketingCurve(p, BracketingRule::Preceding, 11, s);
    const auto suc = bracketingCurve(p, BracketingRule::Succeeding, 11, s);
    const auto avg = bracketingCurve(p, BracketingRule::Average, 11, s);
    EXPECT_EQ(pre.value, preceding);
    EXPECT_EQ(suc.value, succeeding);
    EXPECT_EQ(avg.value, average);
    EXPECT_EQ(pre.u, Opt(12, s));
    EXPECT_EQ(suc.u, Opt(12, s));
    EXPECT_EQ(avg.u, averageU);
    for (int x = 0; x <= 11; ++x) {
        EXPECT_EQ(bracketingAt(p, BracketingRule::Preceding, x)->value, preceding[x]) << x;
        EXPECT_EQ(bracketingAt(p, BracketingRule::Succeeding, x)->value, succeeding[x]) << x;
        EXPECT_EQ(bracketingAt(p, BracketingRule::Average, x)->value, average[x]) << x;
    }
    // Between whole positions too, and without a scatter no u but the values.
    EXPECT_EQ(bracketingAt(p, BracketingRule::Average, 8.5)->value, 12.5);
    EXPECT_EQ(bracketingAt(p, BracketingRule::Preceding, 4.99)->value, 10);
    const auto bare = bracketingCurve(p, BracketingRule::Average, 11, std::nullopt);
    EXPECT_EQ(bare.value, average);
    EXPECT_EQ(bare.u, Opt(12));

    // A single standard: every rule gives it everywhere; none: nothing.
    const UsedPoints one{{4}, {7}};
    for (auto rule : {BracketingRule::Preceding, BracketingRule::Succeeding, BracketingRule::Average}) {
        EXPECT_EQ(bracketingCurve(one, rule, 6, s).value, Opt(7, 7.0));
        EXPECT_EQ(bracketingCurve(one, rule, 6, s).u, Opt(7, s));
        EXPECT_EQ(bracketingCurve(UsedPoints{}, rule, 3, s).value, Opt(4));
        EXPECT_FALSE(bracketingAt(UsedPoints{}, rule, 1));
    }
}

TEST(Bracketing, LeaveOneOutPredictsEachStandardFromItsNeighbours)
{
    const UsedPoints p = threeStandards();
    const auto pre = bracketingPredictions(p, BracketingRule::Preceding);
    const auto suc = bracketingPredictions(p, BracketingRule::Succeeding);
    const auto avg = bracketingPredictions(p, BracketingRule::Average);
    EXPECT_EQ(pre.withoutEach, (Opt{14, 10, 14}));
    EXPECT_EQ(suc.withoutEach, (Opt{14, 11, 14}));
    EXPECT_EQ(avg.withoutEach, (Opt{14, 10.5, 14}));
    EXPECT_EQ(avg.fitted, (Opt{10, 14, 11}));
    // |10 − 14| + |14 − 10.5| + |11 − 14| over three.
    const auto summary = summariseLeaveOneOut(p, avg.withoutEach);
    ASSERT_TRUE(summary);
    EXPECT_DOUBLE_EQ(summary->mean, 10.5 / 3);
    EXPECT_EQ(bracketingPredictions(UsedPoints{{4}, {7}}, BracketingRule::Average).withoutEach, Opt(1));
}

TEST(Bracketing, PooledScatterOverClustersOfTwoOrMore)
{
    // (10, 12, 11): 2 about 11 on 2 degrees; (20, 21): 0.5 on 1; (30) alone adds nothing.
    const std::vector<std::vector<double>> groups{{10, 12, 11}, {20, 21}, {30}};
    EXPECT_TRUE(test::near(pooledScatter(groups), std::sqrt(2.5 / 3), 1e-15));
    EXPECT_FALSE(pooledScatter(std::vector<std::vector<double>>{{5}, {6}}));

    // The same from a sequence's zigzag clusters: runs 1..3, 5..6 and 8.
    Store store;
    test::setPoints(store, {{1, 10}, {2, 12}, {3, 11}, {5, 20}, {6, 21}, {8, 30}}, 9);
    const auto clusters = zigzagClusters(store);
    ASSERT_EQ(clusters.size(), 3u);
    EXPECT_TRUE(test::near(pooledScatter(store, clusters), std::sqrt(2.5 / 3), 1e-15));
    // A rejected standard leaves its cluster: (10, 11) gives 0.5 on 1 degree.
    test::reject(store, 2);
    EXPECT_TRUE(test::near(pooledScatter(store, zigzagClusters(store)), std::sqrt(1.0 / 2), 1e-15));
}

TEST(Bracketing, PooledScatterCarriesItsDegreesOfFreedomToTheZigzag)
{
    // Runs 1..3, 5..6 and 8: 2 + 1 degrees of freedom, the single point none.
    Store store;
    test::setPoints(store, {{1, 10}, {2, 12}, {3, 11}, {5, 20}, {6, 21}, {8, 30}}, 9);
    const auto clusters = zigzagClusters(store);
    const PooledScatter pooled = pooledScatterOf(store, clusters);
    EXPECT_EQ(pooled.dof, 3);
    EXPECT_TRUE(test::near(pooled.s, std::sqrt(2.5 / 3), 1e-15));
    const FitUncertainty u = zigzagUncertainty(clusters, pooled, 9);
    EXPECT_EQ(u.s, pooled.s);
    EXPECT_EQ(u.dof, 3);
    EXPECT_EQ(u.u, zigzagUncertainty(clusters, store, 9).u);
    // Singles only: no s and no degree of freedom.
    test::setPoints(store, {{1, 10}, {3, 12}}, 4);
    const PooledScatter none = pooledScatterOf(store, zigzagClusters(store));
    EXPECT_FALSE(none.s);
    EXPECT_EQ(none.dof, 0);
}

TEST(MeanBaseline, MeanWithItsUncertaintyAndTheMeanOfTheOthers)
{
    const std::vector<double> y{10, 14, 11, 13};
    const auto b = meanBaseline(y);
    ASSERT_TRUE(b);
    EXPECT_DOUBLE_EQ(b->mean, 12);
    EXPECT_TRUE(test::near(b->s, std::sqrt(10.0 / 3), 1e-15));
    EXPECT_TRUE(test::near(b->u, std::sqrt(10.0 / 3) / 2, 1e-15));
    const auto pred = meanPredictions(y);
    const double expected[] = {38.0 / 3, 34.0 / 3, 37.0 / 3, 35.0 / 3};
    for (std::size_t i = 0; i < y.size(); ++i) {
        EXPECT_TRUE(test::near(pred.withoutEach[i], expected[i], 1e-15)) << i;
        EXPECT_EQ(pred.fitted[i], 12.0);
    }
    // One standard: its value, no u and nothing to predict it by; none: no baseline.
    const std::vector<double> single{7};
    ASSERT_TRUE(meanBaseline(single));
    EXPECT_EQ(meanBaseline(single)->mean, 7);
    EXPECT_FALSE(meanBaseline(single)->u);
    EXPECT_EQ(meanPredictions(single).withoutEach, Opt(1));
    EXPECT_FALSE(meanBaseline(std::vector<double>{}));
}

} // namespace
} // namespace kalibron
