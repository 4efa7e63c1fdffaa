#include <cmath>
#include <variant>

#include <gtest/gtest.h>

#include "regression/polynomial_fit.h"
#include "test_support.h"
#include "analysis/export_text.h"

namespace kalibron::test {
namespace {

// Degree-2 least-squares fit of the start-up example, solved exactly in
// rational arithmetic outside this program: deviations 21.3600903769 and
// 3.17717563764 %.
constexpr double kPoly2Dev = 21.360090376912808;
constexpr double kPoly2DevPct = 3.1771756376372053;

TEST(CalculationGuard, WithoutProbabilityLevelNothingIsTouched)
{
    auto store = startStore();
    store->ProbIndex.reset();
    store->nPoints = 99;
    store->LinA = 7.0;
    store->MarkDX = 3;
    CollectingMessageSink messages;
    const CalculationResult result = A_PLOT(*store, RegressionSettings{}, messages, NumberLocale{});
    EXPECT_FALSE(result.ran);
    EXPECT_TRUE(result.scene.items.empty());
    EXPECT_TRUE(result.scene.labels.empty());
    EXPECT_EQ(store->nPoints, 99);
    EXPECT_EQ(store->LinA, ValueCell(7.0));
    EXPECT_EQ(store->MarkDX, 3);
    EXPECT_TRUE(messages.messages.empty());
}

TEST(CalculationStartExample, LabelsOfEveryRow)
{
    auto store = startStore();
    CollectingMessageSink messages;
    const CalculationResult result = A_PLOT(*store, RegressionSettings{}, messages, NumberLocale{});
    ASSERT_TRUE(result.ran);
    EXPECT_TRUE(messages.messages.empty());
    const ResultLabels& l = result.labels;
    EXPECT_EQ(l.lblNData, "27");
    EXPECT_EQ(l.lblnDataOK, "5");
    EXPECT_EQ(l.lblRej, "0");
    // LinA 1021.88 lies above 1000, so it is shown without decimals.
    EXPECT_EQ(l.lbl_LRa, "1022");
    EXPECT_EQ(l.lbl_LRb, "-19.63");
    EXPECT_EQ(l.lbl_LRr, "0.95");
    EXPECT_EQ(l.lblDiff, "33.24");
    EXPECT_EQ(l.lblDiffProc, "4.38");
    EXPECT_EQ(l.lbl_LoRa, "1416");
    EXPECT_EQ(l.lbl_LoRb, "-272.6");
    EXPECT_EQ(l.lbl_LoRr, "0.99");
    EXPECT_EQ(l.lblDiffLog, "14.44");
    EXPECT_EQ(l.lblDiffProcLog, "2.28");
    EXPECT_EQ(l.lblDiffPoly[2], "21.36");
    EXPECT_EQ(l.lblDiffProcPoly[2], "3.18");
    for (int row : {1, 3, 4, 5}) {
        EXPECT_EQ(l.lblDiffPoly[static_cast<std::size_t>(row)], "") << row;
        EXPECT_EQ(l.lblDiffProcPoly[static_cast<std::size_t>(row)], "") << row;
    }
    EXPECT_FALSE(l.Label2.has_value());

    EXPECT_TRUE(nearRel(store->LinA.value(), 1021.88196, 1e-8));
    EXPECT_TRUE(nearRel(store->LinB.value(), -35250.0 / 1796, 1e-12));
    EXPECT_TRUE(nearRel(store->PolyDev.value(), kPoly2Dev, 1e-9));
    EXPECT_TRUE(nearRel(store->PolyDevPct.value(), kPoly2DevPct, 1e-9));
    EXPECT_EQ(store->nPoly, 5);
    EXPECT_EQ(store->nClusters, 5);
    // Plot values the point rejection relies on.
    EXPECT_DOUBLE_EQ(store->PlotOffsetX, 840);
    EXPECT_DOUBLE_EQ(store->PlotBottomY, 6015);
    EXPECT_TRUE(nearRel(store->MarkDX, 0.003 * 1.05 * 27));
    EXPECT_TRUE(nearRel(store->MarkDY, store->MarkDX * (1.1 * 980 / (1.05 * 27)) * (10575.0 / 5775.0)));
}

TEST(CalculationStartExample, CurvesFollowTheSettings)
{
    auto store = startStore();
    CollectingMessageSink messages;
    const NumberLocale c;

    const CalculationResult all = A_PLOT(*store, RegressionSettings{}, messages, c);
    EXPECT_EQ(countBoxes(all.scene, colours::kBlack), 5);
    EXPECT_EQ(countSegments(all.scene, Canvas::Plot, colours::kOrange), 4);   // five clusters
    EXPECT_EQ(countSegments(all.scene, Canvas::Plot, colours::kMagenta), 23); // X = 5 .. 27
    EXPECT_EQ(countSegments(all.scene, Canvas::Plot, colours::kGreen), 22);   // X = 5 .. 26
    // Y axis, regression line, and an upper and a lower band segment per step.
    EXPECT_EQ(countSegments(all.scene, Canvas::Plot, colours::kBlack), 1 + 1 + 2 * 22);
    EXPECT_EQ(countSegments(all.scene, Canvas::Plot, colours::kBlue), 0);

    // The band at X = 5: a + 5b ± t·s·√(1/5 + (5 − 16.4)²/359.2), s from the
    // residuals of the line (49.766156960520426).
    const double a = store->LinA.value(), b = store->LinB.value();
    const double h = 3.182446305 * 49.766156960520426 * std::sqrt(0.2 + (5 - 16.4) * (5 - 16.4) / 359.2);
    bool upper = false, lower = false;
    for (const Segment* s : segments(all.scene, Canvas::Plot, colours::kBlack)) {
        if (s->x1 == 5 && s->x2 == 6) {
            upper = upper || nearRel(s->y1, a + 5 * b + h, 1e-9);
            lower = lower || nearRel(s->y1, a + 5 * b - h, 1e-9);
        }
    }
    EXPECT_TRUE(upper);
    EXPECT_TRUE(lower);

    // The regression line runs from X = 0 to MaxX.
    EXPECT_DOUBLE_EQ(store->LineX0, 0);
    EXPECT_DOUBLE_EQ(store->LineX1, 27);

    const CalculationResult none = A_PLOT(*store, noCurves(), messages, c);
    EXPECT_EQ(countSegments(none.scene, Canvas::Plot, colours::kOrange), 0);
    EXPECT_EQ(countSegments(none.scene, Canvas::Plot, colours::kMagenta), 0);
    EXPECT_EQ(countSegments(none.scene, Canvas::Plot, colours::kGreen), 0);
    EXPECT_EQ(countSegments(none.scene, Canvas::Plot, colours::kBlack), 2); // axis and line
    EXPECT_EQ(none.labels.lbl_LoRa, "");
    EXPECT_EQ(none.labels.lblDiffPoly[2], "");
    EXPECT_EQ(none.labels.lbl_LRb, "-19.63");

    // Without a t table the band is left out silently.
    store->Student.loaded = false;
    const CalculationResult noTable = A_PLOT(*store, RegressionSettings{}, messages, c);
    EXPECT_EQ(countSegments(noTable.scene, Canvas::Plot, colours::kBlack), 2);
    EXPECT_TRUE(messages.messages.empty());
}

TEST(CalculationStaleResults, FitsThatDoNotRunAreClearedInTheStore)
{
    auto store = startStore();
    CollectingMessageSink messages;
    const NumberLocale c;
    A_PLOT(*store, RegressionSettings{}, messages, c);
    ASSERT_TRUE(store->LogA.isNumber());
    ASSERT_TRUE(store->PolyCoef[2][2].isNumber());
    ASSERT_EQ(store->nClusters, 5);

    A_PLOT(*store, noCurves(), messages, c);
    EXPECT_FALSE(store->LogA.isNumber());
    EXPECT_FALSE(store->LogDev.isNumber());
    EXPECT_FALSE(store->LogDevPct.isNumber());
    EXPECT_EQ(store->nClusters, 0);
    for (std::size_t k = 2; k <= 25; ++k)
        EXPECT_TRUE(store->PolyCoef[2][k].isEmpty()) << k;
    EXPECT_TRUE(store->LinA.isNumber()); // the linear fit always runs
}

TEST(CalculationFewPoints, OneUsedPointDrawsMarksAndClearsEveryResult)
{
    auto store = startStore();
    CollectingMessageSink messages;
    const NumberLocale c;
    A_PLOT(*store, RegressionSettings{}, messages, c);
    for (int x : {10, 15, 25, 27})
        store->Rejected[static_cast<std::size_t>(x)] = 1.0;

    const CalculationResult r = A_PLOT(*store, RegressionSettings{}, messages, c);
    EXPECT_EQ(store->nPoints, 1);
    EXPECT_FALSE(r.labels.lblNData.has_value()); // count labels keep their text
    EXPECT_FALSE(r.labels.lblRej.has_value());
    EXPECT_EQ(r.labels.lbl_LRa, "");
    EXPECT_EQ(r.labels.lbl_LRr, "");
    EXPECT_EQ(r.labels.lblDiffPoly[2], "");
    EXPECT_EQ(countBoxes(r.scene, colours::kBlack), 1);
    EXPECT_EQ(countBoxes(r.scene, colours::kRed), 4);
    EXPECT_EQ(countSegments(r.scene, Canvas::Plot, colours::kBlack), 1); // the Y axis only
    EXPECT_FALSE(labelTexts(r.scene, TickLabel::Axis::X).empty());
    for (const ValueCell* cell : {&store->LinA, &store->LinB, &store->LinR, &store->LinDev, &store->LinDevPct,
                                  &store->LogA, &store->PolyCoef[2][2], &store->tValue})
        EXPECT_FALSE(cell->isNumber());
    EXPECT_TRUE(messages.messages.empty());
}

TEST(CalculationFewPoints, TwoUsedPointsGiveOnlyTheLine)
{
    auto store = startStore();
    CollectingMessageSink messages;
    const NumberLocale c;
    A_PLOT(*store, RegressionSettings{}, messages, c); // leaves r and deviations of five points
    for (int x : {10, 15, 25})
        store->Rejected[static_cast<std::size_t>(x)] = 1.0;
    RegressionSettings all;
    all.chkPoly = {false, true, true, true, true, true};

    const CalculationResult r = A_PLOT(*store, all, messages, c);
    // Line through (5, 980) and (27, 500).
    EXPECT_TRUE(nearRel(store->LinB.value(), -480.0 / 22));
    EXPECT_EQ(r.labels.lbl_LRb, "-21.82");
    EXPECT_EQ(r.labels.lbl_LRa, "1089");
    // r and the deviations of the earlier five-point fit must not reappear.
    EXPECT_EQ(r.labels.lbl_LRr, "");
    EXPECT_EQ(r.labels.lblDiff, "");
    EXPECT_EQ(r.labels.lblRej, "3");
    EXPECT_EQ(countSegments(r.scene, Canvas::Plot, colours::kBlack), 2);
    EXPECT_EQ(countSegments(r.scene, Canvas::Plot, colours::kMagenta), 0);
    for (Rgb colour : {colours::kBlue, colours::kGreen, colours::kDarkGreen, colours::kTeal, colours::kLightBlue})
        EXPECT_EQ(countSegments(r.scene, Canvas::Plot, colour), 0);
    EXPECT_EQ(r.labels.lbl_LoRa, "");
    EXPECT_TRUE(messages.messages.empty());
}

// y = 1000 + (x − 10)^5 / 1000 sampled at eight positions: a degree-5 fit
// reproduces it everywhere, a degree-3 fit does not.
double quintic(double x) { return 1000 + std::pow(x - 10, 5) / 1000; }

std::unique_ptr<Store> quinticStore()
{
    std::vector<std::pair<int, double>> points;
    for (int x : {2, 5, 7, 10, 12, 15, 17, 20})
        points.emplace_back(x, quintic(x));
    return storeWith(points, 20);
}

TEST(CalculationPolynomialRows, RowsThreeAndFiveLeaveTheDegreeFiveValues)
{
    auto store = quinticStore();
    CollectingMessageSink messages;
    RegressionSettings settings = noCurves();
    settings.chkPoly[3] = true;
    settings.chkPoly[5] = true;
    const CalculationResult r = A_PLOT(*store, settings, messages, NumberLocale{});
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(countSegments(r.scene, Canvas::Plot, colours::kDarkGreen), 18); // X = 2 .. 19
    EXPECT_EQ(countSegments(r.scene, Canvas::Plot, colours::kLightBlue), 18);
    EXPECT_NE(r.labels.lblDiffPoly[3], "");
    EXPECT_NE(r.labels.lblDiffProcPoly[3], "");
    EXPECT_NE(r.labels.lblDiffPoly[5], "");
    EXPECT_EQ(r.labels.lblDiffProcPoly[5], "0.00");
    for (int x = 0; x <= 20; ++x)
        EXPECT_TRUE(nearRel(store->YPoly[static_cast<std::size_t>(x)].value(), quintic(x), 1e-6)) << x;
    // Row 3 is a poorer fit: its coefficients differ from the quintic's.
    EXPECT_TRUE(store->PolyCoef[3][2].isNumber());
    EXPECT_TRUE(store->PolyCoef[2][2].isEmpty());
    EXPECT_GT(store->PolyDev.value(), -1e-9);
    EXPECT_LT(store->PolyDev.value(), 1e-6);
}

TEST(CalculationPolynomialRows, RefusedRowDrawsNoCurveOfAnEarlierFit)
{
    auto store = quinticStore();
    CollectingMessageSink messages;
    RegressionSettings settings = noCurves();
    settings.chkPoly[5] = true;
    A_PLOT(*store, settings, messages, NumberLocale{});
    ASSERT_TRUE(store->PolyCoef[5][2].isNumber());

    for (int x : {2, 5, 7})
        store->Rejected[static_cast<std::size_t>(x)] = 1.0; // five points left for six unknowns
    const CalculationResult r = A_PLOT(*store, settings, messages, NumberLocale{});
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, kTooFewPolyDataMessage);
    EXPECT_EQ(countSegments(r.scene, Canvas::Plot, colours::kLightBlue), 0);
    EXPECT_EQ(r.labels.lblDiffPoly[5], "");
    EXPECT_EQ(r.labels.lblDiffProcPoly[5], "");
    for (std::size_t k = 2; k <= 25; ++k)
        EXPECT_TRUE(store->PolyCoef[5][k].isEmpty()) << k;
}

TEST(CalculationPolynomialRows, FreeDegreeRowTakesTheComboText)
{
    auto store = quinticStore();
    CollectingMessageSink messages;
    RegressionSettings settings = noCurves();
    settings.chkPoly[1] = true;
    settings.ComboBox1 = "6";
    const CalculationResult six = A_PLOT(*store, settings, messages, NumberLocale{});
    EXPECT_TRUE(messages.messages.empty());
    ASSERT_TRUE(six.labels.Label2.has_value());
    EXPECT_EQ(six.labels.Label2->rfind("P0 = ", 0), 0u);
    EXPECT_NE(six.labels.Label2->find("P6 = "), std::string::npos);
    EXPECT_EQ(six.labels.Label2->find("P7 = "), std::string::npos);
    EXPECT_EQ(countSegments(six.scene, Canvas::Plot, colours::kBlue), 18);
    EXPECT_NE(six.labels.lblDiffPoly[1], "");

    // Beyond the working matrix: refused with the polynomial's message.
    settings.ComboBox1 = "24";
    const CalculationResult big = A_PLOT(*store, settings, messages, NumberLocale{});
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(countSegments(big.scene, Canvas::Plot, colours::kBlue), 0);
    EXPECT_EQ(big.labels.lblDiffPoly[1], "");
    EXPECT_EQ(big.labels.Label2, std::string());
    EXPECT_TRUE(store->PolyCoef[1][2].isEmpty());
}

TEST(CalculationPolynomialRows, NonPositivePresentValueIsNoPointOfTheFit)
{
    const std::vector<std::pair<int, double>> points = {{5, 980}, {10, 770}, {15, 700}, {25, 550}, {27, 500}};
    auto plain = storeWith(points, 27);
    auto withZero = storeWith(points, 27);
    withZero->Y[20] = 0.0; // present, counted in nPoints, but not a measurement
    RegressionSettings settings = noCurves();
    settings.chkPoly[2] = true;
    CollectingMessageSink messages;
    const CalculationResult a = A_PLOT(*plain, settings, messages, NumberLocale{});
    const CalculationResult b = A_PLOT(*withZero, settings, messages, NumberLocale{});
    EXPECT_EQ(withZero->nPoints, 6);
    EXPECT_EQ(withZero->nPoly, 5);
    EXPECT_TRUE(nearRel(withZero->PolyDev.value(), plain->PolyDev.value(), 1e-12));
    EXPECT_TRUE(nearRel(withZero->PolyDevPct.value(), kPoly2DevPct, 1e-9));
    EXPECT_EQ(a.labels.lblDiffPoly[2], b.labels.lblDiffPoly[2]);
}

} // namespace
} // namespace kalibron::test

