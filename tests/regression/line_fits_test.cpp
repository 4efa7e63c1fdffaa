// Linear and logarithmic regression over the store.
#include <cmath>

#include <gtest/gtest.h>

#include "core/messages.h"
#include "core/store.h"
#include "regression/least_squares_line.h"
#include "regression/linear_fit.h"
#include "regression/logarithmic_fit.h"
#include "regression_test_support.h"

namespace kalibron {
namespace {

using test::isEmptyText;
using test::near;

const Message kTooFew{"Too few data. Calculation of regression is not possible!", std::string(), MessageIcon::Exclamation};

TEST(LinearCalc, StartUpExampleGivesTheKnownLineAndDeviations)
{
    Store store;
    putExampleSequence(store);
    CollectingMessageSink messages;
    Linear_Calc(store, messages);

    EXPECT_TRUE(messages.messages.empty());
    EXPECT_TRUE(near(store.SumX, 82, 1e-12));
    EXPECT_TRUE(near(store.SumX2, 1704, 1e-12));
    EXPECT_TRUE(near(store.SumY, 3500, 1e-12));
    EXPECT_TRUE(near(store.SumY2, 2595800, 1e-12));
    EXPECT_TRUE(near(store.SumXY, 50350, 1e-12));
    EXPECT_TRUE(near(store.LinB, -35250.0 / 1796.0, 1e-12));
    EXPECT_TRUE(near(store.LinB, -19.62695, 1e-6));
    EXPECT_TRUE(near(store.LinA, 1021.88196, 1e-8));
    EXPECT_TRUE(near(store.LinR, -0.97419, 1e-5));
    EXPECT_TRUE(near(store.LinDev, 33.2361, 1e-5));
    // The mean of the relative deviations, not mean deviation / mean y (that would be 4.748).
    EXPECT_TRUE(near(store.LinDevPct, 4.38274, 1e-5));
}

TEST(LinearCalc, RejectedAndNonPositivePointsAddNothingAndDoNotCount)
{
    Store reference;
    putExampleSequence(reference);
    CollectingMessageSink messages;
    Linear_Calc(reference, messages);

    Store store;
    putExampleSequence(store);
    store.Y[20] = ValueCell(5000.0);
    test::reject(store, 20);
    store.Y[3] = ValueCell(-7.0);
    store.Y[12] = ValueCell(0.0);
    store.Y[18] = ValueCell::fromText("n/a");
    Linear_Calc(store, messages);

    EXPECT_TRUE(messages.messages.empty());
    EXPECT_TRUE(near(store.SumX, reference.SumX, 1e-15));
    EXPECT_TRUE(near(store.SumXY, reference.SumXY, 1e-15));
    for (auto member : {&Store::LinA, &Store::LinB, &Store::LinR, &Store::LinDev, &Store::LinDevPct})
        EXPECT_TRUE(near(store.*member, (reference.*member).value(), 1e-13));
}

TEST(LinearCalc, TwoPointsGiveTheLineThroughThemAndKeepTheRest)
{
    Store store;
    test::setPoints(store, {{4, 100}, {9, 90}}, 12);
    store.LinR = ValueCell(0.5);
    store.LinDev = ValueCell(7.0);
    store.SumX = 123;
    CollectingMessageSink messages;
    Linear_Calc(store, messages);

    EXPECT_TRUE(near(store.LinB, -2, 1e-14));
    EXPECT_TRUE(near(store.LinA, 108, 1e-14));
    EXPECT_EQ(store.LinR, ValueCell(0.5));
    EXPECT_EQ(store.LinDev, ValueCell(7.0));
    EXPECT_EQ(store.SumX, 123);

    // A first point at position 0 is still the first point.
    test::setPoints(store, {{0, 50}, {10, 70}}, 10);
    Linear_Calc(store, messages);
    EXPECT_TRUE(near(store.LinB, 2, 1e-14));
    EXPECT_TRUE(near(store.LinA, 50, 1e-14));

    // A present Y of 0 counts in nPoints but is no point of the line.
    test::setPoints(store, {{4, 100}, {6, 0}, {9, 90}}, 12);
    Linear_Calc(store, messages);
    EXPECT_TRUE(near(store.LinB, -2, 1e-14));
    EXPECT_TRUE(near(store.LinA, 108, 1e-14));
    EXPECT_TRUE(messages.messages.empty());
}

TEST(LinearCalc, FewerThanTwoUsedPointsReportAndEmptyTheLine)
{
    Store store;
    test::setPoints(store, {{4, 100}, {9, 90}}, 12);
    test::reject(store, 9);
    store.LinA = ValueCell(1.0);
    store.LinB = ValueCell(2.0);
    store.LinR = ValueCell(0.9);
    store.LinDev = ValueCell(3.0);
    store.LinDevPct = ValueCell(4.0);
    CollectingMessageSink messages;
    Linear_Calc(store, messages);

    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0], kTooFew);
    EXPECT_TRUE(isEmptyText(store.LinA));
    EXPECT_TRUE(isEmptyText(store.LinB));
    EXPECT_TRUE(isEmptyText(store.LinR));
    EXPECT_EQ(store.LinDev, ValueCell(3.0));
    EXPECT_EQ(store.LinDevPct, ValueCell(4.0));

