// `kalibron sequence` in-process: the window's day on a real folder, its
// refusals and exit statuses.
#include <gtest/gtest.h>

#include <unistd.h>
#include <utime.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "core/file_list_state.h"
#include "tests/cli/cli_test_support.h"
#include "tests/sequence/sequence_test_support.h"

using kalibron::test::runTool;
namespace fs = std::filesystem;

namespace {

class SequenceCli : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("kalibron_seqcli_" + std::to_string(::getpid()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        const std::pair<const char*, int> files[] = {
            {"0808_27a-S01.env", 9 * 3600},        {"0808_27b02.env", 9 * 3600 + 600},
            {"0808_27c-S03.env", 9 * 3600 + 1200}, {"0808_27d04.env", 9 * 3600 + 1800},
            {"0808_27e-S05.env", 9 * 3600 + 2400}, {"0808_26x.env", 0}};
        for (const auto& [name, secs] : files) {
            std::ofstream(m_dir / name) << "x";
            const time_t t = static_cast<time_t>(kalibron::test::kDay + secs);
            const struct utimbuf times {
                t, t
            };
            ::utime((m_dir / name).c_str(), &times);
        }
    }
    void TearDown() override { fs::remove_all(m_dir); }

    kalibron::test::CliOutcome run(std::vector<std::string> args, const std::string& input = {})
    {
        std::vector<std::string> all{"sequence", "--day", "0808_27", "--ext", "env"};
        all.insert(all.end(), args.begin(), args.end());
        all.push_back(m_dir.string());
        return runTool(all, input);
    }

    fs::path m_dir;
};

} // namespace

TEST_F(SequenceCli, ListingTableAndInterpolatedTable)
{
    const auto listing = run({"--listing"});
    EXPECT_EQ(listing.status, 0);
    EXPECT_EQ(listing.out,
              "0808_27a-S01\t09:00:00\t0\r0808_27b02\t09:10:00\t600\r0808_27c-S03\t09:20:00\t1200\r"
              "0808_27d04\t09:30:00\t1800\r0808_27e-S05\t09:40:00\t2400\r");

    // Times of day are local: 09:00 UTC is 18:00 nine hours east.
    ::setenv("TZ", "UTC-9", 1);
    ::tzset();
    const auto east = run({"--listing"});
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    EXPECT_EQ(east.out.substr(0, east.out.find('\r')), "0808_27a-S01\t18:00:00\t0");

    const auto table = run({});
    EXPECT_EQ(table.status, 0);
    EXPECT_EQ(table.out.substr(0, table.out.find('\r')),
              "\tFile name\tTyp\tTime\tTime\tSTD c/s\tLin. Interp.\tC.I.\tLog. Interp.");
    EXPECT_NE(table.out.find("\t0808_27a-     01\tStd\t09:00:00\t1\t\t\t\t\r"), std::string::npos);

    // Values from standard input; a later line for row 5 wins. Exact line:
    // 1000 - x/60 at the standards, so the linear column is exact.
    const auto master = m_dir / "out" / "0_master.csv";
    fs::create_directories(master.parent_path());
    const auto done = run({"--values", "-", "--master", master.string()}, "1\t1000\n3\t980\n5\t1\n5\t960\n");
    EXPECT_EQ(done.status, 0) << done.err;
    EXPECT_NE(done.out.find("\t0808_27     02\t\t09:10:00\t601\t\t990\t"), std::string::npos) << done.out;
    EXPECT_NE(done.out.find("\t0808_27e-     05\tStd\t09:40:00\t2401\t960\t960\t"), std::string::npos);
    std::ifstream in(master, std::ios::binary);
    std::string first;
    std::getline(in, first);
    EXPECT_EQ(first,
              "\"\",\"File name\",\"Typ\",\"Time\",\"Time\",\"STD c/s\",\"Lin. Interp.\",\"C.I.\","
              "\"Log. Interp.\",\"Poly2 Inter.\",\"\",\"\",\"\",\"\"\r");
}

TEST_F(SequenceCli, RefusalsAndFailuresHaveTheirExitStatus)
{
    struct Case {
        std::vector<std::string> args;
        std::string input;
        int status;
        std::string says;
    };
    const std::string gone = (m_dir / "gone" / "m.csv").string();
    const Case cases[] = {
        {{"--values", "-"}, "1\t120,5\n", 2, "line 1 ('1\\x09120,5'): \"120,5\" is not a number"},
        {{"--values", "-"}, "1\t100\n9\t100\n", 2, "line 2"},
        {{"--values", "-"}, "1 100\n", 2, "no TAB"},
        {{"--values", "-"}, "1\t100\n", 2, "Too few data. Type more standard values in the pale yellow field."},
        {{"--prob", "7"}, "", 2, "--prob"},
        {{"--bogus"}, "", 2, "unknown option"},
        {{"--program", "02"}, "", 2, "unknown program"},
        {{"--master", gone}, "", 1, gone},
        {{"--values", (m_dir / "none.txt").string()}, "", 1, "cannot read"},
        {{"--values", m_dir.string()}, "", 1, "cannot read " + m_dir.string() + ": Is a directory"},
        // The program that hands over any number of standards: the
        // regression's message, no table and no master file.
        {{"--program", "He-VeviRavo-1", "--values", "-", "--master", (m_dir / "he.csv").string()},
         "1\t100\n",
         2,
         "Too few data. Calculation of regression is not possible!"},
    };
    for (const Case& c : cases) {
        const auto outcome = run(c.args, c.input);
        EXPECT_EQ(outcome.status, c.status) << c.says;
        EXPECT_NE(outcome.err.find(c.says), std::string::npos) << outcome.err;
    }
    EXPECT_EQ(runTool({"sequence", "--day", "0808_27", "--ext", "env", (m_dir / "missing").string()}).status, 1);
    EXPECT_EQ(runTool({"sequence", "--ext", "env", m_dir.string()}).status, 2);
    EXPECT_FALSE(fs::exists(gone));
    EXPECT_FALSE(fs::exists(m_dir / "he.csv"));
}