namespace kalibron::test {
namespace {

TEST(CalculationLocale, EveryShownNumberUsesTheGivenSeparators)
{
    auto store = startStore();
    CollectingMessageSink messages;
    const NumberLocale german{",", "."};
    const CalculationResult r = A_PLOT(*store, RegressionSettings{}, messages, german);
    EXPECT_EQ(r.labels.lbl_LRb, "-19,63");
    EXPECT_EQ(r.labels.lbl_LRr, "0,95");
    EXPECT_EQ(r.labels.lblDiffProcPoly[2], "3,18");
    const auto y = labelTexts(r.scene, TickLabel::Axis::Y);
    ASSERT_FALSE(y.empty());
    EXPECT_EQ(y.back(), "1.000");
}

} // namespace
} // namespace kalibron::test

namespace kalibron::test {
namespace {

std::vector<const FilledBox*> shadedRanges(const PlotScene& scene)
{
    std::vector<const FilledBox*> found;
    for (const Primitive& item : scene.items) {
        if (const auto* fill = std::get_if<FilledBox>(&item))
            found.push_back(fill);
    }
    return found;
}

// The X ranges outside the used standards are shaded, from the plot's edge
// to the first and from the last standard to the other edge, over the whole
// height, before anything else so that every line lies on top.
TEST(CalculationExtrapolation, RangesOutsideTheStandardsAreShadedFirst)
{
    auto store = startStore();
    store->MaxX = 30; // room after the last standard (27)
    CollectingMessageSink messages;
    for (const bool xFull : {true, false}) {
        SCOPED_TRACE(xFull ? "full X" : "zoomed X");
        RegressionSettings settings;
        settings.xFull = xFull;
        store->Rejected[5] = 1.0; // rejected: not a standard of the fits
        const CalculationResult r = A_PLOT(*store, settings, messages, NumberLocale{});
        const PlotScale& s = r.scene.scale;
        const auto shaded = shadedRanges(r.scene);
        ASSERT_EQ(shaded.size(), 2u);
        EXPECT_EQ(std::get_if<FilledBox>(&r.scene.items[0]), shaded[0]);
        EXPECT_EQ(std::get_if<FilledBox>(&r.scene.items[1]), shaded[1]);
        EXPECT_EQ(*shaded[0], (FilledBox{Canvas::Plot, s.left, s.top, 10, s.top + s.height, kExtrapolationShade}));
        EXPECT_EQ(*shaded[1],
                  (FilledBox{Canvas::Plot, 27, s.top, s.left + s.width, s.top + s.height, kExtrapolationShade}));
        store->Rejected[5] = 0.0;
    }

    // No used standard: nothing is extrapolated from, nothing shaded.
    for (int x : {5, 10, 15, 25, 27})
        store->Rejected[static_cast<std::size_t>(x)] = 1.0;
    const CalculationResult none = A_PLOT(*store, RegressionSettings{}, messages, NumberLocale{});
    EXPECT_TRUE(shadedRanges(none.scene).empty());
    EXPECT_EQ(countBoxes(none.scene, colours::kRed), 5);
}

} // namespace
} // namespace kalibron::test

