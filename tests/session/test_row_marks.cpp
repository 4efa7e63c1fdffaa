// Row marks follow their files through a rescan; the arrival alert against
// an independent least-squares computation.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <tuple>

#include "analysis/file_scan.h"
#include "analysis/run_session.h"
#include "analysis/sequence_table.h"
#include "core/messages.h"
#include "core/store.h"
#include "tests/sequence/sequence_test_support.h"

using namespace kalibron;
using kalibron::test::fileAt;

namespace {

void scan(Store& store, const std::vector<FileEntry>& files)
{
    CollectingMessageSink sink;
    store.fileList.DayKey = "0808_27";
    scanDay(store.fileList, files, "env", sink);
    Update_Flex2(store.fileList, "-S", FileListTableLayout{});
}

int rowOf(const FileListState& state, const std::string& name)
{
    for (int row = 1; row <= state.nDayFiles; ++row)
        if (state.SortName[static_cast<std::size_t>(row - 1)] == name)
            return row;
    return 0;
}

std::set<int> rejectedPositions(const Store& store)
{
    std::set<int> out;
    for (int p = 0; p <= store.bound(); ++p)
        if (store.Rejected[static_cast<std::size_t>(p)].value() >= 1)
            out.insert(p);
    return out;
}

} // namespace

TEST(RowMarks, FollowTheirFilesThroughARescan)
{
    Store store;
    FileListState& list = store.fileList;
    scan(store,
         {fileAt("0808_27a-S1.env", 9, 0, 0), fileAt("0808_27b2.env", 9, 0, 10), fileAt("0808_27c-S3.env", 9, 0, 20),
          fileAt("0808_27d4.env", 9, 0, 30), fileAt("0808_27e-S5.env", 9, 0, 40)});
    // The operator's work: values typed, one sample made a standard, one
    // standard made a sample, the first standard clicked away at position 1.
    auto type = [&](const char* name, const char* value) {
        list.EditRow = rowOf(list, name);
        ASSERT_TRUE(enterStandardValue(list, value));
    };
    type("0808_27a-S1", "400");
    type("0808_27b2", "450.5");
    type("0808_27c-S3", "5e2");
    ASSERT_TRUE(toggleStandardType(list, rowOf(list, "0808_27b2")));
    ASSERT_TRUE(toggleStandardType(list, rowOf(list, "0808_27e-S5")));
    store.Rejected[1] = ValueCell(1.0);

    const std::vector<RowMark> marks = captureRowMarks(list, store, "-S");
    ASSERT_EQ(marks.size(), 4u); // d4 was left as scanned
    const RowMark expected[] = {{"0808_27a-S1", "Std", "400", true},
                                {"0808_27b2", "Std", "450.5", false},
                                {"0808_27c-S3", "Std", "5e2", false},
                                {"0808_27e-S5", "", "", false}};
    auto expectMark = [](const RowMark& got, const RowMark& want) {
        EXPECT_EQ(std::tie(got.name, got.type, got.standardValue, got.rejected),
                  std::tie(want.name, want.type, want.standardValue, want.rejected));
    };
    for (std::size_t i = 0; i < marks.size(); ++i)
        expectMark(marks[i], expected[i]);

    // The next scan: a file written before all others moves every position
    // by 10 s, c-S3 is gone, f6 is new.
    scan(store,
         {fileAt("0808_27z0.env", 8, 59, 50), fileAt("0808_27a-S1.env", 9, 0, 0), fileAt("0808_27b2.env", 9, 0, 10),
          fileAt("0808_27d4.env", 9, 0, 30), fileAt("0808_27e-S5.env", 9, 0, 40), fileAt("0808_27f6.env", 9, 0, 50)});
    store.Rejected[41] = ValueCell(1.0); // stale: now d4's position, which is not rejected
    const std::vector<std::string> missing = applyRowMarks(list, store, marks);
    EXPECT_EQ(missing, std::vector<std::string>{"0808_27c-S3"});

    // Positions as the scan defines them; the rejection moved with a-S1.
    const int a = rowOf(list, "0808_27a-S1");
    EXPECT_EQ(list.FlexGrid2.text(a, kColPosition), "11");
    EXPECT_EQ(rejectedPositions(store), std::set<int>{11});
    for (const RowMark& m : expected) {
        const int row = rowOf(list, m.name);
        if (row == 0)
            continue;
        EXPECT_EQ(list.FlexGrid2.text(row, kColType), m.type) << m.name;
        EXPECT_EQ(list.FlexGrid2.text(row, kColStandard), m.standardValue) << m.name;
    }
    // The unmarked rows are as scanned.
    for (const char* name : {"0808_27z0", "0808_27d4", "0808_27f6"}) {
        EXPECT_EQ(list.FlexGrid2.text(rowOf(list, name), kColType), "") << name;
        EXPECT_EQ(list.FlexGrid2.text(rowOf(list, name), kColStandard), "") << name;
    }

    // Captured again, the marks are those that found their file, unchanged.
    const std::vector<RowMark> again = captureRowMarks(list, store, "-S");
    ASSERT_EQ(again.size(), 3u);
    for (std::size_t i = 0, j = 0; i < std::size(expected); ++i)
        if (expected[i].name != "0808_27c-S3")
            expectMark(again[j++], expected[i]);
}

