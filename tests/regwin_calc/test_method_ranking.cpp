// Ranking of the methods by their leave-one-out prediction error.
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "analysis/method_ranking.h"
#include "analysis/regression_settings.h"
#include "core/messages.h"
#include "core/store.h"
#include "core/table_import.h"

namespace kalibron {
namespace {

std::string readText(const std::string& name)
{
    std::ifstream in(std::string(KALIBRON_TEST_DATA_DIR) + "/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A smooth drift with noise and one outlier at position 164 (drift_outlier.txt).
TEST(MethodRanking, SmoothDriftPutsALowDegreeFirstAndFindsTheOutlier)
{
    Store store;
    CollectingMessageSink messages;
    ASSERT_EQ(ImportClipboard(store, readText("drift_outlier.txt"), messages), ImportStatus::Ok);
    ScanData(store);
    const MethodRanking ranking = rankMethods(store, 9);
    ASSERT_EQ(ranking.methods.size(), 8u + kDriftMethods); // and the drift methods
    EXPECT_EQ(ranking.firstStandard, 4);
    EXPECT_EQ(ranking.lastStandard, 320);

    const MethodScore& best = ranking.methods.front();
    EXPECT_TRUE(best.key == "poly2" || best.key == "poly3") << best.key;
    for (std::size_t i = 0; i < ranking.methods.size(); ++i) {
        const MethodScore& method = ranking.methods[i];
        ASSERT_TRUE(method.loo) << method.key;
        // A curve that misses the early standards errs most there, not at the outlier.
        if (i < 3) {
            EXPECT_EQ(method.loo->maxAt, 164) << method.key;
        }
        EXPECT_EQ(method.loo->count, method.key == "zigzag" ? 78 : 80) << method.key;
        // Predicting a point never beats fitting through it.
        EXPECT_GE(method.loo->mean, method.inSample->mean) << method.key;
    }
    for (std::size_t i = 1; i < ranking.methods.size(); ++i)
        EXPECT_LE(ranking.methods[i - 1].loo->mean, ranking.methods[i].loo->mean);

    // Rejecting the outlier leaves it out of every figure.
    store.Rejected[164] = ValueCell(1.0);
    const MethodRanking without = rankMethods(store, 9);
    for (const MethodScore& method : without.methods)
        EXPECT_NE(method.loo->maxAt, 164) << method.key;
    EXPECT_LT(without.methods.front().loo->mean, best.loo->mean);
}

// Mean |y_i − mean of the others| over the given standards, by brute force.
double leaveOneOutOfTheMean(const std::vector<double>& y)
{
    double sum = 0;
    for (std::size_t i = 0; i < y.size(); ++i) {
        double others = 0;
        for (std::size_t j = 0; j < y.size(); ++j)
            if (j != i)
                others += y[j];
        sum += std::fabs(y[i] - others / static_cast<double>(y.size() - 1));
    }
    return sum / static_cast<double>(y.size());
}

// A stray standard at position 0 inflates the mean's error over 0..; the
// methods that leave position 0 out are held against the mean over 1.. only.
TEST(MethodRanking, NoBetterThanTheMeanOverTheSameStandards)
{
    const std::vector<double> level = {1000, 1003, 998, 1001, 997, 1002, 999, 1004, 996, 1000, 1002, 998};
    std::string table = "0\t1500\r\n";
    for (std::size_t i = 0; i < level.size(); ++i)
        table += std::to_string(10 * (i + 1)) + "\t" + std::to_string(level[i]) + "\r\n";
    Store store;
    CollectingMessageSink messages;
    ASSERT_EQ(ImportClipboard(store, table, messages), ImportStatus::Ok);
    ScanData(store);
    std::vector<double> all = level;
    all.insert(all.begin(), 1500);
    const double fromZero = leaveOneOutOfTheMean(all), fromOne = leaveOneOutOfTheMean(level);

    const MethodRanking ranking = rankMethods(store, -1);
    int changed = 0; // methods the comparison with the mean over 0.. would have marked otherwise
    for (const MethodScore& method : ranking.methods) {
        SCOPED_TRACE(method.key);
        const bool leavesOutZero = method.key == "log" || method.key == "zigzag" || method.key.starts_with("poly");
        if (!method.loo) { // the zigzag needs clusters of standards
            EXPECT_EQ(method.key, "zigzag");
            EXPECT_FALSE(method.noBetterThanBaseline);
            continue;
        }
        if (method.key != "zigzag") {
            EXPECT_EQ(method.loo->count, static_cast<int>(leavesOutZero ? level.size() : all.size()));
        }
        if (method.key == "mean") {
            EXPECT_NEAR(method.loo->mean, fromZero, 1e-9 * fromZero);
            EXPECT_FALSE(method.noBetterThanBaseline);
            continue;
        }
        const double bar = leavesOutZero ? fromOne : fromZero;
        EXPECT_EQ(method.noBetterThanBaseline, !(method.loo->mean < bar)) << method.loo->mean << " vs " << bar;
        if (leavesOutZero && method.loo->mean < fromZero && !(method.loo->mean < fromOne))
            ++changed;
    }
    EXPECT_GE(changed, 4); // the polynomials at least: the data tell the two comparisons apart
}

} // namespace
} // namespace kalibron