    test::setPoints(store, {}, 12);
    Linear_Calc(store, messages);
    EXPECT_EQ(messages.messages.size(), 2u);
}

TEST(LinearCalc, EqualValuesGiveAFlatLineAndNoCorrelation)
{
    Store store;
    test::setPoints(store, {{2, 0.1}, {5, 0.1}, {11, 0.1}, {13, 0.1}}, 13);
    CollectingMessageSink messages;
    Linear_Calc(store, messages);

    EXPECT_TRUE(near(store.LinB, 0, 1e-12));
    EXPECT_TRUE(near(store.LinA, 0.1, 1e-12));
    // r = 0/0 here: left empty, never nan.
    EXPECT_TRUE(isEmptyText(store.LinR));
    EXPECT_TRUE(near(store.LinDev, 0, 1e-12));
}

TEST(SolveLine, VanishingSpreadsLeaveResultsEmpty)
{
    LineSums sums;
    for (int i = 0; i < 4; ++i)
        sums.add(7.3, 1.0 + i);
    const LineCoefficients all = solveLine(sums);
    EXPECT_FALSE(all.a);
    EXPECT_FALSE(all.b);
    EXPECT_FALSE(all.r);

    LineSums one;
    one.add(1, 2);
    EXPECT_FALSE(solveLine(one).b);

    DeviationSums none;
    EXPECT_FALSE(none.meanAbs());
    EXPECT_FALSE(none.meanPct());
}

TEST(LogarithmicCalc, StartUpExampleGivesTheKnownCurve)
{
    Store store;
    putExampleSequence(store);
    CollectingMessageSink messages;
    Logarithmic_Calc(store, messages);

    EXPECT_TRUE(messages.messages.empty());
    EXPECT_TRUE(near(store.LogB, -272.5967, 1e-6));
    EXPECT_TRUE(near(store.LogA, 1416.0999, 1e-7));
    EXPECT_TRUE(near(store.LogR, -0.99561, 1e-5));
    EXPECT_TRUE(near(store.LogDev, 14.4353, 1e-5));
    EXPECT_TRUE(near(store.LogDevPct, 2.28326, 1e-5));
    EXPECT_TRUE(near(store.SumY, 3500, 1e-12));
    EXPECT_TRUE(near(store.SumX, std::log(5.0 * 10 * 15 * 25 * 27), 1e-12));
}

TEST(LogarithmicCalc, ExactCurveIncludingPositionOneIsRecovered)
{
    Store store;
    test::setPoints(store, {}, 9);
    for (int x : {1, 2, 4, 8})
        store.Y[static_cast<std::size_t>(x)] = ValueCell(5 + 3 * std::log(x));
    // Neither a point at position 0 (ln 0 has no value) nor a present Y
    // that is not positive may shift the fit.
    store.Y[0] = ValueCell(1000.0);
    store.Y[3] = ValueCell(-1.0);
    CollectingMessageSink messages;
    Logarithmic_Calc(store, messages);

    EXPECT_TRUE(messages.messages.empty());
    EXPECT_TRUE(near(store.LogA, 5, 1e-12));
    EXPECT_TRUE(near(store.LogB, 3, 1e-12));
    EXPECT_TRUE(near(store.LogR, 1, 1e-12));
    EXPECT_LT(store.LogDev.value(), 1e-12);
}

TEST(LogarithmicCalc, TwoPointsReportAndEmptyTheCurveOnly)
{
    Store store;
    test::setPoints(store, {{0, 900}, {4, 100}, {9, 90}}, 12);
    store.LogDev = ValueCell(3.0);
    store.SumX = 42;
    CollectingMessageSink messages;
    Logarithmic_Calc(store, messages);

    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0], kTooFew);
    EXPECT_TRUE(isEmptyText(store.LogA));
    EXPECT_TRUE(isEmptyText(store.LogB));
    EXPECT_TRUE(isEmptyText(store.LogR));
    EXPECT_EQ(store.LogDev, ValueCell(3.0));
    EXPECT_EQ(store.SumX, 42);

    // The linear regression, which also takes position 0, fits these points.
    Linear_Calc(store, messages);
    EXPECT_TRUE(store.LinB.isNumber());
}

} // namespace
} // namespace kalibron