namespace {

// Least squares through the normal equations in raw powers of g, solved by
// Gauss-Jordan in long double: another road than the library's centred line
// and Chebyshev QR. Returns prediction and sqrt(s^2 (1 + h)) at g0.
std::pair<double, double> normalEquations(const std::vector<double>& g, const std::vector<double>& y, int degree,
                                          double g0)
{
    const int p = degree + 1;
    std::vector<std::vector<long double>> a(static_cast<std::size_t>(p), std::vector<long double>(2 * p, 0));
    std::vector<long double> b(static_cast<std::size_t>(p), 0);
    for (std::size_t i = 0; i < g.size(); ++i)
        for (int r = 0; r < p; ++r) {
            b[r] += std::pow(static_cast<long double>(g[i]), r) * y[i];
            for (int c = 0; c < p; ++c)
                a[r][c] += std::pow(static_cast<long double>(g[i]), r + c);
        }
    for (int r = 0; r < p; ++r)
        a[r][p + r] = 1;
    for (int k = 0; k < p; ++k) {
        const long double pivot = a[k][k];
        for (int c = 0; c < 2 * p; ++c)
            a[k][c] /= pivot;
        for (int r = 0; r < p; ++r)
            if (r != k) {
                const long double f = a[r][k];
                for (int c = 0; c < 2 * p; ++c)
                    a[r][c] -= f * a[k][c];
            }
    }
    std::vector<long double> beta(static_cast<std::size_t>(p), 0), f0(static_cast<std::size_t>(p));
    for (int r = 0; r < p; ++r) {
        f0[r] = std::pow(static_cast<long double>(g0), r);
        for (int c = 0; c < p; ++c)
            beta[r] += a[r][p + c] * b[c];
    }
    long double rss = 0, prediction = 0, h = 0;
    for (std::size_t i = 0; i < g.size(); ++i) {
        long double fit = 0;
        for (int r = 0; r < p; ++r)
            fit += beta[r] * std::pow(static_cast<long double>(g[i]), r);
        rss += (y[i] - fit) * (y[i] - fit);
    }
    for (int r = 0; r < p; ++r) {
        prediction += beta[r] * f0[r];
        for (int c = 0; c < p; ++c)
            h += f0[r] * a[r][p + c] * f0[c];
    }
    const long double s2 = rss / (static_cast<long double>(g.size()) - p);
    return {static_cast<double>(prediction), static_cast<double>(std::sqrt(s2 * (1 + h)))};
}

} // namespace

TEST(ArrivalAlert, PredictionAndItsUncertaintyAgreeWithTheNormalEquations)
{
    // A drifting, slightly curved standard with scatter, arriving at 61 s steps.
    std::vector<double> x, y;
    const double noise[] = {1.2, -0.8, 0.3, -1.5, 0.9, 0.1, -0.6, 1.1};
    for (int i = 0; i < 8; ++i) {
        x.push_back(1 + 61.0 * i);
        y.push_back(1000 - 0.35 * x.back() + 2e-4 * x.back() * x.back() + noise[i]);
    }
    const double newX = 1 + 61.0 * 8;
    for (const auto& [method, degree, logarithmic] :
         {std::tuple{"lin", 1, false}, std::tuple{"poly2", 2, false}, std::tuple{"log", 1, true}}) {
        std::vector<double> g(x);
        if (logarithmic)
            for (double& v : g)
                v = std::log(v);
        const auto [prediction, uPred] = normalEquations(g, y, degree, logarithmic ? std::log(newX) : newX);
        for (const double k : {2.9, -3.1, 3.1}) {
            const auto check = checkArrival(x, y, newX, prediction + k * uPred, method, 3);
            ASSERT_TRUE(check) << method;
            EXPECT_NEAR(check->prediction, prediction, 1e-9 * std::abs(prediction)) << method;
            EXPECT_NEAR(check->uPred, uPred, 1e-8 * uPred) << method;
            EXPECT_NEAR(check->distance, std::abs(k) * uPred, 1e-6 * uPred) << method;
            EXPECT_EQ(check->flagged, std::abs(k) > 3) << method << ' ' << k;
        }
    }
    // Too few earlier standards to know the scatter: no verdict.
    EXPECT_FALSE(checkArrival({1, 61}, {5, 6}, 121, 7, "lin", 3));
    EXPECT_FALSE(checkArrival({1, 61, 121}, {5, 6, 8}, 181, 7, "poly2", 3));
    EXPECT_FALSE(checkArrival({0, 61, 121}, {5, 6, 8}, 181, 7, "log", 3)); // ln 0
    // The zigzag has no value after its last point.
    EXPECT_FALSE(checkArrival(x, y, newX, 1000, "zigzag", 3));
}
