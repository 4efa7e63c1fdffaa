// What the tool does with input it cannot use: refused tables, unreadable
// files and wrong options each get their exit status and one clear line, and
// nothing on standard output.
#include <string>
#include <vector>

#include "tests/cli/cli_test_support.h"

namespace kalibron::test {
namespace {

const std::string kGoodTable = "5\t980\n10\t770\n15\t700\n25\t550\n27\t500\n";

TEST(CliErrors, RefusedTablesEndTheRunWithTheWindowsMessage)
{
    struct Case {
        std::string name, table, message;
    };
    const std::vector<Case> cases = {
        {"empty", "", kClipboardEmptyMessage},
        {"two lines", "5\t980\n10\t770\n", kTableFormatMessage},
        {"letters in a cell", "5\t980\n10\tabc\n15\t700\n", kTableFormatMessage},
        {"one column", "5\n10\n15\n", kTableFormatMessage},
        {"position beyond the last", "5\t980\n10\t770\n30001\t700\n", kTableFormatMessage},
    };
    for (const Case& c : cases) {
        for (const char* command : {"export", "fit"}) {
            SCOPED_TRACE(c.name + " / " + command);
            const CliOutcome outcome = runTool({command, "-"}, c.table);
            EXPECT_EQ(outcome.status, kExitRefused);
            EXPECT_TRUE(outcome.out.empty()) << outcome.out;
            EXPECT_EQ(outcome.err, c.message + "\n");
        }
    }
}

TEST(CliErrors, RefusedTableWritesNoImage)
{
    TempFolder folder;
    const std::string image = folder.path("plot.svg");
    const CliOutcome outcome = runTool({"plot", "-o", image, "-"}, "5\t980\n");
    EXPECT_EQ(outcome.status, kExitRefused);
    EXPECT_FALSE(std::filesystem::exists(image));
}

TEST(CliErrors, UnreadableFilesAreStatusOneWithTheReason)
{
    TempFolder folder;
    const std::string missing = folder.path("missing.txt");
    const CliOutcome notThere = runTool({"export", missing});
    EXPECT_EQ(notThere.status, kExitIoError);
    EXPECT_EQ(notThere.err, "kalibron: cannot read " + missing + ": No such file or directory\n");
    EXPECT_TRUE(notThere.out.empty());

    const CliOutcome directory = runTool({"fit", folder.root().string()});
    EXPECT_EQ(directory.status, kExitIoError);
    EXPECT_EQ(directory.err, "kalibron: cannot read " + folder.root().string() + ": Is a directory\n");
}

TEST(CliErrors, OversizedInputIsRefusedNotRead)
{
    const std::string huge(kMaxTableBytes + 1, '1');
    const CliOutcome outcome = runTool({"export", "-"}, huge);
    EXPECT_EQ(outcome.status, kExitRefused);
    EXPECT_NE(outcome.err.find("64 MiB"), std::string::npos) << outcome.err;
    EXPECT_TRUE(outcome.out.empty());
}

TEST(CliErrors, WrongOptionsNameTheOffendingWord)
{
    struct Case {
        std::vector<std::string> args;
        std::string named; // must appear in the one-line reason
    };
    const std::vector<Case> cases = {
        {{}, "no command"},
        {{}, "(export, fit, plot, rank, sequence, values;"},
        {{"draw", "-"}, "'draw'"},
        {{"draw", "-"}, "(export, fit, plot, rank, sequence, values)"},
        {{"export", "--bogus", "-"}, "'--bogus'"},
        {{"export"}, "no table"},
        {{"export", "a.txt", "b.txt"}, "'b.txt'"},
        {{"export", "--program", "02", "-"}, "'02'"},
        {{"export", "--prob", "7", "-"}, "'7'"},
        {{"export", "--prob", "0", "-"}, "'0'"},
        {{"export", "--prob", "2.5", "-"}, "'2.5'"},
        {{"export", "--free-degree", "1", "-"}, "'1'"},
        {{"export", "--free-degree", "26", "-"}, "'26'"},
        {{"export", "--free-degree", "-"}, "'-'"},
        {{"export", "--show", "log,poly6", "-"}, "'poly6'"},
        {{"export", "--show", "none,log", "-"}, "'none'"},
        {{"export", "--show", "log,,conf", "-"}, "empty item"},
        {{"export", "--export", "lin,poly1", "-"}, "'poly1'"},
        {{"export", "--export", "cubic", "-"}, "'cubic'"},
        {{"export", "--reject", "5,x", "-"}, "'x'"},
        {{"export", "--reject", "-3", "-"}, "'-3'"},
        {{"export", "--y-zoom=1", "-"}, "--y-zoom takes no value"},
        {{"export", "--prob"}, "--prob needs a value"},
        {{"export", "-o", "x.png", "-"}, "'-o'"},
        {{"fit", "--dpi", "96", "-"}, "'--dpi'"},
        {{"plot", "-"}, "-o FILE"},
        {{"plot", "-o", "plot.jpg", "-"}, "'plot.jpg'"},
        {{"plot", "-o", "p.png", "--dpi", "10", "-"}, "'10'"},
        {{"plot", "-o", "p.png", "--dpi", "1201", "-"}, "'1201'"},
        // Nothing is interpolated, so there would be no u column to write.
        {{"sequence", "--uncertainty", "lin", "--day", "0808_27", "--ext", "env", "."},
         "--uncertainty needs --values or --session"},
    };
    for (const Case& c : cases) {
        std::string joined;
        for (const std::string& a : c.args)
            joined += a + " ";
        SCOPED_TRACE(joined);
        const CliOutcome outcome = runTool(c.args, kGoodTable);
        EXPECT_EQ(outcome.status, kExitRefused);
        EXPECT_TRUE(outcome.out.empty());
        EXPECT_TRUE(outcome.err.starts_with("kalibron: ")) << outcome.err;
        EXPECT_NE(outcome.err.find(c.named), std::string::npos) << outcome.err;
        EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1) << "one line: " << outcome.err;
    }
}

TEST(CliErrors, RejectingAPositionWithoutAPositivePoint)
{
    // Position 7 holds Y = 0: present, but a click could never reject it.
    const std::string table = "5\t980\n7\t0\n10\t770\n15\t700\n";
    for (const std::string position : {"6", "7", "16", "30000", "999999"}) {
        SCOPED_TRACE(position);
        const CliOutcome outcome = runTool({"export", "--reject", position, "-"}, table);
        EXPECT_EQ(outcome.status, kExitRefused);
        EXPECT_TRUE(outcome.out.empty());
        EXPECT_EQ(outcome.err, "kalibron: --reject: position " + position + " holds no positive point\n");
    }
    EXPECT_EQ(runTool({"export", "--reject", "5,15", "-"}, table).status, kExitOk);
}

TEST(CliErrors, HelpIsWrittenToStandardOutput)
{
    const CliOutcome main = runTool({"--help"});
    EXPECT_EQ(main.status, kExitOk);
    for (const char* word : {"export", "fit", "plot", "rank", "COMMAND --help"})
        EXPECT_NE(main.out.find(word), std::string::npos) << word;

    const CliOutcome exportHelp = runTool({"export", "--help"});
    EXPECT_EQ(exportHelp.status, kExitOk);
    for (const char* word : {"--prob", "(default 3)", "--free-degree", "(default 6)", "log,poly2,zigzag,conf",
                             "lin,log,poly2", "--reject", "--only-unrejected", "--x-zoom"})
        EXPECT_NE(exportHelp.out.find(word), std::string::npos) << word;

    const CliOutcome plotHelp = runTool({"plot", "-h"});
    EXPECT_EQ(plotHelp.status, kExitOk);
    EXPECT_NE(plotHelp.out.find("--dpi"), std::string::npos);
    EXPECT_NE(plotHelp.out.find("(default 96)"), std::string::npos);
    EXPECT_TRUE(plotHelp.err.empty());

    const CliOutcome rankHelp = runTool({"rank", "--help"});
    EXPECT_EQ(rankHelp.status, kExitOk);
    EXPECT_NE(rankHelp.out.find("leave-one-out"), std::string::npos);
    EXPECT_NE(rankHelp.out.find("--free-degree"), std::string::npos);
    EXPECT_EQ(runTool({"rank", "--dpi", "96", "-"}).status, kExitRefused) << "a plot option";
}

} // namespace
} // namespace kalibron::test
