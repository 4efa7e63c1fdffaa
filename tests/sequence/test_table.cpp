// The sequence table, the hand-over to the regression data, the hand-back of
// the fit values, and the two outputs (copy text, master file).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include "analysis/calculation.h"
#include "analysis/file_scan.h"
#include "analysis/interpolation.h"
#include "analysis/sequence_table.h"
#include "analysis/table_output.h"
#include "core/atomic_file.h"
#include "core/file_list_state.h"
#include "core/messages.h"
#include "core/store.h"
#include "programs/program_settings.h"
#include "programs/startup.h"
#include "regression/linear_fit.h"
#include "tests/sequence/sequence_test_support.h"

using namespace kalibron;
using kalibron::test::fileAt;

namespace {

bool near(double a, double b, double relative = 1e-9)
{
    return std::abs(a - b) <= relative * std::max({1.0, std::abs(a), std::abs(b)});
}

// A program's day up to "Edit list in table", with the values typed.
struct Day {
    std::unique_ptr<Store> store;
    CollectingMessageSink messages;
    FileListOptions options;

    Day(const std::vector<FileEntry>& files, const std::vector<std::pair<int, std::string>>& values,
        const ProgramProfile& profile = kalibron01Profile())
        : options(profile.fileListWindow)
    {
        store = startUp(profile, "/proc/self/exe", messages);
        store->fileList.DayKey = "0808_27";
        scanDay(store->fileList, files, "env", messages);
        Update_Flex2(store->fileList, "-S", options.table);
        for (const auto& [row, text] : values) {
            store->fileList.EditRow = row;
            EXPECT_TRUE(enterStandardValue(store->fileList, text)) << text;
        }
    }
    FileListState& list() { return store->fileList; }
    const std::string& cell(int row, int col) { return store->fileList.FlexGrid2.text(row, col); }

    // "Interpolate", the regression window's start calculation, "Back to File List".
    bool interpolateAndReturn()
    {
        if (!Interpolate(*store, options, messages))
            return false;
        store->ProbIndex = 3;
        A_PLOT(*store, RegressionSettings{}, messages, NumberLocale{});
        BackToFileList(*store, options.table, NumberLocale{});
        return true;
    }
};

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Compares with a committed reference; KALIBRON_UPDATE_REFERENCE=1 rewrites it.
void expectReference(const std::string& actual, const char* name)
{
    const std::filesystem::path path = std::filesystem::path(KALIBRON_TEST_DATA_DIR) / name;
    if (std::getenv("KALIBRON_UPDATE_REFERENCE"))
        std::ofstream(path, std::ios::binary) << actual;
    EXPECT_EQ(actual, readFile(path)) << "reference " << path;
}

} // namespace

TEST(SequenceTable, DisplayNameAndStandardMarker)
{
    EXPECT_EQ(displayName("0808_27ab12"), "0808_27a     12");
    EXPECT_EQ(displayName("abc"), "     bc");
    EXPECT_EQ(displayName("ab"), "ab"); // too short to cut: shown whole
    EXPECT_EQ(displayName(""), "");
    EXPECT_TRUE(isStandardName("0808_27x-S01", "-S"));
    EXPECT_FALSE(isStandardName("0808_27x01-S", "-S")); // never in the last two characters
    EXPECT_TRUE(isStandardName("0808_27x-Sa1", "-S"));
    EXPECT_FALSE(isStandardName("0808_27x-s01", "-S"));
    EXPECT_FALSE(isStandardName("0808_27x-S01", "-S0")); // a marker of another length
    EXPECT_FALSE(isStandardName("-S", "-S"));
}

TEST(SequenceTable, RowsTypesAndPositions)
{
    Day day(
        {fileAt("0808_27x-S01.env", 9, 0, 0), fileAt("0808_27y02.env", 10, 0, 0), fileAt("0808_27z03-S.env", 9, 30, 5)},
        {});
    EXPECT_EQ(day.cell(0, 1), "File name");
    EXPECT_EQ(day.cell(0, 9), "Poly2 Inter.");
    EXPECT_EQ(day.cell(1, 0), "1");
    EXPECT_EQ(day.cell(1, 1), "0808_27x-     01");
    EXPECT_EQ(day.cell(1, 2), "Std");
    EXPECT_EQ(day.cell(2, 1), "0808_27z0     -S");
    EXPECT_EQ(day.cell(2, 2), "");
    EXPECT_EQ(day.cell(2, 3), "09:30:05");
    EXPECT_EQ(day.cell(1, 4), "1");
    EXPECT_EQ(day.cell(2, 4), "1806");
    EXPECT_EQ(day.cell(3, 4), "3601");
    EXPECT_EQ(day.cell(4, 0), "");

    // Double click on "Typ": Std <-> empty; another text stays.
    EXPECT_TRUE(toggleStandardType(day.list(), 2));
    EXPECT_EQ(day.cell(2, 2), "Std");
    EXPECT_TRUE(toggleStandardType(day.list(), 2));
    EXPECT_EQ(day.cell(2, 2), "");
    day.list().FlexGrid2.setText(3, 2, "x");
    EXPECT_FALSE(toggleStandardType(day.list(), 3));
    EXPECT_EQ(day.cell(3, 2), "x");
}

