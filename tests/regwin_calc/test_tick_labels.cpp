#include <gtest/gtest.h>

#include "test_support.h"
#include "analysis/tick_labels.h"

namespace kalibron::test {
namespace {

using Axis = TickLabel::Axis;

TEST(TickLabels, NeighboursNeverTouchAndTicksStay)
{
    struct Case {
        int maxX;
        std::size_t fullLabels; // X "Full": labels kept of those the tick rule places
    };
    // Up to about 17600 the five-digit labels a 1000 apart fit; 19999 (twenty
    // of them) and 20000 would touch and keep every second.
    for (const Case c : {Case{27, 3}, Case{1999, 20}, Case{10000, 11}, Case{13000, 14}, Case{19999, 10},
                         Case{20000, 11}, Case{30000, 4}}) {
        for (const bool xFull : {true, false}) {
            auto store = storeWith({{5, 100}, {c.maxX / 2, 95}, {c.maxX, 90}}, c.maxX);
            RegressionSettings settings = noCurves();
            settings.xFull = xFull;
            CollectingMessageSink messages;
            const PlotScene scene = A_PLOT(*store, settings, messages, NumberLocale{}).scene;
            const auto labels = labelsOf(scene, Axis::X);
            ASSERT_FALSE(labels.empty()) << c.maxX;
            if (xFull) {
                EXPECT_EQ(labels.size(), c.fullLabels) << c.maxX;
            }
            const double font = scene.geometry.labelFontTwips;
            for (std::size_t k = 1; k < labels.size(); ++k) {
                const TickLabel& a = *labels[k - 1];
                const TickLabel& b = *labels[k];
                const double apart = (b.left + b.width / 2) - (a.left + a.width / 2);
                EXPECT_GE(apart, (estimatedTextWidth(a.text, font) + estimatedTextWidth(b.text, font)) / 2 + font / 4)
                    << c.maxX << " " << a.text << " " << b.text;
                // What is left out is every second label (or fourth ...): even steps.
                EXPECT_EQ((b.index - a.index) & (b.index - a.index - 1), 0) << c.maxX << " " << b.text;
            }
            // Every major tick is still drawn.
            const int major = c.maxX < 131 ? 10 : c.maxX < 2000 ? 100 : c.maxX <= 20000 ? 1000 : 10000;
            const int first = xFull ? 0 : store->FirstX;
            EXPECT_EQ(countXTicks(scene, 90), c.maxX / major - (first + major - 1) / major + 1) << c.maxX;
        }
    }
}

TEST(TickLabels, WidthEstimateAndThinningOfOneAxisOnly)
{
    EXPECT_DOUBLE_EQ(estimatedTextWidth("10000", 100), 5 * 64);
    EXPECT_DOUBLE_EQ(estimatedTextWidth("1,000.5", 100), 5 * 64 + 2 * 36);
    EXPECT_DOUBLE_EQ(estimatedTextWidth("", 100), 0);

    // Four X labels 100 twips apart, 3 digits each (192 twips): every fourth
    // stays. The Y labels are not touched.
    std::vector<TickLabel> labels;
    for (int k = 0; k < 9; ++k)
        labels.push_back({Axis::X, k, "100", 100.0 * k, 0, 0, 0});
    labels.push_back({Axis::Y, 0, "5", 0, 0, 0, 0});
    labels.push_back({Axis::Y, 1, "6", 0, 1, 0, 0});
    thinTickLabels(labels, Axis::X, 100);
    std::vector<int> kept;
    for (const TickLabel& label : labels)
        kept.push_back(label.axis == Axis::X ? label.index : 100 + label.index);
    EXPECT_EQ(kept, (std::vector<int>{0, 4, 8, 100, 101}));
    // Stacked Y labels one line apart or less touch as well.
    thinTickLabels(labels, Axis::Y, 100);
    EXPECT_EQ(labelsOf(PlotScene{{}, {}, {}, labels}, Axis::Y).size(), 1u);
}

} // namespace
} // namespace kalibron::test
