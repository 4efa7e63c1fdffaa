#include <filesystem>
#include <limits>
#include <utility>

#include <gtest/gtest.h>

#include "core/store.h"

namespace kalibron {
namespace {

TEST(Store, LastPositionStaysInsideTheArrays)
{
    Store store(ProgramSettings{100});
    EXPECT_EQ(store.YPoly.size(), 101u);
    const std::pair<double, int> cases[] = {
        {27, 27},
        {26.5, 26},
        {27.5, 28},
        {-5, 0},
        {100.5, 100},
        {250, 100},
        {std::numeric_limits<double>::infinity(), 100},
        {std::numeric_limits<double>::quiet_NaN(), 0},
    };
    for (const auto& [maxX, last] : cases) {
        store.MaxX = maxX;
        EXPECT_EQ(store.lastPosition(), last) << maxX;
    }
}

TEST(Store, ExampleSequence)
{
    Store store;
    putExampleSequence(store);
    EXPECT_EQ(store.MaxX, 27);
    EXPECT_EQ(store.nPointsAll, 5);
    EXPECT_EQ(store.nCols, 2);
    int present = 0;
    for (const ValueCell& y : store.Y)
        present += y.present() ? 1 : 0;
    EXPECT_EQ(present, 5);
    EXPECT_EQ(store.Y[5], ValueCell(980.0));
    EXPECT_EQ(store.Y[27], ValueCell(500.0));

    ScanData(store);
    EXPECT_EQ(store.nPoints, 5);
    EXPECT_EQ(store.FirstX, 5);
    EXPECT_EQ(store.MaxY, 980);
    EXPECT_EQ(store.MinY, 500);
}

TEST(ScanData, RejectedPointAndTheScalingSetting)
{
    Store store;
    putExampleSequence(store);
    store.Rejected[5] = 1.0;
    ScanData(store);
    EXPECT_EQ(store.FirstX, 5);
    EXPECT_EQ(store.MaxY, 980);
    EXPECT_EQ(store.MinY, 500);
    EXPECT_EQ(store.nPoints, 4);

    store.AllData = false;
    ScanData(store);
    EXPECT_EQ(store.FirstX, 10);
    EXPECT_EQ(store.MaxY, 770);
    EXPECT_EQ(store.nPoints, 4);

    // Below 1 counts as used; a text mark is read by its number.
    store.Rejected[5] = 0.99;
    store.Rejected[10] = ValueCell::fromText("1");
    ScanData(store);
    EXPECT_EQ(store.FirstX, 5);
    EXPECT_EQ(store.nPoints, 4);
}

TEST(ScanData, EdgesOfTheRules)
{
    Store none;
    none.MaxX = 27;
    none.Y[3] = ValueCell::emptyText();
    ScanData(none);
    EXPECT_EQ(none.nPoints, 0);
    EXPECT_EQ(none.MaxY, 0);
    EXPECT_EQ(none.MinY, 1000000000);
    EXPECT_EQ(none.FirstX, 0);

    Store store;
    store.MaxX = 12;
    store.Y[0] = 3.0; // position 0 leaves FirstX at 0, so the next point takes it
    store.Y[4] = -2.0;
    store.Y[8] = 0.0;
    store.Y[12] = ValueCell::fromText("abc"); // present, numeric value 0
    store.Y[13] = 99.0;                       // beyond MaxX: never read
    ScanData(store);
    EXPECT_EQ(store.FirstX, 4);
    EXPECT_EQ(store.nPoints, 4);
    EXPECT_EQ(store.MaxY, 3);
    EXPECT_EQ(store.MinY, -2);

    Store negative; // all negative: MaxY keeps its start value 0
    negative.MaxX = 5;
    negative.Y[2] = -7.0;
    ScanData(negative);
    EXPECT_EQ(negative.MaxY, 0);
    EXPECT_EQ(negative.MinY, -7);

    Store wide(ProgramSettings{10}); // a MaxX beyond the arrays is clamped, not read past the end
    wide.MaxX = 1e9;
    wide.Y[10] = 5.0;
    ScanData(wide);
    EXPECT_EQ(wide.nPoints, 1);
}

TEST(ProgramFolder, IsTheFolderOfThisExecutable)
{
    const std::string folder = programFolder("ignored");
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), '/');
    EXPECT_EQ(std::filesystem::path(folder), std::filesystem::read_symlink("/proc/self/exe").parent_path());
}

} // namespace
} // namespace kalibron
