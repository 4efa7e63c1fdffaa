// `kalibron rank` and the leave-one-out block of `kalibron fit`: the window's
// own ranking, as a table against a reference and as JSON that agrees with it.
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "analysis/method_ranking.h"
#include "analysis/polynomial_rows.h"
#include "regression/rounding.h"
#include "regression/smoothing_spline.h"
#include "tests/cli/cli_test_support.h"

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
    // Only the drift methods predict a standard by the other one, all alike,
    // so none beats the mean and each is marked.
    const QJsonArray ranked = fit["ranking"].toArray();
    ASSERT_EQ(ranked.size(), 5);
    for (const QJsonValue& key : ranked) {
        EXPECT_EQ(looOf(fit, key.toString().toStdString())["mean"].toDouble(), 210.0);
        EXPECT_TRUE(fit[key.toString()].isNull()) << "reported though neither shown nor exported";
    }
    EXPECT_EQ(fit["firstStandard"].toInt(), 5);
    EXPECT_EQ(fit["lastStandard"].toInt(), 10);
    const CliOutcome rank = runTool({"rank", "--reject", "15", "-"}, table);
    EXPECT_EQ(rank.status, kExitOk);
    EXPECT_EQ(crLines(rank.out).size(), 1u) << "one text, lines ended by LF";
    EXPECT_NE(rank.out.find("\nLinear                0.00000               no figure\n"), std::string::npos)
        << rank.out;
    // err.% by hand: 100·(210/980 + 210/770)/2.
    EXPECT_NE(rank.out.find("\nBracketing average    0.00000               210.0                    24.35  210.0 (5)" +
                            std::string(12, ' ') + "no better than no correction\n"),
              std::string::npos)
        << rank.out;
}

// The used standards of a table file (X, Y > 0), none rejected.
UsedPoints standardsOf(const std::string& text)
{
    UsedPoints points;
    std::istringstream in(text);
    double x = 0, y = 0;
    while (in >> x >> y)
        if (y > 0) {
            points.x.push_back(x);
            points.y.push_back(y);
        }
    return points;
}

double meanAbsError(const UsedPoints& p, const std::function<double(std::size_t)>& predict)
{
    double sum = 0;
    for (std::size_t i = 0; i < p.x.size(); ++i)
        sum += std::abs(p.y[i] - predict(i));
    return sum / static_cast<double>(p.x.size());
}

// The drift methods' leave-one-out figures against brute force: the spline
// refitted without each standard at the λ of all of them, the rules and the
// mean recomputed from the neighbours and the others; every method whose
// figure is not below the mean's, and only it, marked.
TEST(CliRank, DriftMethodsJoinWithBruteForceFiguresAndTheMark)
{
    // A drift (the mean far behind), and noise about a level (the mean ahead).
    std::string level;
    for (int x = 1, k = 0; x <= 120; x += 3 + (x % 7 == 0), ++k)
        level += std::to_string(x) + "\t" + std::to_string(500.0 + 4.0 * std::sin(k * 2.3) + (k % 3)) + "\n";
    const std::pair<std::string, bool> cases[] = {{readAll(dataPath("drift_outlier.txt")), false}, {level, true}};
    for (const auto& [table, someMarked] : cases) {
        const CliOutcome rank = runTool({"rank", "-"}, table);
        ASSERT_EQ(rank.status, kExitOk) << rank.err;
        const QJsonObject fit = fitJson({"-"}, table);
        const UsedPoints p = standardsOf(table);
        const std::size_t n = p.x.size();
        const auto spline = SmoothingSpline::fit(p.x, p.y);
        ASSERT_TRUE(spline && spline->lambda());
        const std::function<double(std::size_t)> predict[] = {
            [&](std::size_t i) {
                UsedPoints rest = p;
                rest.x.erase(rest.x.begin() + static_cast<std::ptrdiff_t>(i));
                rest.y.erase(rest.y.begin() + static_cast<std::ptrdiff_t>(i));
                return SmoothingSpline::fit(rest.x, rest.y, {}, spline->lambda())->value(p.x[i]);
            },
            [&](std::size_t i) { return p.y[i == 0 ? 1 : i - 1]; },
            [&](std::size_t i) { return p.y[i + 1 == n ? n - 2 : i + 1]; },
            [&](std::size_t i) { return i == 0    ? p.y[1]
                                     : i + 1 == n ? p.y[n - 2]
                                                  : (p.y[i - 1] + p.y[i + 1]) / 2; },
            [&](std::size_t i) {
                double others = 0;
                for (std::size_t j = 0; j < n; ++j)
                    others += j == i ? 0 : p.y[j];
                return others / static_cast<double>(n - 1);
            }};
        for (std::size_t m = 0; m < kDriftMethods; ++m) {
            const double brute = meanAbsError(p, predict[m]);
            EXPECT_NEAR(looOf(fit, kDriftMethodKeys[m])["mean"].toDouble(), brute, 1e-9 * brute) << m;
        }
        for (const char* name : kDriftMethodNames)
            EXPECT_NE(rank.out.find("\n" + std::string(name) + "  "), std::string::npos) << name;
        // The table's rows follow the JSON's ranking; each marked exactly when
        // its figure is not below the mean's.
        const double baseline = looOf(fit, "mean")["mean"].toDouble();
        const QJsonArray order = fit["ranking"].toArray();
        std::istringstream lines(rank.out);
        std::string line;
        std::getline(lines, line); // the header
        int marked = 0;
        for (const QJsonValue& key : order) {
            std::getline(lines, line);
            const bool worse = key.toString() != QStringLiteral("mean") &&
                !(looOf(fit, key.toString().toStdString())["mean"].toDouble() < baseline);
            EXPECT_EQ(line.ends_with("  no better than no correction"), worse) << line;
            marked += worse ? 1 : 0;
        }
        EXPECT_EQ(marked > 0, someMarked) << rank.out;
    }
}

} // namespace
} // namespace kalibron::test
