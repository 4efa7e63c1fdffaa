#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include <gtest/gtest.h>

#include "programs/program_settings.h"
#include "test_support.h"
#include "analysis/export_text.h"

namespace kalibron::test {
namespace {

std::vector<std::string> splitCr(const std::string& text)
{
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
        if (c == '\r') {
            lines.push_back(line);
            line.clear();
        } else {
            line.push_back(c);
        }
    }
    EXPECT_TRUE(line.empty()) << "text must end with CR";
    return lines;
}

std::vector<std::string> cells(const std::string& line)
{
    std::vector<std::string> out(1);
    for (char c : line) {
        if (c == '\t')
            out.emplace_back();
        else
            out.back().push_back(c);
    }
    return out;
}

std::string exportAfterCalculation(Store& store, const RegressionSettings& settings)
{
    CollectingMessageSink messages;
    const CalculationResult r = A_PLOT(store, settings, messages, NumberLocale{});
    return buildExport(store, r.fits, settings, NumberLocale{});
}

// The start state's text of each program is compared whole with a reference
// checked by hand. Regenerate them (after checking the new texts) with
//   KALIBRON_UPDATE_REFERENCE=1 ./test_regwin_calc --gtest_filter='ExportText.StartState*'
TEST(ExportText, StartStateMatchesTheReference)
{
    const std::pair<ProgramProfile, const char*> programs[] = {{kalibron01Profile(), "export_start.txt"},
                                                               {kalibronHeVeviRavo1Profile(), "export_start_he.txt"}};
    for (const auto& [profile, file] : programs) {
        auto store = startStore();
        CollectingMessageSink messages;
        const RegressionWindowOptions& window = profile.regressionWindow;
        const CalculationResult r =
            A_PLOT(*store, RegressionSettings{}, messages, NumberLocale{}, window.geometry, window.calculation);
        const std::string text = buildExport(*store, r.fits, RegressionSettings{}, NumberLocale{}, window.exportFormat);
        const std::string path = std::string(KALIBRON_TEST_DATA_DIR) + "/" + file;
        if (std::getenv("KALIBRON_UPDATE_REFERENCE") != nullptr) {
            std::ofstream(path, std::ios::binary) << text;
        }
        std::ifstream in(path, std::ios::binary);
        ASSERT_TRUE(in.good()) << path;
        const std::string reference((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(text, reference) << file;
    }
}

// The second program's reference differs from the first's only in the
// summary item texts and the missing "C.I." column of the linear block.
TEST(ExportText, SecondProgramsReferenceDiffersOnlyAsItShould)
{
    auto read = [](const char* file) {
        std::ifstream in(std::string(KALIBRON_TEST_DATA_DIR) + "/" + file, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    const auto first = splitCr(read("export_start.txt"));
    const auto second = splitCr(read("export_start_he.txt"));
    ASSERT_EQ(first.size(), second.size());
    std::string summary = first[1];
    for (std::size_t at; (at = summary.find(" aver.diff. /diff.%")) != std::string::npos;)
        summary.replace(at, 19, " aver.err. / err.%");
    EXPECT_EQ(second[1], summary);
    for (std::size_t line = 0; line < first.size(); ++line) {
        if (line == 1)
            continue;
        auto expected = cells(first[line]);
        if (line >= 3) // header and data lines: the linear block's fourth cell goes
            expected.erase(expected.begin() + 3);
        EXPECT_EQ(cells(second[line]), expected) << "line " << line;
    }
}

TEST(ExportText, NoBoxCheckedGivesOnlyEmptyLines)
{
    auto store = startStore();
    RegressionSettings settings;
    settings.chkEX = {};
    const std::string text = exportAfterCalculation(*store, settings);
    EXPECT_EQ(text, "* * *  KALIBRON  -  Export of interpolated data\r" + std::string(27 + 3, '\r'));
}

TEST(ExportText, ZigzagOnlyInsideTheClusters)
{
    auto store = startStore();
    RegressionSettings settings;
    settings.chkEX = {false, false, false, false, false, false, false, true};
    const auto lines = splitCr(exportAfterCalculation(*store, settings));
    EXPECT_EQ(lines[1], "Zigzag");
    EXPECT_EQ(lines[3], "No.\tData\tZigzag");
    for (int i = 1; i <= 4; ++i)
        EXPECT_EQ(lines[static_cast<std::size_t>(3 + i)], "") << i;
    EXPECT_EQ(lines[3 + 5], "5\t980\t980\t\t");
    // Between (5, 980) and (10, 770).
    EXPECT_EQ(lines[3 + 7], "7\t\t896\t\t");
    EXPECT_EQ(lines[3 + 27], "27\t500\t500\t\t");

    // The export box alone runs the zigzag: the same block without its curve.
    const auto shown = splitCr(exportAfterCalculation(*store, settings));
    settings.chkZigZag = false;
    EXPECT_EQ(splitCr(exportAfterCalculation(*store, settings)), shown);
}

// An Export box asks for the fit of the current data whether or not its Show
// box is ticked; the Show boxes decide only the labels and the curves. (A
// block ticked for export alone used to come out empty.)
TEST(ExportText, ExportBoxFitsItsMethodWhetherShownOrNot)
{
    std::vector<std::pair<int, double>> points;
    for (int x : {2, 3, 5, 7, 8, 10, 12, 15, 16, 20})
        points.emplace_back(x, 900 + 4.0 * x - 0.15 * x * x + (x % 3));
    RegressionSettings shown;
    shown.chkPoly = {false, true, true, true, true, true};
    shown.ComboBox1 = "7";
    shown.chkEX.fill(true);
    RegressionSettings hidden = noCurves();
    hidden.ComboBox1 = "7";
    hidden.chkEX.fill(true);

    auto store = storeWith(points, 22);
    CollectingMessageSink messages;
    const CalculationResult a = A_PLOT(*store, shown, messages, NumberLocale{});
    const std::string withCurves = buildExport(*store, a.fits, shown, NumberLocale{});
    auto fresh = storeWith(points, 22);
    const CalculationResult b = A_PLOT(*fresh, hidden, messages, NumberLocale{});
    const std::string withoutCurves = buildExport(*fresh, b.fits, hidden, NumberLocale{});
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(withoutCurves, withCurves);

    // Every block is filled: summary figures and a value at every position.
    const auto lines = splitCr(withoutCurves);
    const auto summary = cells(lines[1]);
    for (std::size_t item = 0; item < 7; ++item) {
        EXPECT_NE(summary[4 * item + 1], "") << summary[4 * item];
        EXPECT_NE(summary[4 * item + 2], "") << summary[4 * item];
    }
    EXPECT_EQ(summary[4 * 6], "Poly7.R. aver.diff. /diff.%");
    const auto atTwelve = cells(lines[3 + 12]);
    for (std::size_t column : {2u, 3u, 7u, 11u, 15u, 19u, 23u, 27u, 31u})
        EXPECT_NE(atTwelve[column], "") << column;

    // Nothing of it shows: labels empty, no curve but the line.
    EXPECT_EQ(b.labels.lbl_LoRa, "");
    EXPECT_EQ(b.labels.lblDiffProcLog, "");
    EXPECT_FALSE(b.labels.Label2.has_value());
    for (std::size_t row = 1; row <= 5; ++row)
        EXPECT_EQ(b.labels.lblDiffPoly[row], "") << row;
    for (Rgb colour : {colours::kOrange, colours::kMagenta, colours::kBlue, colours::kGreen, colours::kDarkGreen,
                       colours::kTeal, colours::kLightBlue})
        EXPECT_EQ(countSegments(b.scene, Canvas::Plot, colour), 0);
    EXPECT_EQ(countSegments(b.scene, Canvas::Plot, colours::kBlack), 2); // Y axis and the line
}

// The tool writes a long export in pieces; joined they are the whole text,
// and no piece ends inside a line.
TEST(ExportText, StreamedPiecesJoinToTheWholeText)
{
    std::vector<std::pair<int, double>> points;
    for (int x = 5; x <= 30000; x += 5)
        points.emplace_back(x, 1000 - 0.01 * x + 5 * std::sin(x / 300.0));
    RegressionSettings settings;
    settings.chkEX.fill(true);
    auto store = storeWith(points, 30000);
    CollectingMessageSink messages;
    const CalculationResult r = A_PLOT(*store, settings, messages, NumberLocale{});
    const std::string whole = buildExport(*store, r.fits, settings, NumberLocale{});

    // Every line comes once, in order.
    const auto lines = splitCr(whole);
    const auto first =
        std::find_if(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("1\t", 0) == 0; });
    ASSERT_EQ(lines.end() - first, 30000);
    for (int i = 1; i <= 30000; ++i)
        ASSERT_EQ(first[i - 1].rfind(std::to_string(i) + "\t", 0), 0u) << i;

    std::string joined;
    int pieces = 0;
    const auto keep = [&](std::string_view piece) {
        EXPECT_EQ(piece.back(), '\r');
        joined += piece;
        return ++pieces < 1000;
    };
    EXPECT_TRUE(streamExport(*store, r.fits, settings, NumberLocale{}, {}, keep));
    EXPECT_GT(pieces, 4);
    EXPECT_EQ(joined, whole);

    // A writer that gives up stops the export at once.
    pieces = 0;
    EXPECT_FALSE(
        streamExport(*store, r.fits, settings, NumberLocale{}, {}, [&](std::string_view) { return ++pieces < 2; }));
    EXPECT_EQ(pieces, 2);
}

TEST(ExportText, FreeDegreeNamesAndValues)
{
    auto store = startStore();
    RegressionSettings settings;
    settings.chkEX = {false, false, false, false, false, false, true, false};
    settings.chkPoly[1] = true;
    settings.ComboBox1 = "4";
    CollectingMessageSink messages;
    const CalculationResult r = A_PLOT(*store, settings, messages, NumberLocale{});
    const auto lines = splitCr(buildExport(*store, r.fits, settings, NumberLocale{}));
    EXPECT_EQ(lines[1],
              "Poly4.R. aver.diff. /diff.%\t" + r.labels.lblDiffPoly[1] + "\t" + r.labels.lblDiffProcPoly[1] + "\t\t");
    EXPECT_EQ(lines[3], "No.\tData\tPoly4.Reg.\t\t");
    // The degree-4 polynomial passes through all five points.
    EXPECT_TRUE(nearRel(std::stod(cells(lines[3 + 27])[2]), 500, 1e-8));
    EXPECT_TRUE(nearRel(std::stod(cells(lines[3 + 1])[2]), 1375.051550802139, 1e-8));

    // "6" cannot be fitted through five points: names stay, cells are empty.
    settings.ComboBox1 = "6";
    const CalculationResult six = A_PLOT(*store, settings, messages, NumberLocale{});
    const auto empty = splitCr(buildExport(*store, six.fits, settings, NumberLocale{}));
    EXPECT_EQ(empty[1], "Poly6.R. aver.diff. /diff.%\t\t\t\t");
    EXPECT_EQ(empty[3], "No.\tData\tPoly6.Reg.\t\t");
    EXPECT_EQ(empty[3 + 2], "2\t\t\t\t");

    // Degrees whose coefficients are not kept give empty cells.
    settings.ComboBox1 = "25";
    EXPECT_EQ(splitCr(buildExport(*store, six.fits, settings, NumberLocale{}))[3 + 2], "2\t\t\t\t");
}

TEST(ExportText, ColumnsStayAlignedWhenFitsHaveNoResult)
{
    auto store = startStore();
    for (int x : {10, 15, 25})
        store->Rejected[static_cast<std::size_t>(x)] = 1.0; // two points: no band, no log, no polynomials
    RegressionSettings settings;
    settings.chkEX = {true, true, true, true, true, true, true, false};
    const auto lines = splitCr(exportAfterCalculation(*store, settings));
    const auto tabs = [](const std::string& s) { return std::count(s.begin(), s.end(), '\t'); };
    for (std::size_t i = 4; i < lines.size(); ++i)
        EXPECT_EQ(tabs(lines[i]), tabs(lines[3])) << i;
    const auto p1 = cells(lines[4]);
    EXPECT_NE(p1[2], "");  // the line through two points
    EXPECT_EQ(p1[3], "");  // no half-width with two points
    EXPECT_EQ(p1[7], "");  // no logarithmic fit
    EXPECT_EQ(p1[11], ""); // no polynomial
    // The rejected point's data value is still written.
    EXPECT_EQ(cells(lines[3 + 10])[1], "770");
}

TEST(ExportText, ConfidenceCellsDoNotDependOnTheShownBand)
{
    auto store = startStore();
    RegressionSettings settings;
    const std::string withBand = exportAfterCalculation(*store, settings);
    settings.chkConf = false;
    const std::string withoutBand = exportAfterCalculation(*store, settings);
    EXPECT_EQ(withBand, withoutBand);
}

TEST(ExportText, DataCellsKeepTheirTextForm)
{
    auto store = startStore();
    store->Y[10] = ValueCell::fromText("770.50");
    store->Y[12] = ValueCell::fromText("bad\tcell");
    const auto lines = splitCr(exportAfterCalculation(*store, RegressionSettings{}));
    EXPECT_EQ(cells(lines[3 + 10])[1], "770.50");
    EXPECT_EQ(cells(lines[3 + 12])[1], "bad cell"); // a TAB would shift every column after it
}

} // namespace
} // namespace kalibron::test

namespace kalibron::test {
namespace {

TEST(ExportText, ComputedCellsUseTheGivenDecimalSeparator)
{
    auto store = startStore();
    const NumberLocale german{",", "."};
    CollectingMessageSink messages;
    const CalculationResult r = A_PLOT(*store, RegressionSettings{}, messages, german);
    const std::string text = buildExport(*store, r.fits, RegressionSettings{}, german);
    EXPECT_NE(text.find("L.R. aver.diff. /diff.%\t33,2360801781737\t"), std::string::npos);
    EXPECT_NE(text.find("\r1\t\t1002,25501113586\t"), std::string::npos);
}

} // namespace
} // namespace kalibron::test