TEST(SequenceTable, StandardValuesAreCompleteNumbersOrNothing)
{
    for (const char* accepted : {"", "120.5", "+120.5", "007", "1.25e2", "-3", "5.", ".5", "1E+3"})
        EXPECT_FALSE(refuseStandardValue(accepted)) << accepted;
    for (const char* refused : {"120,5", "12a", "1e", "nan", "inf", "1e400", "+", ".", "1 2", " 12", "e5", "0x10"}) {
        const auto message = refuseStandardValue(refused);
        ASSERT_TRUE(message) << refused;
        EXPECT_NE(message->find(std::string("\"") + refused + "\""), std::string::npos);
    }
    Day day({fileAt("0808_27a.env", 9, 0, 0)}, {});
    day.list().EditRow = 1;
    EXPECT_TRUE(enterStandardValue(day.list(), "1.25e2"));
    EXPECT_EQ(day.cell(1, 5), "1.25e2"); // as typed
    EXPECT_FALSE(enterStandardValue(day.list(), "120,5"));
    EXPECT_EQ(day.cell(1, 5), "1.25e2"); // nothing written
    EXPECT_TRUE(enterStandardValue(day.list(), ""));
    EXPECT_EQ(day.cell(1, 5), "");
}

TEST(HandOver, StandardsPositionsAndRowPositions)
{
    // Five rows at positions 1, 1201, 2401, 3601, 4801; standards in rows 1, 3, 5.
    Day day({fileAt("0808_27a.env", 9, 0, 0), fileAt("0808_27b.env", 9, 20, 0), fileAt("0808_27c.env", 9, 40, 0),
             fileAt("0808_27d.env", 10, 0, 0), fileAt("0808_27e.env", 10, 20, 0)},
            {{1, "1000"}, {3, "950.5"}, {5, "900"}, {2, "0"}, {4, "-5"}});
    day.store->Rejected[1201] = ValueCell(1.0);
    day.store->Y[25000] = ValueCell(5.0);
    ASSERT_TRUE(Interpolate(*day.store, day.options, day.messages));
    const Store& s = *day.store;
    EXPECT_EQ(s.nPoints, 3);
    EXPECT_EQ(s.nPointsAll, 3); // "Data meas." of the regression window
    EXPECT_EQ(s.MaxX, 4801);
    EXPECT_EQ(s.nCols, 2);
    EXPECT_EQ(s.Y[1], ValueCell(1000.0));
    EXPECT_EQ(s.Y[2401], ValueCell(950.5));
    EXPECT_EQ(s.Y[4801], ValueCell(900.0));
    EXPECT_EQ(s.Y[1201], ValueCell::emptyText()); // a sample, 0 typed
    EXPECT_EQ(s.Y[25000], ValueCell::emptyText());
    EXPECT_EQ(s.Rejected[1201], ValueCell(1.0)); // untouched
    EXPECT_EQ(s.fileList.RowPos, (std::vector<double>{1, 1201, 2401, 3601, 4801}));
    EXPECT_TRUE(day.messages.messages.empty());
}

