#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "analysis/export_text.h"
#include "analysis/method_ranking.h"
#include "analysis/scene_items.h"
#include "test_support.h"

namespace kalibron::test {
namespace {

std::string joined(const std::vector<std::vector<std::string>>& lines)
{
    std::string text;
    for (const auto& line : lines) {
        for (std::size_t i = 0; i < line.size(); ++i)
            text += (i > 0 ? "\t" : "") + line[i];
        text += '\r';
    }
    return text;
}

// Standards in clusters of consecutive positions, so that the zigzag has a
// scatter to pool, up to MaxX 45.
std::unique_ptr<Store> clusteredStore()
{
    return storeWith({{5, 980}, {6, 975}, {7, 990}, {15, 760}, {16, 772}, {25, 640}, {26, 652}, {27, 633}, {40, 560}},
                     45);
}

RegressionSettings everyBlock()
{
    RegressionSettings settings = noCurves();
    settings.chkEX = {true, true, true, true, false, false, false, true};
    return settings;
}

// "Export uncertainties" adds one column after each block and nothing else:
// without those columns the text is the one of the box unticked, and the
// linear block's u is its C.I. divided by t.
TEST(ExportUncertainties, OneUColumnPerBlockAndOtherwiseTheSameText)
{
    auto store = clusteredStore();
    CollectingMessageSink messages;
    RegressionSettings settings = everyBlock();
    const CalculationResult plain = calculateFits(*store, settings, messages, NumberLocale{});
    EXPECT_TRUE(plain.fits.linear->uncertainty.empty()); // nobody asked for u
    const std::string without = buildExport(*store, plain.fits, settings, NumberLocale{});

    settings.exportUncertainties = true;
    const CalculationResult withU = calculateFits(*store, settings, messages, NumberLocale{});
    auto lines = table(buildExport(*store, withU.fits, settings, NumberLocale{}));
    ASSERT_EQ(lines.size(), 4u + 45u); // title, summary, empty line, header, positions 1..45
    const std::vector<std::string>& header = lines[3];
    std::vector<std::size_t> uColumns;
    for (std::size_t i = 0; i < header.size(); ++i)
        if (header[i] == "u")
            uColumns.push_back(i);
    // Lin (value, C.I., u), Log, Poly2, Poly3, Zigzag.
    ASSERT_EQ(uColumns.size(), 5u);
    EXPECT_EQ(header[uColumns[0] - 2], "Lin.Reg.");
    EXPECT_EQ(header[uColumns[0] - 1], "C.I.");
    EXPECT_EQ(header[uColumns[4] - 1], "Zigzag");

    int linear = 0, zigzag = 0;
    const double t = store->Student.at(3, 9 - 2); // the band of the 9 standards at 95 %
    for (std::size_t row = 4; row < lines.size(); ++row) {
        const auto& line = lines[row];
        const std::size_t ci = uColumns[0] - 1;
        if (!line[ci].empty()) {
            EXPECT_TRUE(nearRel(std::stod(line[uColumns[0]]) * t, std::stod(line[ci]), 1e-13)) << row;
            ++linear;
        }
        if (line.size() > uColumns[4] && !line[uColumns[4]].empty())
            ++zigzag;
    }
    EXPECT_EQ(linear, 45);         // positions 1..45
    EXPECT_EQ(zigzag, 40 - 6 + 1); // from the first cluster mean (6) to the last (40), as its values
    // The title and summary lines have no u; the header and data lines lose theirs.
    for (std::size_t row = 3; row < lines.size(); ++row)
        for (auto i = uColumns.rbegin(); i != uColumns.rend(); ++i)
            if (*i < lines[row].size())
                lines[row].erase(lines[row].begin() + static_cast<std::ptrdiff_t>(*i));
    EXPECT_EQ(joined(lines), without);
}

// Weighted fits: equal errors change nothing; unequal errors give the
// weighted least-squares line of the closed form; a table without errors
// says so once and fits unweighted.
TEST(WeightedFits, WeightsFromTheThirdColumn)
{
    const std::vector<std::pair<int, double>> points{{2, 100}, {5, 109}, {9, 118}, {14, 131}, {20, 149}};
    auto plainStore = storeWith(points, 22);
    CollectingMessageSink messages;
    RegressionSettings settings = noCurves();
    settings.chkPoly[3] = true;
    settings.uncertainties = true;
    const CalculationResult plain = calculateFits(*plainStore, settings, messages, NumberLocale{});
    EXPECT_TRUE(messages.messages.empty());

    settings.weightByYErrors = true;
    auto noErrors = storeWith(points, 22);
    const CalculationResult refused = calculateFits(*noErrors, settings, messages, NumberLocale{});
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, kWeightsUnusableMessage);
    EXPECT_FALSE(refused.fits.weighted);
    EXPECT_EQ(refused.fits.linear->a, plain.fits.linear->a);
    EXPECT_EQ(refused.fits.linear->uncertainty.u, plain.fits.linear->uncertainty.u);

