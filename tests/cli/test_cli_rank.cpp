// `kalibron rank` and the leave-one-out block of `kalibron fit`: the window's
// own ranking, as a table against a reference and as JSON that agrees with it.
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "regression/rounding.h"
#include "tests/cli/cli_test_support.h"
#include "analysis/method_ranking.h"
#include "analysis/polynomial_rows.h"

namespace kalibron::test {
namespace {

std::string dataPath(const std::string& name) { return std::string(KALIBRON_TEST_DATA_DIR) + "/" + name; }

QJsonObject fitJson(const std::vector<std::string>& args, const std::string& input = {})
{
    std::vector<std::string> all = {"fit"};
    all.insert(all.end(), args.begin(), args.end());
    const CliOutcome outcome = runTool(all, input);
    EXPECT_EQ(outcome.status, kExitOk) << outcome.err;
    return QJsonDocument::fromJson(QByteArray::fromStdString(outcome.out)).object();
}

QJsonValue looOf(const QJsonObject& fit, const std::string& key)
{
    const QJsonObject loo = fit["loo"].toObject();
    if (key.starts_with("poly"))
        return loo["poly"].toObject()[QString::fromStdString(key.substr(4))];
    return loo[QString::fromStdString(key)];
}

TEST(CliRank, DriftWithAnOutlierMatchesTheReference)
{
    const CliOutcome outcome = runTool({"rank", dataPath("drift_outlier.txt")});
    ASSERT_EQ(outcome.status, kExitOk) << outcome.err;
    EXPECT_TRUE(outcome.err.empty()) << outcome.err;
    const std::string reference = dataPath("rank_drift_outlier.txt");
    if (std::getenv("KALIBRON_UPDATE_REFERENCE"))
        std::ofstream(reference, std::ios::binary) << outcome.out;
    EXPECT_EQ(outcome.out, readAll(reference));
}

// The JSON block holds the figures of the window's ranking (same doubles),
// ranks the methods that have one in the table's order, and each figure
// rounds to the table's cell.
TEST(CliRank, FitReportsTheRankingTheTableShows)
{
    struct Run {
        std::string table, degree;
        std::vector<int> rejected;
    };
    const std::vector<Run> runs = {
        {"drift_outlier.txt", "6", {}},
        {"drift_outlier.txt", "9", {164, 200}},
        {"example_table.txt", "3", {}},
    };
    for (const Run& run : runs) {
        SCOPED_TRACE(run.table + " degree " + run.degree);
        std::vector<std::string> args = {"--free-degree", run.degree};
        for (const int position : run.rejected)
            args.insert(args.end(), {"--reject", std::to_string(position)});
        args.push_back(dataPath(run.table));
        const QJsonObject fit = fitJson(args);
        std::vector<std::string> rankArgs = {"rank"};
        rankArgs.insert(rankArgs.end(), args.begin(), args.end());
        const std::vector<std::string> table = crLines([&] {
            std::string text = runTool(rankArgs).out;
            for (char& c : text)
                if (c == '\n')
                    c = '\r';
            return text;
        }());

        RegressionSettings settings;
        settings.ComboBox1 = run.degree;
        const auto window = runWindow(clipboardTextFromFile(readAll(args.back())), settings, 3, run.rejected);
        const MethodRanking ranking = rankMethods(*window->store, freeDegree(settings.ComboBox1));
        ASSERT_EQ(table.size(), ranking.methods.size() + 2); // header, methods, range

        const QJsonArray order = fit["ranking"].toArray();
        int ranked = 0;
        for (std::size_t m = 0; m < ranking.methods.size(); ++m) {
            const MethodScore& method = ranking.methods[m];
            SCOPED_TRACE(method.key);
            EXPECT_TRUE(table[m + 1].starts_with(method.name + "  ")) << table[m + 1];
            const QJsonValue figures = looOf(fit, method.key);
            if (!method.loo) {
                EXPECT_TRUE(figures.isNull());
                EXPECT_NE(table[m + 1].find("no figure"), std::string::npos);
                continue;
            }
            EXPECT_EQ(order[ranked++].toString().toStdString(), method.key);
            const QJsonObject f = figures.toObject();
            EXPECT_EQ(f["mean"].toDouble(), method.loo->mean);
            EXPECT_EQ(f["meanPct"].toDouble(), method.loo->meanPct);
            EXPECT_EQ(f["max"].toDouble(), method.loo->max);
            EXPECT_EQ(f["maxAt"].toInt(), method.loo->maxAt);
            const std::string cells = table[m + 1];
            for (const std::string& shown : {Rounding(ValueCell(method.loo->mean), NumberLocale{}),
                                             Rounding(ValueCell(method.loo->max), NumberLocale{}) + " (" +
                                                 std::to_string(method.loo->maxAt) + ")"})
                EXPECT_NE(cells.find("  " + shown), std::string::npos) << shown << " in " << cells;
        }
        EXPECT_EQ(order.size(), ranked);
        EXPECT_EQ(fit["firstStandard"].toInt(), *ranking.firstStandard);
        EXPECT_EQ(fit["lastStandard"].toInt(), *ranking.lastStandard);
    }
}

// Two standards left: no method can predict one without it.
TEST(CliRank, TooFewStandardsGiveNoFigures)
{
    const std::string table = "5\t980\n10\t770\n15\t700\n";
    const QJsonObject fit = fitJson({"--reject", "15", "-"}, table);
    for (const char* key : {"lin", "log", "poly2", "poly6", "zigzag"})
        EXPECT_TRUE(looOf(fit, key).isNull()) << key;
    EXPECT_TRUE(fit["ranking"].toArray().isEmpty());
    EXPECT_EQ(fit["firstStandard"].toInt(), 5);
    EXPECT_EQ(fit["lastStandard"].toInt(), 10);
    const CliOutcome rank = runTool({"rank", "--reject", "15", "-"}, table);
    EXPECT_EQ(rank.status, kExitOk);
    EXPECT_EQ(crLines(rank.out).size(), 1u) << "one text, lines ended by LF";
    EXPECT_NE(rank.out.find("\nLinear        0.00000               no figure\n"), std::string::npos) << rank.out;
}

} // namespace
} // namespace kalibron::test
