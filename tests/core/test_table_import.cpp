#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "core/messages.h"
#include "core/store.h"
#include "core/table_import.h"

namespace kalibron {
namespace {

class TableImport : public ::testing::Test {
protected:
    void SetUp() override { putExampleSequence(m_store); }

    ImportStatus import(const std::string& text) { return ImportClipboard(m_store, text, m_messages); }

    // The import refused the text with the format message and left the
    // sequence data exactly as they were.
    void expectRefused(const std::string& text)
    {
        m_store.Rejected[10] = 1.0;
        m_store.Yerr[5] = 3.0;
        const Store before = m_store;
        m_messages.messages.clear();

        EXPECT_EQ(import(text), ImportStatus::BadFormat) << testing::PrintToString(text);
        ASSERT_EQ(m_messages.messages.size(), 1u);
        EXPECT_EQ(m_messages.messages[0],
                  (Message{"Error occurred while trying paste data from the clipboard. Please check the format of "
                           "the copied table.",
                           std::string(), MessageIcon::Exclamation}));
        EXPECT_TRUE(m_store.Y == before.Y && m_store.Yerr == before.Yerr && m_store.Rejected == before.Rejected);
        EXPECT_EQ(m_store.MaxX, before.MaxX);
        EXPECT_EQ(m_store.nPointsAll, before.nPointsAll);
        EXPECT_EQ(m_store.nCols, before.nCols);
    }

    int presentCount() const
    {
        int count = 0;
        for (const ValueCell& y : m_store.Y)
            count += y.present() ? 1 : 0;
        return count;
    }

