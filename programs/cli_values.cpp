#include <charconv>
#include <cmath>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/polynomial_rows.h"
#include "analysis/table_output.h"
#include "core/store.h"
#include "programs/cli.h"
#include "programs/cli_session.h"
#include "programs/shortest_number.h"
#include "regression/zigzag.h"

namespace kalibron {

namespace {

// One method's pair of columns: its value and its u at a position.
struct ValueColumns {
    std::string name;
    // Value at x, or nothing; and its u vector (empty: no u anywhere).
    std::vector<double> values;
    const FitUncertainty* uncertainty = nullptr;
    // Values the fit already holds (a polynomial row's, a drift curve's),
    // read where they lie instead of `values`: a copy of 30001 values costs
    // more than reading them.
    std::span<const double> fitted{};
    std::span<const double> shown() const { return fitted.empty() ? std::span<const double>(values) : fitted; }
};

std::vector<double> nothing(int last) { return std::vector<double>(static_cast<std::size_t>(last) + 1, NAN); }

std::vector<double> lineValues(const std::optional<LineFitResult>& fit, int last, bool logarithmic)
{
    std::vector<double> out = nothing(last);
    if (!fit || !fit->a || !fit->b)
        return out;
    for (int x = logarithmic ? 1 : 0; x <= last; ++x)
        out[static_cast<std::size_t>(x)] = *fit->a + *fit->b * (logarithmic ? std::log(static_cast<double>(x)) : x);
    return out;
}

// The columns of every method the calculation ran (shown or exported), in
// the order lin, log, poly2..poly5, free, zigzag, then the drift methods.
std::vector<ValueColumns> methodColumns(const FitResults& fits, const RegressionSettings& settings)
{
    const int last = fits.lastPosition;
    const auto& ex = settings.chkEX;
    std::vector<ValueColumns> columns;
    columns.push_back({"lin", lineValues(fits.linear, last, false), fits.linear ? &fits.linear->uncertainty : nullptr});
    if (settings.chkLog || ex[1])
        columns.push_back({"log", lineValues(fits.logarithmic, last, true),
                           fits.logarithmic ? &fits.logarithmic->uncertainty : nullptr});
    auto poly = [&](std::size_t slot, std::string name) {
        const auto& row = fits.poly[slot];
        const bool fitted = row && row->fitted && row->values.size() == static_cast<std::size_t>(last) + 1;
        if (fitted)
            columns.push_back({std::move(name), {}, &row->uncertainty, row->values});
        else
            columns.push_back({std::move(name), nothing(last), nullptr});
    };
    for (std::size_t slot = 2; slot <= 5; ++slot)
        if (settings.chkPoly[slot] || ex[slot])
            poly(slot, "poly" + std::to_string(slot));
    if (settings.chkPoly[1] || ex[6])
        poly(1, "free");
    if (settings.chkZigZag || ex[7]) {
        std::vector<double> values = nothing(last);
        if (fits.zigzag && !fits.zigzag->empty()) {
            // zigzagAt from the segment before x on: the segments left behind
            // end below x, so the first one holding x is the same, and a
            // position costs a step rather than a search.
            const std::span<const ZigzagPoint> points(*fits.zigzag);
            std::size_t m = 0;
            for (int x = 0; x <= last; ++x) {
                while (m + 2 < points.size() && points[m + 1].x < x)
                    ++m;
                values[static_cast<std::size_t>(x)] = zigzagAt(points.subspan(m), x).value_or(NAN);
            }
        }
        columns.push_back({"zigzag", std::move(values), fits.zigzagUncertainty ? &*fits.zigzagUncertainty : nullptr});
    }
    for (std::size_t m = 0; m < kDriftMethods; ++m) {
        const auto& curve = fits.drift[m];
        if (!settings.chkDrift[m] && !settings.chkDriftEX[m])
            continue;
        if (curve && curve->values.size() == static_cast<std::size_t>(last) + 1)
            columns.push_back({kDriftMethodKeys[m], {}, &curve->uncertainty, curve->values});
        else
            columns.push_back({kDriftMethodKeys[m], nothing(last), curve ? &curve->uncertainty : nullptr});
    }
    return columns;
}

} // namespace

// `kalibron values`: one CSV record per position 0..MaxX with the data,
// whether the point is used and whether the position is extrapolated, and
// every fitted method's value and standard uncertainty.
int writeValues(CliSession& session)
{
    const Store& store = session.store();
    const FitResults& fits = session.result().fits;
    const std::vector<ValueColumns> columns = methodColumns(fits, session.options().settings);
    const int last = fits.lastPosition;

    constexpr std::ptrdiff_t kPiece = std::ptrdiff_t{1} << 18;
    std::string header = "X,Y,used,extrapolated";
    for (const ValueColumns& c : columns) {
        header += ',';
        header += c.name;
        header += ',';
        header += c.name;
        header += "_u";
    }
    header += '\n';
    // Records are formatted straight into one buffer, handed on a piece at
    // a time: copying each cell or record once more costs more than
    // formatting it. A record without a text cell fits in `longest`, with
    // the room the last number's digit blocks may reach beyond it.
    const std::ptrdiff_t longest = 16 + (kLongestNumber + 1) * (1 + 2 * std::ssize(columns)) + 8 + kNumberRoom;
    std::string buffer(static_cast<std::size_t>(kPiece + longest) + header.size(), '\0');
    char* const begin = buffer.data();
    char* p = std::copy(header.begin(), header.end(), begin);
    const auto flush = [&] {
        const bool written = session.writePiece(std::string_view(begin, static_cast<std::size_t>(p - begin)));
        p = begin;
        return written;
    };
    // What each pair of cells reads, looked up once rather than at every position.
    struct Column {
        std::span<const double> values, u;
    };
    std::vector<Column> shown;
    for (const ValueColumns& c : columns)
        shown.push_back(
            {c.shown(), c.uncertainty ? std::span<const double>(c.uncertainty->u) : std::span<const double>()});
    std::string quoted; // a Y that is no number
    for (int x = 0; x <= last; ++x) {
        if (p - begin >= kPiece && !flush())
            return session.fail(kExitIoError, "cannot write standard output");
        const auto i = static_cast<std::size_t>(x);
        p = std::to_chars(p, p + 12, x).ptr;
        *p++ = ',';
        const ValueCell& y = store.Y[i];
        if (y.isNumber()) {
            p = appendShortest(p, y.value());
        } else if (y.present()) {
            quoted.clear();
            appendQuoted(quoted, y.text());
            if (!flush() || !session.writePiece(quoted))
                return session.fail(kExitIoError, "cannot write standard output");
        }
        const bool inside = fits.firstStandard && *fits.firstStandard <= x && x <= *fits.lastStandard;
        *p++ = ',';
        *p++ = store.isUsed(x) ? '1' : '0';
        *p++ = ',';
        *p++ = inside ? '0' : '1';
        for (const Column& c : shown) {
            *p++ = ',';
            p = appendShortest(p, c.values[i]);
            *p++ = ',';
            if (i < c.u.size())
                p = appendShortest(p, c.u[i]);
        }
        *p++ = '\n';
    }
    return session.writeOut(std::string_view(begin, static_cast<std::size_t>(p - begin)));
}

} // namespace kalibron
