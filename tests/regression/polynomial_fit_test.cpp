// Polynomial regression: the pivoted QR in the Chebyshev basis and its one evaluator.
#include <algorithm>
#include <cmath>
#include <span>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/messages.h"
#include "regression/clenshaw.h"
#include "regression/fit_values.h"
#include "regression/polynomial_fit.h"
#include "regression_test_support.h"

namespace kalibron {
namespace {

using test::near;

// Packed points as the driver hands them over (index 0 unused), on the
// polynomial with the given coefficients c0, c1, ...
struct Points {
    std::vector<double> x{0}, y{0};
    Points(std::initializer_list<double> xs, std::initializer_list<double> c)
    {
        for (double px : xs) {
            double py = 0, w = 1;
            for (double ck : c) {
                py += ck * w;
                w *= px;
            }
            x.push_back(px);
            y.push_back(py);
        }
    }
    int n() const { return static_cast<int>(x.size()) - 1; }
};

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out{""};
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "\r\n") == 0) {
            out.emplace_back();
            ++i;
        } else {
            out.back() += text[i];
        }
    }
    return out;
}

double dsig(const std::string& text)
{
    const auto l = lines(text);
    EXPECT_GE(l.size(), 3u);
    EXPECT_EQ(l[l.size() - 2].rfind("dsig=", 0), 0u);
    return std::stod(l[l.size() - 2].substr(5));
}

void markOutputs(Store& store)
{
    for (auto& c : store.PolyC)
        c = ValueCell(-1.0);
    for (auto& row : store.PolyCoef)
        row.fill(ValueCell(-2.0));
}

TEST(Polynomial, RecoversExactPolynomialsWithNoSpread)
{
    Store store;
    store.PolySlot = 1;
    CollectingMessageSink messages;
    std::string text;
    const Points line({1, 2, 3, 4, 5}, {2, 3});
    ASSERT_EQ(Polynomial(store, line.n(), 2, line.x, line.y, messages, &text).status, PolynomialStatus::Fitted);
    EXPECT_TRUE(near(store.PolyC[1], 2, 1e-12) && near(store.PolyC[2], 3, 1e-12));
    EXPECT_LT(std::abs(store.PolyC[3].value()), 1e-12);
    EXPECT_LT(dsig(text), 1e-10);

    const Points parabola({1, 3, 4}, {2, -1, 2}); // n = m: through the points
    ASSERT_EQ(Polynomial(store, parabola.n(), 2, parabola.x, parabola.y, messages, &text).status,
              PolynomialStatus::Fitted);
    EXPECT_TRUE(near(store.PolyC[1], 2, 1e-12) && near(store.PolyC[2], -1, 1e-12) && near(store.PolyC[3], 2, 1e-12));
    EXPECT_LT(std::abs(dsig(text)), 1e-10);

    // Spread over the whole sequence: powers of x span twenty orders of
    // magnitude, the scaled positions none.
    const Points wide({1, 7500, 15000, 22500, 30000}, {500, -0.01, 1e-7});
    ASSERT_EQ(Polynomial(store, wide.n(), 2, wide.x, wide.y, messages, nullptr).status, PolynomialStatus::Fitted);
    EXPECT_TRUE(near(store.PolyC[1], 500, 1e-9) && near(store.PolyC[3], 1e-7, 1e-7));
    EXPECT_TRUE(messages.messages.empty());
}

TEST(PolynomialValues, EveryPositionAsTheSingleEvaluatorGivesIt)
{
    // 500 − 0.01x + 1e-7x² − 2e-12x³ through eight points on 0..30000.
    const double c[] = {500, -0.01, 1e-7, -2e-12};
    std::vector<double> xs{0}, ys{0};
    for (double x : {0.0, 10.0, 3000.0, 7000.0, 12000.0, 20000.0, 25000.0, 30000.0}) {
        xs.push_back(x);
        ys.push_back(c[0] + x * (c[1] + x * (c[2] + x * c[3])));
    }
    Store store;
    CollectingMessageSink messages;
    const PolynomialFit fit = Polynomial(store, 8, 3, xs, ys, messages, nullptr);
    ASSERT_EQ(fit.status, PolynomialStatus::Fitted);
    for (std::size_t size : {0u, 1u, 9u}) { // odd and even counts
        std::vector<double> out(size, -1.0);
        polynomialValues(fit.stable, out);
        for (std::size_t x = 0; x < size; ++x)
            EXPECT_EQ(out[x], static_cast<double>(chebyshevValue(fit.stable, static_cast<double>(x)))) << x;
    }
    std::vector<double> all(30001);
    polynomialValues(fit.stable, all);
    for (std::size_t x = 0; x < all.size(); x += 997) {
        const double v = static_cast<double>(x);
        EXPECT_TRUE(near(all[x], c[0] + v * (c[1] + v * (c[2] + v * c[3])), 1e-13)) << x;
    }
    for (int p = 0; p <= 3; ++p)
        EXPECT_TRUE(near(fit.power[static_cast<std::size_t>(p)], c[p], 1e-10)) << p;
    // The export reads the slot's fit through the same evaluator.
    store.PolySlot = 4;
    ASSERT_EQ(Polynomial(store, 8, 3, xs, ys, messages, nullptr).status, PolynomialStatus::Fitted);
    for (std::size_t x = 0; x < all.size(); x += 1499)
        EXPECT_EQ(polynomialValueAt(store, 4, 3, static_cast<double>(x)), all[x]) << x;
    EXPECT_FALSE(polynomialValueAt(store, 4, 2, 10).has_value()); // not the degree the slot holds
    EXPECT_FALSE(polynomialValueAt(store, 3, 3, 10).has_value()); // nothing fitted there
    std::vector<double> none(3, 0.0);
    polynomialValues(PolyChebyshev{}, none);
    EXPECT_TRUE(std::isnan(none[0]) && std::isnan(none[2]));
}

