// Zigzag line between clusters of standards.
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "core/store.h"
#include "regression/zigzag.h"
#include "regression_test_support.h"

namespace kalibron {
namespace {

using test::near;
using Cluster = std::pair<double, double>;

std::vector<Cluster> clusters(const Store& store)
{
    std::vector<Cluster> out;
    for (int c = 1; c <= store.nClusters; ++c)
        out.emplace_back(store.ZzX[static_cast<std::size_t>(c)].value(), store.ZzY[static_cast<std::size_t>(c)].value());
    return out;
}

void twoRuns(Store& store, bool lastRunAtEnd)
{
    test::setPoints(store, {{1, 100}, {2, 110}, {3, 120}}, 12);
    const int first = lastRunAtEnd ? 11 : 10;
    store.Y[static_cast<std::size_t>(first)] = ValueCell(90.0);
    store.Y[static_cast<std::size_t>(first + 1)] = ValueCell(94.0);
}

TEST(ZigZag, RunsOfStandardsBecomeTheirMeanPoints)
{
    Store store;
    twoRuns(store, false);
    ZigZag(store);
    EXPECT_EQ(clusters(store), (std::vector<Cluster>{{2, 110}, {10.5, 92}}));
    for (std::size_t c = 3; c <= 100; ++c)
        EXPECT_EQ(store.ZzX[c].value(), 0);

    // A run reaching MaxX is still open after the scan and closed there.
    twoRuns(store, true);
    ZigZag(store);
    EXPECT_EQ(clusters(store), (std::vector<Cluster>{{2, 110}, {11.5, 92}}));

    Store example;
    putExampleSequence(example);
    ZigZag(example);
    EXPECT_EQ(clusters(example), (std::vector<Cluster>{{5, 980}, {10, 770}, {15, 700}, {25, 550}, {27, 500}}));
}

TEST(ZigZag, RejectedPointsSplitOrShortenTheirCluster)
{
    Store store;
    twoRuns(store, false);
    test::reject(store, 2);
    ZigZag(store);
    EXPECT_EQ(clusters(store), (std::vector<Cluster>{{1, 100}, {3, 120}, {10.5, 92}}));

    twoRuns(store, false);
    test::reject(store, 1);
    ZigZag(store);
    EXPECT_EQ(clusters(store), (std::vector<Cluster>{{2.5, 115}, {10.5, 92}}));

    // A rejected last point closes its cluster once, not twice.
    twoRuns(store, false);
    test::reject(store, 3);
    ZigZag(store);
    EXPECT_EQ(clusters(store), (std::vector<Cluster>{{1.5, 105}, {10.5, 92}}));

    // A run of one rejected point is no cluster at all.
    test::setPoints(store, {{4, 50}, {8, 60}}, 9);
    test::reject(store, 4);
    ZigZag(store);
    EXPECT_EQ(clusters(store), (std::vector<Cluster>{{8, 60}}));
}

TEST(ZigZag, NegativeValuesNeverDivideByZeroNorMergeRuns)
{
    // A run end after a negative value would close a cluster with no point.
    Store store;
    test::setPoints(store, {{1, -5}, {2, 10}, {5, 20}, {6, 30}}, 7);
    ZigZag(store);
    EXPECT_EQ(clusters(store), (std::vector<Cluster>{{5.5, 25}}));

    // A run that ends at a negative value leaves its cluster open; the next
    // run must not be averaged into it.
    test::setPoints(store, {{1, 10}, {2, -5}, {5, 20}}, 6);
    ZigZag(store);
    EXPECT_EQ(clusters(store), (std::vector<Cluster>{{1, 10}, {5, 20}}));
    for (std::size_t c = 1; c <= 100; ++c)
        EXPECT_TRUE(std::isfinite(store.ZzX[c].value()) && std::isfinite(store.ZzY[c].value()));
}

TEST(ZigZag, StopsAtTheHundredthCluster)
{
    Store store;
    test::setPoints(store, {}, 400);
    for (int k = 1; k <= 150; ++k)
        store.Y[static_cast<std::size_t>(2 * k)] = ValueCell(1000.0 + k);
    ZigZag(store);
    ASSERT_EQ(store.nClusters, 100);
    EXPECT_EQ(store.ZzX[100].value(), 200);
    EXPECT_EQ(store.ZzY[100].value(), 1100);
    EXPECT_EQ(store.ZzX[1].value(), 2);

    // Exactly 100 clusters, the last still open at the end of the scan.
    test::setPoints(store, {}, 200);
    for (int k = 1; k <= 100; ++k)
        store.Y[static_cast<std::size_t>(2 * k)] = ValueCell(5.0);
    ZigZag(store);
    EXPECT_EQ(store.nClusters, 100);
    EXPECT_EQ(store.ZzX[100].value(), 200);
}

TEST(ZigzagAt, InterpolatesBetweenNeighbouringClustersOnly)
{
    Store store;
    twoRuns(store, false);
    test::reject(store, 2);
    ZigZag(store); // (1, 100), (3, 120), (10.5, 92)

    EXPECT_TRUE(near(zigzagAt(store, 1), 100, 1e-15));
    EXPECT_TRUE(near(zigzagAt(store, 2), 110, 1e-15));
    EXPECT_TRUE(near(zigzagAt(store, 3), 120, 1e-15));
    EXPECT_TRUE(near(zigzagAt(store, 6), 120 + 3 * (-28 / 7.5), 1e-14));
    EXPECT_TRUE(near(zigzagAt(store, 10.5), 92, 1e-14));
    EXPECT_FALSE(zigzagAt(store, 0.5));
    EXPECT_FALSE(zigzagAt(store, 11));

    test::setPoints(store, {{4, 50}}, 9);
    ZigZag(store);
    EXPECT_TRUE(near(zigzagAt(store, 4), 50, 1e-15));
    EXPECT_FALSE(zigzagAt(store, 5));

    test::setPoints(store, {}, 9);
    ZigZag(store);
    EXPECT_EQ(store.nClusters, 0);
    EXPECT_FALSE(zigzagAt(store, 4));
}

} // namespace
} // namespace kalibron
