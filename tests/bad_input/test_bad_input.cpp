// Every hostile text we could think of, fed to the two readers of outside
// text: the pasted-table import and the Student t table reader. For each
// refusal: the exact message, once; the store untouched; no crash; and
// bounded time on 50 MB of garbage.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core/messages.h"
#include "core/store.h"
#include "core/student_table.h"
#include "core/table_import.h"
#include "tests/fuzz/store_snapshot.h"

namespace {

using namespace kalibron;
using namespace kalibron::testing_support;
using namespace std::string_literals;

constexpr std::size_t kFiftyMegabytes = 50u * 1024u * 1024u;
#if defined(__SANITIZE_ADDRESS__)
// Instrumented code runs several times slower; the sanitizer build checks
// memory safety here, the normal build the time.
constexpr auto kGarbageDeadline = std::chrono::seconds(4);
#else
constexpr auto kGarbageDeadline = std::chrono::seconds(1);
#endif

// CPU time of this process. The deadlines bound what a refusal costs; wall
// time would also count whatever else a busy machine runs meanwhile.
std::chrono::steady_clock::duration cpuNow()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
}

// The start-up example plus an error value and a rejection mark, so that a
// reader that clears or overwrites anything on refusal is caught.
Store preparedStore()
{
    Store store;
    putExampleSequence(store);
    store.Yerr[10] = ValueCell(4.5);
    store.Yerr[400] = ValueCell(2.0);
    store.Rejected[15] = ValueCell(1.0);
    ScanData(store);
    return store;
}

std::string table(int lines, int columns = 2, const std::string& lineEnd = "\r\n")
{
    std::string text;
    for (int i = 1; i <= lines; ++i) {
        text += std::to_string(i);
        for (int c = 2; c <= columns; ++c)
            text += "\t" + std::to_string(100 * c + i);
        text += lineEnd;
    }
    return text;
}

