// Polynomial regression and the Gaussian elimination behind it.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/messages.h"
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

TEST(Gauss, SolvesThroughSwapsAndKeepsTheFirstOfEqualPivots)
{
    // No usable diagonal: rows and columns must move; c = (1, 2, 3).
    GaussMatrix A{};
    A[1][2] = 2, A[2][3] = 3, A[3][1] = 4;
    A[1][4] = 4, A[2][4] = 9, A[3][4] = 4;
    GaussVector B{};
    ASSERT_TRUE(gauss(3, A, B));
    EXPECT_TRUE(near(B[1], 1, 1e-15) && near(B[2], 2, 1e-15) && near(B[3], 3, 1e-15));
    EXPECT_TRUE(B[0] == 0 && B[4] == 0);

    // x + 2y = 4, 2x + y = 5: A(1,2) and A(2,1) tie at 2/3 scaled; the first
    // in row order wins, so row 1 stays on top with its columns swapped.
    GaussMatrix T{};
    T[1][1] = 1, T[1][2] = 2, T[1][3] = 4;
    T[2][1] = 2, T[2][2] = 1, T[2][3] = 5;
    ASSERT_TRUE(gauss(2, T, B));
    EXPECT_TRUE(T[1][1] == 2 && T[1][3] == 4);
    EXPECT_TRUE(near(B[1], 2, 1e-15) && near(B[2], 1, 1e-15));
}

TEST(Gauss, JudgesSingularityRelativeToScale)
{
    // Dependent rows not exact in binary: elimination leaves noise, not 0.
    GaussMatrix A{};
    A[1][1] = 0.1, A[1][2] = 0.3, A[1][3] = 1;
    A[2][1] = 0.3, A[2][2] = 0.9, A[2][3] = 2;
    GaussVector B;
    B.fill(7);
    EXPECT_FALSE(gauss(2, A, B));
    for (double b : B)
        EXPECT_EQ(b, 7);
    EXPECT_FALSE(gauss(25, A, B));

    // A sound system is solved at any scale.
    for (double scale : {1e-200, 1e200}) {
        GaussMatrix S{};
        S[1][1] = 3 * scale, S[1][2] = scale, S[1][3] = 5 * scale;
        S[2][1] = scale, S[2][2] = 2 * scale, S[2][3] = 5 * scale;
        ASSERT_TRUE(gauss(2, S, B)) << scale;
        EXPECT_TRUE(near(B[1], 1, 1e-14) && near(B[2], 2, 1e-14));
    }
}

TEST(Polynomial, RecoversExactPolynomialsWithNoSpread)
{
    Store store;
    store.PolySlot = 1;
    CollectingMessageSink messages;
    std::string text;
    const Points line({1, 2, 3, 4, 5}, {2, 3});
    ASSERT_EQ(Polynomial(store, line.n(), 2, line.x, line.y, messages, &text), PolynomialStatus::Fitted);
    EXPECT_TRUE(near(store.PolyC[1], 2, 1e-12) && near(store.PolyC[2], 3, 1e-12));
    EXPECT_LT(std::abs(store.PolyC[3].value()), 1e-12);
    EXPECT_LT(dsig(text), 1e-10);

    const Points parabola({1, 3, 4}, {2, -1, 2}); // n = m: through the points
    ASSERT_EQ(Polynomial(store, parabola.n(), 2, parabola.x, parabola.y, messages, &text), PolynomialStatus::Fitted);
    EXPECT_TRUE(near(store.PolyC[1], 2, 1e-12) && near(store.PolyC[2], -1, 1e-12) && near(store.PolyC[3], 2, 1e-12));
    EXPECT_LT(std::abs(dsig(text)), 1e-10);

    // Spread over the whole sequence the normal equations span twenty orders
    // of magnitude and still solve.
    const Points wide({1, 7500, 15000, 22500, 30000}, {500, -0.01, 1e-7});
    ASSERT_EQ(Polynomial(store, wide.n(), 2, wide.x, wide.y, messages, nullptr), PolynomialStatus::Fitted);
    EXPECT_TRUE(near(store.PolyC[1], 500, 1e-9) && near(store.PolyC[3], 1e-7, 1e-7));
    EXPECT_TRUE(messages.messages.empty());
}

