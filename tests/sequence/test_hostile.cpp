// Hostile folders, names and files: a folder the user may not read, names
// whose letters take several bytes, extreme write times, a master file that
// is a link or another user's, a values file that is a folder or one huge
// line. Nothing may be lost, and every message must be short and readable.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <streambuf>

#include "analysis/file_scan.h"
#include "analysis/sequence_table.h"
#include "core/atomic_file.h"
#include "core/file_list_state.h"
#include "core/messages.h"
#include "programs/cli.h"
#include "tests/cli/cli_test_support.h"
#include "tests/sequence/sequence_test_support.h"

using namespace kalibron;
using kalibron::test::runTool;
namespace fs = std::filesystem;

namespace {

void makeFile(const fs::path& path, std::int64_t time, const std::string& content = "x")
{
    std::ofstream(path, std::ios::binary) << content;
    const struct timespec times[2] = {{static_cast<time_t>(time), 0}, {static_cast<time_t>(time), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class Hostile : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Searchable by everyone, so that a test acting as "nobody" reaches it.
        m_root = fs::temp_directory_path() / ("kalibron_hostile_" + std::to_string(::getpid()));
        fs::remove_all(m_root);
        fs::create_directories(m_root);
        fs::permissions(m_root, fs::perms::all);
    }
    void TearDown() override
    {
        std::error_code ec;
        for (const auto& entry : fs::recursive_directory_iterator(m_root, ec))
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(m_root, ec);
    }
    fs::path folder(const std::string& name)
    {
        const fs::path path = m_root / name;
        fs::create_directories(path);
        fs::permissions(path, fs::perms::all);
        return path;
    }

    fs::path m_root;
};

// A stream whose every write fails, as standard output on a full disk.
class FullStreamBuffer : public std::streambuf {
protected:
    int overflow(int) override { return traits_type::eof(); }
    std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
};

} // namespace

TEST_F(Hostile, AFolderTheUserMayNotReadIsReportedAndTheMasterKept)
{
    const fs::path day = folder("day");
    makeFile(day / "0808_27a-S01.env", test::kDay + 9 * 3600);
    makeFile(day / "0808_27b02.env", test::kDay + 10 * 3600);
    makeFile(day / "notes.txt", test::kDay);
    const fs::path master = folder("out") / "OLD.csv";
    makeFile(master, test::kDay, "a good master file\r\n");

    // Not readable at all, and readable but not searchable: names without
    // their kinds and times.
    for (const fs::perms mode :
         {fs::perms::none, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read}) {
        SCOPED_TRACE(static_cast<int>(mode));
        fs::permissions(day, mode);
        test::CliOutcome outcome;
        DirectoryListing listing;
        {
            test::UnprivilegedScope user;
            if (!user.active())
                GTEST_SKIP() << "running as root and cannot act as another user: permissions would not stop reading";
            const int fd = ::open((day / "0808_27b02.env").c_str(), O_RDONLY);
            if (fd >= 0) {
                ::close(fd);
                GTEST_SKIP() << "this user reads files in a folder that permits nothing";
            }
            outcome =
                runTool({"sequence", "--day", "0808_27", "--ext", "env", "--master", master.string(), day.string()});
            listing = listDirectory(day.string());
        }
        fs::permissions(day, fs::perms::all);
        EXPECT_EQ(outcome.status, kExitIoError);
        EXPECT_TRUE(contains(outcome.err, "kalibron: cannot read the ")) << outcome.err;
        EXPECT_TRUE(contains(outcome.err, day.string())) << outcome.err;
        EXPECT_TRUE(contains(outcome.err, ": Permission denied\n")) << outcome.err;
        EXPECT_EQ(outcome.out, "");
        EXPECT_EQ(readFile(master), "a good master file\r\n");
        EXPECT_TRUE(contains(listing.problem, "Permission denied"));
        EXPECT_TRUE(listing.files.empty());
    }
    // The same folder readable: the day as usual; links to nothing (a loop,
    // a file gone) are no files of it.
    fs::create_symlink("0808_27y.env", day / "0808_27y.env");
    fs::create_symlink("gone.env", day / "0808_27z.env");
    const auto readable = runTool({"sequence", "--day", "0808_27", "--ext", "env", "--listing", day.string()});
    EXPECT_EQ(readable.status, 0);
    EXPECT_EQ(readable.out, "0808_27a-S01\t09:00:00\t0\r0808_27b02\t10:00:00\t3600\r");
}

TEST(NamesByCharacters, CutMarkerAndExtensionCountCodePoints)
{
    // "ä" and "é" take two bytes each; "€" three; "𝄞" four.
    EXPECT_EQ(displayName("2403_15_S\xC3\xA4ure\xC3\xA9"
                          "14"),
              "2403_15_S\xC3\xA4ure     14");
    EXPECT_EQ(displayName("ab\xC3\xA9"), "     b\xC3\xA9"); // three characters
    EXPECT_EQ(displayName("wx\xE2\x82\xAC\xF0\x9D\x84\x9E"), "w     \xE2\x82\xAC\xF0\x9D\x84\x9E");
    EXPECT_EQ(displayName("\xC3\xA9\xC3\xA9"), "\xC3\xA9\xC3\xA9"); // two characters: whole
    // A name that is not UTF-8 is cut in bytes, as it always was.
    EXPECT_EQ(displayName("ab\xFF\xFE"
                          "12"),
              "ab\xFF     12");

    EXPECT_FALSE(isStandardName("0808_27x\xC3\xA9-S1", "\xC3\xA9")); // one character is no marker
    EXPECT_TRUE(isStandardName("0808_27x-\xC3\xA9"
                               "01",
                               "-\xC3\xA9"));
    EXPECT_FALSE(isStandardName("0808_27x01-\xC3\xA9", "-\xC3\xA9")); // never the last two characters
    EXPECT_TRUE(isStandardName("0808_27\xFF-S01", "-S"));
    // A name that is not UTF-8: "é" is two bytes, found before the last two.
    EXPECT_FALSE(isStandardName("0808_27\xFF\xC3\xA9", "\xC3\xA9"));
    EXPECT_TRUE(isStandardName("0808_27\xFF\xC3\xA9x", "\xC3\xA9"));

    EXPECT_TRUE(matchesDay("0808_27a.\xC3\xA4\xC3\xB6\xC3\xBC", "0808_27", "\xC3\xA4\xC3\xB6\xC3\xBC"));
    EXPECT_TRUE(matchesDay("0808_2\xC3\xA9z.env", "0808_2\xC3\xA9", "env"));
    EXPECT_FALSE(matchesDay("0808_27a.\xC3\xA4\xC3\xB6", "0808_27", "\xC3\xA4\xC3\xB6")); // two characters
    EXPECT_FALSE(matchesDay("0808_27a\xC3\xA9nv", "0808_27", "env"));
}

TEST_F(Hostile, EveryTextWrittenForUtf8NamesIsUtf8)
{
    const fs::path day = folder("utf8");
    const std::int64_t nine = test::kDay + 9 * 3600;
    makeFile(day /
                 "2403_15_S\xC3\xA4ure\xC3\xA9"
                 "14.asc",
             nine);
    makeFile(day /
                 "2403_15_x-\xC3\xA9"
                 "01.asc",
             nine + 600);
    makeFile(day /
                 "2403_15_y\xC3\xA9"
                 "02.asc",
             nine + 1200);
    makeFile(day / "2403_15_a01.\xC3\xA4\xC3\xB6\xC3\xBC", nine);
    const fs::path master = folder("out") / "m.csv";
    auto run = [&](std::vector<std::string> extra) {
        std::vector<std::string> args{"sequence", "--day", "2403_15", "--ext", "asc", "--master", master.string()};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(day.string());
        return runTool(args);
    };

    const auto plain = run({});
    EXPECT_EQ(plain.status, 0) << plain.err;
    EXPECT_TRUE(contains(plain.out, "\t2403_15_S\xC3\xA4ure     14\t\t09:00:00\t1\t")) << plain.out;
    EXPECT_TRUE(isValidUtf8(plain.out));
    EXPECT_TRUE(isValidUtf8(readFile(master)));
    EXPECT_TRUE(contains(readFile(master), "1,\"2403_15_S\xC3\xA4ure     14\""));
    const auto listing = run({"--listing"});
    EXPECT_TRUE(isValidUtf8(listing.out));

    // "é" alone marks nothing; "-é" marks the one file that holds it.
    const auto single = run({"--standard", "\xC3\xA9"});
    EXPECT_FALSE(contains(single.out, "Std")) << single.out;
    const auto marked = run({"--standard", "-\xC3\xA9"});
    EXPECT_TRUE(contains(marked.out, "\t2403_15_x-     01\tStd\t")) << marked.out;
    EXPECT_EQ(std::count(marked.out.begin(), marked.out.end(), 'S'), 3); // the marked row, "STD c/s", "Säure"

    const auto umlauts =
        runTool({"sequence", "--day", "2403_15", "--ext", "\xC3\xA4\xC3\xB6\xC3\xBC", "--listing", day.string()});
    EXPECT_EQ(umlauts.out, "2403_15_a01\t09:00:00\t0\r");
}

TEST_F(Hostile, ValuesThatAreAFolderOrOneHugeLineGiveAShortMessage)
{
    const fs::path day = folder("day");
    makeFile(day / "0808_27a.env", test::kDay);
    const auto base = [&](const std::string& values) {
        return std::vector<std::string>{"sequence", "--day",    "0808_27", "--ext",
                                        "env",      "--values", values,    day.string()};
    };
    const auto folderValues = runTool(base(day.string()));
    EXPECT_EQ(folderValues.status, kExitIoError);
    EXPECT_EQ(folderValues.err, "kalibron: cannot read " + day.string() + ": Is a directory\n");

    // 20 MB in one line, then escape codes and control bytes.
    const std::string huge = "1\t" + std::string(20'000'000, '7') + "x\n";
    const auto long_ = runTool(base("-"), huge);
    EXPECT_EQ(long_.status, kExitRefused);
    EXPECT_LT(long_.err.size(), 600u) << long_.err.substr(0, 600);
    EXPECT_TRUE(contains(long_.err, "\xE2\x80\xA6"));
    const auto raw = runTool(base("-"), "1\t\x1B[31mred\x07\x9B\n");
    EXPECT_EQ(raw.status, kExitRefused);
    EXPECT_TRUE(contains(raw.err, "\\x1B[31mred\\x07\\x9B")) << raw.err;
    for (const char c : raw.err)
        EXPECT_TRUE(static_cast<unsigned char>(c) >= 0x20 || c == '\n') << raw.err;
    EXPECT_TRUE(isValidUtf8(raw.err));
}

TEST(Messages, ShownTextCutsCharactersAndEscapesControls)
{
    EXPECT_EQ(shownText("plain"), "plain");
    EXPECT_EQ(shownText(std::string(80, 'a')), std::string(80, 'a'));
    EXPECT_EQ(shownText(std::string(81, 'a')), std::string(80, 'a') + "\xE2\x80\xA6");
    // 80 letters of two bytes each stay whole; the cut never splits one.
    std::string letters;
    for (int i = 0; i < 81; ++i)
        letters += "\xC3\xA9";
    EXPECT_EQ(shownText(letters), letters.substr(0, 160) + "\xE2\x80\xA6");
    EXPECT_EQ(shownText(std::string("a\0b", 3)), "a\\x00b");
    EXPECT_EQ(shownText("\x7F\xC2\x85\xFF\xC3"), "\\x7F\\xC2\\x85\\xFF\\xC3"); // DEL, C1, not UTF-8, cut letter
    EXPECT_EQ(shownText("0123456789", 4, "..."), "0123...");
    EXPECT_TRUE(isValidUtf8(shownText("\xED\xA0\x80\xF4\x90\x80\x80\xC0\xAF"))); // surrogate, > U+10FFFF, overlong
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));
    EXPECT_TRUE(isValidUtf8("\xF0\x9D\x84\x9E\xE2\x82\xAC"));

    // The yellow field's refusals quote the text the same way; a number
    // too large for a double is named as out of range.
    const auto longValue = refuseStandardValue(std::string(5000, '1') + "x");
    ASSERT_TRUE(longValue);
    EXPECT_LT(longValue->size(), 400u);
    const auto huge = refuseStandardValue("1e400");
    ASSERT_TRUE(huge);
    EXPECT_TRUE(contains(*huge, "\"1e400\" is out of range")) << *huge;
    EXPECT_FALSE(contains(*huge, "decimal separator")) << *huge;
    EXPECT_TRUE(refuseStandardValue("-1e400"));
    EXPECT_FALSE(refuseStandardValue("1e-400")); // reads 0, as the table reads it
}

