#include <cmath>

#include <gtest/gtest.h>

#include "test_support.h"
#include "analysis/plot_scale.h"

namespace kalibron::test {
namespace {

using Axis = TickLabel::Axis;
using Texts = std::vector<std::string>;

CalculationResult plot(Store& store, bool yFull = true, bool xFull = true)
{
    RegressionSettings settings = noCurves();
    settings.yFull = yFull;
    settings.xFull = xFull;
    CollectingMessageSink messages;
    return A_PLOT(store, settings, messages, NumberLocale{});
}

TEST(PlotTickRules, StepAndPattern)
{
    // ln 1000 / ln 10 comes out just below 3, so the minor step is 10.
    ASSERT_TRUE(yTickStep(1000).has_value());
    EXPECT_DOUBLE_EQ(yTickStep(1000)->step, 10);
    EXPECT_DOUBLE_EQ(yTickStep(528)->step, 10);
    EXPECT_DOUBLE_EQ(yTickStep(1100)->step, 100);
    EXPECT_EQ(yLabelPattern(yTickStep(0.5)->exponent), "0.0");
    EXPECT_EQ(yLabelPattern(yTickStep(5e6)->exponent), "0.0E-00");
    EXPECT_EQ(yLabelPattern(yTickStep(5e-5)->exponent), "0E-00");
    for (double bad : {0.0, -1.0, std::nan(""), HUGE_VAL})
        EXPECT_FALSE(yTickStep(bad).has_value()) << bad;
}

TEST(PlotYAxis, FullScaleUpToAThousand)
{
    auto store = storeWith({{2, 400}, {5, 1000}, {9, 600}}, 10);
    const CalculationResult r = plot(*store);
    EXPECT_DOUBLE_EQ(r.scene.scale.top, 1100);
    EXPECT_DOUBLE_EQ(r.scene.scale.height, -1100);
    EXPECT_EQ(labelTexts(r.scene, Axis::Y),
              (Texts{"100", "200", "300", "400", "500", "600", "700", "800", "900", "1,000", "1,100"}));
    EXPECT_EQ(countYTicks(r.scene, 50), 111); // 0, 10, ... 1100
    EXPECT_EQ(countYTicks(r.scene, 90), 11);
    const auto labels = labelsOf(r.scene, Axis::Y);
    EXPECT_EQ(labels.back()->index, 10);
    // 100 sits 100/1100 of the plot height above its bottom edge.
    EXPECT_TRUE(nearRel(labels.front()->top, 6015 - 100.0 / 1100 * 5775 - 0.4 * 255));
    EXPECT_DOUBLE_EQ(labels.front()->left, 90);
}

TEST(PlotYAxis, ZoomOnTheStartExample)
{
    auto store = startStore();
    const CalculationResult r = plot(*store, false);
    EXPECT_TRUE(nearRel(r.scene.scale.top, 1028));
    EXPECT_TRUE(nearRel(r.scene.scale.top + r.scene.scale.height, 452));
    EXPECT_EQ(labelTexts(r.scene, Axis::Y), (Texts{"500", "600", "700", "800", "900", "1,000"}));
    EXPECT_EQ(countYTicks(r.scene, 50), 57); // 460 .. 1020
    // Zoomed, the plot's own Y axis runs from the bottom edge to the top.
    bool axis = false;
    for (const Segment* s : segments(r.scene, Canvas::Plot, colours::kBlack))
        axis = axis || (s->x1 == 0 && s->x2 == 0 && nearRel(s->y1, 452) && nearRel(s->y2, 1028));
    EXPECT_TRUE(axis);
}

TEST(PlotYAxis, DataFarFromZeroWithATinyRangeStayBounded)
{
    auto store = storeWith({{1, 1e6}, {2, 1e6 + 0.001}, {3, 1e6 + 0.0005}}, 3);
    const CalculationResult r = plot(*store, false);
    EXPECT_TRUE(allFinite(r.scene));
    const auto texts = labelTexts(r.scene, Axis::Y);
    ASSERT_FALSE(texts.empty());
    EXPECT_LE(texts.size(), 11u);
    EXPECT_EQ(texts.front(), "1000000.000");
    EXPECT_LT(r.scene.items.size(), 200u);
}

TEST(PlotYAxis, DegenerateRangesGetASafeScale)
{
    struct Case {
        const char* name;
        std::vector<std::pair<int, double>> points;
        bool yFull;
    };
    const Case cases[] = {
        {"all equal, zoom", {{1, 700}, {4, 700}, {8, 700}}, false},
        {"all equal, full", {{1, 700}, {4, 700}, {8, 700}}, true},
        {"all zero, full", {{1, 0}, {4, 0}}, true},
        {"all zero, zoom", {{1, 0}, {4, 0}}, false},
        {"all negative, full", {{1, -5}, {4, -7}}, true},
        {"no point, full", {}, true},
        {"no point, zoom", {}, false},
    };
    for (const Case& c : cases) {
        auto store = storeWith(c.points, 10);
        const CalculationResult r = plot(*store, c.yFull);
        EXPECT_TRUE(allFinite(r.scene)) << c.name;
        EXPECT_LT(r.scene.scale.height, 0) << c.name;
        EXPECT_GT(r.scene.scale.width, 0) << c.name;
        EXPECT_EQ(countBoxes(r.scene, colours::kBlack), static_cast<int>(c.points.size())) << c.name;
        EXPECT_LE(labelsOf(r.scene, Axis::Y).size(), 11u) << c.name;
        EXPECT_TRUE(std::isfinite(store->MarkDY)) << c.name;
    }
    // Equal values in Zoom: ±10 % around them, labelled.
    auto equal = storeWith({{1, 700}, {4, 700}}, 10);
    const CalculationResult r = plot(*equal, false);
    EXPECT_TRUE(nearRel(r.scene.scale.top, 770 + 14));
    EXPECT_FALSE(labelTexts(r.scene, Axis::Y).empty());
}

TEST(PlotXAxis, TicksAndLabelsByMaxX)
{
    auto small = storeWith({{5, 100}, {27, 90}}, 27);
    const CalculationResult r27 = plot(*small);
    EXPECT_EQ(labelTexts(r27.scene, Axis::X), (Texts{"0", "10", "20"}));
    EXPECT_EQ(countXTicks(r27.scene, 50), 28);
    EXPECT_EQ(countXTicks(r27.scene, 90), 3);
    const double width = 0.95 * 10575;
    const auto labels = labelsOf(r27.scene, Axis::X);
    EXPECT_TRUE(nearRel(labels[1]->left + labels[1]->width / 2, 840 + width * 10 / 27));
    EXPECT_DOUBLE_EQ(labels[1]->top, 6120);

    auto medium = storeWith({{5, 100}, {500, 90}}, 500);
    const CalculationResult r500 = plot(*medium);
    EXPECT_EQ(labelTexts(r500.scene, Axis::X), (Texts{"0", "100", "200", "300", "400", "500"}));
    EXPECT_EQ(countXTicks(r500.scene, 50), 51);
    EXPECT_EQ(labelsOf(r500.scene, Axis::X).back()->index, 5);
}

TEST(PlotXAxis, BandEdgesGetAllTheirLabels)
{
    for (int maxX : {2000, 20000}) {
        auto store = storeWith({{5, 100}, {maxX, 90}}, maxX);
        const CalculationResult r = plot(*store);
        const auto labels = labelsOf(r.scene, Axis::X);
        // Five-digit labels every 1000 would touch: every second is left out.
        ASSERT_EQ(labels.size(), maxX == 2000 ? 21u : 11u) << maxX;
        EXPECT_EQ(labels.back()->text, std::to_string(maxX));
        EXPECT_EQ(labels.back()->index, 20);
        EXPECT_TRUE(nearRel(labels.back()->left + labels.back()->width / 2, 840 + 0.95 * 10575));
        EXPECT_EQ(countXTicks(r.scene, 50), maxX / (maxX / 200) + 1) << maxX;
    }
    // Above 20000 the labels run out at lblX(20); never more controls than exist.
    auto large = storeWith({{5, 100}, {30000, 90}}, 30000);
    EXPECT_EQ(labelTexts(plot(*large).scene, Axis::X), (Texts{"0", "10000", "20000", "30000"}));
}

TEST(PlotXAxis, ZoomPlacesTicksByPositionAcrossTheAxis)
{
    auto store = startStore();
    const CalculationResult r = plot(*store, true, false);
    EXPECT_DOUBLE_EQ(r.scene.scale.left, 5);
    EXPECT_TRUE(nearRel(r.scene.scale.width, 1.05 * 27 - 5));
    // Tick of position 27 at 95 % of the plot width ...
    double last = 0;
    for (const Segment* s : segments(r.scene, Canvas::Frame, colours::kBlack)) {
        if (s->x1 == s->x2 && s->y2 - s->y1 == 50)
            last = std::max(last, s->x1);
    }
    EXPECT_TRUE(nearRel((last - 840) / 10575, 0.95));
    // ... while its mark stands at 22 / 23.35 of the scale.
    double markCentre = 0;
    for (const Primitive& item : r.scene.items) {
        if (const auto* b = std::get_if<Box>(&item))
            markCentre = std::max(markCentre, (b->x1 + b->x2) / 2);
    }
    EXPECT_TRUE(nearRel((markCentre - r.scene.scale.left) / r.scene.scale.width, 22 / 23.35));
    EXPECT_EQ(countXTicks(r.scene, 50), 23); // 5 .. 27
    EXPECT_EQ(labelTexts(r.scene, Axis::X), (Texts{"10", "20"}));
    // The substitute Y axis in the frame.
    bool substitute = false;
    for (const Segment* s : segments(r.scene, Canvas::Frame, colours::kBlack))
        substitute = substitute || (s->x1 == 815 && s->x2 == 815 && s->y1 == 6015 && s->y2 == 240);
    EXPECT_TRUE(substitute);
}

TEST(PlotXAxis, NoWidthStillGivesADefinedAxis)
{
    auto empty = storeWith({}, 0);
    const CalculationResult r0 = plot(*empty);
    EXPECT_TRUE(allFinite(r0.scene));
    EXPECT_GT(r0.scene.scale.width, 0);
    EXPECT_EQ(labelTexts(r0.scene, Axis::X), (Texts{"0"}));

    // Zoomed on a single point at MaxX: TickX0 = MaxX.
    auto single = storeWith({{12, 50}}, 12);
    const CalculationResult r1 = plot(*single, true, false);
    EXPECT_TRUE(allFinite(r1.scene));
    EXPECT_EQ(countXTicks(r1.scene, 50), 1);
}

TEST(PlotMarks, ErrorBarsWithAThirdColumn)
{
    auto store = storeWith({{3, 100}, {6, 120}, {9, 90}}, 10);
    store->nCols = 3;
    store->Yerr[3] = 5.0;
    store->Yerr[9] = 0.0; // no bar, only the stroke
    store->Rejected[6] = 1.0;
    const CalculationResult r = plot(*store);
    EXPECT_EQ(countBoxes(r.scene, colours::kBlack) + countBoxes(r.scene, colours::kRed), 0);
    const double dx = store->MarkDX;
    int strokes = 0, bars = 0;
    for (const Segment* s : segments(r.scene, Canvas::Plot, colours::kBlack)) {
        strokes += s->y1 == s->y2 && nearRel(s->x2 - s->x1, 2 * dx);
        bars += s->x1 == 3 && s->x2 == 3 && s->y1 == 95 && s->y2 == 105;
    }
    EXPECT_EQ(strokes, 2);
    EXPECT_EQ(bars, 1);
    EXPECT_EQ(countSegments(r.scene, Canvas::Plot, colours::kRed), 1); // the rejected point's stroke
}

} // namespace
} // namespace kalibron::test
