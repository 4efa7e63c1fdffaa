// Confidence band of the linear regression.
#include <cmath>
#include <utility>

#include <gtest/gtest.h>

#include "core/messages.h"
#include "regression/confidence_band.h"
#include "regression/linear_fit.h"
#include "regression_test_support.h"

namespace kalibron {
namespace {

using test::near;

// Fits the line and sets a hand-made t table whose entry (p, r) = 100·p + r
// tells which column and row a lookup took; level 3 (95 %).
void prepare(Store& store)
{
    CollectingMessageSink messages;
    Linear_Calc(store, messages);
    for (std::size_t p = 1; p <= 6; ++p) {
        for (std::size_t r = 1; r <= 101; ++r)
            store.Student.t[p][r] = 100.0 * static_cast<double>(p) + static_cast<double>(r);
    }
    store.Student.loaded = true;
    store.ProbIndex = 3;
}

TEST(ConfidenceCalc, StartUpExampleGivesTheKnownBand)
{
    Store store;
    putExampleSequence(store);
    prepare(store);
    ASSERT_TRUE(Confidence_Calc(store));
    EXPECT_EQ(store.tValue, ValueCell(store.Student.at(3, 3)));
    EXPECT_EQ(store.ConfN, 5);
    EXPECT_TRUE(near(store.ConfXMean, 16.4, 1e-14) && near(store.ConfSxx, 359.2, 1e-13));
    EXPECT_TRUE(near(store.ConfS, 49.7662, 1e-5) && near(store.ConfS, std::sqrt(7430.011 / 3), 1e-6));

    // Narrowest at the mean position, growing alike on both sides.
    const double ts = store.tValue.value() * store.ConfS.value();
    EXPECT_TRUE(near(confidenceHalfWidth(store, 16.4), ts * std::sqrt(1.0 / 5), 1e-13));
    EXPECT_TRUE(near(confidenceHalfWidth(store, 6.4), ts * std::sqrt(1.0 / 5 + 100 / 359.2), 1e-13));
    EXPECT_TRUE(near(confidenceHalfWidth(store, 26.4), *confidenceHalfWidth(store, 6.4), 1e-12));

    // Position 0 is never a point of the band, and a present Y that is not
    // positive counts in nPoints but not here.
    Store noisy;
    putExampleSequence(noisy);
    noisy.Y[3] = ValueCell(-5.0);
    noisy.Y[20] = ValueCell::fromText("x");
    prepare(noisy);
    noisy.Y[0] = ValueCell(900.0);
    ASSERT_TRUE(Confidence_Calc(noisy));
    EXPECT_EQ(noisy.ConfN, 5);
    EXPECT_TRUE(near(noisy.ConfS, store.ConfS.value(), 1e-15) && near(noisy.ConfSxx, 359.2, 1e-13));
}

TEST(ConfidenceCalc, TValueRowFollowsTheDegreesOfFreedomAndColumnTheLevel)
{
    const std::pair<int, int> pointsAndRow[] = {{3, 1}, {102, 100}, {103, 101}, {250, 101}};
    for (const auto& [points, row] : pointsAndRow) {
        Store store;
        test::setPoints(store, {}, points);
        for (int x = 1; x <= points; ++x)
            store.Y[static_cast<std::size_t>(x)] = ValueCell(100.0 + (x % 7));
        prepare(store);
        ASSERT_TRUE(Confidence_Calc(store)) << points;
        EXPECT_EQ(store.tValue, ValueCell(300.0 + row)) << points;
        store.ProbIndex = 1;
        ASSERT_TRUE(Confidence_Calc(store));
        EXPECT_EQ(store.tValue, ValueCell(100.0 + row)) << points;
    }
}

TEST(ConfidenceCalc, NothingIsComputedWithoutTableLevelLineOrThreePoints)
{
    Store store;
    putExampleSequence(store);
    prepare(store);
    store.ConfS = ValueCell(-1.0);
    auto refused = [&] { return !Confidence_Calc(store) && store.ConfS == ValueCell(-1.0); };

    store.Student.loaded = false;
    EXPECT_TRUE(refused());
    store.Student.loaded = true;
    store.ProbIndex.reset();
    EXPECT_TRUE(refused());
    store.ProbIndex = 7;
    EXPECT_TRUE(refused());
    store.ProbIndex = 3;
    const ValueCell a = store.LinA;
    store.LinA = ValueCell::emptyText();
    EXPECT_TRUE(refused());
    store.LinA = a;
    for (int x : {5, 10, 15})
        test::reject(store, x);
    EXPECT_TRUE(refused());
}

TEST(ConfidenceHalfWidth, EmptyWhenTheBandHasNoValue)
{
    Store store;
    putExampleSequence(store);
    prepare(store);
    ASSERT_TRUE(Confidence_Calc(store) && confidenceHalfWidth(store, 10));
    EXPECT_FALSE(confidenceHalfWidth(store, std::nan("")));
    EXPECT_FALSE(confidenceHalfWidth(store, 1e300));
    store.ConfSxx = ValueCell(0.0); // all points at one position
    EXPECT_FALSE(confidenceHalfWidth(store, 10));
    store.ConfSxx = ValueCell(359.2);
    store.ConfN = 2;
    EXPECT_FALSE(confidenceHalfWidth(store, 10));
}

} // namespace
} // namespace kalibron
