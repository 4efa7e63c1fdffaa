// The drift methods in the calculation and the export: the bracketing rules
// and the mean against a table worked out by hand, the spline's column as
// its fit gives it at every position, and nothing of them in the text unless
// an Export box asks.
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "analysis/export_text.h"
#include "analysis/method_ranking.h"
#include "regression/smoothing_spline.h"
#include "test_support.h"

namespace kalibron::test {
namespace {

double number(const std::string& cell)
{
    EXPECT_FALSE(cell.empty());
    return std::strtod(cell.c_str(), nullptr);
}

// Three pairs of standards: s_p² = (3·2·5²)/3 = 50, so s_p = √50, and
// s_p/√2 = 5 between two standards.
const std::vector<std::pair<int, double>> kPoints = {{3, 980}, {4, 990}, {10, 770}, {11, 780}, {20, 600}, {21, 610}};

TEST(DriftMethods, ExportBlocksMatchTheHandTable)
{
    auto store = storeWith(kPoints, 24);
    RegressionSettings settings = noCurves();
    settings.chkDriftEX.fill(true);
    settings.chkEX[7] = true; // the zigzag's block stays the last one
    settings.exportUncertainties = true;
    CollectingMessageSink messages;
    const CalculationResult result = A_PLOT(*store, settings, messages, NumberLocale{});
    const auto lines = table(buildExport(*store, result.fits, settings, NumberLocale{}));
    ASSERT_EQ(lines.size(), 4u + 24u);
    EXPECT_EQ(lines[1][0], "Spline aver.diff. /diff.%");
    EXPECT_EQ(lines[1][4], "Preceding aver.diff. /diff.%");
    EXPECT_EQ(lines[1].back(), "Zigzag");
    // The rules give every standard its own value: no in-sample deviation.
    for (const std::size_t item : {4u, 8u, 12u})
        EXPECT_EQ(lines[1][item + 1] + lines[1][item + 2], "00");
    std::string header;
    for (const char* name : {"Spline", "Preceding", "Succeeding", "Bracket", "Mean"})
        header += std::string("No.\tData\t") + name + "\tu\t\t";
    EXPECT_EQ(lines[3], (table(header + "No.\tData\tZigzag\tu\r")[0]));

    const double sp = std::sqrt(50.0);
    double mean = 0, ss = 0;
    for (const auto& [x, y] : kPoints)
        mean += y / 6;
    for (const auto& [x, y] : kPoints)
        ss += (y - mean) * (y - mean);
    // x: preceding, succeeding, bracketing average and its u, by hand.
    struct Row {
        int x;
        double preceding, succeeding, average, averageU;
    };
    const Row rows[] = {{1, 980, 980, 980, sp},  {3, 980, 980, 980, sp}, {7, 990, 770, 880, 5},
                        {10, 770, 770, 770, sp}, {15, 780, 600, 690, 5}, {21, 610, 610, 610, sp},
                        {24, 610, 610, 610, sp}};
    std::vector<double> x(kPoints.size()), y(kPoints.size());
    for (std::size_t i = 0; i < kPoints.size(); ++i)
        x[i] = kPoints[i].first, y[i] = kPoints[i].second;
    const auto spline = SmoothingSpline::fit(x, y);
    ASSERT_TRUE(spline);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.x);
        const auto& c = lines[3 + static_cast<std::size_t>(r.x)];
        // Five cells a block (the last one's closing TAB opens one more); the
        // zigzag's only between its first and last cluster, 3.5 and 20.5.
        const bool zigzag = r.x > 3 && r.x < 21;
        ASSERT_EQ(c.size(), (zigzag ? 6u : 5u) * 5u + 1u);
        EXPECT_NEAR(number(c[2]), spline->value(r.x), 1e-13 * 1000);
        EXPECT_NEAR(number(c[3]), *spline->uncertainty(r.x), 1e-13 * sp);
        const double expected[][2] = {
            {r.preceding, sp}, {r.succeeding, sp}, {r.average, r.averageU}, {mean, std::sqrt(ss / 5) / std::sqrt(6.0)}};
        for (std::size_t m = 0; m < 4; ++m) {
            EXPECT_EQ(c[5 * (m + 1)], std::to_string(r.x)); // every block starts with the position
            EXPECT_NEAR(number(c[5 * (m + 1) + 2]), expected[m][0], 1e-9 * expected[m][0]) << m;
            EXPECT_NEAR(number(c[5 * (m + 1) + 3]), expected[m][1], 1e-9 * expected[m][1]) << m;
        }
    }
    // The spline's whole column is its fit (15 digits), a straight line
    // before the first standard and after the last.
    const auto at = [&](int pos) { return number(lines[3 + static_cast<std::size_t>(pos)][2]); };
    for (int pos = 1; pos <= 24; ++pos)
        EXPECT_NEAR(at(pos), spline->value(pos), 1e-13 * 1000) << pos;
    EXPECT_NEAR(at(1) - 2 * at(2) + at(3), 0, 1e-10);
    EXPECT_NEAR(at(21) - 2 * at(22) + at(23), 0, 1e-10);
    EXPECT_GT(std::abs(at(10) - 2 * at(11) + at(12)), 1e-3); // and curved between
}

