// Ranking of the methods by their leave-one-out prediction error.
#include <fstream>
#include <sstream>

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

} // namespace
} // namespace kalibron