std::string utf16le(const std::string& ascii, bool withBom)
{
    std::string out = withBom ? "\xFF\xFE"s : ""s;
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

std::string randomBytes(std::size_t size)
{
    std::mt19937_64 generator(20240611);
    std::string out(size, '\0');
    for (std::size_t i = 0; i < size; i += 8) {
        const std::uint64_t word = generator();
        for (std::size_t b = 0; b < 8 && i + b < size; ++b)
            out[i + b] = static_cast<char>((word >> (8 * b)) & 0xFF);
    }
    return out;
}

std::string repeated(const std::string& piece, std::size_t size)
{
    std::string out;
    out.reserve(size + piece.size());
    while (out.size() < size)
        out += piece;
    return out;
}

struct Hostile {
    std::string name;
    std::string text;
    const char* message;
};

// Returns how long the import took.
std::chrono::steady_clock::duration expectRefused(const Hostile& input)
{
    SCOPED_TRACE(input.name);
    Store store = preparedStore();
    const StoreSnapshot before = snapshot(store);
    CollectingMessageSink sink;
    const auto start = cpuNow();
    const ImportStatus status = ImportClipboard(store, input.text, sink);
    const auto elapsed = cpuNow() - start;
    EXPECT_NE(status, ImportStatus::Ok);
    EXPECT_EQ(firstDifference(before, snapshot(store)), "");
    if (sink.messages.size() != 1) {
        ADD_FAILURE() << sink.messages.size() << " messages instead of one";
        return elapsed;
    }
    EXPECT_EQ(sink.messages[0].text, input.message);
    EXPECT_EQ(sink.messages[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(sink.messages[0].title, std::optional<std::string>(std::string()));
    return elapsed;
}

TEST(TableImportHostile, ShapesOutsideTheContractAreRefusedWithTheFormatMessage)
{
    const char* format = kTableFormatMessage;
    std::string hundredAndOne = "1";
    for (int c = 2; c <= 101; ++c)
        hundredAndOne += "\t" + std::to_string(c);
    hundredAndOne += "\r\n" + table(3);
    const std::vector<Hostile> inputs = {
        {"empty text", "", kClipboardEmptyMessage},
        {"single line", "5\t980\r\n", format},
        {"two lines", "5\t980\r\n10\t770\r\n", format},
        {"6001 lines", table(6001), format},
        {"101 cells in the first line", hundredAndOne, format},
        {"101 cells in a later line", table(3) + hundredAndOne, format},
        {"first line without a tab", "5 980\r\n10\t770\r\n15\t700\r\n20\t1\r\n", format},
        {"line with a single cell", "5\t980\r\n10\r\n15\t700\r\n20\t1\r\n", format},
        {"CR only, three lines: the last CR is not counted", table(3, 2, "\r"), format},
        {"LF only", table(5, 2, "\n"), format},
        {"only line ends", "\r\n\r\n\r\n\r\n", format},
        {"only tabs", "\t\t\t", format},
    };
    for (const Hostile& input : inputs)
        expectRefused(input);
}

TEST(TableImportHostile, CellsThatAreNotFiniteDecimalNumbersAreRefused)
{
    const char* format = kTableFormatMessage;
    const std::string tail = "\r\n10\t770\r\n15\t700\r\n";
    const std::vector<Hostile> inputs = {
        {"X of -1", "-1\t980" + tail, format},
        {"X of 30001", "30001\t980" + tail, format},
        {"X rounding to 30002", "30001.5\t980" + tail, format},
        {"X of -0.51", "-0.51\t980" + tail, format},
        {"X of 1e999", "1e999\t980" + tail, format},
        {"Y of 1e999", "5\t1e999" + tail, format},
        {"Y error of 1e999", "5\t980\t1e999" + tail, format},
        {"Y of 1.8e308 (overflows)", "5\t1.8e308" + tail, format},
        {"X of 400 digits", "1" + std::string(400, '0') + "\t980" + tail, format},
        {"Y one character longer than a cell may be", "5\t" + std::string(kMaxCellLength, '0') + "9" + tail, format},
        {"Y of nan", "5\tnan" + tail, format},
        {"Y of NaN", "5\tNaN" + tail, format},
        {"X of inf", "inf\t980" + tail, format},
        {"Y of -Infinity", "5\t-Infinity" + tail, format},
        {"hexadecimal X", "0x5\t980" + tail, format},
        {"hexadecimal float Y", "5\t0x1p3" + tail, format},
        {"decimal comma", "5\t980,5" + tail, format},
        {"letter in a fourth column", "5\t980\t3\t4a" + tail, format},
        {"letter in a fourth column of a later line", "5\t980\t3\t4\r\n10\t770\t1\tx\r\n15\t700\t1\t1\r\n", format},
        {"trailing tab", "5\t980\t" + tail, format},
        {"empty cell", "5\t\t1" + tail, format},
        {"blank cell", "5\t \t1" + tail, format},
        {"sign without digits", "5\t-" + tail, format},
        {"exponent without digits", "5\t1e" + tail, format},
        {"two numbers in a cell", "5\t9 80" + tail, format},
        {"byte-order mark",
         "\xEF\xBB\xBF"
         "5\t980" +
             tail,
         format},
        {"NUL inside a number",
         "5\t98\0"s
         "0" +
             tail,
         format},
        {"NUL as a cell", "5\t\0"s + tail, format},
        {"UTF-16 with byte-order mark", utf16le(table(4), true), format},
        {"UTF-16 without byte-order mark", utf16le(table(4), false), format},
        {"Latin-1 letters", "5\t98\xE9" + tail, format},
    };
    for (const Hostile& input : inputs)
        expectRefused(input);
}

// The controls next to the limits: without them the refusals above could
// come from a reader that refuses everything.
TEST(TableImportHostile, InputsJustInsideTheLimitsAreAccepted)
{
    {
        Store store = preparedStore();
        CollectingMessageSink sink;
        ASSERT_EQ(ImportClipboard(store, table(6000), sink), ImportStatus::Ok);
        EXPECT_TRUE(sink.messages.empty());
        EXPECT_EQ(store.nPointsAll, 6000);
        EXPECT_DOUBLE_EQ(store.MaxX, 6000);
        EXPECT_DOUBLE_EQ(store.Y[6000].value(), 6200);
    }
    {
        Store store = preparedStore();
        CollectingMessageSink sink;
        ASSERT_EQ(ImportClipboard(store, table(3, 100), sink), ImportStatus::Ok);
        EXPECT_EQ(store.nCols, 100);
        EXPECT_DOUBLE_EQ(store.Yerr[2].value(), 302);
    }
    {
        // X at both ends of the positions; 2.5 goes to the even neighbour and
        // -0.5 rounds to position 0.
        Store store = preparedStore();
        CollectingMessageSink sink;
        ASSERT_EQ(ImportClipboard(store, "30000\t1\r\n2.5\t2\r\n-0.5\t3\r\n1\t0\r\n", sink), ImportStatus::Ok);
        EXPECT_DOUBLE_EQ(store.Y[30000].value(), 1);
        EXPECT_DOUBLE_EQ(store.Y[2].value(), 2);
        EXPECT_DOUBLE_EQ(store.Y[0].value(), 3);
        EXPECT_DOUBLE_EQ(store.MaxX, 30000);
        EXPECT_EQ(store.lastPosition(), 30000);
    }
    {
        // A cell as long as a cell may be, and an unread tail longer than that.
        Store store = preparedStore();
        CollectingMessageSink sink;
        const std::string longest = std::string(kMaxCellLength - 1, '0') + "9";
        ASSERT_EQ(ImportClipboard(store, "5\t" + longest + "\r\n6\t1\r\n7\t1\r\n" + longest + longest, sink),
                  ImportStatus::Ok);
        EXPECT_DOUBLE_EQ(store.Y[5].value(), 9);
    }
    {
        // CR-only line ends work once there are four lines (the last is lost).
        Store store = preparedStore();
        CollectingMessageSink sink;
        ASSERT_EQ(ImportClipboard(store, table(4, 2, "\r"), sink), ImportStatus::Ok);
        EXPECT_EQ(store.nPointsAll, 3);
        EXPECT_DOUBLE_EQ(store.MaxX, 3);
        EXPECT_FALSE(store.Y[4].present());
    }
}

TEST(TableImportHostile, FiftyMegabytesOfGarbageAreRefusedWithinASecond)
{
    const std::vector<Hostile> inputs = {
        {"random bytes", randomBytes(kFiftyMegabytes), kTableFormatMessage},
        {"well-formed lines far beyond 6000", repeated("1\t2\r\n", kFiftyMegabytes), kTableFormatMessage},
        {"one line of millions of cells", repeated("1\t", kFiftyMegabytes) + "\r\n1\t1\r\n1\t1\r\n",
         kTableFormatMessage},
        {"a number of 50 million digits", "1\t" + std::string(kFiftyMegabytes, '7') + "\r\n2\t1\r\n3\t1\r\n",
         kTableFormatMessage},
        {"line ends only", repeated("\r\n", kFiftyMegabytes), kTableFormatMessage},
        {"letters without separators", std::string(kFiftyMegabytes, 'x'), kTableFormatMessage},
    };
    for (const Hostile& input : inputs) {
        const auto elapsed = expectRefused(input);
        EXPECT_LT(elapsed, kGarbageDeadline)
            << input.name << " took " << std::chrono::duration<double>(elapsed).count() << " s";
    }
}

// --- student.dat -------------------------------------------------------------

std::string studentText(const std::string& valueSeparator = ",", const std::string& lineEnd = "\r\n")
{
    std::string text = "df,0.1,0.05,0.025,0.01,0.005,0.001" + lineEnd;
    char number[32];
    for (int r = 1; r <= 101; ++r) {
        text += r <= 100 ? std::to_string(r) : "inf";
        for (int p = 1; p <= 6; ++p) {
            std::snprintf(number, sizeof number, "%.4f", 1.0 + p + 10.0 / r);
            text += valueSeparator + number;
        }
        text += lineEnd;
    }
    return text;
}

class StudentFileHostile : public ::testing::Test {
protected:
    void SetUp() override
    {
        static int counter = 0;
        m_folder = std::filesystem::temp_directory_path() /
            ("kalibron-bad-input-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
        std::filesystem::create_directories(m_folder);
        m_store.gPath = m_folder.string();
    }
    void TearDown() override { std::filesystem::remove_all(m_folder); }

    void writeFile(const std::string& bytes)
    {
        std::ofstream out(m_folder / "student.dat", std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    // Loads the file and expects one message naming the file and the problem
    // that parseStudent finds in the same bytes, with the store untouched.
    // Returns how long LoadStudent took.
    std::chrono::steady_clock::duration expectRefusedFile(const std::string& name, const std::string& bytes)
    {
        SCOPED_TRACE(name);
        writeFile(bytes);
        const StudentParseResult parsed = parseStudent(bytes);
        EXPECT_FALSE(parsed.table.loaded);
        EXPECT_FALSE(parsed.problem.empty());
        EXPECT_LE(parsed.problem.size(), 400u) << "a message box is read by a person";
        EXPECT_FALSE(std::any_of(parsed.problem.begin(), parsed.problem.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
        })) << "the problem text passes raw control bytes of the file on to the message";
        const Message message = loadExpectingOneMessage();
        EXPECT_NE(message.text.find(parsed.problem), std::string::npos) << message.text;
        return m_lastLoad;
    }

    Message loadExpectingOneMessage()
    {
        const StoreSnapshot before = snapshot(m_store);
        CollectingMessageSink sink;
        const auto start = cpuNow();
        LoadStudent(m_store, sink);
        m_lastLoad = cpuNow() - start;
        EXPECT_EQ(firstDifference(before, snapshot(m_store)), "");
        EXPECT_FALSE(m_store.Student.loaded);
        if (sink.messages.size() != 1) {
            ADD_FAILURE() << sink.messages.size() << " messages instead of one";
            return {};
        }
        EXPECT_EQ(sink.messages[0].icon, MessageIcon::Exclamation);
        EXPECT_NE(sink.messages[0].text.find("student.dat"), std::string::npos) << sink.messages[0].text;
        return sink.messages[0];
    }

    std::filesystem::path m_folder;
    Store m_store{ProgramSettings{50}};
    std::chrono::steady_clock::duration m_lastLoad{};
};

TEST_F(StudentFileHostile, MissingOrUnreadableFileIsReportedByName)
{
    const Message missing = loadExpectingOneMessage();
    EXPECT_GT(missing.text.size(), std::string("student.dat").size());

    std::filesystem::create_directory(m_folder / "student.dat");
    const Message directory = loadExpectingOneMessage();
    EXPECT_GT(directory.text.size(), std::string("student.dat").size());
}

TEST_F(StudentFileHostile, BrokenContentsAreReportedWithTheProblem)
{
    const std::string good = studentText();
    std::string shortByOne = good.substr(0, good.rfind(','));
    shortByOne += "\r\n";
    std::string word = good;
    word.replace(word.find("2.2000"), 6, "abc"); // a t value of row 50
    std::string zero = good;
    zero.replace(zero.find("2.2000"), 6, "0");
    std::string negative = good;
    negative.replace(negative.find("2.2000"), 6, "-1.2");

    expectRefusedFile("empty file", "");
    expectRefusedFile("header only", "df,0.1,0.05\r\n");
    expectRefusedFile("short by one value", shortByOne);
    expectRefusedFile("a word for a number", word);
    expectRefusedFile("t value of zero", zero);
    expectRefusedFile("negative t value", negative);
    for (const char* bad : {"nan", "inf", "1e999", "-inf"}) {
        std::string text = good;
        text.replace(text.find("2.2000"), 6, bad);
        expectRefusedFile("t value "s + bad, text);
    }
    std::string nul = good;
    nul.replace(nul.find("2.2000"), 6,
                "2.2\0"s
                "00");
    expectRefusedFile("NUL inside a value", nul);
    std::string escape = good;
    escape.replace(escape.find("2.2000"), 6, "\x1b[2J\x07");
    expectRefusedFile("terminal escape as a value", escape);
    expectRefusedFile("UTF-16 text", utf16le(good, true));
}

TEST_F(StudentFileHostile, GarbageFileIsRefusedWithinASecond)
{
    for (const auto& [name, bytes] : {std::pair{"random bytes"s, randomBytes(kFiftyMegabytes)},
                                      std::pair{"one endless number"s, "df\n" + std::string(kFiftyMegabytes, '9')},
                                      std::pair{"endless empty values"s, "df\n" + repeated(",", kFiftyMegabytes)}}) {
        const auto elapsed = expectRefusedFile(name, bytes);
        EXPECT_LT(elapsed, kGarbageDeadline) << name;
    }
}

// Controls: the layouts the reader must accept, so the refusals above are
// not a reader that refuses everything.
TEST_F(StudentFileHostile, WellFormedLayoutsLoad)
{
    const std::vector<std::pair<std::string, std::string>> layouts = {
        {"commas, CR LF", studentText()},
        {"line ends only", studentText("\r\n", "\r\n")},
        {"blanks around values, LF", studentText(" , ", "\n")},
        {"byte-order mark in the header", "\xEF\xBB\xBF" + studentText()},
        {"more than 707 values", studentText() + "1,2,3,4,5,6,7\r\n"},
    };
    for (const auto& [name, text] : layouts) {
        SCOPED_TRACE(name);
        writeFile(text);
        Store store{ProgramSettings{50}};
        store.gPath = m_folder.string();
        CollectingMessageSink sink;
        LoadStudent(store, sink);
        EXPECT_TRUE(sink.messages.empty());
        ASSERT_TRUE(store.Student.loaded);
        EXPECT_NEAR(store.Student.at(1, 1), 12.0, 1e-12);
        EXPECT_NEAR(store.Student.at(6, 101), 7.0 + 10.0 / 101, 1e-4);
    }
}

} // namespace
