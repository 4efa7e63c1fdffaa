#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>

#include <unistd.h>

#include <gtest/gtest.h>

#include "core/messages.h"
#include "core/store.h"
#include "core/student_table.h"

namespace kalibron {
namespace {

// A made-up table whose every entry tells where it belongs: p + r / 1000,
// written with three decimals ("3.004"), so each entry's text is unique.
double synthetic(int p, int r) { return p + r / 1000.0; }
std::string entry(int p, int r)
{
    const std::string thousandths = std::to_string(1000 + r).substr(1);
    return std::to_string(p) + "." + thousandths;
}

// 101 records; `separator` between the values of a record, `lineEnd` after each.
std::string syntheticText(const std::string& separator, const std::string& lineEnd)
{
    std::ostringstream out;
    out << "df, 0.1, 0.05, 0.025, 0.01, 0.005, 0.001" << lineEnd;
    for (int r = 1; r <= 101; ++r) {
        out << (r == 101 ? std::string("inf") : std::to_string(r));
        for (int p = 1; p <= 6; ++p)
            out << separator << entry(p, r);
        out << lineEnd;
    }
    return out.str();
}

void expectSynthetic(const StudentParseResult& result)
{
    ASSERT_TRUE(result.table.loaded) << result.problem;
    EXPECT_TRUE(result.problem.empty());
    for (int r = 1; r <= 101; ++r)
        for (int p = 1; p <= 6; ++p)
            ASSERT_DOUBLE_EQ(result.table.at(p, r), synthetic(p, r)) << "p " << p << " r " << r;
}

TEST(ParseStudent, LayoutsAndLineEndsGiveTheSameTable)
{
    expectSynthetic(parseStudent(syntheticText(",", "\n")));
    expectSynthetic(parseStudent(syntheticText(" , ", "\r\n")));
    expectSynthetic(parseStudent(syntheticText(",", "\r")));
    expectSynthetic(parseStudent(syntheticText("\r\n", "\r\n"))); // one value a line
    expectSynthetic(parseStudent(syntheticText(",\t", "\n\n")));  // blank lines between records
    expectSynthetic(parseStudent("\xEF\xBB\xBF" + syntheticText(",", "\r\n")));

    std::string labels = syntheticText(",", "\n"); // a label may be any word
    labels.replace(labels.find("\n7,") + 1, 1, "seven");
    expectSynthetic(parseStudent(labels));

    // Values are counted, not lines: records may straddle lines.
    std::string flowing = syntheticText(",", "\n");
    std::replace(flowing.begin() + static_cast<std::ptrdiff_t>(flowing.find('\n') + 1), flowing.end() - 1, '\n', ',');
    expectSynthetic(parseStudent(flowing));

    // What follows the 707th value is never read.
    expectSynthetic(parseStudent(syntheticText(",", "\n") + "trailing words, 1e999, -3\n"));
}

TEST(ParseStudent, RefusesBadTablesWithAProblemText)
{
    const std::string good = syntheticText(",", "\n");
    const auto problemOf = [](const std::string& text) {
        const StudentParseResult result = parseStudent(text);
        EXPECT_FALSE(result.table.loaded);
        return result.problem;
    };

    EXPECT_EQ(problemOf(""), "the file is empty");
    EXPECT_EQ(problemOf("\xEF\xBB\xBF"), "the file is empty");
    EXPECT_NE(problemOf("header only\n").find("holds only 0 values"), std::string::npos);

    // Cut after the first value of the last record: 701 values.
    const std::string cut = good.substr(0, good.rfind("inf") + 3) + "\n";
    EXPECT_NE(problemOf(cut).find("holds only 701 values"), std::string::npos);

    std::string word = good;
    word.replace(word.find(entry(3, 4)), entry(3, 4).size(), "abc");
    const std::string wordProblem = problemOf(word);
    EXPECT_NE(wordProblem.find("value 4 of record 4"), std::string::npos) << wordProblem;
    EXPECT_NE(wordProblem.find("\"abc\""), std::string::npos) << wordProblem;
    EXPECT_NE(wordProblem.find("line 5"), std::string::npos) << wordProblem;

    const std::pair<const char*, const char*> badValues[] = {
        {"1e999", "not a finite number"},   {"inf", "not a finite number"},
        {"nan", "not a finite number"},     {"0", "not a positive t value"},
        {"-2.5", "not a positive t value"}, {"", "value 2 of record 2 (line 3) is empty"},
    };
    for (const auto& [value, problem] : badValues) {
        std::string text = good;
        text.replace(text.find(entry(1, 2)), entry(1, 2).size(), value);
        EXPECT_NE(problemOf(text).find(problem), std::string::npos) << value;
    }
}

TEST(LoadStudent, ReadsTheProgramFolderOrReportsOneProblem)
{
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("kalibron_test_core_student_" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder);
    const std::filesystem::path bin = folder / "bin";
    std::filesystem::create_directories(bin);
    const std::string path = (bin / "student.dat").string();
    const std::filesystem::path installed = (bin / studentDataFromProgram() / "student.dat").lexically_normal();
    const auto write = [&](const std::string& text) { std::ofstream(path, std::ios::binary) << text; };

    Store store(ProgramSettings{100});
    store.gPath = bin.string();
    CollectingMessageSink messages;
    write(syntheticText(",", "\r\n"));
    LoadStudent(store, messages);
    EXPECT_TRUE(messages.messages.empty());
    ASSERT_TRUE(store.Student.loaded);
    EXPECT_DOUBLE_EQ(store.Student.at(6, 101), synthetic(6, 101));

    const auto expectRefused = [&](const std::string& problem) {
        messages.messages.clear();
        LoadStudent(store, messages); // the table loaded before must not survive
        EXPECT_FALSE(store.Student.loaded);
        ASSERT_EQ(messages.messages.size(), 1u);
        EXPECT_EQ(messages.messages.front(),
                  (Message{"Cannot use the Student t table " + path + ": " + problem +
                               ". The confidence band is not available.",
                           std::string(), MessageIcon::Exclamation}));
    };
    write("");
    expectRefused("the file is empty");
    write("df,a,b\n1,2,3\n");
    expectRefused("it holds only 3 values after the header line, 707 are needed");
    std::filesystem::remove(path);
    expectRefused("the file does not exist, nor does " + installed.string());

    // An installed program: no file beside it, the copy in share/kalibron.
    std::filesystem::create_directories(installed.parent_path());
    std::ofstream(installed, std::ios::binary) << syntheticText(",", "\n");
    messages.messages.clear();
    LoadStudent(store, messages);
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_TRUE(store.Student.loaded);
    // The file beside the program comes first, even a damaged one.
    write("");
    expectRefused("the file is empty");
    std::filesystem::remove(path);
    std::filesystem::create_directory(path);
    expectRefused("it is a folder, not a file");
    std::filesystem::remove_all(folder);
}

TEST(CommittedStudentTable, LoadsWithTheKnownQuantiles)
{
    std::ifstream file(KALIBRON_STUDENT_DAT_PATH, std::ios::binary);
    ASSERT_TRUE(file) << KALIBRON_STUDENT_DAT_PATH;
    std::ostringstream text;
    text << file.rdbuf();
    const StudentParseResult result = parseStudent(text.str());
    ASSERT_TRUE(result.table.loaded) << result.problem;
    const StudentTable& t = result.table;
    EXPECT_NEAR(t.at(3, 1), 12.7062, 1e-4);
    EXPECT_NEAR(t.at(3, 3), 3.1824, 1e-4);
    EXPECT_NEAR(t.at(3, 101), 1.95996, 1e-5);
    EXPECT_NEAR(t.at(1, 101), 1.28155, 1e-5);
    EXPECT_NEAR(t.at(6, 101), 3.09023, 1e-5);
    // Quantiles grow with the confidence and shrink with the degrees of freedom.
    for (int r = 1; r <= 101; ++r)
        for (int p = 2; p <= 6; ++p)
            EXPECT_GT(t.at(p, r), t.at(p - 1, r));
    for (int p = 1; p <= 6; ++p)
        for (int r = 2; r <= 101; ++r)
            EXPECT_LT(t.at(p, r), t.at(p, r - 1));
}

} // namespace
} // namespace kalibron
