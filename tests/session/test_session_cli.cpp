// `kalibron sequence --session`: the same table and master file as the day
// typed by hand, with the session's rejections and settings honoured.
#include <gtest/gtest.h>

#include <unistd.h>
#include <utime.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "analysis/run_session.h"
#include "tests/cli/cli_test_support.h"
#include "tests/sequence/sequence_test_support.h"

using namespace kalibron;
using kalibron::test::runTool;
namespace fs = std::filesystem;

namespace {

std::string bytesOf(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The copy text as rows of cells (each line begins with a TAB, cell 0 is empty).
std::vector<std::vector<std::string>> cells(const std::string& copyText)
{
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(copyText);
    std::string line;
    while (std::getline(lines, line, '\r')) {
        std::vector<std::string> row;
        std::istringstream fields(line);
        std::string cell;
        while (std::getline(fields, cell, '\t'))
            row.push_back(cell);
        row.resize(9);
        rows.push_back(row);
    }
    return rows;
}

class SessionCli : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("kalibron_sesscli_" + std::to_string(::getpid()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir / "day");
        const char* const names[] = {"0808_27a-S01.env", "0808_27b02.env",   "0808_27c-S03.env",
                                     "0808_27d04.env",   "0808_27e-S05.env", "0808_27f-S06.env"};
        for (int i = 0; i < 6; ++i) {
            const fs::path file = m_dir / "day" / names[i];
            std::ofstream(file) << "x";
            const auto t = static_cast<time_t>(kalibron::test::kDay + 9 * 3600 + 600 * i);
            const struct utimbuf times {
                t, t
            };
            ::utime(file.c_str(), &times);
        }
        m_session.directory = (m_dir / "day").string();
        m_session.day = "0808_27";
        m_session.extension = "env";
        m_session.marker = "-S";
        m_session.interpolated = true;
        m_session.rows = {{"0808_27a-S01", "Std", "1000", false},
                          {"0808_27c-S03", "Std", "980.5", false},
                          {"0808_27e-S05", "Std", "961", false},
                          {"0808_27f-S06", "Std", "950.25", false}};
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // The same day typed by hand.
    kalibron::test::CliOutcome byHand(const std::string& values, const std::string& master, const char* prob = "3")
    {
        return runTool({"sequence", "--day", "0808_27", "--ext", "env", "--prob", prob, "--values", "-", "--master",
                        master, (m_dir / "day").string()},
                       values);
    }
    kalibron::test::CliOutcome fromSession(const RunSession& session, const std::string& master)
    {
        const std::string path = (m_dir / "s.json").string();
        EXPECT_EQ(writeSessionFile(session, path), "");
        return runTool({"sequence", "--session", path, "--master", master});
    }

    fs::path m_dir;
    RunSession m_session;
};

} // namespace

TEST_F(SessionCli, SameBytesAsTheDayTypedByHand)
{
    const std::string hand = (m_dir / "hand.csv").string(), saved = (m_dir / "session.csv").string();
    const auto expected = byHand("1\t1000\n3\t980.5\n5\t961\n6\t950.25\n", hand);
    ASSERT_EQ(expected.status, 0) << expected.err;
    const auto got = fromSession(m_session, saved);
    ASSERT_EQ(got.status, 0) << got.err;
    EXPECT_EQ(got.out, expected.out);
    EXPECT_EQ(got.err, "");
    EXPECT_EQ(bytesOf(saved), bytesOf(hand));
    EXPECT_NE(cells(got.out)[1][6], ""); // the result columns are filled

    // Not yet interpolated: the typed table without results, as the window shows it.
    RunSession typed = m_session;
    typed.interpolated = false;
    const auto table = fromSession(typed, saved);
    ASSERT_EQ(table.status, 0) << table.err;
    const auto rows = cells(table.out), full = cells(expected.out);
    ASSERT_EQ(rows.size(), 7u);
    for (std::size_t r = 1; r < rows.size(); ++r) {
        for (int c = 1; c <= 5; ++c)
            EXPECT_EQ(rows[r][c], full[r][c]) << r << ',' << c;
        for (int c = 6; c <= 8; ++c)
            EXPECT_EQ(rows[r][c], "") << r << ',' << c;
    }
}

TEST_F(SessionCli, RejectionsLevelAndSettingsOfTheSessionApply)
{
    // A standard clicked away takes no part in the fits: the results equal
    // those of the day without its value, which stays in its cell.
    RunSession session = m_session;
    session.rows[1].rejected = true;
    session.probabilityLevel = 5;
    session.regression.chkLog = false; // neither drawn nor exported: not fitted
    session.regression.chkEX[1] = false;
    const std::string hand = (m_dir / "hand.csv").string(), saved = (m_dir / "session.csv").string();
    const auto expected = byHand("1\t1000\n5\t961\n6\t950.25\n", hand, "5");
    ASSERT_EQ(expected.status, 0) << expected.err;
    const auto got = fromSession(session, saved);
    ASSERT_EQ(got.status, 0) << got.err;
    const auto rows = cells(got.out), reference = cells(expected.out);
    ASSERT_EQ(rows.size(), reference.size());
    for (std::size_t r = 1; r < rows.size(); ++r)
        for (int c = 1; c <= 8; ++c) {
            if (r == 3 && c == 5)
                EXPECT_EQ(rows[r][c], "980.5");
            else if (c == 8) // no logarithmic fit in this session
                EXPECT_EQ(rows[r][c], "") << r;
            else
                EXPECT_EQ(rows[r][c], reference[r][c]) << r << ',' << c;
        }
    EXPECT_NE(reference[1][8], "");
    // The band at level 5 is not the band at level 3.
    EXPECT_NE(rows[2][7], cells(byHand("1\t1000\n5\t961\n6\t950.25\n", hand).out)[2][7]);
}

TEST_F(SessionCli, ConflictsAndBrokenSessionsAreRefused)
{
    const std::string path = (m_dir / "s.json").string();
    ASSERT_EQ(writeSessionFile(m_session, path), "");
    for (const std::vector<std::string>& extra : std::vector<std::vector<std::string>>{{"--day", "0808_27"},
                                                                                       {"--ext", "env"},
                                                                                       {"--standard", "-S"},
                                                                                       {"--values", "-"},
                                                                                       {"--prob", "3"},
                                                                                       {"/tmp"}}) {
        std::vector<std::string> args{"sequence", "--session", path};
        args.insert(args.end(), extra.begin(), extra.end());
        const auto outcome = runTool(args);
        EXPECT_EQ(outcome.status, 2) << extra[0];
        EXPECT_NE(outcome.err.find("--session takes the folder"), std::string::npos) << outcome.err;
    }

    const std::string cut = sessionJson(m_session).substr(0, 40);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << cut;
    const auto broken = runTool({"sequence", "--session", path, "--master", (m_dir / "m.csv").string()});
    EXPECT_EQ(broken.status, 1);
    EXPECT_NE(broken.err.find("is not a KALIBRON session"), std::string::npos) << broken.err;
    EXPECT_EQ(broken.out, "");
    EXPECT_EQ(bytesOf(path), cut);
    EXPECT_FALSE(fs::exists(m_dir / "m.csv"));

    // A marked file that left the folder is named, the rest goes on.
    RunSession session = m_session;
    session.rows.push_back({"0808_27gone", "Std", "5", false});
    const auto note = fromSession(session, (m_dir / "m.csv").string());
    EXPECT_EQ(note.status, 0);
    EXPECT_NE(note.err.find("0808_27gone of the session is not a file of the day"), std::string::npos) << note.err;
}