TEST(PolynomialValues, MatchesTheSumOfTermsAtEveryPosition)
{
    const double c[] = {500, -0.01, 1e-7, -2e-12};
    for (std::size_t size : {0u, 3u, 9u}) { // below, above and between groups of four
        std::vector<double> out(size, -1.0);
        polynomialValues(c, out);
        for (std::size_t x = 0; x < size; ++x) {
            const double v = static_cast<double>(x);
            EXPECT_TRUE(near(out[x], 500 - 0.01 * v + 1e-7 * v * v - 2e-12 * v * v * v, 1e-14)) << x;
        }
    }
    std::vector<double> zeros(5, -1.0);
    polynomialValues({}, zeros);
    EXPECT_EQ(zeros, std::vector<double>(5, 0.0));
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
    ASSERT_EQ(Polynomial(store, p.n(), 2, p.x, p.y, messages, &text), PolynomialStatus::Fitted);
    EXPECT_EQ(text, "unchanged");
    EXPECT_TRUE(near(store.PolyCoef[3][2], 1.5, 1e-12) && near(store.PolyCoef[3][4], 0.01, 1e-10));
    EXPECT_EQ(store.PolyC[0], ValueCell(0.0));
    for (std::size_t k = 4; k <= 25; ++k)
        EXPECT_TRUE(store.PolyC[k] == ValueCell(0.0) && (k == 4 || store.PolyCoef[3][k] == ValueCell(0.0))) << k;
    EXPECT_TRUE(store.PolyCoef[3][1] == ValueCell(-2.0) && store.PolyCoef[3][26] == ValueCell(-2.0));
    EXPECT_EQ(store.PolyCoef[2][2], ValueCell(-2.0));

    store.PolySlot = 1;
    ASSERT_EQ(Polynomial(store, p.n(), 2, p.x, p.y, messages, &text), PolynomialStatus::Fitted);
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
    ASSERT_EQ(Polynomial(store, two.n(), 0, two.x, two.y, messages, &text), PolynomialStatus::Fitted);
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
        EXPECT_EQ(Polynomial(store, p.n(), d, p.x, p.y, messages, &text), PolynomialStatus::TooFewData) << d;
    // n beyond what the arrays hold is missing data, never read.
    EXPECT_EQ(Polynomial(store, 10, 2, p.x, p.y, messages, &text), PolynomialStatus::TooFewData);

    ASSERT_EQ(messages.messages.size(), 4u);
    const std::string tooFew = "Too few data for polynomial regression of the requested degree.";
    EXPECT_EQ(messages.messages[0], (Message{tooFew, std::nullopt, MessageIcon::None}));
    EXPECT_EQ(messages.messages[1], (Message{tooFew + " The highest degree is 23.", std::nullopt, MessageIcon::None}));
    EXPECT_EQ(messages.messages[3].text, tooFew);
    EXPECT_EQ(text, "unchanged");
    for (const auto& c : store.PolyC)
        EXPECT_EQ(c, ValueCell(-1.0));
    EXPECT_EQ(store.PolyCoef[1][2], ValueCell(-2.0));
}

TEST(Polynomial, SingularSystemsEmptyTheFitInsteadOfShowingGarbage)
{
    Store store;
    CollectingMessageSink messages;
    std::string text = "old coefficients";
    struct Case {
        Points points;
        int slot;
    };
    const Case cases[] = {
        {Points({5.3, 5.3, 5.3, 5.3}, {4}), 1},           // all points at one position
        {Points({0.7, 0.7, 1.9, 1.9, 1.9}, {10, 1}), 4},  // two positions, three unknowns
        // Ten positions wide near 30000, 1, X and X² are parallel to
        // rounding: the coefficients would swing by hundreds.
        {Points({29990, 29992, 29995, 29997, 30000}, {500, -0.01, 1e-7}), 2},
    };
    for (const Case& c : cases) {
        markOutputs(store);
        store.PolySlot = c.slot;
        EXPECT_EQ(Polynomial(store, c.points.n(), 2, c.points.x, c.points.y, messages, &text), PolynomialStatus::Singular);
        for (const auto& coefficient : store.PolyC)
            EXPECT_TRUE(coefficient.isEmpty());
        for (std::size_t k = 2; k <= 25; ++k)
            EXPECT_TRUE(store.PolyCoef[static_cast<std::size_t>(c.slot)][k].isEmpty()) << k;
        EXPECT_EQ(store.PolyCoef[static_cast<std::size_t>(c.slot)][1], ValueCell(-2.0));
        EXPECT_EQ(store.PolyCoef[5][2], ValueCell(-2.0));
    }
    EXPECT_EQ(text, ""); // slot 1 shows no stale coefficients
    EXPECT_TRUE(messages.messages.empty());
}

} // namespace
} // namespace kalibron