    auto equal = storeWith(points, 22);
    equal->nCols = 3;
    for (const auto& [x, y] : points)
        equal->Yerr[static_cast<std::size_t>(x)] = ValueCell(0.01);
    const CalculationResult same = calculateFits(*equal, settings, messages, NumberLocale{});
    EXPECT_TRUE(same.fits.weighted);
    EXPECT_TRUE(nearRel(*same.fits.linear->a, *plain.fits.linear->a, 1e-12));
    EXPECT_TRUE(nearRel(*same.fits.linear->b, *plain.fits.linear->b, 1e-12));
    for (std::size_t x = 0; x <= 22; ++x)
        EXPECT_TRUE(nearRel(same.fits.poly[3]->values[x], plain.fits.poly[3]->values[x], 1e-12)) << x;
    ASSERT_TRUE(same.fits.poly[3]->uncertainty.mswd);

    auto unequal = storeWith(points, 22);
    unequal->nCols = 3;
    const std::vector<double> sigma{1, 0.5, 2, 1, 0.25};
    long double sw = 0, swx = 0, swy = 0, swxx = 0, swxy = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        unequal->Yerr[static_cast<std::size_t>(points[i].first)] = ValueCell(sigma[i]);
        const long double w = 1 / (sigma[i] * sigma[i]), x = points[i].first, y = points[i].second;
        sw += w;
        swx += w * x;
        swy += w * y;
        swxx += w * x * x;
        swxy += w * x * y;
    }
    const auto b = static_cast<double>((sw * swxy - swx * swy) / (sw * swxx - swx * swx));
    const auto a = static_cast<double>((swy - b * swx) / sw);
    const CalculationResult weighted = calculateFits(*unequal, settings, messages, NumberLocale{});
    EXPECT_TRUE(nearRel(*weighted.fits.linear->b, b, 1e-12));
    EXPECT_TRUE(nearRel(*weighted.fits.linear->a, a, 1e-12));
    EXPECT_TRUE(nearRel(unequal->LinB.value(), b, 1e-12)); // the store's readers see the weighted line
    EXPECT_EQ(messages.messages.size(), 1u);
}

// Another method's band replaces the line's: value ± t·u in that method's
// colour, t with the method's own degrees of freedom; the line keeps only
// its own segment.
TEST(UncertaintyBand, ChosenMethodsBandInItsColour)
{
    auto store = clusteredStore();
    CollectingMessageSink messages;
    RegressionSettings settings = noCurves();
    settings.chkConf = true;
    settings.chkPoly[2] = true;
    settings.bandMethod = "poly2";
    const CalculationResult r = A_PLOT(*store, settings, messages, NumberLocale{});
    const auto& row = *r.fits.poly[2];
    ASSERT_FALSE(row.uncertainty.empty());
    EXPECT_EQ(row.uncertainty.dof, 9 - 3);
    const int first = store->FirstX, last = store->lastPosition();
    const auto green = segments(r.scene, Canvas::Plot, colours::kGreen);
    ASSERT_EQ(static_cast<int>(green.size()), 3 * (last - first));       // the curve and two edges a step
    EXPECT_EQ(countSegments(r.scene, Canvas::Plot, colours::kBlack), 2); // the Y axis and the line
    const double t = store->Student.at(3, 6);
    int upper = 0;
    for (const Segment* s : green) {
        const auto x = static_cast<std::size_t>(s->x1);
        if (s->y1 > row.values[x]) {
            EXPECT_TRUE(nearRel(s->y1, row.values[x] + t * row.uncertainty.u[x], 1e-14)) << x;
            EXPECT_TRUE(nearRel(s->y2, row.values[x + 1] + t * row.uncertainty.u[x + 1], 1e-14)) << x;
            ++upper;
        }
    }
    EXPECT_EQ(upper, last - first);
    // Without u asked for elsewhere, the line's band alone costs no u.
    settings.bandMethod = "lin";
    const CalculationResult line = A_PLOT(*store, settings, messages, NumberLocale{});
    EXPECT_TRUE(line.fits.poly[2]->uncertainty.empty());
    EXPECT_EQ(countSegments(line.scene, Canvas::Plot, colours::kBlack), 2 + 2 * (last - first));
}

