// The scan of a directory: match test, time of day, time order, day listing,
// limits, and one scan of a real folder.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "core/file_list_state.h"
#include "core/messages.h"
#include "tests/sequence/sequence_test_support.h"
#include "analysis/file_scan.h"

using namespace kalibron;
using kalibron::test::fileAt;

namespace {

struct Scan {
    FileListState state;
    CollectingMessageSink messages;
    std::string selection;
};

Scan scan(std::vector<FileEntry> files, std::string dayKey = "0808_27", std::string extension = "env")
{
    Scan s;
    s.state.DayKey = std::move(dayKey);
    s.selection = scanDay(s.state, std::move(files), extension, s.messages);
    return s;
}

} // namespace

TEST(MatchTest, DayAndExtensionAreExactAndCaseSensitive)
{
    EXPECT_TRUE(matchesDay("0808_27a.env", "0808_27", "env"));
    EXPECT_TRUE(matchesDay("0808_27.env", "0808_27", "env"));
    EXPECT_FALSE(matchesDay("0808_26b.env", "0808_27", "env"));
    EXPECT_FALSE(matchesDay("0808_27c.txt", "0808_27", "env"));
    EXPECT_FALSE(matchesDay("0808_27a.ENV", "0808_27", "env"));
    EXPECT_FALSE(matchesDay("0808_27a.env", "0808_27", "ENV"));
    EXPECT_FALSE(matchesDay("0808_5a.env", "0808_5", "env")); // one-digit day: a 6-character key
    EXPECT_FALSE(matchesDay("0808_27a.en", "0808_27", "en")); // two-character extension
    EXPECT_FALSE(matchesDay("0808_27a.envx", "0808_27", "envx"));
    EXPECT_FALSE(matchesDay("0808_27aXenv", "0808_27", "env")); // no dot
    EXPECT_FALSE(matchesDay("0808", "0808_27", "env"));
    EXPECT_FALSE(matchesDay("", "0808_27", "env"));
}

TEST(Scan, PicksTheDayAndKeepsEveryFileInTheList)
{
    const Scan s =
        scan({fileAt("0808_27c.txt", 9, 0, 0), fileAt("0808_26b.env", 9, 0, 0), fileAt("0808_27a.env", 9, 5, 7)});
    EXPECT_EQ(s.state.nAllFiles, 3);
    EXPECT_EQ(s.state.AllFiles, (std::vector<std::string>{"0808_26b.env", "0808_27a.env", "0808_27c.txt"}));
    EXPECT_EQ(s.state.nDayFiles, 1);
    EXPECT_EQ(s.selection, "0808_27a   \t09:05:07");
    EXPECT_EQ(s.state.DayListing, "0808_27a\t09:05:07\t0\r");
    EXPECT_TRUE(s.messages.messages.empty());

    // Names are bytes: one that is not UTF-8 passes through unchanged.
    const Scan raw = scan({fileAt("0808_27\xFF\xFE.env", 9, 0, 0)});
    EXPECT_EQ(raw.state.DayListing, "0808_27\xFF\xFE\t09:00:00\t0\r");
}

TEST(Scan, TimeOrderTiesMidnightAndElapsedSeconds)
{
    // Names in reverse order of time; two written in the same second keep
    // their name order; a file of 00:10 comes before one of 23:50.
    const Scan s =
        scan({fileAt("0808_27e.env", 23, 50, 0), fileAt("0808_27d.env", 10, 0, 0), fileAt("0808_27c.env", 9, 0, 0),
              fileAt("0808_27b.env", 9, 0, 0), fileAt("0808_27a.env", 0, 10, 0)});
    EXPECT_EQ(s.state.SortName, (std::vector<std::string>{"0808_27a", "0808_27b", "0808_27c", "0808_27d", "0808_27e"}));
    EXPECT_EQ(s.state.FirstSecs, 600);
    EXPECT_EQ(s.state.DayListing,
              "0808_27a\t00:10:00\t0\r"
              "0808_27b\t09:00:00\t31800\r"
              "0808_27c\t09:00:00\t31800\r"
              "0808_27d\t10:00:00\t35400\r"
              "0808_27e\t23:50:00\t85200\r");
    // The selection text keeps name order.
    EXPECT_EQ(s.selection.substr(0, 8), "0808_27a");
    EXPECT_EQ(std::count(s.selection.begin(), s.selection.end(), '\r'), 4);
}