TEST(PolynomialValues, SideBySideAsAloneAtEveryDegree)
{
    // Coefficients with every bit of a long double in use, both parities of
    // the degree, counts that leave each remainder of the positions worked
    // together; and a coefficient beyond the range of a double.
    for (int d = 0; d <= kMaxPolynomialDegree + 1; ++d) {
        PolyChebyshev form;
        form.degree = std::min(d, kMaxPolynomialDegree);
        form.a = 3;
        form.b = 4000;
        for (int k = 0; k <= form.degree; ++k)
            form.c[static_cast<std::size_t>(k)] = 1000.0L / (k + 3) - (k % 3) / 7.0L;
        if (d > kMaxPolynomialDegree)
            form.c[5] = 1e400L;
        for (std::size_t size : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 4001u}) {
            std::vector<double> out(size);
            polynomialValues(form, out);
            for (std::size_t x = 0; x<size; x += size> 7 ? 13 : 1) {
                const double alone = static_cast<double>(chebyshevValue(form, static_cast<double>(x)));
                ASSERT_EQ(out[x], alone) << "degree " << d << ", " << size << " positions, at " << x;
            }
            // The residuals the fit refines with, through the same loop:
            // y − f formed in long double, held exactly as a pair of doubles.
            std::vector<double> t(size), y(size), hi(size), lo(size);
            for (std::size_t x = 0; x < size; ++x) {
                t[x] = form.scaled(static_cast<double>(x));
                y[x] = out[x] + 0.3 * static_cast<double>(x % 5);
            }
            clenshawResiduals(form, t, y.data(), hi.data(), lo.data());
            for (std::size_t x = 0; x < size; ++x) {
                const long double e = y[x] - clenshawValue(form, t[x]);
                ASSERT_EQ(hi[x], static_cast<double>(e)) << "degree " << d << ", " << size << " positions, at " << x;
                if (std::isfinite(e)) {
                    ASSERT_EQ(hi[x] + static_cast<long double>(lo[x]), e) << "degree " << d << ", at " << x;
                }
            }
        }
    }
}

TEST(Polynomial, DeviationsAreThoseOfTheEvaluatedCurve)
{
    // 300 scattered standards; the spread and deviations the fit reports
    // against the same sums over the values the evaluator gives.
    std::vector<double> xs{0}, ys{0};
    for (int i = 0; i < 300; ++i) {
        xs.push_back(5 + i * 97 % 29000);
        ys.push_back(900 + 40 * std::sin(i * 0.37) + (i % 11) * 0.25);
    }
    for (int d : {2, 7, 16, 23}) {
        Store store;
        CollectingMessageSink messages;
        const PolynomialFit fit = Polynomial(store, 300, d, xs, ys, messages, nullptr);
        ASSERT_EQ(fit.status, PolynomialStatus::Fitted) << d;
        long double ss = 0, absSum = 0, relSum = 0;
        for (std::size_t i = 1; i <= 300; ++i) {
            const long double e = ys[i] - chebyshevValue(fit.stable, xs[i]);
            ss += e * e;
            absSum += std::fabs(e);
            relSum += std::fabs(e) / ys[i];
        }
        EXPECT_TRUE(near(fit.dsig, static_cast<double>(std::sqrt(ss / 298)), 1e-14)) << d;
        EXPECT_TRUE(near(fit.dev, static_cast<double>(absSum / 300), 1e-14)) << d;
        EXPECT_TRUE(near(fit.devPct, static_cast<double>(100 * relSum / 300), 1e-14)) << d;
    }
}

