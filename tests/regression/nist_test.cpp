// NIST StRD linear least-squares reference data sets (tests/regression/nist,
// copied unchanged from the NIST files; data from line 61 on as "y x").
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/messages.h"
#include "core/store.h"
#include "regression/least_squares_line.h"
#include "regression/polynomial_fit.h"
#include "regression_test_support.h"

namespace kalibron {
namespace {

using test::near;

struct NistSet {
    std::vector<double> x{0}, y{0}; // index 0 unused, as the driver packs them
    std::vector<double> certified;  // B0, B1, ...
    double residualSd = -1;
    int n() const { return static_cast<int>(x.size()) - 1; }
};

NistSet readNist(const std::string& name)
{
    NistSet set;
    std::ifstream in(std::string(KALIBRON_NIST_DIR) + "/" + name + ".dat");
    EXPECT_TRUE(in.good()) << name;
    const std::regex estimate(R"(^\s*B(\d+)\s+(\S+)\s+\S+\s*$)");
    const std::regex residual(R"(^\s*Standard Deviation\s+(\S+)\s*$)");
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        std::smatch m;
        if (number >= 61) {
            std::istringstream values(line);
            double y = 0, x = 0;
            if (values >> y >> x) {
                set.x.push_back(x);
                set.y.push_back(y);
            }
        } else if (std::regex_match(line, m, estimate)) {
            set.certified.resize(std::stoul(m[1]) + 1);
            set.certified[std::stoul(m[1])] = std::strtod(m[2].str().c_str(), nullptr);
        } else if (std::regex_match(line, m, residual)) {
            set.residualSd = std::strtod(m[1].str().c_str(), nullptr);
        }
    }
    return set;
}

struct Fit {
    PolynomialFit result;
    Store store;
    std::string text;
    explicit Fit(const NistSet& set)
    {
        store.PolySlot = 1;
        CollectingMessageSink messages;
        const int degree = static_cast<int>(set.certified.size()) - 1;
        result = Polynomial(store, set.n(), degree, set.x, set.y, messages, &text);
        EXPECT_TRUE(messages.messages.empty());
    }
    double dsig() const { return std::strtod(text.c_str() + text.find("dsig=") + 5, nullptr); }
};

// Polynomial divides the squared residuals by n − 2 whatever the degree,
// NIST by n − p: the spreads differ by the factor √((n − p)/(n − 2)).
double expectedDsig(const NistSet& set)
{
    const double n = set.n(), p = static_cast<double>(set.certified.size());
    return set.residualSd * std::sqrt((n - p) / (n - 2));
}

// Log relative error: the number of correct significant digits.
double lre(double actual, double certified)
{
    const double error = std::abs(actual - certified);
    if (error == 0)
        return 16;
    return certified == 0 ? -std::log10(error) : -std::log10(error / std::abs(certified));
}

// Every certified coefficient, as PolyC reports it, to at least minLre digits.
void expectCoefficients(const NistSet& set, const Fit& fit, double minLre)
{
    ASSERT_EQ(fit.result.status, PolynomialStatus::Fitted);
    for (std::size_t p = 0; p < set.certified.size(); ++p) {
        ASSERT_TRUE(fit.store.PolyC[p + 1].isNumber()) << "B" << p;
        EXPECT_GE(lre(fit.store.PolyC[p + 1].value(), set.certified[p]), minLre) << "B" << p;
    }
}

TEST(Nist, NorrisLineFromTheSumsAndFromThePolynomial)
{
    const NistSet set = readNist("Norris");
    ASSERT_EQ(set.n(), 36);
    ASSERT_EQ(set.certified.size(), 2u);

    const auto n = static_cast<std::size_t>(set.n());
    const LineCoefficients line =
        fitLine(std::span<const double>(set.x.data() + 1, n), std::span<const double>(set.y.data() + 1, n)).line;
    EXPECT_TRUE(near(line.a, set.certified[0], 1e-9));
    EXPECT_TRUE(near(line.b, set.certified[1], 1e-12));
    // Certified R-squared 0.999993745883712.
    EXPECT_TRUE(near(line.r.value_or(0) * line.r.value_or(0), 0.999993745883712, 1e-12));

    const Fit fit(set);
    expectCoefficients(set, fit, 11);
    EXPECT_TRUE(near(fit.dsig(), set.residualSd, 1e-10));
}

TEST(Nist, PontiusQuadratic)
{
    const NistSet set = readNist("Pontius");
    ASSERT_EQ(set.n(), 40);
    ASSERT_EQ(set.certified.size(), 3u);
    const Fit fit(set);
    expectCoefficients(set, fit, 11);
    EXPECT_TRUE(near(fit.dsig(), expectedDsig(set), 1e-10));
}

// Degree 5 over x = 0..20; Wampler5's huge residuals leave the least
// digits in the coefficients.
TEST(Nist, WamplerQuintics)
{
    for (const char* name : {"Wampler1", "Wampler2", "Wampler3", "Wampler4", "Wampler5"}) {
        SCOPED_TRACE(name);
        const NistSet set = readNist(name);
        ASSERT_EQ(set.n(), 21);
        ASSERT_EQ(set.certified.size(), 6u);
        const Fit fit(set);
        expectCoefficients(set, fit, std::string(name) == "Wampler5" ? 8 : 9);
        if (set.residualSd > 0) {
            EXPECT_TRUE(near(fit.dsig(), expectedDsig(set), 1e-10));
        } else {
            // An exact polynomial: what is left is rounding, tiny against y.
            EXPECT_LT(fit.dsig(), 1e-12 * std::abs(set.y.back()));
        }
    }
}

// Filip's degree-10 problem is the hardest of the sets: its normal equations
// have a condition far beyond 1e16. The scaled Chebyshev basis and the
// pivoted QR solve it.
TEST(Nist, FilipDegreeTen)
{
    const NistSet set = readNist("Filip");
    ASSERT_EQ(set.n(), 82);
    ASSERT_EQ(set.certified.size(), 11u);
    const Fit fit(set);
    expectCoefficients(set, fit, 10);
    EXPECT_TRUE(near(fit.dsig(), expectedDsig(set), 1e-9));
}

} // namespace
} // namespace kalibron
