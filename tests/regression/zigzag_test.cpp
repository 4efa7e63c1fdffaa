// Zigzag line between clusters of standards.
#include <cmath>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "regression/zigzag.h"
#include "regression_test_support.h"

namespace kalibron {
namespace {

using test::near;
using Clusters = std::vector<std::pair<double, double>>;

Clusters clusters(Store& store)
{
    ZigZag(store);
    Clusters out;
    for (std::size_t c = 1; c <= static_cast<std::size_t>(store.nClusters); ++c)
        out.emplace_back(store.ZzX[c].value(), store.ZzY[c].value());
    for (std::size_t c = static_cast<std::size_t>(store.nClusters) + 1; c <= 100; ++c)
        EXPECT_TRUE(store.ZzX[c].value() == 0 && store.ZzY[c].value() == 0) << c;
    return out;
}

// Standards at 1, 2, 3 (100, 110, 120), samples, standards at 10, 11 (90, 94)
// or, shifted, at 11, 12; MaxX 12.
void twoRuns(Store& store, int secondRun = 10)
{
    test::setPoints(store, {{1, 100}, {2, 110}, {3, 120}, {secondRun, 90}, {secondRun + 1, 94}}, 12);
}

TEST(ZigZag, RunsOfStandardsBecomeTheirMeanPoints)
{
    Store store;
    twoRuns(store);
    EXPECT_EQ(clusters(store), (Clusters{{2, 110}, {10.5, 92}}));
    twoRuns(store, 11); // the last run is still open after the scan
    EXPECT_EQ(clusters(store), (Clusters{{2, 110}, {11.5, 92}}));

    Store example;
    putExampleSequence(example);
    EXPECT_EQ(clusters(example), (Clusters{{5, 980}, {10, 770}, {15, 700}, {25, 550}, {27, 500}}));
}

TEST(ZigZag, RejectedPointsSplitOrShortenTheirCluster)
{
    Store store;
    twoRuns(store);
    test::reject(store, 2);
    EXPECT_EQ(clusters(store), (Clusters{{1, 100}, {3, 120}, {10.5, 92}}));
    twoRuns(store);
    test::reject(store, 1);
    EXPECT_EQ(clusters(store), (Clusters{{2.5, 115}, {10.5, 92}}));
    twoRuns(store);
    test::reject(store, 3); // closes once, not again at the run's end
    EXPECT_EQ(clusters(store), (Clusters{{1.5, 105}, {10.5, 92}}));
}

TEST(ZigZag, NegativeValuesNeverDivideByZeroNorMergeRuns)
{
    Store store;
    // The run end at 3 would close a cluster that counted no point.
    test::setPoints(store, {{1, -5}, {2, 10}, {5, 20}, {6, 30}}, 7);
    EXPECT_EQ(clusters(store), (Clusters{{5.5, 25}}));
    // The run of 1 ends at a negative value and is never closed by the
    // scan; the next run must not be averaged into it.
    test::setPoints(store, {{1, 10}, {2, -5}, {5, 20}}, 6);
    EXPECT_EQ(clusters(store), (Clusters{{1, 10}, {5, 20}}));
}

TEST(ZigZag, StopsAtTheHundredthCluster)
{
    Store store;
    test::setPoints(store, {}, 400);
    for (int k = 1; k <= 150; ++k)
        store.Y[static_cast<std::size_t>(2 * k)] = ValueCell(1000.0 + k);
    const Clusters all = clusters(store);
    ASSERT_EQ(all.size(), 100u);
    EXPECT_EQ(all.back(), (std::pair<double, double>{200, 1100}));
}

TEST(ZigzagAt, InterpolatesBetweenNeighbouringClustersOnly)
{
    Store store;
    twoRuns(store);
    test::reject(store, 2);
    ZigZag(store); // (1, 100), (3, 120), (10.5, 92)
    EXPECT_TRUE(near(zigzagAt(store, 1), 100, 1e-15) && near(zigzagAt(store, 2), 110, 1e-15));
    EXPECT_TRUE(near(zigzagAt(store, 3), 120, 1e-15) && near(zigzagAt(store, 10.5), 92, 1e-14));
    EXPECT_TRUE(near(zigzagAt(store, 6), 120 + 3 * (-28 / 7.5), 1e-14));
    EXPECT_FALSE(zigzagAt(store, 0.5) || zigzagAt(store, 11));

    test::setPoints(store, {{4, 50}}, 9);
    ZigZag(store);
    EXPECT_TRUE(near(zigzagAt(store, 4), 50, 1e-15));
    EXPECT_FALSE(zigzagAt(store, 5));
    test::setPoints(store, {}, 9);
    ZigZag(store);
    EXPECT_FALSE(zigzagAt(store, 4));
}

} // namespace
} // namespace kalibron