TEST_F(Hostile, EveryFileGetsItsOwnTimeOfDay)
{
    // Times far from 1970 by the calendar: 2300-01-01 and 1600-01-01 (UTC).
    constexpr std::int64_t y2300 = 10413792000, y1600 = -11676096000;
    EXPECT_EQ(secondsOfDay(y2300 + 9 * 3600 + 61), 9 * 3600 + 61);
    EXPECT_EQ(secondsOfDay(y1600 + 10 * 3600 + 5), 10 * 3600 + 5);
    EXPECT_EQ(secondsOfDay(-1), 86399);
    EXPECT_FALSE(secondsOfDay(INT64_MAX));

    // A file system that keeps such times (tmpfs does): each file listed
    // with the time it holds.
    const fs::path shm = "/dev/shm";
    const fs::path day = fs::exists(shm) ? shm / ("kalibron_times_" + std::to_string(::getpid())) : folder("times");
    fs::create_directories(day);
    makeFile(day / "0808_27a.env", y2300 + 9 * 3600 + 61);
    makeFile(day / "0808_27b.env", y1600 + 10 * 3600 + 5);
    makeFile(day / "0808_27c.env", test::kDay + 3600);
    const auto outcome = runTool({"sequence", "--day", "0808_27", "--ext", "env", "--listing", day.string()});
    std::string expected;
    std::vector<std::pair<std::int64_t, std::string>> stored;
    for (const char* name : {"0808_27a", "0808_27b", "0808_27c"}) {
        struct stat info {};
        ASSERT_EQ(::stat((day / (std::string(name) + ".env")).c_str(), &info), 0);
        stored.emplace_back(((info.st_mtim.tv_sec % 86400) + 86400) % 86400, name);
    }
    fs::remove_all(day);
    std::stable_sort(stored.begin(), stored.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [secs, name] : stored)
        expected +=
            name + "\t" + timeOfDayText(static_cast<int>(secs)) + "\t" + std::to_string(secs - stored[0].first) + "\r";
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out, expected);

    // A time with no date at all: the file is named, not dropped in silence.
    FileListState state;
    state.DayKey = "0808_27";
    CollectingMessageSink messages;
    scanDay(state, {{"0808_27x.env", INT64_MAX}, {"0808_27y.env", test::kDay}}, "env", messages);
    EXPECT_EQ(state.nDayFiles, 1);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_TRUE(contains(messages.messages[0].text, "0808_27x.env")) << messages.messages[0].text;
}

