// Confidence band of the linear regression.
#include <cmath>

#include <gtest/gtest.h>

#include "core/messages.h"
#include "core/store.h"
#include "regression/confidence_band.h"
#include "regression/linear_fit.h"
#include "regression_test_support.h"

namespace kalibron {
namespace {

using test::near;

// A store with the given standards, a fitted line, a marked t table and the 95 % level.
void prepare(Store& store)
{
    CollectingMessageSink messages;
    Linear_Calc(store, messages);
    store.Student = test::markedStudentTable();
    store.ProbIndex = 3;
}

TEST(ConfidenceCalc, StartUpExampleGivesTheKnownBandQuantities)
{
    Store store;
    putExampleSequence(store);
    prepare(store);
    ASSERT_TRUE(Confidence_Calc(store));

    EXPECT_EQ(store.tValue, ValueCell(store.Student.at(3, 3)));
    EXPECT_EQ(store.ConfN, 5);
    EXPECT_TRUE(near(store.ConfXMean, 16.4, 1e-14));
    EXPECT_TRUE(near(store.ConfSxx, 359.2, 1e-13));
    EXPECT_TRUE(near(store.ConfS, 49.7662, 1e-5));
    EXPECT_TRUE(near(store.ConfS, std::sqrt(7430.011 / 3), 1e-6));
    EXPECT_TRUE(near(store.LinFit, store.LinA.value() + store.LinB.value() * 27, 1e-14));

    // Narrowest at the mean position, growing alike on both sides.
    const double t = store.tValue.value(), s = store.ConfS.value();
    EXPECT_TRUE(near(confidenceHalfWidth(store, 16.4), t * s * std::sqrt(1.0 / 5), 1e-13));
    const double left = confidenceHalfWidth(store, 6.4).value_or(-1);
    EXPECT_TRUE(near(confidenceHalfWidth(store, 26.4), left, 1e-12));
    EXPECT_TRUE(near(left, t * s * std::sqrt(1.0 / 5 + 100 / 359.2), 1e-13));
    EXPECT_GT(left, *confidenceHalfWidth(store, 16.4));
}

TEST(ConfidenceCalc, TValueRowFollowsTheDegreesOfFreedomAndColumnTheLevel)
{
    struct Case {
        int points;
        int row;
    };
    for (const Case c : {Case{3, 1}, Case{4, 2}, Case{102, 100}, Case{103, 101}, Case{250, 101}}) {
        Store store;
        test::setPoints(store, {}, c.points);
        for (int x = 1; x <= c.points; ++x)
            store.Y[static_cast<std::size_t>(x)] = ValueCell(100.0 + (x % 7));
        prepare(store);
        ASSERT_TRUE(Confidence_Calc(store)) << c.points;
        EXPECT_EQ(store.tValue, ValueCell(300.0 + c.row)) << c.points;

        store.ProbIndex = 1;
        ASSERT_TRUE(Confidence_Calc(store));
        EXPECT_EQ(store.tValue, ValueCell(100.0 + c.row)) << c.points;
    }
}

TEST(ConfidenceCalc, CountsOnlyThePointsItSums)
{
    Store reference;
    putExampleSequence(reference);
    prepare(reference);
    ASSERT_TRUE(Confidence_Calc(reference));

    // Position 0 is never visited here; a present Y that is not positive
    // counts in nPoints but is no point of the band.
    Store store;
    putExampleSequence(store);
    store.Y[3] = ValueCell(-5.0);
    store.Y[20] = ValueCell::fromText("x");
    prepare(store);
    store.LinA = reference.LinA;
    store.LinB = reference.LinB;
    store.Y[0] = ValueCell(900.0);
    ASSERT_TRUE(Confidence_Calc(store));
    EXPECT_EQ(store.ConfN, 5);
    EXPECT_TRUE(near(store.ConfXMean, reference.ConfXMean.value(), 1e-15));
    EXPECT_TRUE(near(store.ConfSxx, reference.ConfSxx.value(), 1e-15));
    EXPECT_TRUE(near(store.ConfS, reference.ConfS.value(), 1e-15));
    EXPECT_EQ(store.tValue, reference.tValue);
}

TEST(ConfidenceCalc, NothingIsComputedWithoutTableLevelLineOrThreePoints)
{
    Store store;
    putExampleSequence(store);
    prepare(store);
    store.ConfS = ValueCell(-1.0);
    store.tValue = ValueCell(-2.0);
    const int confN = store.ConfN = 77;

    auto unchanged = [&] {
        return store.ConfS == ValueCell(-1.0) && store.tValue == ValueCell(-2.0) && store.ConfN == confN;
    };

    store.Student.loaded = false;
    EXPECT_FALSE(Confidence_Calc(store));
    EXPECT_TRUE(unchanged());
    store.Student.loaded = true;

    store.ProbIndex.reset();
    EXPECT_FALSE(Confidence_Calc(store));
    store.ProbIndex = 7;
    EXPECT_FALSE(Confidence_Calc(store));
    EXPECT_TRUE(unchanged());
    store.ProbIndex = 3;

    const ValueCell a = store.LinA;
    store.LinA = ValueCell::emptyText();
    EXPECT_FALSE(Confidence_Calc(store));
    EXPECT_TRUE(unchanged());
    store.LinA = a;

    test::reject(store, 5);
    test::reject(store, 10);
    test::reject(store, 15);
    EXPECT_FALSE(Confidence_Calc(store));
    EXPECT_TRUE(unchanged());
}

TEST(ConfidenceHalfWidth, EmptyWhenTheBandHasNoValue)
{
    Store store;
    putExampleSequence(store);
    prepare(store);
    ASSERT_TRUE(Confidence_Calc(store));
    ASSERT_TRUE(confidenceHalfWidth(store, 10));

    Store flat = store;
    flat.ConfSxx = ValueCell(0.0);
    EXPECT_FALSE(confidenceHalfWidth(flat, 10));

    Store few = store;
    few.ConfN = 2;
    EXPECT_FALSE(confidenceHalfWidth(few, 10));

    Store noS = store;
    noS.ConfS = ValueCell::emptyText();
    EXPECT_FALSE(confidenceHalfWidth(noS, 10));

    EXPECT_FALSE(confidenceHalfWidth(store, std::nan("")));
    EXPECT_FALSE(confidenceHalfWidth(store, 1e300));
}

} // namespace
} // namespace kalibron
