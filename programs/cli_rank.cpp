#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "analysis/method_ranking.h"
#include "analysis/polynomial_rows.h"
#include "programs/cli_session.h"
#include "regression/rounding.h"

namespace kalibron {

namespace {

constexpr std::size_t kColumns = 6; // the last, untitled, holds the mark
using Row = std::array<std::string, kColumns>;

// Columns padded to their widest cell and two spaces apart; no trailing blanks.
std::string alignedTable(const std::vector<Row>& rows)
{
    std::array<std::size_t, kColumns> width{};
    for (const Row& row : rows)
        for (std::size_t c = 0; c < kColumns; ++c)
            width[c] = std::max(width[c], row[c].size());
    std::string text;
    for (const Row& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < kColumns; ++c) {
            if (c > 0)
                line.append(2, ' ');
            line += row[c];
            if (c + 1 < kColumns)
                line.append(width[c] - row[c].size(), ' ');
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        text += line;
        text += '\n';
    }
    return text;
}

} // namespace

// `kalibron rank`: the "Compare methods" table of the window as plain text,
// best first, the numbers rounded as the window's result labels are.
int writeRank(CliSession& session)
{
    const MethodRanking ranking = rankMethods(session.store(), freeDegree(session.options().settings.ComboBox1));
    const NumberLocale& locale = session.locale();
    const auto rounded = [&](double value) { return Rounding(ValueCell(value), locale); };
    std::vector<Row> rows{
        {"Method", "In-sample mean diff.", "Leave-one-out mean err.", "err.%", "Largest err. (at X)", ""}};
    for (const MethodScore& method : ranking.methods) {
        Row row{method.name, method.inSample ? rounded(method.inSample->mean) : "",   "", "",
                "",          method.noBetterThanBaseline ? kNoBetterThanBaseline : ""};
        if (method.loo) {
            row[2] = rounded(method.loo->mean);
            row[3] = rounded(method.loo->meanPct);
            row[4] = rounded(method.loo->max) + " (" + std::to_string(method.loo->maxAt) + ")";
        } else {
            row[2] = "no figure";
        }
        rows.push_back(row);
    }
    std::string text = alignedTable(rows);
    if (ranking.firstStandard)
        text += "Standards from X = " + std::to_string(*ranking.firstStandard) + " to " +
            std::to_string(*ranking.lastStandard) + "; samples outside are extrapolated.\n";
    else
        text += "No usable standards.\n";
    return session.writeOut(text);
}

} // namespace kalibron