TEST(HandOver, RefusalsChangeNothing)
{
    // One standard: the file list's message, nothing handed over.
    Day one({fileAt("0808_27a.env", 9, 0, 0), fileAt("0808_27b.env", 9, 0, 1)}, {{1, "1000"}});
    EXPECT_FALSE(Interpolate(*one.store, one.options, one.messages));
    ASSERT_EQ(one.messages.messages.size(), 1u);
    EXPECT_EQ(one.messages.messages[0].text, kTooFewStandards);
    EXPECT_EQ(one.store->Y[1], ValueCell());
    EXPECT_TRUE(one.list().RowPos.empty());
    // Without the count check the single standard goes over, and the
    // regression's own message says that it has too few points to fit.
    one.options.checkStandardCount = false;
    EXPECT_TRUE(Interpolate(*one.store, one.options, one.messages));
    ASSERT_EQ(one.messages.messages.size(), 2u);
    EXPECT_EQ(one.messages.messages[1].text, kTooFewRegressionDataMessage);
    EXPECT_EQ(one.store->nPointsAll, 1);

    // A file written 20000 s after the first lies above the bound of the
    // file-list program (20000) but inside that of Kalibron-01 (30000).
    const std::vector<FileEntry> late{fileAt("0808_27a.env", 0, 0, 0), fileAt("0808_27b.env", 1, 0, 0),
                                      fileAt("0808_27c.env", 5, 33, 20)};
    Day file({late}, {{1, "10"}, {2, "20"}}, kalibronHeVeviRavo1Profile());
    file.store->Y[1] = ValueCell(7.0);
    EXPECT_FALSE(Interpolate(*file.store, file.options, file.messages));
    ASSERT_EQ(file.messages.messages.size(), 1u);
    const std::string& text = file.messages.messages[0].text;
    EXPECT_NE(text.find("Row 3"), std::string::npos);
    EXPECT_NE(text.find("20001"), std::string::npos);
    EXPECT_NE(text.find("20000"), std::string::npos);
    EXPECT_EQ(file.store->Y[1], ValueCell(7.0));
    Day wide({late}, {{1, "10"}, {2, "20"}});
    EXPECT_TRUE(Interpolate(*wide.store, wide.options, wide.messages));
}

TEST(HandOver, TwoStandardsInOneSecondKeepTheLaterValue)
{
    Day day({fileAt("0808_27a.env", 9, 0, 0), fileAt("0808_27b.env", 9, 0, 0), fileAt("0808_27c.env", 9, 0, 9)},
            {{1, "100"}, {2, "200"}, {3, "300"}});
    ASSERT_TRUE(Interpolate(*day.store, day.options, day.messages));
    EXPECT_EQ(day.store->nPoints, 3);
    EXPECT_EQ(day.store->nPointsAll, 2); // two points: one position holds one value
    EXPECT_EQ(day.store->Y[1], ValueCell(200.0));
}

TEST(HandBack, ValuesMatchClosedFormFits)
{
    // Three standards at 1, 1201, 2401 and two samples.
    Day day({fileAt("0808_27a.env", 9, 0, 0), fileAt("0808_27b.env", 9, 10, 0), fileAt("0808_27c.env", 9, 20, 0),
             fileAt("0808_27d.env", 9, 30, 0), fileAt("0808_27e.env", 9, 40, 0)},
            {{1, "1000"}, {3, "960"}, {5, "940"}});
    ASSERT_TRUE(day.interpolateAndReturn());
    const double xs[3] = {1, 1201, 2401}, ys[3] = {1000, 960, 940};
    // Least squares line and logarithmic fit, by their normal equations.
    auto fit = [&](auto f) {
        double sx = 0, sy = 0, sxx = 0, sxy = 0;
        for (int i = 0; i < 3; ++i) {
            const double u = f(xs[i]);
            sx += u, sy += ys[i], sxx += u * u, sxy += u * ys[i];
        }
        const double b = (3 * sxy - sx * sy) / (3 * sxx - sx * sx);
        return std::pair{(sy - b * sx) / 3, b};
    };
    const auto [la, lb] = fit([](double x) { return x; });
    const auto [ga, gb] = fit([](double x) { return std::log(x); });
    // The parabola through three points, and the band with t(0.975; 1).
    auto parabola = [&](double x) {
        double sum = 0;
        for (int i = 0; i < 3; ++i) {
            double l = ys[i];
            for (int j = 0; j < 3; ++j)
                if (j != i)
                    l *= (x - xs[j]) / (xs[i] - xs[j]);
            sum += l;
        }
        return sum;
    };
    double ss = 0;
    for (int i = 0; i < 3; ++i)
        ss += std::pow(ys[i] - (la + lb * xs[i]), 2);
    const double s = std::sqrt(ss / 1), mean = 1201, sxx = 2 * 1200.0 * 1200.0, t = 12.7062047361747;
    for (int r = 1; r <= 5; ++r) {
        const double x = 1 + (r - 1) * 600.0;
        EXPECT_TRUE(near(std::stod(day.cell(r, 6)), la + lb * x, 1e-12)) << r;
        EXPECT_TRUE(near(std::stod(day.cell(r, 7)), t * s * std::sqrt(1.0 / 3 + (x - mean) * (x - mean) / sxx), 1e-8))
            << r;
        EXPECT_TRUE(near(std::stod(day.cell(r, 8)), ga + gb * std::log(x), 1e-12)) << r;
        EXPECT_TRUE(near(std::stod(day.cell(r, 9)), parabola(x), 1e-9)) << r;
        EXPECT_TRUE(near(day.store->YPoly[static_cast<std::size_t>(x)].value(), parabola(x), 1e-9)) << r;
    }

    EXPECT_EQ(day.list().Extrapolated, std::vector<bool>(5, false));

    // Two standards after three: the band cannot be computed and no cell
    // keeps the band of the earlier interpolation. Row 5 now lies after the
    // last standard: its results are extrapolated.
    day.list().EditRow = 5;
    ASSERT_TRUE(enterStandardValue(day.list(), ""));
    ASSERT_TRUE(day.interpolateAndReturn());
    for (int r = 1; r <= 5; ++r) {
        EXPECT_EQ(day.cell(r, 7), "") << r;
        EXPECT_FALSE(day.cell(r, 6).empty());
    }
    EXPECT_EQ(day.list().Extrapolated, (std::vector<bool>{false, false, false, true, true}));
}