// Showing a drift curve changes nothing in the export, and the text without
// their Export boxes is the one the other blocks give alone.
TEST(DriftMethods, ShowBoxesLeaveTheExportAlone)
{
    auto store = startStore();
    const RegressionSettings start;
    CollectingMessageSink messages;
    const CalculationResult plain = A_PLOT(*store, start, messages, NumberLocale{});
    const std::string before = buildExport(*store, plain.fits, start, NumberLocale{});
    RegressionSettings shown = start;
    shown.chkDrift.fill(true);
    shown.bandMethod = "bracket";
    const CalculationResult drawn = A_PLOT(*store, shown, messages, NumberLocale{});
    EXPECT_EQ(buildExport(*store, drawn.fits, shown, NumberLocale{}), before);
    for (std::size_t m = 0; m < kDriftMethods; ++m)
        EXPECT_TRUE(drawn.fits.drift[m] && !plain.fits.drift[m]) << m;
    EXPECT_TRUE(messages.messages.empty());
}

// "Compare methods": the rules' spread is the pooled s_p, their mean u over
// the 19 samples by hand (the average: s_p/√2 at the 13 samples between two
// standards, s_p at the 6 outside them); the mean's s and s/√n.
TEST(DriftMethods, RankingSpreadAndMeanUByHand)
{
    auto store = storeWith(kPoints, 24);
    MethodRanking ranking = rankMethods(*store, 6);
    addUncertaintySummaries(ranking, *store, false);
    const auto find = [&](const std::string& key) {
        for (const MethodScore& method : ranking.methods)
            if (method.key == key)
                return method;
        ADD_FAILURE() << key;
        return MethodScore{};
    };
    const double sp = std::sqrt(50.0);
    const MethodScore preceding = find("preceding"), bracket = find("bracket"), mean = find("mean");
    EXPECT_EQ(find("bracket").name, "Bracketing average");
    EXPECT_NEAR(*preceding.spread, sp, 1e-12);
    EXPECT_NEAR(*preceding.meanU, sp, 1e-12);
    EXPECT_NEAR(*bracket.meanU, (13 * 5 + 6 * sp) / 19, 1e-12);
    double m = 0, ss = 0;
    for (const auto& [x, y] : kPoints)
        m += y / 6;
    for (const auto& [x, y] : kPoints)
        ss += (y - m) * (y - m);
    EXPECT_NEAR(*mean.spread, std::sqrt(ss / 5), 1e-9);
    EXPECT_NEAR(*mean.meanU, std::sqrt(ss / 5 / 6), 1e-9);
    EXPECT_TRUE(find("spline").spread && find("spline").meanU);
}

// The option names, session members and band choices all go through this lookup.
TEST(DriftMethods, KeysNameTheirOwnMethodOnly)
{
    const std::vector<std::string> keys = {"spline", "preceding", "succeeding", "bracket", "mean"};
    for (std::size_t m = 0; m < keys.size(); ++m)
        EXPECT_EQ(driftMethodOf(keys[m]), m) << keys[m];
    for (const char* other : {"", "lin", "zigzag", "poly2", "Spline", "splines", "mea", "mean "})
        EXPECT_FALSE(driftMethodOf(other)) << other;
}

} // namespace
} // namespace kalibron::test