// The "Compare methods" figures by a second route: the ranking refits each
// method on its own (the polynomials by a plain Householder QR), the
// calculation by its own fits; the mean u over the samples must agree.
TEST(UncertaintyBand, RankingSummariesAgreeWithTheCalculation)
{
    auto store = clusteredStore();
    CollectingMessageSink messages;
    RegressionSettings settings = noCurves();
    settings.chkPoly[2] = settings.chkPoly[3] = settings.chkLog = settings.chkZigZag = true;
    settings.uncertainties = true;
    const CalculationResult r = calculateFits(*store, settings, messages, NumberLocale{});
    MethodRanking ranking = rankMethods(*store, 6);
    addUncertaintySummaries(ranking, *store, false);
    auto mean = [&](const FitUncertainty& u) {
        double sum = 0;
        int n = 0;
        for (std::size_t x = 0; x < u.u.size(); ++x)
            if (!store->isUsed(static_cast<int>(x)) && std::isfinite(u.u[x])) {
                sum += u.u[x];
                ++n;
            }
        return sum / n;
    };
    const std::pair<const char*, const FitUncertainty*> methods[] = {{"lin", &r.fits.linear->uncertainty},
                                                                     {"log", &r.fits.logarithmic->uncertainty},
                                                                     {"poly2", &r.fits.poly[2]->uncertainty},
                                                                     {"poly3", &r.fits.poly[3]->uncertainty},
                                                                     {"zigzag", &*r.fits.zigzagUncertainty}};
    for (const auto& [key, u] : methods) {
        const std::string wanted = key; // Clang 14 cannot capture a structured binding
        const auto method = std::find_if(ranking.methods.begin(), ranking.methods.end(),
                                         [&](const MethodScore& m) { return m.key == wanted; });
        ASSERT_NE(method, ranking.methods.end()) << key;
        ASSERT_TRUE(method->meanU && method->spread) << key;
        EXPECT_TRUE(nearRel(*method->meanU, mean(*u), 1e-10)) << key;
        EXPECT_TRUE(nearRel(*method->spread, *u->s, 1e-10)) << key;
        EXPECT_FALSE(method->weighted);
    }
}

// The bands skip a step they cannot draw and leave the runs to end at the
// next one: each edge's run before a gap is given, upper then lower, before
// either run after it, and a run of a single point gives nothing.
TEST(UncertaintyBand, EdgesEndTheirRunsAtAGapUpperFirst)
{
    PrimitiveList items;
    UnitStepRun upper(Canvas::Plot, colours::kBlue, 9), lower(Canvas::Plot, colours::kBlue, 9);
    const std::vector<double> y = {5, 6, 7, NAN, NAN, 8, 9, 10, NAN, 11};
    for (int x = 0; x + 1 < static_cast<int>(y.size()); ++x) {
        const auto i = static_cast<std::size_t>(x);
        if (!std::isfinite(y[i]) || !std::isfinite(y[i + 1]))
            continue;
        upper.step(items, x, y[i] + 1, y[i + 1] + 1);
        lower.step(items, x, y[i] - 1, y[i + 1] - 1);
    }
    upper.flush(items);
    lower.flush(items);
    const PrimitiveList expected = {
        Polyline{Canvas::Plot, 0, {6, 7, 8}, colours::kBlue}, Polyline{Canvas::Plot, 0, {4, 5, 6}, colours::kBlue},
        Polyline{Canvas::Plot, 5, {9, 10, 11}, colours::kBlue}, Polyline{Canvas::Plot, 5, {7, 8, 9}, colours::kBlue}};
    EXPECT_EQ(items, expected);
}

} // namespace
} // namespace kalibron::test