TEST(Scan, EmptyFolderAndNoMatchGiveEmptyListing)
{
    const Scan empty = scan({});
    EXPECT_EQ(empty.state.nAllFiles, 0);
    EXPECT_EQ(empty.state.nDayFiles, 0);
    EXPECT_EQ(empty.state.DayListing, "");
    EXPECT_EQ(empty.selection, "");
    const Scan none = scan({fileAt("0808_27a.env", 9, 0, 0)}, "0808_5");
    EXPECT_EQ(none.state.nAllFiles, 1);
    EXPECT_EQ(none.state.nDayFiles, 0);
    EXPECT_EQ(none.state.DayListing, "");
}

TEST(Scan, LimitsKeepTheFirstFilesAndSaySo)
{
    std::vector<FileEntry> files;
    for (int i = 0; i < 10200; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "%s%05d.env", i < 1100 ? "0808_27" : "0808_28", i);
        // The files of the day were written in the reverse order of their names.
        files.push_back(fileAt(name, 0, 0, 20000 - i));
    }
    const Scan s = scan(files);
    EXPECT_EQ(s.state.nDirectoryFiles, 10200);
    EXPECT_EQ(s.state.nAllFiles, kMaxListedFiles);
    EXPECT_EQ(s.state.nDayFiles, kMaxTableRows);
    // The earliest 999 in time: names 101 .. 1099, the latest name first.
    EXPECT_EQ(s.state.SortName.front(), "0808_2701099");
    EXPECT_EQ(s.state.SortName.back(), "0808_2700101");
    ASSERT_EQ(s.messages.messages.size(), 2u);
    EXPECT_NE(s.messages.messages[0].text.find("10200 files"), std::string::npos);
    EXPECT_NE(s.messages.messages[0].text.find("10000"), std::string::npos);
    EXPECT_NE(s.messages.messages[1].text.find("1100 files of the day 0808_27"), std::string::npos);
    EXPECT_NE(s.messages.messages[1].text.find("999"), std::string::npos);
}

TEST(Scan, ARealFolderListsPlainVisibleFilesInCodePointOrder)
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("kalibron_scan_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "0808_27sub.env");
    const std::vector<std::pair<std::string, int>> files{
        {"0808_27b.env", 3600 * 14 + 1}, {"0808_27a.env", 3600 * 14}, {"0808_27\xC3\xA9.env", 3600 * 13},
        {"0808_27B.env", 3600 * 15},     {".0808_27h.env", 0},        {"notes.txt", 0}};
    for (const auto& [name, secs] : files) {
        std::ofstream(dir / name) << "x";
        const struct utimbuf times {
            static_cast<time_t>(test::kDay + secs), static_cast<time_t>(test::kDay + secs)
        };
        ASSERT_EQ(::utime((dir / name).c_str(), &times), 0);
    }
    const DirectoryListing listing = listDirectory(dir.string());
    EXPECT_TRUE(listing.problem.empty());
    std::vector<std::string> names;
    for (const FileEntry& f : listing.files)
        names.push_back(f.name);
    EXPECT_EQ(
        names,
        (std::vector<std::string>{"0808_27B.env", "0808_27a.env", "0808_27b.env", "0808_27\xC3\xA9.env", "notes.txt"}));
    const Scan s = scan(listing.files);
    EXPECT_EQ(s.state.DayListing,
              "0808_27\xC3\xA9\t13:00:00\t0\r"
              "0808_27a\t14:00:00\t3600\r"
              "0808_27b\t14:00:01\t3601\r"
              "0808_27B\t15:00:00\t7200\r");
    EXPECT_FALSE(listDirectory((dir / "missing").string()).problem.empty());
    fs::remove_all(dir);
}