TEST(Polynomial, ParameterTextAndCoefficientRowsPerSlot)
{
    // Residuals (−1, 2, 0, −2, 1) are orthogonal to 1, x, x² on x = 1..5:
    // the fit returns the generating coefficients and dsig = √(10/3).
    Points p({1, 2, 3, 4, 5}, {1.5, -0.25, 0.01});
    const double residual[] = {-1, 2, 0, -2, 1};
    for (std::size_t k = 1; k <= 5; ++k)
        p.y[k] += residual[k - 1];
    Store store;
    markOutputs(store);
    CollectingMessageSink messages;
    std::string text = "unchanged";

    store.PolySlot = 3;
    ASSERT_EQ(Polynomial(store, p.n(), 2, p.x, p.y, messages, &text).status, PolynomialStatus::Fitted);
    EXPECT_EQ(text, "unchanged");
    EXPECT_TRUE(near(store.PolyCoef[3][2], 1.5, 1e-12) && near(store.PolyCoef[3][4], 0.01, 1e-10));
    EXPECT_EQ(store.PolyC[0], ValueCell(0.0));
    for (std::size_t k = 4; k <= 25; ++k)
        EXPECT_TRUE(store.PolyC[k] == ValueCell(0.0) && (k == 4 || store.PolyCoef[3][k] == ValueCell(0.0))) << k;
    EXPECT_TRUE(store.PolyCoef[3][1] == ValueCell(-2.0) && store.PolyCoef[3][26] == ValueCell(-2.0));
    EXPECT_EQ(store.PolyCoef[2][2], ValueCell(-2.0));

    store.PolySlot = 1;
    ASSERT_EQ(Polynomial(store, p.n(), 2, p.x, p.y, messages, &text).status, PolynomialStatus::Fitted);
    const auto l = lines(text);
    ASSERT_EQ(l.size(), 7u) << text; // P0, P1, P2, "", "", dsig, end
    for (std::size_t i = 0; i <= 2; ++i)
        EXPECT_EQ(l[i], "P" + std::to_string(i) + " = " + formatGeneral(store.PolyC[i + 1].value(), NumberLocale{}));
    EXPECT_TRUE(l[3].empty() && l[4].empty() && l[6].empty());
    EXPECT_TRUE(near(dsig(text), std::sqrt(10.0 / 3.0), 1e-12));

    Polynomial(store, p.n(), 2, p.x, p.y, messages, &text, NumberLocale{",", "."});
    EXPECT_NE(text.find("P0 = 1,5\r\n"), std::string::npos) << text;

    // With two points n − 2 has no spread: "dsig=" stays bare.
    const Points two({2, 6}, {3});
    ASSERT_EQ(Polynomial(store, two.n(), 0, two.x, two.y, messages, &text).status, PolynomialStatus::Fitted);
    EXPECT_EQ(lines(text).at(3), "dsig=");
}

TEST(Polynomial, TooFewPointsOrAnImpossibleDegreeChangeNothing)
{
    const Points p({1, 2, 3}, {1, 1, 1});
    Store store;
    store.PolySlot = 1;
    markOutputs(store);
    CollectingMessageSink messages;
    std::string text = "unchanged";
    for (int d : {3, 24, -1})
        EXPECT_EQ(Polynomial(store, p.n(), d, p.x, p.y, messages, &text).status, PolynomialStatus::TooFewData) << d;
    // n beyond what the arrays hold is missing data, never read.
    EXPECT_EQ(Polynomial(store, 10, 2, p.x, p.y, messages, &text).status, PolynomialStatus::TooFewData);
    // Each program may word the too-few message its own way.
    EXPECT_EQ(Polynomial(store, p.n(), 3, p.x, p.y, messages, &text, NumberLocale{}, "Own words.").status,
              PolynomialStatus::TooFewData);

    ASSERT_EQ(messages.messages.size(), 5u);
    EXPECT_EQ(messages.messages[4].text, "Own words.");
    const std::string tooFew = "Too few data for polynomial regression of the requested degree.";
    EXPECT_EQ(messages.messages[0], (Message{tooFew, std::nullopt, MessageIcon::None}));
    EXPECT_EQ(messages.messages[1], (Message{tooFew + " The highest degree is 23.", std::nullopt, MessageIcon::None}));
    EXPECT_EQ(messages.messages[3].text, tooFew);
    EXPECT_EQ(text, "unchanged");
    for (const auto& c : store.PolyC)
        EXPECT_EQ(c, ValueCell(-1.0));
    EXPECT_EQ(store.PolyCoef[1][2], ValueCell(-2.0));
}

