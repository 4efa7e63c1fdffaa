// `kalibron export`: the text must be byte for byte what the window's
// "Copy interpolated values to clipboard" gives for the same table and
// settings, and its numbers must be right on their own terms.
#include <cmath>
#include <string>
#include <vector>

#include "tests/cli/cli_test_support.h"

namespace kalibron::test {
namespace {

// Ten points, a third column (Y error), an X that rounds half to even, a
// point with Y = 0 (present, but in no fit) and gaps between positions.
const std::string kPastedTable = "1\t1020.5\t3\r\n2.5\t1011\t2\r\n6\t995.25\t4\r\n7\t0\t1\r\n12\t960\t2\r\n"
                                 "13\t958\t2\r\n20\t930.75\t3\r\n31\t901\t5\r\n32\t899.5\t5\r\n40\t870\t4\r\n";

std::string exampleTable() { return readAll(std::string(KALIBRON_TEST_DATA_DIR) + "/example_table.txt"); }

// 6000 lines at positions 5, 10, ... 30000, a slow drift with a wobble.
std::string largeTable()
{
    std::string text;
    for (int i = 1; i <= 6000; ++i) {
        const int x = 5 * i;
        char line[64];
        std::snprintf(line, sizeof line, "%d\t%.4f\r\n", x, 1000.0 - 0.01 * x + 5.0 * std::sin(x / 300.0));
        text += line;
    }
    return text;
}

struct Variant {
    std::vector<std::string> options;
    RegressionSettings settings;
    int prob = 3;
    std::vector<int> rejected;
    bool allData = true;
};

std::vector<Variant> variants()
{
    std::vector<Variant> list;
    list.push_back({}); // the window's start state

    Variant all;
    all.options = {"--export",      "lin,log,poly2,poly3,poly4,poly5,free,zigzag",
                   "--show",        "log,poly1,poly2,poly3,poly4,poly5,zigzag,conf",
                   "--free-degree", "4",
                   "--prob",        "5"};
    all.settings.chkEX.fill(true);
    all.settings.chkPoly = {false, true, true, true, true, true};
    all.settings.ComboBox1 = "4";
    all.prob = 5;
    list.push_back(all);

    // Export boxes of curves that are not shown, rejections, zoomed scales.
    Variant hidden;
    hidden.options = {"--show",   "none",     "--export", "poly3,free,zigzag", "--reject", "12,40", "--only-unrejected",
                      "--x-zoom", "--y-zoom", "--prob=1"};
    hidden.settings.chkLog = hidden.settings.chkZigZag = hidden.settings.chkConf = false;
    hidden.settings.chkPoly.fill(false);
    hidden.settings.chkEX = {false, false, false, true, false, false, true, false};
    hidden.settings.chkEX[7] = true;
    hidden.settings.xFull = hidden.settings.yFull = false;
    hidden.prob = 1;
    hidden.rejected = {12, 40};
    hidden.allData = false;
    list.push_back(hidden);
    return list;
}

TEST(CliExport, MatchesTheWindowsExportByteForByte)
{
    TempFolder folder;
    struct Table {
        std::string name, text;
    };
    const std::vector<Table> tables = {{"example", exampleTable()}, {"pasted", kPastedTable}};
    const std::pair<const char*, ProgramProfile> programs[] = {{"01", kalibron01Profile()},
                                                               {"He-VeviRavo-1", kalibronHeVeviRavo1Profile()}};
    for (const auto& [program, profile] : programs) {
        for (const Table& table : tables) {
            const std::string path = folder.file(table.name + ".txt", table.text);
            for (const Variant& v : variants()) {
                if (table.name == "example" && !v.rejected.empty())
                    continue; // positions 12 and 40 exist only in the pasted table
                std::vector<std::string> args = {"export", "--program", program};
                args.insert(args.end(), v.options.begin(), v.options.end());
                args.push_back(path);
                const CliOutcome cli = runTool(args);
                auto window = runWindow(table.text, v.settings, v.prob, v.rejected, v.allData, profile);
                SCOPED_TRACE(std::string(program) + ": " + table.name + " with " + std::to_string(v.options.size()) +
                             " option words");
                ASSERT_EQ(cli.status, kExitOk) << cli.err;
                EXPECT_EQ(cli.out, windowExport(*window, v.settings));
            }
        }
    }
}

// Each program's export of the start-up example is its committed reference.
TEST(CliExport, StartExampleOfEachProgramMatchesItsReference)
{
    const std::string data = std::string(KALIBRON_TEST_DATA_DIR) + "/";
    for (const auto& [program, reference] :
         {std::pair{"01", "export_start.txt"}, std::pair{"He-VeviRavo-1", "export_start_he.txt"},
          std::pair{"Kalibron-He-VeviRavo-1", "export_start_he.txt"}}) {
        const CliOutcome cli = runTool({"export", "--program", program, data + "example_table.txt"});
        ASSERT_EQ(cli.status, kExitOk) << cli.err;
        EXPECT_EQ(cli.out, readAll(data + reference)) << program;
    }
}

TEST(CliExport, LargestTableWithEveryBlockMatchesTheWindow)
{
    TempFolder folder;
    const std::string text = largeTable();
    const std::string path = folder.file("large.txt", text);
    const CliOutcome cli = runTool({"export", "--export", "lin,log,poly2,poly3,poly4,poly5,free,zigzag", path});
    RegressionSettings settings;
    settings.chkEX.fill(true);
    auto window = runWindow(text, settings);
    ASSERT_EQ(cli.status, kExitOk) << cli.err;
    EXPECT_EQ(cli.out, windowExport(*window, settings));
    // Title, summary, empty line, header, then one line per position 1..30000.
    EXPECT_EQ(crLines(cli.out).size(), 4u + 30000u);
}

TEST(CliExport, ExactLineGivesTheLineAndAZeroBandAtEveryPosition)
{
    TempFolder folder;
    std::string table;
    for (int x = 2; x <= 20; x += 2)
        table += std::to_string(x) + "\t" + std::to_string(100 + 2 * x) + "\n";
    const CliOutcome cli = runTool({"export", "--export", "lin", folder.file("line.txt", table)});
    ASSERT_EQ(cli.status, kExitOk) << cli.err;
    ASSERT_EQ(cli.out.find('\n'), std::string::npos) << "export lines end in CR alone";

    const auto lines = crLines(cli.out);
    ASSERT_EQ(lines.size(), 4u + 20u);
    EXPECT_EQ(lines[0], "* * *  KALIBRON  -  Export of interpolated data");
    EXPECT_EQ(lines[3], "No.\tData\tLin.Reg.\tC.I.\t\t");
    for (int i = 1; i <= 20; ++i) {
        const auto cells = tabCells(lines[static_cast<std::size_t>(3 + i)]);
        ASSERT_EQ(cells.size(), 6u) << lines[static_cast<std::size_t>(3 + i)];
        EXPECT_EQ(cells[0], std::to_string(i));
        EXPECT_EQ(cells[1], i % 2 == 0 ? std::to_string(100 + 2 * i) : "") << "Data only where a point is";
        EXPECT_NEAR(std::stod(cells[2]), 100.0 + 2.0 * i, 1e-9 * (100.0 + 2.0 * i));
        EXPECT_NEAR(std::stod(cells[3]), 0.0, 1e-9);
    }
}

TEST(CliExport, NoBoxGivesTitleAndEmptyLines)
{
    const CliOutcome cli = runTool({"export", "--export", "none", "-"}, "5\t980\n10\t770\n15\t700\n25\t550\n27\t500\n");
    ASSERT_EQ(cli.status, kExitOk) << cli.err;
    EXPECT_EQ(cli.out, "* * *  KALIBRON  -  Export of interpolated data\r" + std::string(27 + 3, '\r'));
}

// The "C.I." cells are t · s · √(...): only t depends on the level, so the
// ratio of two levels' cells is the ratio of the Student quantiles. With the
// five example points there are 3 degrees of freedom.
TEST(CliExport, ProbabilityLevelScalesTheConfidenceCells)
{
    const std::string path = std::string(KALIBRON_TEST_DATA_DIR) + "/example_table.txt";
    const CliOutcome at80 = runTool({"export", "--export", "lin", "--prob", "1", path});
    const CliOutcome at95 = runTool({"export", "--export", "lin", path});
    const CliOutcome at998 = runTool({"export", "--export", "lin", "--prob", "6", path});
    ASSERT_EQ(at80.status, kExitOk);
    ASSERT_EQ(at95.status, kExitOk);
    ASSERT_EQ(at998.status, kExitOk);
    const double t80 = 1.6377443536962102, t95 = 3.1824463052842638, t998 = 10.214531852407385;
    const auto l80 = crLines(at80.out), l95 = crLines(at95.out), l998 = crLines(at998.out);
    for (std::size_t line = 4; line < l95.size(); ++line) {
        const double h80 = std::stod(tabCells(l80[line])[3]);
        const double h95 = std::stod(tabCells(l95[line])[3]);
        const double h998 = std::stod(tabCells(l998[line])[3]);
        EXPECT_NEAR(h80 / h95, t80 / t95, 1e-6 * t80 / t95) << "line " << line;
        EXPECT_NEAR(h998 / h95, t998 / t95, 1e-6 * t998 / t95) << "line " << line;
    }
}

TEST(CliExport, FileLineEndsAndStandardInputImportAlike)
{
    TempFolder folder;
    const std::string crlf = kPastedTable;
    std::string lf;
    for (char c : crlf)
        if (c != '\r')
            lf += c;
    const std::vector<std::string> options = {"export", "--export", "lin,log,poly2,zigzag"};
    auto exportOf = [&](const std::string& path, const std::string& input = {}) {
        std::vector<std::string> args = options;
        args.push_back(path);
        const CliOutcome outcome = runTool(args, input);
        EXPECT_EQ(outcome.status, kExitOk) << outcome.err;
        return outcome.out;
    };
    const std::string expected = exportOf(folder.file("crlf.txt", crlf));
    EXPECT_EQ(exportOf(folder.file("lf.txt", lf)), expected);
    EXPECT_EQ(exportOf(folder.file("bom.txt", "\xEF\xBB\xBF" + lf)), expected);
    EXPECT_EQ(exportOf("-", lf), expected);
    // The table's ten points must all be there, not one line swallowed.
    EXPECT_NE(expected.find("\r40\t870\t"), std::string::npos);
}

} // namespace
} // namespace kalibron::test

namespace kalibron::test {
namespace {

TEST(ClipboardTextFromFile, LinuxLineEndsBecomeClipboardLineEnds)
{
    EXPECT_EQ(clipboardTextFromFile("1\t2\n3\t4\n"), "1\t2\r\n3\t4\r\n");
    EXPECT_EQ(clipboardTextFromFile("1\t2\r\n3\t4\r\n"), "1\t2\r\n3\t4\r\n") << "CR LF stays";
    EXPECT_EQ(clipboardTextFromFile("1\t2\r3\t4\r"), "1\t2\r3\t4\r") << "lone CR stays";
    EXPECT_EQ(clipboardTextFromFile("\n\n1\r\n\n"), "\r\n\r\n1\r\n\r\n");
    EXPECT_EQ(clipboardTextFromFile("\xEF\xBB\xBF"
                                    "1\t2\n"),
              "1\t2\r\n")
        << "byte-order mark dropped";
    EXPECT_EQ(clipboardTextFromFile("1\t\xEF\xBB\xBF"), "1\t\xEF\xBB\xBF") << "only a leading mark is dropped";
    EXPECT_EQ(clipboardTextFromFile(""), "");
}

} // namespace
} // namespace kalibron::test
