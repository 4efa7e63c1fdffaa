// `kalibron values`: one CSV record per position with every fitted method's
// value and u; `kalibron fit`'s uncertainty summary; `--weights`.
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "tests/cli/cli_test_support.h"

namespace kalibron::test {
namespace {

using Records = std::vector<std::vector<std::string>>;

// RFC 4180 with LF line ends; the tool quotes no cell of a numeric table.
Records csv(const std::string& text)
{
    Records records;
    std::vector<std::string> record(1);
    for (const char c : text) {
        if (c == '\n') {
            records.push_back(record);
            record.assign(1, std::string());
        } else if (c == ',') {
            record.emplace_back();
        } else {
            EXPECT_NE(c, '\r');
            EXPECT_NE(c, '"');
            record.back().push_back(c);
        }
    }
    EXPECT_EQ(record, std::vector<std::string>(1)) << "the text must end with LF";
    return records;
}

QJsonObject json(const std::string& text) { return QJsonDocument::fromJson(QByteArray::fromStdString(text)).object(); }

// Clusters of standards with a Y error in the third column, up to MaxX 60.
const std::string kTable = "3\t980\t2\n4\t975\t3\n5\t990\t2\n20\t760\t4\n21\t772\t4\n22\t769\t1\n"
                           "40\t640\t2\n41\t652\t3\n42\t633\t2\n60\t560\t5\n";

TEST(CliValues, OneRecordPerPositionWhoseNumbersReadBackToTheFits)
{
    const CliOutcome values = runTool({"values", "--show", "log,poly3,zigzag", "--export", "lin,free", "-"}, kTable);
    ASSERT_EQ(values.status, kExitOk) << values.err;
    EXPECT_EQ(values.err, "");
    const Records records = csv(values.out);
    ASSERT_EQ(records.size(), 1u + 61u);
    EXPECT_EQ(records[0],
              (std::vector<std::string>{"X", "Y", "used", "extrapolated", "lin", "lin_u", "log", "log_u", "poly3",
                                        "poly3_u", "free", "free_u", "zigzag", "zigzag_u"}));

    const QJsonObject fit =
        json(runTool({"fit", "--show", "log,poly3,zigzag", "--export", "lin,free", "-"}, kTable).out);
    const double a = fit["LinA"].toDouble(), b = fit["LinB"].toDouble();
    const double logA = fit["LogA"].toDouble(), logB = fit["LogB"].toDouble();
    double uSum = 0;
    int samples = 0;
    for (int x = 0; x <= 60; ++x) {
        const auto& r = records[static_cast<std::size_t>(x) + 1];
        ASSERT_EQ(r.size(), 14u);
        EXPECT_EQ(r[0], std::to_string(x));
        const bool standard = ("\n" + kTable).find("\n" + std::to_string(x) + "\t") != std::string::npos;
        EXPECT_EQ(r[2], standard ? "1" : "0") << x;
        EXPECT_EQ(r[3], x < 3 || x > 60 ? "1" : "0") << x;
        // The shortest form reads back to the very double of the fit.
        EXPECT_EQ(std::strtod(r[4].c_str(), nullptr), a + b * x) << x;
        if (x == 0)
            EXPECT_EQ(r[6], "");
        else
            EXPECT_EQ(std::strtod(r[6].c_str(), nullptr), logA + logB * std::log(static_cast<double>(x))) << x;
        for (std::size_t column : {5u, 9u, 11u})
            EXPECT_GT(std::strtod(r[column].c_str(), nullptr), 0.0) << x << " " << column;
        // The zigzag runs from the first cluster's mean (4) to the last point (60).
        EXPECT_EQ(r[12].empty(), x < 4) << x;
        if (!standard) {
            uSum += std::strtod(r[5].c_str(), nullptr);
            ++samples;
        }
    }
    // The fit report's mean u over the samples is the mean of the same cells.
    const QJsonObject u = fit["uncertainty"].toObject();
    EXPECT_FALSE(u["weighted"].toBool());
    EXPECT_NEAR(u["lin"].toObject()["u"].toDouble(), uSum / samples, 1e-12 * uSum / samples);
    EXPECT_TRUE(u["lin"].toObject()["mswd"].isNull());
    EXPECT_GT(u["poly"].toObject()["3"].toObject()["s"].toDouble(), 0.0);
    EXPECT_GT(u["zigzag"].toObject()["s"].toDouble(), 0.0);
}

TEST(CliValues, WeightsFromTheThirdColumnOrOneMessage)
{
    const QJsonObject plain = json(runTool({"fit", "-"}, kTable).out);
    const CliOutcome weighted = runTool({"fit", "--weights", "yerr", "-"}, kTable);
    ASSERT_EQ(weighted.status, kExitOk);
    const QJsonObject w = json(weighted.out);
    EXPECT_TRUE(w["uncertainty"].toObject()["weighted"].toBool());
    EXPECT_NE(w["LinA"].toDouble(), plain["LinA"].toDouble());
    EXPECT_GT(w["uncertainty"].toObject()["lin"].toObject()["mswd"].toDouble(), 0.0);
    EXPECT_EQ(w["messages"].toArray().size(), 0);

    // Two columns: the message, and the unweighted fit.
    std::string twoColumns;
    for (std::size_t i = 0; i < kTable.size(); ++i) {
        const std::size_t tab = kTable.find('\t', kTable.find('\t', i) + 1);
        const std::size_t end = kTable.find('\n', i);
        twoColumns += kTable.substr(i, tab - i) + "\n";
        i = end;
    }
    const CliOutcome refused = runTool({"values", "--weights=yerr", "-"}, twoColumns);
    EXPECT_EQ(refused.status, kExitOk);
    EXPECT_EQ(refused.err, std::string(kWeightsUnusableMessage) + "\n");
    EXPECT_EQ(refused.out, runTool({"values", "-"}, twoColumns).out);

    const CliOutcome wrong = runTool({"values", "--weights", "sigma", "-"}, kTable);
    EXPECT_EQ(wrong.status, kExitRefused);
    EXPECT_EQ(wrong.err, "kalibron: --weights: unknown weighting 'sigma' (yerr, none)\n");
    EXPECT_EQ(wrong.out, "");
}

} // namespace
} // namespace kalibron::test