    Store m_store;
    CollectingMessageSink m_messages;
};

TEST_F(TableImport, ThreeLineTable)
{
    m_store.Rejected[5] = 1.0;
    ASSERT_EQ(import("5\t980\r\n10\t770\r\n15\t700\r\n"), ImportStatus::Ok);
    EXPECT_TRUE(m_messages.messages.empty());
    EXPECT_EQ(m_store.nCols, 2);
    EXPECT_EQ(m_store.MaxX, 15);
    EXPECT_EQ(m_store.nPointsAll, 3);
    EXPECT_EQ(m_store.Y[5], ValueCell(980.0));
    EXPECT_EQ(m_store.Y[10], ValueCell(770.0));
    EXPECT_EQ(m_store.Y[15], ValueCell(700.0));
    EXPECT_EQ(presentCount(), 3);
    EXPECT_EQ(m_store.Y[25], ValueCell::emptyText()); // the example's point is gone
    EXPECT_EQ(m_store.Y[0], ValueCell::emptyText());
    EXPECT_TRUE(m_store.Yerr[5].isEmpty());
    for (const ValueCell& mark : m_store.Rejected)
        ASSERT_EQ(mark, ValueCell(0.0));

    const TableParse parsed = parseTable("5\t980\r\n10\t770\r\n15\t700\r\n", 30000);
    EXPECT_EQ(parsed.table.nLines, 3);

    // Blanks and line feeds around a number, sign, exponent, "5." all read.
    ASSERT_EQ(import(" +5 \t 9.8E2\r\n\n10\t7.7e+2 \r\n  15.0\t700.\r\n"), ImportStatus::Ok);
    EXPECT_EQ(m_store.Y[5], ValueCell(980.0));
    EXPECT_EQ(m_store.Y[10], ValueCell(770.0));
    EXPECT_EQ(m_store.Y[15], ValueCell(700.0));
}

TEST_F(TableImport, ThirdColumnIsTheErrorOfYAndFurtherColumnsAreChecked)
{
    ASSERT_EQ(import("5\t980\t4.5\t1\r\n10\t770\t-2\t1\r\n15\t700\t0\t1\r\n"), ImportStatus::Ok);
    EXPECT_EQ(m_store.nCols, 4);
    EXPECT_EQ(m_store.Yerr[5], ValueCell(4.5));
    EXPECT_EQ(m_store.Yerr[10], ValueCell(-2.0));
    EXPECT_EQ(m_store.Yerr[15], ValueCell(0.0));

    // A line with two cells under a three-column first line has no error of Y.
    ASSERT_EQ(import("5\t980\t4.5\r\n10\t770\r\n15\t700\t1.5\r\n"), ImportStatus::Ok);
    EXPECT_EQ(m_store.nCols, 3);
    EXPECT_TRUE(m_store.Yerr[10].isEmpty());
    EXPECT_EQ(m_store.Yerr[15], ValueCell(1.5));
}

TEST_F(TableImport, LineCountRules)
{
    expectRefused("5\t980\r\n10\t770\r\n"); // two well-formed lines

    // The last line without a CR is lost.
    ASSERT_EQ(import("5\t980\r\n10\t770\r\n15\t700\r\n20\t650"), ImportStatus::Ok);
    EXPECT_EQ(presentCount(), 3);
    EXPECT_EQ(m_store.MaxX, 15);

    // A bare CR as the last character does not count either.
    ASSERT_EQ(import("5\t980\r\n10\t770\r\n15\t700\r\n20\t650\r"), ImportStatus::Ok);
    EXPECT_EQ(presentCount(), 3);
    EXPECT_TRUE(m_store.Y[20].isText());
    expectRefused("5\t980\r10\t770\r15\t700\r");

    // Cells of the uncounted last line are still checked; text after the
    // last tab or CR is never read.
    expectRefused("5\t980\r\n10\t770\r\n15\t700\r\n20\tabc\r");
    ASSERT_EQ(import("5\t980\r\n10\t770\r\n15\t700\r\n20\tabc"), ImportStatus::Ok);
    ASSERT_EQ(import("5\t980\r\n10\t770\r\n15\t700\r\nabc"), ImportStatus::Ok);
    expectRefused("5\t980\r\n10\t770\r\n15\t700\r\nabc\t1");
}

TEST_F(TableImport, ZeroIsPresentButNotPositive)
{
    ASSERT_EQ(import("5\t980\r\n7\t0\r\n10\t-3\r\n15\t700\r\n"), ImportStatus::Ok);
    EXPECT_EQ(m_store.nPointsAll, 2);
    EXPECT_TRUE(m_store.Y[7].present());
    EXPECT_FALSE(m_store.Y[7].positive());
    ScanData(m_store);
    EXPECT_EQ(m_store.nPoints, 4);
}

TEST_F(TableImport, PositionsRoundHalfToEvenAndMaxXKeepsTheValueAsRead)
{
    ASSERT_EQ(import("2.5\t1\r\n3.5\t2\r\n7.4\t3\r\n"), ImportStatus::Ok);
    EXPECT_EQ(m_store.Y[2], ValueCell(1.0));
    EXPECT_EQ(m_store.Y[4], ValueCell(2.0));
    EXPECT_EQ(m_store.Y[7], ValueCell(3.0));
    EXPECT_DOUBLE_EQ(m_store.MaxX, 7.4);
    EXPECT_EQ(m_store.lastPosition(), 7);

    ASSERT_EQ(import("-0.5\t1\r\n30000.5\t2\r\n3\t3\r\n"), ImportStatus::Ok);
    EXPECT_EQ(m_store.Y[0], ValueCell(1.0));
    EXPECT_EQ(m_store.Y[30000], ValueCell(2.0));
    EXPECT_EQ(m_store.lastPosition(), 30000);

    expectRefused("-0.51\t1\r\n1\t2\r\n3\t3\r\n");
    expectRefused("30000.51\t1\r\n1\t2\r\n3\t3\r\n");
    expectRefused("1e9\t1\r\n1\t2\r\n3\t3\r\n");
}

TEST_F(TableImport, LaterLinesWin)
{
    ASSERT_EQ(import("5\t980\t1\r\n5\t990\r\n5.4\t-1\t3\r\n8\t2\r\n"), ImportStatus::Ok);
    EXPECT_EQ(m_store.Y[5], ValueCell(-1.0));
    EXPECT_EQ(m_store.Yerr[5], ValueCell(3.0));
    EXPECT_EQ(m_store.nPointsAll, 3); // every line with a positive Y counts
    EXPECT_DOUBLE_EQ(m_store.MaxX, 8);
}

// Both programs take the largest X as MaxX, so a table that is not in
// ascending X keeps every point in reach of the position loops; each refuses
// positions beyond its own bound.
TEST(TableImportBounds, DescendingTableAndEachProgramsBound)
{
    for (const int bound : {30000, 20000}) {
        Store store(ProgramSettings{bound});
        CollectingMessageSink messages;
        ASSERT_EQ(ImportClipboard(store, "40\t5\r\n" + std::to_string(bound) + "\t7\r\n10\t9\r\n", messages),
                  ImportStatus::Ok);
        EXPECT_EQ(store.MaxX, bound);
        EXPECT_EQ(store.lastPosition(), bound);
        EXPECT_EQ(store.Y[40], ValueCell(5.0));
        EXPECT_EQ(store.nPointsAll, 3);
        EXPECT_EQ(ImportClipboard(store, "1\t5\r\n" + std::to_string(bound + 1) + "\t7\r\n2\t9\r\n", messages),
                  ImportStatus::BadFormat)
            << bound;
        EXPECT_EQ(store.MaxX, bound);
    }
}

TEST_F(TableImport, RefusedShapesLeaveTheStoreUnchanged)
{
    for (const char* text : {"5 980\r\n10\t770\r\n15\t700\r\n",                    // first line without a tab
                             "5\t980\r\n10\t770\r\n15\t7OO\r\n",                   // letters
                             "5\t980\t1\tx\r\n10\t770\t1\t1\r\n15\t700\t1\t1\r\n", // letters in a fourth column
                             "5\t980\t\r\n10\t770\r\n15\t700\r\n",                 // trailing tab
                             "5\t\r\n10\t770\r\n15\t700\r\n",                      // empty cell
                             "5\t980\r\n10\r\n15\t700\r\n",                        // a line with one cell
                             "5\t980\r\n\r\n15\t700\r\n",                          // an empty line
                             "5\t1\r\n6\t2\n7\t3\r\n8\t4\r\n",                     // LF alone ends no line
                             "5\t1e999\r\n10\t770\r\n15\t700\r\n", "5\tinf\r\n10\t770\r\n15\t700\r\n",
                             "5\tnan\r\n10\t770\r\n15\t700\r\n", "5\t1,5\r\n10\t770\r\n15\t700\r\n"})
        expectRefused(text);

    std::string wide = "1";
    for (int i = 0; i < kMaxTableCells; ++i)
        wide += "\t1";
    expectRefused(wide + "\r\n1\t2\r\n3\t4\r\n");      // 101 cells in the first line
    expectRefused("1\t2\r\n" + wide + "\r\n3\t4\r\n"); // ... in a later line

    std::string tooLong;
    for (int i = 0; i <= kMaxTableLines; ++i)
        tooLong += std::to_string(i % 30000) + "\t1\r\n";
    expectRefused(tooLong);
}

TEST_F(TableImport, EmptyClipboard)
{
    const Store before = m_store;
    EXPECT_EQ(import(""), ImportStatus::Empty);
    ASSERT_EQ(m_messages.messages.size(), 1u);
    EXPECT_EQ(m_messages.messages[0], (Message{"The Clipboard is empty.", std::string(), MessageIcon::Exclamation}));
    EXPECT_TRUE(m_store.Y == before.Y);
    EXPECT_EQ(m_store.MaxX, before.MaxX);
}

TEST_F(TableImport, LimitsOfTheDataModelAreAccepted)
{
    std::string table;
    for (int i = 1; i <= kMaxTableLines; ++i)
        table += std::to_string(i * 5) + "\t" + std::to_string(i) + "\r\n";
    ASSERT_EQ(import(table), ImportStatus::Ok);
    EXPECT_EQ(m_store.nPointsAll, kMaxTableLines);
    EXPECT_EQ(m_store.MaxX, 30000);
    EXPECT_EQ(m_store.Y[30000], ValueCell(6000.0));

    std::string wide = "1";
    for (int i = 1; i < kMaxTableCells; ++i)
        wide += "\t" + std::to_string(i);
    ASSERT_EQ(import(wide + "\r\n" + wide + "\r\n" + wide + "\r\n"), ImportStatus::Ok);
    EXPECT_EQ(m_store.nCols, kMaxTableCells);
}

// Garbage must be refused fast, whatever its shape.
TEST(TableImportSpeed, HugeTextsAreRefusedQuickly)
{
    const std::size_t size = 50u * 1024 * 1024;
    const auto seconds = [](const std::string& text) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(parseTable(text, 30000).status, ImportStatus::BadFormat);
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };

    // No tab and no CR: the first line is the whole text.
    EXPECT_LT(seconds(std::string(size, 'x')), 1.0);

    // Few lines, each of a handful of enormous cells.
    std::string bigCells(size, '1');
    bigCells[10] = '\t';
    for (std::size_t line = 1; line <= 4; ++line) {
        bigCells[line * size / 5] = '\r';
        bigCells[line * size / 5 + 7] = '\t';
    }
    EXPECT_LT(seconds(bigCells), 1.0);
}

} // namespace
} // namespace kalibron
