// Degenerate tables through the whole calculation: every label, every export
// cell, every number left in the store and every coordinate of the plot
// scene must be finite (or empty), whatever the data and the settings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <functional>
#include <iterator>
#include <string>
#include <type_traits>
#include <vector>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "analysis/calculation.h"
#include "analysis/export_text.h"
#include "core/messages.h"
#include "core/store.h"
#include "core/table_import.h"
#include "programs/cli.h"
#include "tests/fuzz/finite_text.h"

namespace {

using namespace kalibron;
using namespace kalibron::testing_support;

TEST(SoundNumbersHelper, RecognisesEveryNonFiniteSpelling)
{
    for (const char* text : {"inf", "-inf", "a\tNaN\tb", "1.#INF", "-nan(ind)", "x=Infinity", "1.#IND"})
        EXPECT_TRUE(showsNonFinite(text)) << text;
    for (const char* text : {"", "0", "Interpolated", "info", "1.5E+15", "-2E-06", "nano", "LinA"})
        EXPECT_FALSE(showsNonFinite(text)) << text;
}

struct Degenerate {
    std::string name;
    std::function<void(Store&)> fill;
};

void importOrFail(Store& store, const std::string& text)
{
    CollectingMessageSink sink;
    ASSERT_EQ(ImportClipboard(store, text, sink), ImportStatus::Ok) << text;
}

void onlyPoints(Store& store, const std::vector<std::pair<int, double>>& points)
{
    for (ValueCell& y : store.Y)
        y = ValueCell::emptyText();
    for (ValueCell& r : store.Rejected)
        r = ValueCell(0.0);
    store.MaxX = 0;
    for (const auto& [x, y] : points) {
        store.Y[static_cast<std::size_t>(x)] = ValueCell(y);
        store.MaxX = std::max(store.MaxX, static_cast<double>(x));
    }
    store.nPointsAll = static_cast<int>(points.size());
}

std::vector<Degenerate> degenerateTables()
{
    return {
        {"all points at one position", [](Store& s) { importOrFail(s, "5\t980\r\n5\t970\r\n5\t960\r\n5\t1\r\n"); }},
        {"all Y equal", [](Store& s) { importOrFail(s, "5\t700\r\n10\t700\r\n15\t700\r\n25\t700\r\n"); }},
        {"one point",
         [](Store& s) {
             onlyPoints(s, {{12, 500}});
         }},
        {"two points",
         [](Store& s) {
             onlyPoints(s, {{3, 500}, {9, 400}});
         }},
        {"three points on a line", [](Store& s) { importOrFail(s, "1\t10\r\n2\t20\r\n3\t30\r\n4\t40\r\n"); }},
        {"Y = 0 everywhere", [](Store& s) { importOrFail(s, "1\t0\r\n2\t0\r\n3\t0\r\n4\t0\r\n"); }},
        {"negative Y", [](Store& s) { importOrFail(s, "1\t-5\r\n2\t-6\r\n3\t-7\r\n4\t-8\r\n"); }},
        {"negative and positive Y", [](Store& s) { importOrFail(s, "1\t-5\r\n2\t6\r\n3\t-7\r\n4\t8\r\n5\t9\r\n"); }},
        {"a point at position 0", [](Store& s) { importOrFail(s, "0\t980\r\n10\t770\r\n20\t700\r\n30\t1\r\n"); }},
        {"all points at position 0", [](Store& s) { importOrFail(s, "0\t1\r\n0\t2\r\n0\t3\r\n0\t4\r\n"); }},
        {"points at 0 and 1 only",
         [](Store& s) {
             onlyPoints(s, {{0, 5}, {1, 5}});
         }},
        {"no point at all", [](Store& s) { onlyPoints(s, {}); }},
        {"every point rejected",
         [](Store& s) {
             putExampleSequence(s);
             for (int x : {5, 10, 15, 25, 27})
                 s.Rejected[static_cast<std::size_t>(x)] = ValueCell(1.0);
         }},
        {"huge Y (sums overflow)",
         [](Store& s) {
             onlyPoints(s, {{1, 1e300}, {2, 3e300}, {3, 2e300}, {4, 1e300}});
         }},
        {"tiny Y (sums underflow)",
         [](Store& s) {
             onlyPoints(s, {{1, 1e-300}, {2, 3e-300}, {3, 2e-300}, {4, 1e-310}});
         }},
        {"tiny and huge Y",
         [](Store& s) {
             onlyPoints(s, {{1, 1e-300}, {2, 1e300}, {3, 1e-300}, {4, 1e300}});
         }},
        {"ends of the position range",
         [](Store& s) {
             onlyPoints(s, {{0, 10}, {1, 11}, {29999, 12}, {30000, 13}});
         }},
        {"Y error column of zeros",
         [](Store& s) { importOrFail(s, "5\t980\t0\r\n10\t770\t0\r\n15\t700\t0\r\n25\t550\t0\r\n"); }},
    };
}

std::vector<std::pair<std::string, RegressionSettings>> settingsVariants()
{
    std::vector<std::pair<std::string, RegressionSettings>> variants;
    variants.emplace_back("defaults", RegressionSettings{});
    RegressionSettings all;
    all.chkPoly = {false, true, true, true, true, true};
    all.chkEX = {true, true, true, true, true, true, true, true};
    variants.emplace_back("every fit and export column", all);
    for (const char* degree : {"0", "1", "23", "24", "-3", "abc", "", "1e999"}) {
        RegressionSettings free = all;
        free.ComboBox1 = degree;
        variants.emplace_back(std::string("free degree '") + degree + "'", free);
    }
    RegressionSettings zoomed = all;
    zoomed.yFull = false;
    zoomed.xFull = false;
    variants.emplace_back("zoomed scales", zoomed);
    return variants;
}

StudentTable syntheticStudent()
{
    StudentTable table;
    for (int p = 1; p <= 6; ++p)
        for (int r = 1; r <= 101; ++r)
            table.t[static_cast<std::size_t>(p)][static_cast<std::size_t>(r)] = 1.0 + p + 10.0 / r;
    table.loaded = true;
    return table;
}

void expectFiniteStore(const Store& store)
{
    auto cell = [](const char* name, const ValueCell& c) {
        if (c.isNumber()) {
            EXPECT_TRUE(std::isfinite(c.value())) << name;
        }
    };
    for (const auto& [name, c] :
         {std::pair{"LinA", &store.LinA},  {"LinB", &store.LinB},           {"LinR", &store.LinR},
          {"LinDev", &store.LinDev},       {"LinDevPct", &store.LinDevPct}, {"LogA", &store.LogA},
          {"LogB", &store.LogB},           {"LogR", &store.LogR},           {"LogDev", &store.LogDev},
          {"LogDevPct", &store.LogDevPct}, {"PolyDev", &store.PolyDev},     {"PolyDevPct", &store.PolyDevPct},
          {"tValue", &store.tValue},       {"ConfS", &store.ConfS},         {"ConfSxx", &store.ConfSxx},
          {"ConfXMean", &store.ConfXMean}, {"LinFit", &store.LinFit},       {"LineY1", &store.LineY1},
          {"ConfHalf", &store.ConfHalf},   {"ConfHalf2", &store.ConfHalf2}})
        cell(name, *c);
    for (const ValueCell& c : store.PolyC)
        cell("PolyC", c);
    for (const auto& slot : store.PolyCoef)
        for (const ValueCell& c : slot)
            cell("PolyCoef", c);
    for (int c = 1; c <= std::min(store.nClusters, 100); ++c) {
        cell("ZzX", store.ZzX[static_cast<std::size_t>(c)]);
        cell("ZzY", store.ZzY[static_cast<std::size_t>(c)]);
    }
    for (const ValueCell& c : store.YPoly)
        cell("YPoly", c);
}

void expectFiniteScene(const PlotScene& scene)
{
    const PlotScale& s = scene.scale;
    EXPECT_TRUE(std::isfinite(s.left) && std::isfinite(s.top) && std::isfinite(s.width) && std::isfinite(s.height));
    EXPECT_NE(s.width, 0.0);
    EXPECT_NE(s.height, 0.0);
    std::size_t broken = 0;
    for (const Primitive& item : scene.items)
        std::visit(
            [&broken](const auto& p) {
                if constexpr (std::is_same_v<std::decay_t<decltype(p)>, Polyline>) {
                    bool ok = std::isfinite(p.x0);
                    for (const double y : p.ys)
                        ok = ok && std::isfinite(y);
                    broken += ok ? 0 : 1;
                } else if (!(std::isfinite(p.x1) && std::isfinite(p.y1) && std::isfinite(p.x2) &&
                             std::isfinite(p.y2))) {
                    ++broken;
                }
            },
            item);
    EXPECT_EQ(broken, 0u) << "of " << scene.items.size() << " primitives";
    for (const TickLabel& label : scene.labels) {
        EXPECT_TRUE(std::isfinite(label.left) && std::isfinite(label.top) && std::isfinite(label.width) &&
                    std::isfinite(label.height))
            << label.text;
        EXPECT_FALSE(showsNonFinite(label.text)) << label.text;
    }
}

void expectFiniteLabels(const ResultLabels& labels)
{
    std::vector<std::string> texts = {labels.lbl_LRa,     labels.lbl_LRb,       labels.lbl_LRr,  labels.lblDiff,
                                      labels.lblDiffProc, labels.lbl_LoRa,      labels.lbl_LoRb, labels.lbl_LoRr,
                                      labels.lblDiffLog,  labels.lblDiffProcLog};
    for (const auto* optional : {&labels.lblNData, &labels.lblnDataOK, &labels.lblRej, &labels.Label2})
        if (optional->has_value()) {
            texts.push_back(**optional);
        }
    texts.insert(texts.end(), labels.lblDiffPoly.begin(), labels.lblDiffPoly.end());
    texts.insert(texts.end(), labels.lblDiffProcPoly.begin(), labels.lblDiffProcPoly.end());
    for (const std::string& text : texts)
        EXPECT_FALSE(showsNonFinite(text)) << text;
}

void expectFiniteExport(const std::string& text)
{
    std::string cell;
    for (char c : text + "\r") {
        if (c == '\t' || c == '\r' || c == '\n') {
            EXPECT_FALSE(showsNonFinite(cell)) << "export cell '" << cell << "'";
            cell.clear();
        } else {
            cell += c;
        }
    }
}

TEST(SoundNumbers, DegenerateTablesNeverShowInfOrNan)
{
    const NumberLocale locale;
    for (const Degenerate& table : degenerateTables()) {
        for (const auto& [settingsName, settings] : settingsVariants()) {
            for (bool allData : {true, false}) {
                SCOPED_TRACE(table.name + " / " + settingsName + (allData ? " / all data" : " / used data"));
                Store store;
                store.Student = syntheticStudent();
                store.ProbIndex = 3;
                store.AllData = allData;
                table.fill(store);
                CollectingMessageSink messages;
                const CalculationResult result = A_PLOT(store, settings, messages, locale);
                ASSERT_TRUE(result.ran);
                expectFiniteLabels(result.labels);
                expectFiniteScene(result.scene);
                const std::string exported = buildExport(store, result.fits, settings, locale);
                expectFiniteExport(exported);
                expectFiniteStore(store);
                for (const Message& m : messages.messages)
                    EXPECT_FALSE(showsNonFinite(m.text)) << m.text;
            }
        }
    }
}

// Every probability level on the smallest and the largest band.
TEST(SoundNumbers, ConfidenceBandAtEveryLevelStaysFinite)
{
    const NumberLocale locale;
    RegressionSettings settings;
    settings.chkEX = {true, true, true, true, true, true, true, true};
    for (const std::string& text : {std::string("1\t10\r\n2\t10\r\n3\t10\r\n4\t1\r\n"),
                                    std::string("1\t1e300\r\n2\t1e-300\r\n3\t5e300\r\n4\t1\r\n")}) {
        for (int level = 1; level <= 6; ++level) {
            SCOPED_TRACE(text + " level " + std::to_string(level));
            Store store;
            store.Student = syntheticStudent();
            store.ProbIndex = level;
            importOrFail(store, text);
            CollectingMessageSink messages;
            const CalculationResult result = A_PLOT(store, settings, messages, locale);
            expectFiniteScene(result.scene);
            expectFiniteExport(buildExport(store, result.fits, settings, locale));
            expectFiniteStore(store);
        }
    }
}

// --- The command-line tool: JSON report, export and SVG plot -------------------

void expectFiniteJson(const std::string& json) { EXPECT_EQ(firstNonFiniteJson(json), "") << json; }

TEST(SoundNumbersHelper, RecognisesNonFiniteJson)
{
    EXPECT_EQ(firstNonFiniteJson(R"({"a":1.5e-300,"b":null,"c":[-2,true],"d":"x = 3"})"), "");
    EXPECT_EQ(firstNonFiniteJson(R"({"a":nan})"), "nan");
    EXPECT_EQ(firstNonFiniteJson(R"({"a":[1,1e999]})"), "1e999");
    EXPECT_EQ(firstNonFiniteJson(R"({"a":"-inf"})"), "\"-inf\"");
}

struct CliOutput {
    int status = -1;
    std::string out, err;
};

CliOutput runTool(std::vector<std::string> args, const std::string& table)
{
    args.insert(args.begin(), "kalibron");
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::istringstream in(table);
    std::ostringstream out, err;
    CliOutput result;
    result.status = runCli(static_cast<int>(args.size()), argv.data(), in, out, err);
    result.out = out.str();
    result.err = err.str();
    return result;
}

TEST(SoundNumbers, CommandLineOutputOfDegenerateTablesIsFinite)
{
    const std::vector<std::string> tables = {
        "5\t980\n5\t970\n5\t960\n5\t1\n",             // all points at one position
        "5\t700\n10\t700\n15\t700\n25\t700\n",        // all Y equal
        "5\t980\n6\t0\n7\t-1\n8\t0\n",                // one usable point
        "1\t0\n2\t0\n3\t0\n4\t0\n",                   // Y = 0
        "1\t-5\n2\t-6\n3\t-7\n4\t-8\n",               // negative Y
        "0\t980\n10\t770\n20\t700\n30\t1\n",          // a point at position 0
        "0\t1\n0\t2\n0\t3\n0\t4\n",                   // all at position 0
        "1\t1e300\n2\t3e300\n3\t2e300\n4\t1e300\n",   // sums overflow
        "1\t1e-300\n2\t1e300\n3\t1e-300\n4\t1e300\n", // tiny and huge
        "0\t10\n1\t11\n29999\t12\n30000\t13\n",       // ends of the positions
    };
    const std::string everything = "log,poly1,poly2,poly3,poly4,poly5,zigzag,conf";
    const std::vector<std::vector<std::string>> fits = {
        {"fit", "-"},
        {"fit", "--show", everything, "--free-degree", "25", "-"},
        {"fit", "--show", everything, "--free-degree", "2", "--y-zoom", "--x-zoom", "--only-unrejected", "--prob", "6",
         "-"},
    };
    const std::filesystem::path svg =
        std::filesystem::temp_directory_path() / ("kalibron-sound-numbers-" + std::to_string(::getpid()) + ".svg");
    for (const std::string& table : tables) {
        SCOPED_TRACE(table);
        for (const auto& args : fits) {
            const CliOutput fit = runTool(args, table);
            EXPECT_EQ(fit.status, kExitOk) << fit.err;
            expectFiniteJson(fit.out);
            EXPECT_FALSE(showsNonFinite(fit.err)) << fit.err;
        }
        const CliOutput exported = runTool(
            {"export", "--show", everything, "--export", "lin,log,poly2,poly3,poly4,poly5,free,zigzag", "-"}, table);
        EXPECT_EQ(exported.status, kExitOk) << exported.err;
        expectFiniteExport(exported.out);

        const CliOutput plot = runTool({"plot", "--show", everything, "-o", svg.string(), "-"}, table);
        EXPECT_EQ(plot.status, kExitOk) << plot.err;
        std::ifstream file(svg, std::ios::binary);
        const std::string image((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        EXPECT_FALSE(image.empty());
        EXPECT_FALSE(showsNonFinite(image)) << "the SVG image holds a non-finite coordinate";
    }
    std::filesystem::remove(svg);
}

} // namespace
