// What the two programs' regression windows calculate, draw and export
// differently: one table, each row run for both programs with the value each
// one expects. Rows with equal values guard what must not differ.
#include <algorithm>
#include <cmath>
#include <functional>
#include <sstream>
#include <variant>

#include <gtest/gtest.h>

#include "programs/program_settings.h"
#include "test_support.h"
#include "analysis/export_text.h"

namespace kalibron::test {
namespace {

using Axis = TickLabel::Axis;

struct Calculated {
    CalculationResult result;
    CollectingMessageSink messages;
};

Calculated calculate(const ProgramProfile& profile, Store& store, const RegressionSettings& settings)
{
    Calculated run;
    const RegressionWindowOptions& window = profile.regressionWindow;
    run.result = A_PLOT(store, settings, run.messages, NumberLocale{}, window.geometry, window.calculation);
    return run;
}

// A store of the program's size holding the given points, the 95 % level
// chosen and a t table loaded.
std::unique_ptr<Store> programStore(const ProgramProfile& profile, const std::vector<std::pair<int, double>>& points,
                                    double maxX)
{
    auto store = std::make_unique<Store>(profile.store);
    for (const auto& [x, y] : points) {
        store->Y[static_cast<std::size_t>(x)] = y;
        store->nPointsAll += y > 0 ? 1 : 0;
    }
    store->MaxX = maxX;
    store->nCols = 2;
    store->Student = smallStudentTable();
    store->ProbIndex = 3;
    return store;
}

std::unique_ptr<Store> exampleStore(const ProgramProfile& profile)
{
    return programStore(profile, {{5, 980}, {10, 770}, {15, 700}, {25, 550}, {27, 500}}, 27);
}

std::string joined(const std::vector<std::string>& texts)
{
    std::string out;
    for (const std::string& t : texts)
        out += (out.empty() ? "" : " ") + t;
    return out;
}

// Tick labels and ticks of one axis as "labels | majors minors".
std::string axisOf(const ProgramProfile& profile, Store& store, Axis axis, bool yFull = true)
{
    RegressionSettings settings = noCurves();
    settings.yFull = yFull;
    const Calculated run = calculate(profile, store, settings);
    const PlotScene& scene = run.result.scene;
    std::ostringstream out;
    out << joined(labelTexts(scene, axis)) << " | ";
    if (axis == Axis::Y)
        out << countYTicks(scene, 90) << ' ' << countYTicks(scene, 50);
    else
        out << countXTicks(scene, 90) << ' ' << countXTicks(scene, 50);
    return out.str();
}

std::string xAxisAt(const ProgramProfile& profile, int maxX)
{
    auto store = programStore(profile, {{5, 100}, {maxX, 90}}, maxX);
    return axisOf(profile, *store, Axis::X);
}

// The band's segments: "count first-x..last-x", and whether s, x̄, Sxx stay.
std::string bandOf(const ProgramProfile& profile, Store& store)
{
    RegressionSettings settings = noCurves();
    settings.chkConf = true;
    const Calculated run = calculate(profile, store, settings);
    const auto black = segments(run.result.scene, Canvas::Plot, colours::kBlack);
    int count = 0;
    double first = 1e9, last = -1e9;
    for (const Segment* s : black) {
        if (s->x2 - s->x1 != 1)
            continue; // the axis and the regression line
        ++count;
        first = std::min(first, s->x1);
        last = std::max(last, s->x2);
    }
    std::ostringstream out;
    out << count;
    if (count > 0)
        out << ' ' << first << ".." << last;
    out << (store.ConfS.present() || store.ConfSxx.present() || store.ConfXMean.present() ? " kept" : " not kept");
    return out.str();
}

std::vector<std::string> exportLines(const ProgramProfile& profile, const RegressionSettings& settings)
{
    auto store = exampleStore(profile);
    const Calculated run = calculate(profile, *store, settings);
    std::vector<std::string> lines(1);
    for (char c :
         buildExport(*store, run.result.fits, settings, NumberLocale{}, profile.regressionWindow.exportFormat)) {
        if (c == '\r')
            lines.emplace_back();
        else
            lines.back() += c;
    }
    return lines;
}

struct Difference {
    const char* what;
    std::function<std::string(const ProgramProfile&)> observe;
    std::string kalibron01, heVeviRavo1;
};

const std::vector<Difference>& differences()
{
    static const std::vector<Difference> table = {
        {"no probability level chosen yet",
         [](const ProgramProfile& p) {
             auto store = exampleStore(p);
             store->ProbIndex.reset();
             RegressionSettings settings;
             const Calculated run = calculate(p, *store, settings);
             return std::string(run.result.ran ? "ran" : "untouched") + ", band segments " +
                 std::to_string(countSegments(run.result.scene, Canvas::Plot, colours::kBlack));
         },
         // the Y axis and the linear line; no band without a level
         "untouched, band segments 0", "ran, band segments 2"},
        {"Y axis Full up to 1000",
         [](const ProgramProfile& p) {
             auto store = programStore(p, {{2, 400}, {5, 1000}, {9, 600}}, 10);
             return axisOf(p, *store, Axis::Y);
         },
         // the tick at 0 has a label that shows nothing, which takes no control
         "100 200 300 400 500 600 700 800 900 1,000 1,100 | 11 111",
         "100 200 300 400 500 600 700 800 900 1,000 1,100 | 12 111"},
        {"Y axis Full up to 1e9",
         [](const ProgramProfile& p) {
             auto store = programStore(p, {{2, 4e8}, {5, 1e9}}, 10);
             return axisOf(p, *store, Axis::Y);
         },
         "1.0E08 2.0E08 3.0E08 4.0E08 5.0E08 6.0E08 7.0E08 8.0E08 9.0E08 1.0E09 1.1E09 | 11 111",
         // twelve labelled ticks for eleven controls: the topmost goes without
         "0.0E00 1.0E08 2.0E08 3.0E08 4.0E08 5.0E08 6.0E08 7.0E08 8.0E08 9.0E08 1.0E09 | 12 111"},
        {"Y axis Full up to 0.5",
         [](const ProgramProfile& p) {
             auto store = programStore(p, {{2, 0.4}, {5, 0.5}}, 10);
             return axisOf(p, *store, Axis::Y);
         },
         "0.1 0.2 0.3 0.4 0.5 | 5 56", "0.0 0.1 0.2 0.3 0.4 0.5 | 6 56"},
        {"Y axis Zoom with the bottom edge on a major step",
         [](const ProgramProfile& p) {
             auto store = programStore(p, {{2, 1100}, {5, 2100}}, 10);
             return axisOf(p, *store, Axis::Y, false);
         },
         "2,000 | 1 13", "1,000 2,000 | 2 13"},
        {"Y axis Zoom on the start example",
         [](const ProgramProfile& p) { return axisOf(p, *exampleStore(p), Axis::Y, false); },
         "500 600 700 800 900 1,000 | 6 57", "500 600 700 800 900 1,000 | 6 57"},
        {"X axis MaxX 27", [](const ProgramProfile& p) { return xAxisAt(p, 27); }, "0 10 20 | 3 28", "0 10 20 | 3 28"},
        {"X axis MaxX 1999", [](const ProgramProfile& p) { return xAxisAt(p, 1999); },
         "0 100 200 300 400 500 600 700 800 900 1000 1100 1200 1300 1400 1500 1600 1700 1800 1900 | 20 200",
         "0 100 200 300 400 500 600 700 800 900 1000 | 20 200"},
        {"X axis MaxX 2000", [](const ProgramProfile& p) { return xAxisAt(p, 2000); },
         "0 100 200 300 400 500 600 700 800 900 1000 1100 1200 1300 1400 1500 1600 1700 1800 1900 2000 | 21 201",
         " | 0 0"},
        {"X axis MaxX 2001", [](const ProgramProfile& p) { return xAxisAt(p, 2001); }, "0 1000 2000 | 3 21",
         "0 1000 2000 | 3 21"},
        {"X axis MaxX 20000", [](const ProgramProfile& p) { return xAxisAt(p, 20000); },
         // Five-digit labels a thousand apart would touch: every second one is left out.
         "0 2000 4000 6000 8000 10000 12000 14000 16000 18000 20000 | 21 201", "0 2000 4000 6000 8000 10000 | 21 201"},
        {"band of the start example", [](const ProgramProfile& p) { return bandOf(p, *exampleStore(p)); },
         "44 5..27 kept", "44 5..27 not kept"},
        {"band with two usable points of three",
         [](const ProgramProfile& p) {
             auto store = programStore(p, {{5, 980}, {10, 770}, {15, 0}}, 15);
             return bandOf(p, *store);
         },
         "0 not kept", "0 not kept"},
        {"polynomial with too few points",
         [](const ProgramProfile& p) {
             auto store = exampleStore(p);
             RegressionSettings settings = noCurves();
             settings.chkPoly[5] = true;
             const Calculated run = calculate(p, *store, settings);
             return run.messages.messages.empty() ? std::string() : run.messages.messages.front().text;
         },
         kTooFewPolyDataMessage, "Too few data for polynomial regression."},
        {"export summary items",
         [](const ProgramProfile& p) {
             RegressionSettings settings;
             settings.chkEX = {true, true, true, true, true, true, true, true};
             std::string items;
             std::string cell;
             for (char c : exportLines(p, settings)[1] + '\t') {
                 if (c != '\t') {
                     cell += c;
                     continue;
                 }
                 if (cell.find("R.") != std::string::npos || cell == "Zigzag")
                     items += (items.empty() ? "" : "|") + cell;
                 cell.clear();
             }
             return items;
         },
         "L.R. aver.diff. /diff.%|Log.R. aver.diff. /diff.%|Poly2.R. aver.diff. /diff.%|Poly3.R. aver.diff. "
         "/diff.%|Poly4.R. aver.diff. /diff.%|Poly5.R. aver.diff. /diff.%|Poly6.R. aver.diff. /diff.%|Zigzag",
         "L.R. aver.err. / err.%|Log.R. aver.err. / err.%|Poly2.R. aver.err. / err.%|Poly3.R. aver.err. / "
         "err.%|Poly4.R. aver.err. / err.%|Poly5.R. aver.err. / err.%|Poly6.R. aver.err. / err.%|Zigzag"},
        {"export linear header and row",
         [](const ProgramProfile& p) {
             RegressionSettings settings;
             settings.chkEX = {true, false, false, false, false, false, false, false};
             const auto lines = exportLines(p, settings);
             std::string row = lines[4]; // position 1: "1", no data, the line, [C.I.]
             return lines[3] + "#" + std::to_string(std::count(row.begin(), row.end(), '\t'));
         },
         "No.\tData\tLin.Reg.\tC.I.\t\t#5", "No.\tData\tLin.Reg.\t\t#4"},
    };
    return table;
}

TEST(ProgramDifferences, EachProgramGetsItsOwnValue)
{
    const std::pair<const char*, ProgramProfile> programs[] = {
        {"Kalibron-01", kalibron01Profile()}, {"Kalibron-He-VeviRavo-1", kalibronHeVeviRavo1Profile()}};
    for (const Difference& d : differences()) {
        EXPECT_EQ(d.observe(programs[0].second), d.kalibron01) << programs[0].first << ": " << d.what;
        EXPECT_EQ(d.observe(programs[1].second), d.heVeviRavo1) << programs[1].first << ": " << d.what;
    }
}

// Without the early exit the second program recalculates before any level
// is chosen: everything but the band, and the band's rows stay empty.
TEST(ProgramDifferences, SecondProgramCalculatesWithoutALevel)
{
    const ProgramProfile he = kalibronHeVeviRavo1Profile();
    auto store = exampleStore(he);
    store->ProbIndex.reset();
    const Calculated run = calculate(he, *store, RegressionSettings{});
    EXPECT_EQ(run.result.labels.lbl_LRb, "-19.63");
    EXPECT_EQ(run.result.labels.lblDiffPoly[2], "21.36");
    EXPECT_FALSE(store->tValue.present());
    EXPECT_TRUE(run.messages.messages.empty());
}

// The belt draws exactly the band the half-width formula gives.
TEST(ProgramDifferences, BeltSegmentsFollowTheHalfWidth)
{
    const ProgramProfile he = kalibronHeVeviRavo1Profile();
    auto store = exampleStore(he);
    RegressionSettings settings = noCurves();
    settings.chkConf = true;
    calculate(he, *store, settings); // linear fit for the belt
    PrimitiveList drawn;
    ASSERT_TRUE(Confidence_Belt(*store, drawn));
    ASSERT_EQ(drawn.size(), 2u); // the upper edge, then the lower, each one run
    const PrimitiveList items = expandPolylines(drawn);
    ASSERT_EQ(items.size(), 2u * (27 - 5));
    // h(x) = t·s·√(1/n + (x − x̄)²/Sxx) with x̄ = 16.4, Sxx = 359.2, n = 5,
    // t = t(0.975; 3) and s from the residuals of the fitted line.
    const double a = store->LinA.value(), b = store->LinB.value();
    double ssr = 0;
    for (const auto& [x, y] : {std::pair{5, 980.0}, {10, 770.0}, {15, 700.0}, {25, 550.0}, {27, 500.0}})
        ssr += (y - a - b * x) * (y - a - b * x);
    const double t = 3.182446305, s = std::sqrt(ssr / 3);
    EXPECT_TRUE(nearRel(s, 49.7662, 1e-5));
    auto h = [&](double x) { return t * s * std::sqrt(1.0 / 5 + (x - 16.4) * (x - 16.4) / 359.2); };
    for (int k = 0; k < 27 - 5; ++k) {
        const auto& upper = std::get<Segment>(items[static_cast<std::size_t>(k)]);
        const auto& lower = std::get<Segment>(items[static_cast<std::size_t>(k + 27 - 5)]);
        const double x = 5 + k;
        EXPECT_EQ(upper.x1, x);
        EXPECT_EQ(lower.x2, x + 1);
        EXPECT_TRUE(nearRel(upper.y1, a + x * b + h(x), 1e-8));
        EXPECT_TRUE(nearRel(lower.y2, a + (x + 1) * b - h(x + 1), 1e-8));
    }
    EXPECT_TRUE(nearRel(store->ConfHalf2.value(), h(27), 1e-8));
}

} // namespace
} // namespace kalibron::test
