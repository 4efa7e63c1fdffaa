#include <gtest/gtest.h>

#include "core/table_import.h"
#include "test_support.h"
#include "analysis/point_rejection.h"

namespace kalibron::test {
namespace {

TEST(PointRejection, ClickTogglesAndTheNextCalculationLeavesThePointOut)
{
    auto store = startStore();
    CollectingMessageSink messages;
    const CalculationResult first = A_PLOT(*store, RegressionSettings{}, messages, NumberLocale{});
    const double dx = store->MarkDX, dy = store->MarkDY;

    auto boxes = togglePointsAt(*store, first.scene.scale, 10.05, 771);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(std::get<Box>(boxes[0]), (Box{Canvas::Plot, 10 - dx, 770 - dy, 10 + dx, 770 + dy, colours::kRed}));
    EXPECT_EQ(store->Rejected[10], ValueCell(1.0));

    const CalculationResult second = A_PLOT(*store, RegressionSettings{}, messages, NumberLocale{});
    EXPECT_EQ(second.labels.lblRej, "1");
    EXPECT_EQ(countBoxes(second.scene, colours::kRed), 1);
    EXPECT_NE(second.labels.lbl_LRb, first.labels.lbl_LRb);

    boxes = togglePointsAt(*store, second.scene.scale, 10, 770);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(std::get<Box>(boxes[0]).colour, colours::kBlack);
    EXPECT_EQ(store->Rejected[10], ValueCell(0.0));
}

TEST(PointRejection, ToleranceIsHalfAPercentOfTheVisibleScaleAndStrict)
{
    auto store = startStore();
    const PlotScale scale{0, 1100, 40, -1000}; // tolerance 0.2 in X, 5 in Y
    struct Case {
        double x, y;
        bool hit;
    };
    const Case cases[] = {
        {10.19, 770, true}, {9.81, 770, true}, {10.21, 770, false}, {9.79, 770, false},
        {10, 774.9, true},  {10, 765.1, true}, {10, 775.1, false},  {10, 764.9, false},
    };
    for (const Case& c : cases) {
        store->Rejected[10].clear();
        const auto boxes = togglePointsAt(*store, scale, c.x, c.y);
        EXPECT_EQ(boxes.size(), c.hit ? 1u : 0u) << c.x << " " << c.y;
        EXPECT_EQ(store->Rejected[10].value(), c.hit ? 1 : 0) << c.x << " " << c.y;
    }
}

TEST(PointRejection, OnlyTheLeftButtonAndOnlyPositiveValues)
{
    auto store = startStore();
    const PlotScale scale{0, 1100, 30, -1100};
    EXPECT_TRUE(togglePointsAt(*store, scale, 10, 770, false).empty());
    EXPECT_TRUE(store->Rejected[10].isEmpty());

    store->Y[12] = 0.0;
    store->Y[13] = -4.0;
    EXPECT_TRUE(togglePointsAt(*store, scale, 12, 0).empty());
    EXPECT_TRUE(togglePointsAt(*store, scale, 13, -4).empty());
    EXPECT_TRUE(store->Rejected[12].isEmpty());
}

TEST(PointRejection, EveryPointInsideTheRectangleToggles)
{
    auto store = startStore();
    store->Y[11] = 772.0;                         // next to (10, 770) at this coarse scale
    const PlotScale scale{0, 11000, 400, -11000}; // tolerance 2 in X, 55 in Y
    const auto boxes = togglePointsAt(*store, scale, 10.5, 771);
    EXPECT_EQ(boxes.size(), 2u);
    EXPECT_EQ(store->Rejected[10].value(), 1);
    EXPECT_EQ(store->Rejected[11].value(), 1);
    EXPECT_TRUE(store->Rejected[15].isEmpty());
}

TEST(PointRejection, BeforeAnyCalculationTheBoxHasNoSize)
{
    auto store = startStore();
    const auto boxes = togglePointsAt(*store, PlotScale{0, 1100, 30, -1100}, 27, 500);
    ASSERT_EQ(boxes.size(), 1u);
    const Box& b = std::get<Box>(boxes[0]);
    EXPECT_EQ(b.x1, b.x2);
    EXPECT_EQ(b.y1, b.y2);
    EXPECT_EQ(store->Rejected[27].value(), 1);
}

TEST(PointRejection, RejectedCountsOnlyThePointsTheUserMarked)
{
    // A Y of 0 counts in nPoints but not in nPointsAll, a repeated X twice in
    // nPointsAll: their difference was -1 and 1 here, with nothing rejected.
    for (const char* table :
         {"5\t980\r\n7\t0\r\n10\t770\r\n15\t700\r\n", "5\t980\r\n10\t775\r\n10\t770\r\n15\t700\r\n"}) {
        auto store = startStore();
        CollectingMessageSink messages;
        ASSERT_EQ(ImportClipboard(*store, table, messages), ImportStatus::Ok);
        CalculationResult r = A_PLOT(*store, RegressionSettings{}, messages, NumberLocale{});
        EXPECT_EQ(r.labels.lblRej, "0") << table;
        ASSERT_EQ(togglePointsAt(*store, r.scene.scale, 15, 700).size(), 1u);
        r = A_PLOT(*store, RegressionSettings{}, messages, NumberLocale{});
        EXPECT_EQ(r.labels.lblRej, "1") << table;
    }
}

} // namespace
} // namespace kalibron::test