namespace kalibron::test {
namespace {

// The command-line tool's export and fit skip the scene: what they read must
// be what the window's full run leaves.
TEST(CalculationStages, FitsWithoutTheSceneEqualTheFullRun)
{
    RegressionSettings settings;
    settings.chkPoly = {false, true, true, true, true, true};
    settings.ComboBox1 = "3";
    settings.chkEX.fill(true);
    const NumberLocale locale;
    const PlotGeometry geometry;
    const CalculationRules rules;
    for (const bool band : {true, false}) {
        settings.chkConf = band;
        auto full = startStore();
        auto fitsOnly = startStore();
        CollectingMessageSink a, b;
        const CalculationResult withScene = A_PLOT(*full, settings, a, locale, geometry, rules);
        const CalculationResult withoutScene = calculateFits(*fitsOnly, settings, b, locale, rules);
        EXPECT_TRUE(withoutScene.scene.items.empty());
        EXPECT_EQ(a.messages.size(), b.messages.size());
        EXPECT_EQ(buildExport(*fitsOnly, withoutScene.fits, settings, NumberLocale{}),
                  buildExport(*full, withScene.fits, settings, NumberLocale{}));
        EXPECT_EQ(withoutScene.labels.lblDiffPoly, withScene.labels.lblDiffPoly);
        EXPECT_EQ(withoutScene.labels.Label2, withScene.labels.Label2);
        EXPECT_EQ(withoutScene.labels.lbl_LoRb, withScene.labels.lbl_LoRb);
        for (auto member : {&Store::LinA, &Store::LogA, &Store::LogDev, &Store::tValue, &Store::ConfS, &Store::ConfSxx,
                            &Store::PolyDev})
            EXPECT_EQ((*fitsOnly).*member, (*full).*member);
        EXPECT_EQ(fitsOnly->PolyCoef, full->PolyCoef);
        EXPECT_EQ(fitsOnly->YPoly, full->YPoly);
        EXPECT_EQ(fitsOnly->tValue.isNumber(), band);
    }
}

} // namespace
} // namespace kalibron::test