TEST_F(Hostile, ReplacingTheMasterKeepsLinksModeAndOwner)
{
    const fs::path out = folder("out");
    const fs::path elsewhere = folder("elsewhere");
    // A relative link in the same folder, an absolute one into another.
    makeFile(out / "real.csv", test::kDay, "old");
    fs::create_symlink("real.csv", out / "near.csv");
    makeFile(elsewhere / "far.csv", test::kDay, "old");
    fs::create_symlink(elsewhere / "far.csv", out / "far.csv");
    fs::create_symlink("near.csv", out / "chain.csv");
    EXPECT_EQ(writeFileAtomically((out / "near.csv").string(), "one"), "");
    EXPECT_EQ(writeFileAtomically((out / "far.csv").string(), "two"), "");
    EXPECT_TRUE(fs::is_symlink(out / "near.csv") && fs::is_symlink(out / "far.csv"));
    EXPECT_EQ(readFile(out / "real.csv"), "one");
    EXPECT_EQ(readFile(elsewhere / "far.csv"), "two");
    EXPECT_EQ(writeFileAtomically((out / "chain.csv").string(), "three"), "");
    EXPECT_EQ(readFile(out / "real.csv"), "three");
    EXPECT_TRUE(fs::is_symlink(out / "chain.csv"));
    // A link to a file not yet there creates the file.
    fs::create_symlink("new.csv", out / "ahead.csv");
    EXPECT_EQ(writeFileAtomically((out / "ahead.csv").string(), "four"), "");
    EXPECT_EQ(readFile(out / "new.csv"), "four");
    // A loop is refused with its reason.
    fs::create_symlink("loop2.csv", out / "loop1.csv");
    fs::create_symlink("loop1.csv", out / "loop2.csv");
    EXPECT_TRUE(contains(writeFileAtomically((out / "loop1.csv").string(), "x"), "symbolic links"));

    // A private file stays private; another user's file stays his where the
    // writer may give it away.
    makeFile(out / "private.csv", test::kDay, "old");
    ::chmod((out / "private.csv").c_str(), 0600);
    EXPECT_EQ(writeFileAtomically((out / "private.csv").string(), "new"), "");
    struct stat info {};
    ASSERT_EQ(::stat((out / "private.csv").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    if (::geteuid() == 0) {
        makeFile(out / "theirs.csv", test::kDay, "old");
        ASSERT_EQ(::chown((out / "theirs.csv").c_str(), 12345, 12346), 0);
        ::chmod((out / "theirs.csv").c_str(), 0640);
        EXPECT_EQ(writeFileAtomically((out / "theirs.csv").string(), "new"), "");
        ASSERT_EQ(::stat((out / "theirs.csv").c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, 12345u);
        EXPECT_EQ(info.st_gid, 12346u);
        EXPECT_EQ(info.st_mode & 07777, 0640u);
        EXPECT_EQ(readFile(out / "theirs.csv"), "new");
    }

    // The longest name a folder takes: its temporary file still fits.
    const long limit = ::pathconf(out.c_str(), _PC_NAME_MAX);
    const std::string longName = std::string(static_cast<std::size_t>(limit > 0 ? limit : 255) - 4, 'm') + ".csv";
    EXPECT_EQ(writeFileAtomically((out / longName).string(), "long"), "");
    EXPECT_EQ(readFile(out / longName), "long");

    // No temporary file is left anywhere.
    for (const fs::path& dir : {out, elsewhere})
        for (const auto& entry : fs::directory_iterator(dir))
            EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();
}

TEST_F(Hostile, AFailedWriteToStandardOutputFailsTheCommand)
{
    const fs::path day = folder("day");
    makeFile(day / "0808_27a.env", test::kDay);
    std::vector<std::string> args{"kalibron", "sequence", "--day", "0808_27", "--ext", "env", day.string()};
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    FullStreamBuffer full;
    std::ostream out(&full);
    std::istringstream in;
    std::ostringstream err;
    EXPECT_EQ(runCli(static_cast<int>(args.size()), argv.data(), in, out, err), kExitIoError);
    EXPECT_EQ(err.str(), "kalibron: cannot write standard output\n");
}
