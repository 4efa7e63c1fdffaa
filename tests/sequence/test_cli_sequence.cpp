// `kalibron sequence` in-process: the window's day on a real folder, its
// refusals and exit statuses.
#include <gtest/gtest.h>

#include <unistd.h>
#include <utime.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "analysis/run_session.h"
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

namespace {

// Records of a CSV text: fields split at commas outside double quotes, a
// quoted field's doubled quotes read back as one.
std::vector<std::vector<std::string>> csvRecords(const std::string& text, const std::string& lineEnd)
{
    std::vector<std::vector<std::string>> records;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find(lineEnd, start);
        const std::string line = text.substr(start, end - start);
        start = end == std::string::npos ? text.size() : end + lineEnd.size();
        std::vector<std::string> fields(1);
        bool quoted = false;
        for (std::size_t i = 0; i < line.size(); ++i) {
            if (line[i] == '"' && quoted && i + 1 < line.size() && line[i + 1] == '"')
                fields.back() += line[++i];
            else if (line[i] == '"')
                quoted = !quoted;
            else if (line[i] == ',' && !quoted)
                fields.emplace_back();
            else
                fields.back() += line[i];
        }
        records.push_back(std::move(fields));
    }
    return records;
}

std::string fileText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

// The u column of the hand-back against `kalibron values` on the same points
// (a path through the table import instead of the file list), for every
// method: the same u at every row's position. Apart from that column, the
// copied table and the master file are those without the choice.
TEST_F(SequenceCli, UncertaintyColumnIsTheValuesTablesU)
{
    // Two more files, a second after the first and after the last: two
    // clusters of two standards, so the zigzag has a u too. Row 4 (position
    // 1201) is a sample.
    for (const auto& [name, secs] : {std::pair{"0808_27a2.env", 9 * 3600 + 1}, {"0808_27f.env", 9 * 3600 + 2401}}) {
        std::ofstream(m_dir / name) << "x";
        const time_t t = static_cast<time_t>(kalibron::test::kDay + secs);
        const struct utimbuf times {
            t, t
        };
        ASSERT_EQ(::utime((m_dir / name).c_str(), &times), 0);
    }
    constexpr std::size_t kRows = 7;
    const std::string typed = "1\t1000\n2\t1001\n3\t992.5\n5\t973.25\n6\t960.5\n7\t959.75\n";
    // Beside the day's files, not among them: the scan lists plain files only.
    const fs::path out = m_dir / "out";
    fs::create_directories(out);
    const fs::path points = out / "points.txt";
    std::ofstream(points, std::ios::binary)
        << "1\t1000\r\n2\t1001\r\n601\t992.5\r\n1801\t973.25\r\n2401\t960.5\r\n2402\t959.75\r\n";
    const auto values = runTool({"values", points.string()});
    ASSERT_EQ(values.status, 0) << values.err;
    const auto table = csvRecords(values.out, "\n");

    const fs::path plainMaster = out / "plain.csv";
    const auto plain = run({"--values", "-", "--master", plainMaster.string()}, typed);
    ASSERT_EQ(plain.status, 0) << plain.err;
    const auto plainRecords = csvRecords(fileText(plainMaster), "\r\n");

    const std::vector<std::array<std::string, 3>> methods = {{"lin", "lin_u", "u Lin."},
                                                             {"log", "log_u", "u Log."},
                                                             {"poly2", "poly2_u", "u Poly2"},
                                                             {"zigzag", "zigzag_u", "u Zigzag"}};
    for (const auto& [option, column, title] : methods) {
        const auto at = std::find(table[0].begin(), table[0].end(), column);
        ASSERT_NE(at, table[0].end()) << column;
        const auto uField = static_cast<std::size_t>(at - table[0].begin());
        const fs::path master = out / (option + ".csv");
        const auto done = run({"--values", "-", "--uncertainty", option, "--master", master.string()}, typed);
        ASSERT_EQ(done.status, 0) << done.err;
        auto records = csvRecords(fileText(master), "\r\n");
        ASSERT_EQ(records.size(), plainRecords.size());
        EXPECT_EQ(records[0][10], title);
        for (std::size_t r = 1; r <= kRows; ++r) {
            const auto& record = records[r];
            const std::string& reference = table.at(std::stoul(record[4]) + 1).at(uField);
            ASSERT_FALSE(reference.empty()) << option << " row " << r;
            // The table's 15 significant digits against the shortest form.
            EXPECT_NEAR(std::stod(record[10]), std::stod(reference), 1e-14 * std::stod(reference))
                << option << " row " << r;
        }
        // Copy: each line the one without the choice, then the u cell.
        std::size_t lineStart = 0, plainStart = 0;
        for (std::size_t r = 0; r <= kRows; ++r) {
            const std::size_t end = done.out.find('\r', lineStart), plainEnd = plain.out.find('\r', plainStart);
            EXPECT_EQ(done.out.substr(lineStart, end - lineStart),
                      plain.out.substr(plainStart, plainEnd - plainStart) + "\t" + records[r][10]);
            lineStart = end + 1;
            plainStart = plainEnd + 1;
        }
        EXPECT_EQ(lineStart, done.out.size());
        for (auto& record : records)
            record[10].clear();
        EXPECT_EQ(records, plainRecords) << option;
    }
    const auto refused = run({"--values", "-", "--uncertainty", "poly3"}, typed);
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("--uncertainty: unknown method 'poly3'"), std::string::npos) << refused.err;
}

TEST_F(SequenceCli, SessionWithoutInterpolationSaysThereIsNoUColumn)
{
    const fs::path out = m_dir / "out";
    fs::create_directories(out);
    kalibron::RunSession session;
    session.directory = m_dir.string();
    session.day = "0808_27";
    session.extension = "env";
    session.marker = "-S";
    session.rows = {{"0808_27a-S01", "Std", "1000", false}, {"0808_27c-S03", "Std", "980.5", false}};
    const std::string path = (out / "s.json").string();
    const std::string note = "; no result columns (and so no u column) are written\n";
    for (const bool interpolated : {false, true}) {
        session.interpolated = interpolated;
        if (interpolated)
            session.rows = {{"0808_27a-S01", "Std", "", false}}; // marks only, no value to interpolate
        ASSERT_EQ(kalibron::writeSessionFile(session, path), "");
        const auto done = runTool({"sequence", "--session", path, "--uncertainty", "lin"});
        EXPECT_EQ(done.status, 0) << done.err;
        EXPECT_EQ(done.err,
                  std::string("kalibron: ") +
                      (interpolated ? "the session holds no standard value" : "the session was not interpolated") +
                      note);
        // The table as without the option, each line its 8 cells and no u cell.
        const auto without = runTool({"sequence", "--session", path});
        EXPECT_EQ(done.out, without.out);
        EXPECT_EQ(without.err, done.err);
        std::size_t lines = 0;
        for (std::size_t start = 0, end; (end = done.out.find('\r', start)) != std::string::npos; start = end + 1) {
            EXPECT_EQ(std::count(done.out.begin() + start, done.out.begin() + end, '\t'), 8) << lines;
            ++lines;
        }
        EXPECT_EQ(lines, 6u); // the header and the day's five files
    }
}
