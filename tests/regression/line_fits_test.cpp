// Linear and logarithmic regression over the store.
#include <cmath>

#include <gtest/gtest.h>

#include "core/messages.h"
#include "regression/linear_fit.h"
#include "regression/logarithmic_fit.h"
#include "regression_test_support.h"

namespace kalibron {
namespace {

using test::near;

const Message kTooFew{"Too few data. Calculation of regression is not possible!", std::string(),
                      MessageIcon::Exclamation};
const ValueCell kEmpty = ValueCell::emptyText();

TEST(LinearCalc, StartUpExampleGivesTheKnownLineAndDeviations)
{
    Store store;
    putExampleSequence(store);
    CollectingMessageSink messages;
    Linear_Calc(store, messages);

    EXPECT_TRUE(messages.messages.empty());
    EXPECT_TRUE(near(store.SumX, 82, 1e-12) && near(store.SumX2, 1704, 1e-12) && near(store.SumY, 3500, 1e-12));
    EXPECT_TRUE(near(store.SumY2, 2595800, 1e-12) && near(store.SumXY, 50350, 1e-12));
    EXPECT_TRUE(near(store.LinB, -35250.0 / 1796.0, 1e-12));
    EXPECT_TRUE(near(store.LinA, 1021.88196, 1e-8));
    EXPECT_TRUE(near(store.LinR, -0.97419, 1e-5));
    EXPECT_TRUE(near(store.LinDev, 33.2361, 1e-5));
    // The mean of |f − y|/y, not the mean deviation over the mean y (4.748).
    EXPECT_TRUE(near(store.LinDevPct, 4.38274, 1e-5));

    // Rejected points and present Y that are not positive neither add to
    // the sums nor count in the divisor.
    Store noisy;
    putExampleSequence(noisy);
    noisy.Y[20] = ValueCell(5000.0);
    test::reject(noisy, 20);
    noisy.Y[3] = ValueCell(-7.0);
    noisy.Y[18] = ValueCell::fromText("n/a");
    Linear_Calc(noisy, messages);
    for (auto member : {&Store::LinA, &Store::LinB, &Store::LinR, &Store::LinDev, &Store::LinDevPct})
        EXPECT_TRUE(near(noisy.*member, (store.*member).value(), 1e-13));
}

TEST(LinearCalc, TwoPointsGiveTheLineThroughThemAndKeepTheRest)
{
    Store store;
    test::setPoints(store, {{4, 100}, {6, 0}, {9, 90}}, 12); // Y = 0 is no point
    store.LinR = ValueCell(0.5);
    store.SumX = 123;
    CollectingMessageSink messages;
    Linear_Calc(store, messages);
    EXPECT_TRUE(near(store.LinB, -2, 1e-14) && near(store.LinA, 108, 1e-14));
    EXPECT_EQ(store.LinR, ValueCell(0.5));
    EXPECT_EQ(store.SumX, 123);

    // A first point at position 0 is still the first point.
    test::setPoints(store, {{0, 50}, {10, 70}}, 10);
    Linear_Calc(store, messages);
    EXPECT_TRUE(near(store.LinB, 2, 1e-14) && near(store.LinA, 50, 1e-14));
    EXPECT_TRUE(messages.messages.empty());
}

TEST(LinearCalc, FewerThanTwoPointsReportAndEmptyTheLine)
{
    Store store;
    test::setPoints(store, {{4, 100}, {9, 90}}, 12);
    test::reject(store, 9);
    store.LinA = store.LinB = store.LinR = ValueCell(1.0);
    store.LinDev = ValueCell(3.0);
    CollectingMessageSink messages;
    Linear_Calc(store, messages);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0], kTooFew);
    EXPECT_TRUE(store.LinA == kEmpty && store.LinB == kEmpty && store.LinR == kEmpty);
    EXPECT_EQ(store.LinDev, ValueCell(3.0));
}

TEST(LinearCalc, EqualValuesGiveAFlatLineAndNoCorrelation)
{
    Store store;
    test::setPoints(store, {{2, 0.1}, {5, 0.1}, {11, 0.1}, {13, 0.1}}, 13);
    CollectingMessageSink messages;
    Linear_Calc(store, messages);
    EXPECT_TRUE(near(store.LinB, 0, 1e-12) && near(store.LinA, 0.1, 1e-12) && near(store.LinDev, 0, 1e-12));
    EXPECT_EQ(store.LinR, kEmpty); // 0/0: empty, never nan
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
    EXPECT_TRUE(near(store.SumX, std::log(5.0 * 10 * 15 * 25 * 27), 1e-12));
}

TEST(LogarithmicCalc, ExactCurveThroughPositionOneIgnoringPositionZero)
{
    Store store;
    test::setPoints(store, {{0, 1000}, {3, -1}}, 9); // neither may shift the fit
    for (int x : {1, 2, 4, 8})
        store.Y[static_cast<std::size_t>(x)] = ValueCell(5 + 3 * std::log(x));
    CollectingMessageSink messages;
    Logarithmic_Calc(store, messages);
    EXPECT_TRUE(near(store.LogA, 5, 1e-12) && near(store.LogB, 3, 1e-12) && near(store.LogR, 1, 1e-12));
    EXPECT_LT(store.LogDev.value(), 1e-12);

    // Two points: the message, and only the three main results change.
    test::setPoints(store, {{0, 900}, {4, 100}, {9, 90}}, 12);
    store.LogDev = ValueCell(3.0);
    Logarithmic_Calc(store, messages);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0], kTooFew);
    EXPECT_TRUE(store.LogA == kEmpty && store.LogB == kEmpty && store.LogR == kEmpty);
    EXPECT_EQ(store.LogDev, ValueCell(3.0));
}

} // namespace
} // namespace kalibron