TEST(Output, CopyTextAndMasterFileMatchTheReferences)
{
    // Names with a comma, quotes, blanks and non-ASCII letters; a file of
    // another day and one of another extension only lengthen the master file.
    Day day({fileAt("0808_27a-S01.env", 9, 0, 0), fileAt("0808_27b02.env", 9, 20, 0),
             fileAt("0808_27c,d \"q\"03.env", 9, 40, 0), fileAt("0808_27\xC3\xA9t\xC3\xA9-S04.env", 10, 0, 0),
             fileAt("0808_27e05.env", 10, 20, 0), fileAt("0808_27f-S06.env", 10, 40, 0),
             fileAt("0808_26x.env", 8, 0, 0), fileAt("readme.txt", 8, 0, 0)},
            {{1, "1000"}, {4, "950"}, {6, "900.5"}});
    ASSERT_TRUE(day.interpolateAndReturn());
    const std::string copy = tableCopyText(day.list(), day.options.table);
    expectReference(copy, "sequence_copy.txt");
    EXPECT_EQ(std::count(copy.begin(), copy.end(), '\r'), 7);
    const std::string master = masterFileText(day.list());
    expectReference(master, "sequence_master.csv");
    EXPECT_NE(master.find("3,\"0808_27c,d \"\"q     03\""), std::string::npos);
    EXPECT_EQ(std::count(master.begin(), master.end(), '\n'), 9); // titles + 8 files in the folder
}

TEST(Output, SeparatorsInANameNeverSplitALine)
{
    Day day({fileAt("0808_27a\tb-S01.env", 9, 0, 0), fileAt("0808_27c\nd\re02.env", 9, 20, 0)}, {{1, "1000"}});
    // Every line of the day listing and of the copy keeps its cells.
    const auto cellsPerLine = [](const std::string& text) {
        std::vector<long> tabs;
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line, '\r');)
            tabs.push_back(std::count(line.begin(), line.end(), '\t'));
        return tabs;
    };
    EXPECT_EQ(cellsPerLine(day.list().DayListing), (std::vector<long>{2, 2}));
    const std::string copy = tableCopyText(day.list(), day.options.table);
    EXPECT_EQ(cellsPerLine(copy), (std::vector<long>(3, day.options.table.lastCopiedColumn)));
    EXPECT_EQ(copy.find('\n'), std::string::npos);
    // The master file quotes the name, so it keeps it exactly.
    EXPECT_NE(masterFileText(day.list()).find("\"0808_27c\nd\r     02\""), std::string::npos);
}

TEST(Output, MasterFileIsWrittenWholeOrNotAtAll)
{
    namespace fs = std::filesystem;
    Day day({fileAt("0808_27a.env", 9, 0, 0)}, {});
    const fs::path dir = fs::temp_directory_path() / ("kalibron_master_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path target = dir / "0_master.csv";
    EXPECT_EQ(WriteMaster(day.list(), target.string()), "");
    EXPECT_EQ(readFile(target), masterFileText(day.list()));

    // A folder that vanished, and a folder in place of the file: a message
    // naming the file and the reason; the existing file stays as it was.
    const std::string gone = (dir / "gone" / "0_master.csv").string();
    const std::string problem = WriteMaster(day.list(), gone);
    EXPECT_NE(problem.find(gone), std::string::npos);
    EXPECT_NE(problem.find("No such file"), std::string::npos);
    fs::create_directories(dir / "taken.csv");
    EXPECT_NE(WriteMaster(day.list(), (dir / "taken.csv").string()).find("directory"), std::string::npos);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2); // no temporary left

    // The dialog starts in the program's folder only when it is writable.
    EXPECT_EQ(masterDialogFolder(dir.string(), "/scan"), dir.string());
    EXPECT_EQ(masterDialogFolder((dir / "gone").string(), "/scan"), "/scan");
    fs::remove_all(dir);
}
