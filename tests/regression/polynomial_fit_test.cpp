// Polynomial regression and the Gaussian elimination behind it.
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/messages.h"
#include "core/number_format.h"
#include "core/store.h"
#include "regression/polynomial_fit.h"
#include "regression_test_support.h"

namespace kalibron {
namespace {

using test::near;

// Packed point arrays as the driver hands them over: index 0 unused.
struct Points {
    std::vector<double> x{0}, y{0};
    void add(double px, double py)
    {
        x.push_back(px);
        y.push_back(py);
    }
    int n() const { return static_cast<int>(x.size()) - 1; }
};

Points polynomialPoints(std::initializer_list<double> xs, std::initializer_list<double> coefficients)
{
    Points p;
    for (double x : xs) {
        double y = 0, w = 1;
        for (double c : coefficients) {
            y += c * w;
            w *= x;
        }
        p.add(x, y);
    }
    return p;
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t pos; (pos = text.find("\r\n", start)) != std::string::npos; start = pos + 2)
        out.push_back(text.substr(start, pos - start));
    out.push_back(text.substr(start));
    return out;
}

// Fills every polynomial output with a marker so a test can see what changed.
void markOutputs(Store& store)
{
    for (std::size_t k = 0; k < store.PolyC.size(); ++k)
        store.PolyC[k] = ValueCell(-1000.0 - static_cast<double>(k));
    for (auto& row : store.PolyCoef) {
        for (std::size_t k = 0; k < row.size(); ++k)
            row[k] = ValueCell(-2000.0 - static_cast<double>(k));
    }
}

TEST(Gauss, SolvesThroughRowAndColumnSwapsIntoTheCoefficientsOwnOrder)
{
    // No usable diagonal: the pivot search must move columns and rows.
    GaussMatrix A{};
    A[1][2] = 2;
    A[2][3] = 3;
    A[3][1] = 4;
    A[1][4] = 2 * 2; // c = (1, 2, 3)
    A[2][4] = 3 * 3;
    A[3][4] = 4 * 1;
    GaussVector B{};
    ASSERT_TRUE(gauss(3, A, B));
    EXPECT_TRUE(near(B[1], 1, 1e-15));
    EXPECT_TRUE(near(B[2], 2, 1e-15));
    EXPECT_TRUE(near(B[3], 3, 1e-15));
    EXPECT_EQ(B[0], 0);
    EXPECT_EQ(B[4], 0);
}

TEST(Gauss, EqualScaledCandidatesKeepTheFirstInRowThenColumnOrder)
{
    // x + 2y = 4, 2x + y = 5. A(1,2) and A(2,1) tie at 2/3; the first, in
    // row 1, wins, so row 1 stays on top with its columns swapped.
    GaussMatrix A{};
    A[1][1] = 1;
    A[1][2] = 2;
    A[1][3] = 4;
    A[2][1] = 2;
    A[2][2] = 1;
    A[2][3] = 5;
    GaussVector B{};
    ASSERT_TRUE(gauss(2, A, B));
    EXPECT_EQ(A[1][3], 4);
    EXPECT_EQ(A[1][1], 2);
    EXPECT_TRUE(near(B[1], 2, 1e-15));
    EXPECT_TRUE(near(B[2], 1, 1e-15));
}

TEST(Gauss, SingularSystemsAreRefusedAndLeaveTheSolutionAlone)
{
    // Dependent rows whose entries are not exact in binary: elimination
    // leaves rounding noise, not an exact zero.
    GaussMatrix A{};
    A[1][1] = 0.1;
    A[1][2] = 0.3;
    A[1][3] = 1;
    A[2][1] = 0.3;
    A[2][2] = 0.9;
    A[2][3] = 2;
    GaussVector B{};
    B.fill(7);
    EXPECT_FALSE(gauss(2, A, B));
    for (double b : B)
        EXPECT_EQ(b, 7);

    GaussMatrix zeroRow{};
    zeroRow[1][1] = 1;
    zeroRow[1][3] = 1;
    EXPECT_FALSE(gauss(2, zeroRow, B));
    EXPECT_FALSE(gauss(0, zeroRow, B));
    EXPECT_FALSE(gauss(25, zeroRow, B));
}

TEST(Gauss, TinyAndHugeScalesAreNotMistakenForSingularity)
{
    for (double scale : {1e-200, 1e-30, 1e30, 1e200}) {
        GaussMatrix A{};
        A[1][1] = 3 * scale;
        A[1][2] = 1 * scale;
        A[1][3] = 5 * scale; // 3x + y = 5, x + 2y = 5: x = 1, y = 2
        A[2][1] = 1 * scale;
        A[2][2] = 2 * scale;
        A[2][3] = 5 * scale;
        GaussVector B{};
        ASSERT_TRUE(gauss(2, A, B)) << scale;
        EXPECT_TRUE(near(B[1], 1, 1e-14));
        EXPECT_TRUE(near(B[2], 2, 1e-14));
    }
}

TEST(Polynomial, ExactLineWithDegreeTwoHasNoCurvatureAndNoSpread)
{
    Store store;
    store.PolySlot = 1;
    const Points p = polynomialPoints({1, 2, 3, 4, 5}, {2, 3});
    CollectingMessageSink messages;
    std::string text = "old";
    ASSERT_EQ(Polynomial(store, p.n(), 2, p.x, p.y, messages, &text), PolynomialStatus::Fitted);

    EXPECT_TRUE(messages.messages.empty());
    EXPECT_TRUE(near(store.PolyC[1], 2, 1e-12));
    EXPECT_TRUE(near(store.PolyC[2], 3, 1e-12));
    EXPECT_LT(std::abs(store.PolyC[3].value()), 1e-12);
    const auto l = lines(text);
    ASSERT_EQ(l.size(), 7u);
    ASSERT_EQ(l[5].rfind("dsig=", 0), 0u);
    EXPECT_LT(std::stod(l[5].substr(5)), 1e-10);
}

TEST(Polynomial, ThreePointsDegreeTwoGiveTheParabolaThroughThem)
{
    Store store;
    store.PolySlot = 1;
    const Points p = polynomialPoints({1, 3, 4}, {2, -1, 2});
    CollectingMessageSink messages;
    std::string text;
    ASSERT_EQ(Polynomial(store, p.n(), 2, p.x, p.y, messages, &text), PolynomialStatus::Fitted);
    EXPECT_TRUE(near(store.PolyC[1], 2, 1e-12));
    EXPECT_TRUE(near(store.PolyC[2], -1, 1e-12));
    EXPECT_TRUE(near(store.PolyC[3], 2, 1e-12));
    const auto l = lines(text);
    ASSERT_EQ(l.size(), 7u);
    EXPECT_LT(std::abs(std::stod(l[5].substr(5))), 1e-10);
}

TEST(Polynomial, ParameterTextListsCoefficientsThenTheSpread)
{
    // Residuals k·(−1, 2, 0, −2, 1) are orthogonal to 1, x, x² on x = 1..5,
    // so the fit returns the generating coefficients and dsig = √(10/3).
    Points p = polynomialPoints({1, 2, 3, 4, 5}, {1.5, -0.25, 0.01});
    const double residual[] = {-1, 2, 0, -2, 1};
    for (int k = 1; k <= 5; ++k)
        p.y[static_cast<std::size_t>(k)] += residual[k - 1];

    Store store;
    store.PolySlot = 1;
    CollectingMessageSink messages;
    std::string text;
    ASSERT_EQ(Polynomial(store, p.n(), 2, p.x, p.y, messages, &text), PolynomialStatus::Fitted);

    const auto l = lines(text);
    ASSERT_EQ(l.size(), 7u) << text;
    for (int i = 0; i <= 2; ++i)
        EXPECT_EQ(l[static_cast<std::size_t>(i)],
                  "P" + std::to_string(i) + " = " + formatGeneral(store.PolyC[static_cast<std::size_t>(i + 1)].value(), NumberLocale{}));
    EXPECT_TRUE(near(store.PolyC[1], 1.5, 1e-12));
    EXPECT_TRUE(near(store.PolyC[2], -0.25, 1e-12));
    EXPECT_TRUE(near(store.PolyC[3], 0.01, 1e-10));
    EXPECT_EQ(l[3], "");
    EXPECT_EQ(l[4], "");
    ASSERT_EQ(l[5].rfind("dsig=", 0), 0u);
    EXPECT_TRUE(near(std::stod(l[5].substr(5)), std::sqrt(10.0 / 3.0), 1e-12));
    EXPECT_EQ(l[6], "");

    // The numbers follow the locale's decimal separator.
    std::string local;
    NumberLocale comma{",", "."};
    Polynomial(store, p.n(), 2, p.x, p.y, messages, &local, comma);
    EXPECT_NE(local.find("P0 = 1,5"), std::string::npos) << local;
    EXPECT_NE(local.find("dsig=1,8257"), std::string::npos) << local;
}

TEST(Polynomial, OnlySlotOneWritesTheTextAndEachSlotKeepsItsOwnRow)
{
    const Points p = polynomialPoints({1, 2, 3, 4, 5, 6}, {4, 0.5, -0.125});
    Store store;
    markOutputs(store);
    CollectingMessageSink messages;
    std::string text = "unchanged";
    store.PolySlot = 3;
    ASSERT_EQ(Polynomial(store, p.n(), 2, p.x, p.y, messages, &text), PolynomialStatus::Fitted);
    EXPECT_EQ(text, "unchanged");

    EXPECT_EQ(store.PolyC[0], ValueCell(0.0));
    EXPECT_TRUE(near(store.PolyC[1], 4, 1e-12));
    EXPECT_TRUE(near(store.PolyCoef[3][2], 4, 1e-12));
    EXPECT_TRUE(near(store.PolyCoef[3][3], 0.5, 1e-12));
    EXPECT_TRUE(near(store.PolyCoef[3][4], -0.125, 1e-12));
    for (std::size_t k = 4; k <= 25; ++k)
        EXPECT_EQ(store.PolyC[k], ValueCell(0.0)) << k;
    for (std::size_t k = 5; k <= 25; ++k)
        EXPECT_EQ(store.PolyCoef[3][k], ValueCell(0.0)) << k;
    // Entries 0, 1 and 26 of the slot and every other slot stay.
    EXPECT_EQ(store.PolyCoef[3][0], ValueCell(-2000.0));
    EXPECT_EQ(store.PolyCoef[3][1], ValueCell(-2001.0));
    EXPECT_EQ(store.PolyCoef[3][26], ValueCell(-2026.0));
    EXPECT_EQ(store.PolyCoef[2][2], ValueCell(-2002.0));

    store.PolySlot = 1;
    ASSERT_EQ(Polynomial(store, p.n(), 2, p.x, p.y, messages, &text), PolynomialStatus::Fitted);
    const auto l = lines(text);
    ASSERT_EQ(l.size(), 7u);
    EXPECT_EQ(l[0].rfind("P0 = ", 0), 0u);
    EXPECT_EQ(l[2].rfind("P2 = ", 0), 0u);
    EXPECT_TRUE(near(store.PolyCoef[1][4], -0.125, 1e-12));
}

TEST(Polynomial, TooFewPointsOrAnImpossibleDegreeAreRefusedWithoutChanges)
{
    const Points p = polynomialPoints({1, 2, 3}, {1, 1, 1});
    Store store;
    store.PolySlot = 1;
    markOutputs(store);
    const Store before = store;
    CollectingMessageSink messages;
    std::string text = "unchanged";

    EXPECT_EQ(Polynomial(store, p.n(), 3, p.x, p.y, messages, &text), PolynomialStatus::TooFewData);
    EXPECT_EQ(Polynomial(store, p.n(), 24, p.x, p.y, messages, &text), PolynomialStatus::TooFewData);
    EXPECT_EQ(Polynomial(store, p.n(), -1, p.x, p.y, messages, &text), PolynomialStatus::TooFewData);
    // n beyond what the arrays hold is missing data, never read.
    EXPECT_EQ(Polynomial(store, 10, 2, p.x, p.y, messages, &text), PolynomialStatus::TooFewData);

    ASSERT_EQ(messages.messages.size(), 4u);
    const Message tooFew{"Too few data for polynomial regression of the requested degree.", std::nullopt, MessageIcon::None};
    EXPECT_EQ(messages.messages[0], tooFew);
    EXPECT_EQ(messages.messages[1].text,
              "Too few data for polynomial regression of the requested degree. The highest degree is 23.");
    EXPECT_EQ(messages.messages[1].icon, MessageIcon::None);
    EXPECT_EQ(messages.messages[1].title, std::nullopt);
    EXPECT_EQ(messages.messages[2].icon, MessageIcon::None);
    EXPECT_EQ(messages.messages[3], tooFew);
    EXPECT_EQ(text, "unchanged");
    EXPECT_EQ(store.PolyC, before.PolyC);
    EXPECT_EQ(store.PolyCoef, before.PolyCoef);
}

TEST(Polynomial, HighestDegreeFitsAndSpreadNeedsThreePoints)
{
    Points p;
    for (int x = 1; x <= 24; ++x)
        p.add(x * 0.05, 1 + x * 0.05);
    Store store;
    store.PolySlot = 1;
    CollectingMessageSink messages;
    std::string text;
    // Degree 23 fits the matrix; whether it solves is a matter of condition,
    // but it is never refused and never leaves garbage.
    const auto status = Polynomial(store, p.n(), 23, p.x, p.y, messages, &text);
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_NE(status, PolynomialStatus::TooFewData);
    for (const auto& c : store.PolyC)
        EXPECT_TRUE(c.isEmpty() || std::isfinite(c.value()));

    // With two points the spread n − 2 has no value: "dsig=" stays bare.
    const Points two = polynomialPoints({2, 6}, {3});
    ASSERT_EQ(Polynomial(store, two.n(), 0, two.x, two.y, messages, &text), PolynomialStatus::Fitted);
    EXPECT_TRUE(near(store.PolyC[1], 3, 1e-15));
    EXPECT_EQ(lines(text).at(3), "dsig=");
}

TEST(Polynomial, SingularSystemsEmptyTheFitInsteadOfShowingGarbage)
{
    Store store;
    store.PolySlot = 1;
    markOutputs(store);
    CollectingMessageSink messages;
    std::string text = "old coefficients";

    // All points at one position.
    Points same;
    for (double y : {3.0, 4.0, 5.0, 6.0})
        same.add(5.3, y);
    EXPECT_EQ(Polynomial(store, same.n(), 2, same.x, same.y, messages, &text), PolynomialStatus::Singular);
    for (const auto& c : store.PolyC)
        EXPECT_TRUE(c.isEmpty());
    for (std::size_t k = 2; k <= 25; ++k)
        EXPECT_TRUE(store.PolyCoef[1][k].isEmpty()) << k;
    EXPECT_EQ(store.PolyCoef[1][1], ValueCell(-2001.0));
    EXPECT_EQ(store.PolyCoef[4][2], ValueCell(-2002.0));
    EXPECT_EQ(text, "");
    EXPECT_TRUE(messages.messages.empty());

    // Fewer distinct positions than unknowns.
    Points pairs;
    for (double x : {0.7, 0.7, 1.9, 1.9, 1.9})
        pairs.add(x, 10 + x);
    markOutputs(store);
    store.PolySlot = 4;
    EXPECT_EQ(Polynomial(store, pairs.n(), 2, pairs.x, pairs.y, messages, &text), PolynomialStatus::Singular);
    EXPECT_TRUE(store.PolyC[1].isEmpty());
    EXPECT_TRUE(store.PolyCoef[4][2].isEmpty());
    EXPECT_EQ(store.PolyCoef[1][2], ValueCell(-2002.0));
}

TEST(Polynomial, LargePositionsFitOverAWideRangeButNotInANarrowWindow)
{
    // Spread over the whole sequence the normal equations span twenty orders
    // of magnitude and still solve.
    const Points wide = polynomialPoints({1, 7500, 15000, 22500, 30000}, {500, -0.01, 1e-7});
    Store store;
    store.PolySlot = 2;
    CollectingMessageSink messages;
    ASSERT_EQ(Polynomial(store, wide.n(), 2, wide.x, wide.y, messages, nullptr), PolynomialStatus::Fitted);
    EXPECT_TRUE(near(store.PolyC[1], 500, 1e-9));
    EXPECT_TRUE(near(store.PolyC[2], -0.01, 1e-7));
    EXPECT_TRUE(near(store.PolyC[3], 1e-7, 1e-7));

    // Ten positions wide near 30000, a parabola in raw X is lost to rounding
    // (the monomials 1, X, X² are nearly parallel there): the honest answer
    // is a singular system, not coefficients that swing by thousands.
    const Points narrow = polynomialPoints({29990, 29992, 29995, 29997, 30000}, {500, -0.01, 1e-7});
    EXPECT_EQ(Polynomial(store, narrow.n(), 2, narrow.x, narrow.y, messages, nullptr), PolynomialStatus::Singular);
    EXPECT_TRUE(store.PolyC[1].isEmpty());
    EXPECT_TRUE(store.PolyCoef[2][2].isEmpty());
}

} // namespace
} // namespace kalibron
