// `kalibron fit`: the JSON report holds the engine's values, each polynomial
// row its own fit, the window's labels and the messages shown.
#include <cmath>
#include <string>
#include <vector>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "regression/polynomial_fit.h"
#include "tests/cli/cli_test_support.h"

namespace kalibron::test {
namespace {

struct Point {
    double x, y;
};

const std::vector<Point> kExample = {{5, 980}, {10, 770}, {15, 700}, {25, 550}, {27, 500}};

std::string examplePath() { return std::string(KALIBRON_TEST_DATA_DIR) + "/example_table.txt"; }

QJsonObject fitJson(const std::vector<std::string>& args, const std::string& input = {})
{
    std::vector<std::string> all = {"fit"};
    all.insert(all.end(), args.begin(), args.end());
    const CliOutcome outcome = runTool(all, input);
    EXPECT_EQ(outcome.status, kExitOk) << outcome.err;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(outcome.out), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << "\n" << outcome.out;
    return document.object();
}

void expectRelative(double actual, double expected, double tolerance, const std::string& what)
{
    EXPECT_NEAR(actual, expected, tolerance * std::max(1.0, std::abs(expected))) << what;
}

// Least-squares line through the points, from centred sums.
std::pair<double, double> lineThrough(const std::vector<Point>& points, bool logX)
{
    double mx = 0, my = 0;
    for (const Point& p : points) {
        mx += logX ? std::log(p.x) : p.x;
        my += p.y;
    }
    mx /= static_cast<double>(points.size());
    my /= static_cast<double>(points.size());
    double sxy = 0, sxx = 0;
    for (const Point& p : points) {
        const double x = logX ? std::log(p.x) : p.x;
        sxy += (x - mx) * (p.y - my);
        sxx += (x - mx) * (x - mx);
    }
    const double b = sxy / sxx;
    return {my - b * mx, b};
}

double evaluate(const QJsonArray& coefficients, double x)
{
    double f = 0;
    for (int p = coefficients.size() - 1; p >= 0; --p)
        f = f * x + coefficients[p].toDouble();
    return f;
}

TEST(CliFit, StoreValuesOfTheExampleAgreeWithClosedForms)
{
    const QJsonObject fit = fitJson({examplePath()});
    EXPECT_EQ(fit["MaxX"].toDouble(), 27);
    EXPECT_EQ(fit["nPoints"].toInt(), 5);
    EXPECT_EQ(fit["nPointsAll"].toInt(), 5);
    EXPECT_EQ(fit["nCols"].toInt(), 2);
    EXPECT_EQ(fit["FirstX"].toInt(), 5);
    EXPECT_EQ(fit["MaxY"].toDouble(), 980);
    EXPECT_EQ(fit["MinY"].toDouble(), 500);

    const auto [a, b] = lineThrough(kExample, false);
    expectRelative(fit["LinA"].toDouble(), a, 1e-10, "LinA");
    expectRelative(fit["LinB"].toDouble(), b, 1e-10, "LinB");
    const auto [la, lb] = lineThrough(kExample, true);
    expectRelative(fit["LogA"].toDouble(), la, 1e-10, "LogA");
    expectRelative(fit["LogB"].toDouble(), lb, 1e-10, "LogB");

    double dev = 0;
    for (const Point& p : kExample)
        dev += std::abs(a + b * p.x - p.y);
    expectRelative(fit["LinDev"].toDouble(), dev / 5, 1e-9, "LinDev");
    // 95 % two-sided with 5 − 2 degrees of freedom.
    expectRelative(fit["tValue"].toDouble(), 3.1824463052842638, 1e-6, "tValue");
    expectRelative(fit["ConfXMean"].toDouble(), 82.0 / 5.0, 1e-12, "ConfXMean");

    // Every example point is its own cluster of standards.
    ASSERT_EQ(fit["nClusters"].toInt(), 5);
    const QJsonArray zx = fit["ZzX"].toArray(), zy = fit["ZzY"].toArray();
    ASSERT_EQ(zx.size(), 5);
    ASSERT_EQ(zy.size(), 5);
    for (int c = 0; c < 5; ++c) {
        expectRelative(zx[c].toDouble(), kExample[static_cast<std::size_t>(c)].x, 1e-12, "ZzX");
        expectRelative(zy[c].toDouble(), kExample[static_cast<std::size_t>(c)].y, 1e-12, "ZzY");
    }
}

TEST(CliFit, NumbersReadBackToTheEnginesDoubles)
{
    const QJsonObject fit = fitJson({examplePath()});
    auto window = runWindow(readAll(examplePath()), RegressionSettings{});
    const Store& store = *window->store;
    // The report promises the engine's exact doubles, so equality is the test.
    EXPECT_EQ(fit["LinA"].toDouble(), store.LinA.value());
    EXPECT_EQ(fit["LinB"].toDouble(), store.LinB.value());
    EXPECT_EQ(fit["LinR"].toDouble(), store.LinR.value());
    EXPECT_EQ(fit["LogDevPct"].toDouble(), store.LogDevPct.value());
    EXPECT_EQ(fit["ConfS"].toDouble(), store.ConfS.value());
    EXPECT_EQ(fit["ConfSxx"].toDouble(), store.ConfSxx.value());
    const QJsonArray c2 = fit["poly"]["2"]["coefficients"].toArray();
    ASSERT_EQ(c2.size(), 3);
    for (int p = 0; p <= 2; ++p)
        EXPECT_EQ(c2[p].toDouble(), store.PolyCoef[2][static_cast<std::size_t>(p + 2)].value()) << "c" << p;
}

// Each ticked row must carry its own fit: the deviations and dsig recomputed
// from the row's coefficients match the row's values, and the coefficients
// satisfy the normal equations (the residual is orthogonal to 1, x … x^d).
TEST(CliFit, EveryPolynomialRowReportsItsOwnFit)
{
    TempFolder folder;
    std::vector<Point> points;
    std::string table;
    for (int x = 3; x <= 60; x += 3) {
        char cell[64];
        std::snprintf(cell, sizeof cell, "%.6f", 800 + 3.5 * x - 0.04 * x * x + 6 * std::sin(x * 0.7));
        points.push_back({static_cast<double>(x), std::stod(cell)}); // the value as the table holds it
        table += std::to_string(x) + "\t" + cell + "\n";
    }
    const QJsonObject fit =
        fitJson({"--show", "poly1,poly2,poly3,poly5", "--free-degree", "4", folder.file("curve.txt", table)});
    const QJsonObject poly = fit["poly"].toObject();
    EXPECT_EQ(poly.keys(), QStringList({"1", "2", "3", "5"}));
    const std::vector<std::pair<QString, int>> rows = {{"1", 4}, {"2", 2}, {"3", 3}, {"5", 5}};
    for (const auto& [row, degree] : rows) {
        SCOPED_TRACE("row " + row.toStdString());
        const QJsonObject r = poly[row].toObject();
        EXPECT_EQ(r["degree"].toInt(), degree);
        const QJsonArray c = r["coefficients"].toArray();
        ASSERT_EQ(c.size(), degree + 1);
        double dev = 0, pct = 0, ss = 0;
        std::vector<double> normal(static_cast<std::size_t>(degree + 1), 0.0), scale(normal.size(), 0.0);
        for (const Point& p : points) {
            const double residual = p.y - evaluate(c, p.x);
            dev += std::abs(residual);
            pct += std::abs(residual) / p.y;
            ss += residual * residual;
            double power = 1;
            for (std::size_t k = 0; k < normal.size(); ++k, power *= p.x) {
                normal[k] += residual * power;
                scale[k] += std::abs(p.y) * power;
            }
        }
        const double n = static_cast<double>(points.size());
        expectRelative(r["PolyDev"].toDouble(), dev / n, 1e-8, "PolyDev");
        expectRelative(r["PolyDevPct"].toDouble(), 100 * pct / n, 1e-8, "PolyDevPct");
        expectRelative(r["dsig"].toDouble(), std::sqrt(ss / (n - 2)), 1e-8, "dsig");
        for (std::size_t k = 0; k < normal.size(); ++k)
            EXPECT_LT(std::abs(normal[k]), 1e-9 * scale[k]) << "normal equation " << k;
    }
    // The higher degree follows the data at least as closely.
    EXPECT_LE(poly["5"]["dsig"].toDouble(), poly["2"]["dsig"].toDouble() * (1 + 1e-12));
}

// Label2 (row 1's parameter text) holds CR LF line breaks, which the JSON
// must carry escaped and give back unchanged.
TEST(CliFit, LabelsAreTheWindowsCaptions)
{
    TempFolder folder;
    std::string table;
    for (int x = 1; x <= 12; ++x)
        table += std::to_string(x) + "\t" + std::to_string(500 + x * x) + "\n";
    const CliOutcome outcome = runTool({"fit", "--show", "log,poly1,poly2,zigzag,conf", "--free-degree", "3",
                                        "--reject", "4", folder.file("t.txt", table)});
    ASSERT_EQ(outcome.status, kExitOk) << outcome.err;
    RegressionSettings settings;
    settings.chkPoly[1] = true;
    settings.ComboBox1 = "3";
    auto window = runWindow(clipboardTextFromFile(table), settings, 3, {4});
    const ResultLabels& l = window->result.labels;
    const QJsonObject labels = QJsonDocument::fromJson(QByteArray::fromStdString(outcome.out))["labels"].toObject();

    EXPECT_EQ(labels["lblNData"].toString().toStdString(), "12");
    EXPECT_EQ(labels["lblnDataOK"].toString().toStdString(), "12");
    EXPECT_EQ(labels["lblRej"].toString().toStdString(), "1");
    EXPECT_EQ(labels["lbl_LRa"].toString().toStdString(), l.lbl_LRa);
    EXPECT_EQ(labels["lbl_LRb"].toString().toStdString(), l.lbl_LRb);
    EXPECT_EQ(labels["lbl_LRr"].toString().toStdString(), l.lbl_LRr);
    EXPECT_EQ(labels["lblDiffProcLog"].toString().toStdString(), l.lblDiffProcLog);
    for (std::size_t row = 1; row <= 5; ++row) {
        const QString index = QString::number(row);
        EXPECT_EQ(labels["lblDiffPoly(" + index + ")"].toString().toStdString(), l.lblDiffPoly[row]);
        EXPECT_EQ(labels["lblDiffProcPoly(" + index + ")"].toString().toStdString(), l.lblDiffProcPoly[row]);
    }
    EXPECT_FALSE(l.lblDiffPoly[1].empty());
    ASSERT_TRUE(l.Label2.has_value());
    ASSERT_NE(l.Label2->find("\r\n"), std::string::npos);
    EXPECT_EQ(labels["Label2"].toString().toStdString(), *l.Label2);
    EXPECT_NE(outcome.out.find("\\r\\u000a"), std::string::npos);
    EXPECT_EQ(outcome.out.find('\r'), std::string::npos) << "CR inside strings must be escaped";
}

TEST(CliFit, RejectionAndYScalingFollowTheWindow)
{
    const QJsonObject all = fitJson({"--reject", "5", examplePath()});
    EXPECT_EQ(all["nPoints"].toInt(), 4);
    EXPECT_EQ(all["FirstX"].toInt(), 5);
    EXPECT_EQ(all["MaxY"].toDouble(), 980);
    EXPECT_EQ(all["MinY"].toDouble(), 500);
    EXPECT_EQ(all["labels"]["lblRej"].toString().toStdString(), "1");
    const std::vector<Point> kept(kExample.begin() + 1, kExample.end());
    const auto [a, b] = lineThrough(kept, false);
    expectRelative(all["LinA"].toDouble(), a, 1e-10, "LinA without position 5");
    expectRelative(all["LinB"].toDouble(), b, 1e-10, "LinB without position 5");

    const QJsonObject unrejected = fitJson({"--reject", "5", "--only-unrejected", examplePath()});
    EXPECT_EQ(unrejected["nPoints"].toInt(), 4);
    EXPECT_EQ(unrejected["FirstX"].toInt(), 10);
    EXPECT_EQ(unrejected["MaxY"].toDouble(), 770);
}

// The second program keeps none of the band's quantities, so its report has
// none; its fits are those of the first program, its message its own.
TEST(CliFit, SecondProgramReportsNoBandQuantities)
{
    const QJsonObject first = fitJson({"--show", "conf,poly5", examplePath()});
    const QJsonObject second = fitJson({"--program", "He-VeviRavo-1", "--show", "conf,poly5", examplePath()});
    for (const char* key : {"ConfS", "ConfSxx", "ConfXMean"}) {
        EXPECT_TRUE(first.contains(QLatin1String(key))) << key;
        EXPECT_FALSE(second.contains(QLatin1String(key))) << key;
    }
    for (const char* key : {"LinA", "LinB", "LinDev", "tValue", "MaxX", "nPoints"})
        EXPECT_EQ(second[QLatin1String(key)].toDouble(), first[QLatin1String(key)].toDouble()) << key;
    EXPECT_EQ(first["messages"].toArray(), QJsonArray{QString::fromUtf8(kTooFewPolyDataMessage)});
    EXPECT_EQ(second["messages"].toArray(), QJsonArray{QStringLiteral("Too few data for polynomial regression.")});
}

TEST(CliFit, FitsThatDidNotRunAreNullAndMessagesAreReported)
{
    // Three points: a degree-3 polynomial needs four.
    const std::string table = "5\t980\n10\t770\n15\t700\n";
    const CliOutcome outcome = runTool({"fit", "--show", "poly3", "--export", "lin", "-"}, table);
    ASSERT_EQ(outcome.status, kExitOk) << outcome.err;
    EXPECT_NE(outcome.err.find(kTooFewPolyDataMessage), std::string::npos) << outcome.err;
    const QJsonObject fit = QJsonDocument::fromJson(QByteArray::fromStdString(outcome.out)).object();
    const QJsonArray messages = fit["messages"].toArray();
    ASSERT_FALSE(messages.isEmpty());
    EXPECT_TRUE(messages.contains(QString::fromUtf8(kTooFewPolyDataMessage)));
    const QJsonObject row3 = fit["poly"]["3"].toObject();
    EXPECT_TRUE(row3["coefficients"].isNull());
    EXPECT_TRUE(row3["PolyDev"].isNull());
    EXPECT_TRUE(row3["dsig"].isNull());
    // The logarithmic fit was neither shown nor exported: nothing of an
    // earlier run shows.
    EXPECT_TRUE(fit["LogA"].isNull());
    EXPECT_TRUE(fit["LogDev"].isNull());
    EXPECT_FALSE(fit["LinA"].isNull());

    // Its Export box alone fits it, and a polynomial row exported only is
    // reported like a shown one; the labels stay empty.
    const CliOutcome exported = runTool({"fit", "--show", "none", "--export", "log,poly2", "-"}, table);
    ASSERT_EQ(exported.status, kExitOk) << exported.err;
    const QJsonObject both = QJsonDocument::fromJson(QByteArray::fromStdString(exported.out)).object();
    EXPECT_FALSE(both["LogA"].isNull());
    EXPECT_EQ(both["poly"]["2"]["coefficients"].toArray().size(), 3);
    EXPECT_EQ(both["labels"]["lbl_LoRa"].toString(), QString());
    EXPECT_EQ(both["labels"]["lblDiffPoly(2)"].toString(), QString());

    // A drift method that ran gets its u summary even when it has no u (no
    // cluster of two standards gives the rules no pooled scatter); one that
    // did not run is null as a whole.
    const QJsonObject drift = fitJson({"--show", "preceding,mean", "-"}, table);
    EXPECT_TRUE(drift["spline"].isNull());
    const QJsonValue rule = drift["preceding"]["u"];
    ASSERT_TRUE(rule.isObject()) << QJsonDocument(drift).toJson().toStdString();
    EXPECT_EQ(rule.toObject().keys(), QStringList({"mswd", "s", "u"}));
    for (const char* key : {"u", "s", "mswd"})
        EXPECT_TRUE(rule[key].isNull()) << key;
    EXPECT_TRUE(drift["mean"]["u"]["u"].isDouble());
}

} // namespace
} // namespace kalibron::test