TEST(Polynomial, RankDeficientLayoutsEmptyTheFitInsteadOfShowingGarbage)
{
    Store store;
    CollectingMessageSink messages;
    std::string text = "old coefficients";
    struct Case {
        Points points;
        int degree;
        int slot;
    };
    Points ends({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 30000}, {900, -0.01});
    const Case cases[] = {
        {Points({5.3, 5.3, 5.3, 5.3}, {4}), 2, 1},               // all points at one position
        {Points({0.7, 0.7, 1.9, 1.9, 1.9, 0.7}, {10, 1}), 5, 4}, // two positions, six unknowns
        {ends, 10, 2}, // eleven positions, but ten of them within 1e-4 of each other on the scale
    };
    for (const Case& c : cases) {
        markOutputs(store);
        store.PolyFit[static_cast<std::size_t>(c.slot)].degree = 7;
        store.PolySlot = c.slot;
        const PolynomialFit fit = Polynomial(store, c.points.n(), c.degree, c.points.x, c.points.y, messages, &text);
        EXPECT_EQ(fit.status, PolynomialStatus::Singular);
        EXPECT_FALSE(fit.stable.fitted());
        for (const auto& coefficient : store.PolyC)
            EXPECT_TRUE(coefficient.isEmpty());
        for (std::size_t k = 2; k <= 25; ++k)
            EXPECT_TRUE(store.PolyCoef[static_cast<std::size_t>(c.slot)][k].isEmpty()) << k;
        EXPECT_FALSE(store.PolyFit[static_cast<std::size_t>(c.slot)].fitted());
        EXPECT_EQ(store.PolyCoef[static_cast<std::size_t>(c.slot)][1], ValueCell(-2.0));
        EXPECT_EQ(store.PolyCoef[5][2], ValueCell(-2.0));
    }
    EXPECT_EQ(text, ""); // slot 1 shows no stale coefficients
    EXPECT_TRUE(messages.messages.empty());

    // Ten positions wide near 30000 was too narrow for the power basis; on
    // the scaled positions it is an ordinary parabola.
    const Points narrow({29990, 29992, 29995, 29997, 30000}, {500, -0.01, 1e-7});
    store.PolySlot = 3;
    const PolynomialFit fit = Polynomial(store, narrow.n(), 2, narrow.x, narrow.y, messages, nullptr);
    ASSERT_EQ(fit.status, PolynomialStatus::Fitted);
    for (int k = 1; k <= narrow.n(); ++k)
        EXPECT_TRUE(near(static_cast<double>(chebyshevValue(fit.stable, narrow.x[static_cast<std::size_t>(k)])),
                         narrow.y[static_cast<std::size_t>(k)], 1e-15));
    EXPECT_EQ(store.PolyFit[3].degree, 2);
}

// The leverages are the diagonal of the hat matrix: for a line the closed
// form 1/n + (x − x̄)²/Sxx, and at any degree they sum to d + 1.
TEST(Polynomial, LeveragesFromTheTriangularFactor)
{
    Store store;
    CollectingMessageSink messages;
    const Points line({3, 5, 6, 10, 19, 24}, {7, 0.5});
    const PolynomialFit fit = Polynomial(store, line.n(), 1, line.x, line.y, messages, nullptr);
    ASSERT_EQ(fit.status, PolynomialStatus::Fitted);
    const std::span<const double> xs(line.x.data() + 1, 6);
    const std::vector<double> h = polynomialLeverages(fit, xs);
    ASSERT_EQ(h.size(), 6u);
    const double mean = (3 + 5 + 6 + 10 + 19 + 24) / 6.0;
    double sxx = 0;
    for (double x : xs)
        sxx += (x - mean) * (x - mean);
    for (std::size_t i = 0; i < 6; ++i)
        EXPECT_TRUE(near(h[i], 1.0 / 6 + (xs[i] - mean) * (xs[i] - mean) / sxx, 1e-13)) << i;

    std::vector<double> x{0}, y{0};
    for (int k = 1; k <= 40; ++k) {
        x.push_back(7 * k + (k % 3));
        y.push_back(100 + std::sin(k));
    }
    for (int d : {5, 12, 23}) {
        const PolynomialFit high = Polynomial(store, 40, d, x, y, messages, nullptr);
        ASSERT_EQ(high.status, PolynomialStatus::Fitted) << d;
        double trace = 0;
        for (double hi : polynomialLeverages(high, std::span<const double>(x.data() + 1, 40))) {
            EXPECT_TRUE(hi >= 0 && hi <= 1 + 1e-12) << hi;
            trace += hi;
        }
        EXPECT_TRUE(near(trace, d + 1, 1e-10)) << d;
    }
    EXPECT_TRUE(polynomialLeverages(PolynomialFit{}, xs).empty());
}

} // namespace
} // namespace kalibron
