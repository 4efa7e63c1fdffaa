// Polynomial fits against exact least squares. Positions are whole numbers
// and the values exact decimals (thousandths), so the normal equations have
// integer entries: fraction-free elimination in big integers gives the exact
// least-squares polynomial of every degree, and its values, residuals, dsig
// and mean deviations follow exactly before they are rounded once to double.
#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include <boost/multiprecision/cpp_bin_float.hpp>
#include <boost/multiprecision/cpp_int.hpp>
#include <gtest/gtest.h>

#include "core/messages.h"
#include "core/store.h"
#include "regression/polynomial_fit.h"

namespace kalibron {
namespace {

using boost::multiprecision::cpp_int;
using Float = boost::multiprecision::cpp_bin_float_50;

struct Layout {
    std::string name;
    std::vector<long long> x;     // positions, increasing
    std::vector<long long> milli; // Y in thousandths
    std::vector<int> degrees;
};

// A slow drift with a wobble, in thousandths, as a lab's standard drifts.
long long drift(long long x) { return 1000000 - 30 * x + (x * 7919) % 2003; }

Layout steps(const std::string& name, long long last, std::vector<int> degrees)
{
    static const int kSteps[] = {2, 5, 3, 7, 10, 4, 6, 8, 9};
    Layout layout{name, {}, {}, std::move(degrees)};
    for (long long x = 2, k = 0; x <= last; x += kSteps[k++ % 9]) {
        layout.x.push_back(x);
        layout.milli.push_back(drift(x));
    }
    return layout;
}

Layout clusters(const std::string& name, int count, int size, long long every, std::vector<int> degrees)
{
    Layout layout{name, {}, {}, std::move(degrees)};
    for (int c = 0; c < count; ++c) {
        for (int k = 0; k < size; ++k) {
            const long long x = 10 + c * every + k;
            layout.x.push_back(x);
            layout.milli.push_back(drift(x) + (c % 2) * 4000);
        }
    }
    return layout;
}

std::vector<int> range(int from, int to)
{
    std::vector<int> out;
    for (int d = from; d <= to; ++d)
        out.push_back(d);
    return out;
}

double toDouble(const cpp_int& num, const cpp_int& den) { return static_cast<double>(Float(num) / Float(den)); }

// Exact least squares for every degree up to top, in powers of u = x − x0:
// one fraction-free (Bareiss) elimination of the normal equations of the top
// degree. Elimination never looks beyond the leading rows and columns, so the
// leading m × m block of the result belongs to degree m − 1.
class ExactFits {
public:
    ExactFits(const Layout& layout, int top) : m_x0(layout.x.front()), m_size(top + 1)
    {
        const int m = m_size;
        std::vector<cpp_int> power(static_cast<std::size_t>(2 * m - 1));
        std::vector<cpp_int> moment(static_cast<std::size_t>(m));
        for (std::size_t i = 0; i < layout.x.size(); ++i) {
            const long long u = layout.x[i] - m_x0;
            cpp_int w = 1;
            for (int j = 0; j < 2 * m - 1; ++j) {
                power[static_cast<std::size_t>(j)] += w;
                if (j < m)
                    moment[static_cast<std::size_t>(j)] += w * layout.milli[i];
                w *= u;
            }
        }
        m_a.assign(static_cast<std::size_t>(m), std::vector<cpp_int>(static_cast<std::size_t>(m + 1)));
        for (int i = 0; i < m; ++i) {
            for (int j = 0; j < m; ++j)
                at(i, j) = power[static_cast<std::size_t>(i + j)];
            at(i, m) = moment[static_cast<std::size_t>(i)];
        }
        cpp_int previous = 1;
        for (int k = 0; k + 1 < m; ++k) {
            for (int i = k + 1; i < m; ++i) {
                for (int j = k + 1; j <= m; ++j)
                    at(i, j) = (at(k, k) * at(i, j) - at(i, k) * at(k, j)) / previous;
                at(i, k) = 0;
            }
            previous = at(k, k);
        }
    }

    // Coefficients of degree d (in u, Y in thousandths) over one common
    // denominator: c_k = num[k] / den.
    void solve(int d, std::vector<cpp_int>& num, cpp_int& den) const
    {
        const int m = d + 1;
        // Back substitution with c_k = p_k / q_k kept as fractions, then one
        // common denominator.
        std::vector<cpp_int> p(static_cast<std::size_t>(m)), q(static_cast<std::size_t>(m));
        for (int i = m - 1; i >= 0; --i) {
            // c_i = (rhs_i − Σ_{j>i} a_ij c_j) / a_ii over the product of q_j.
            cpp_int n = at(i, m_size), dd = 1;
            for (int j = i + 1; j < m; ++j) {
                const auto ju = static_cast<std::size_t>(j);
                n = n * q[ju] - at(i, j) * p[ju] * dd;
                dd *= q[ju];
                const cpp_int g = gcd(n, dd);
                if (g > 1) {
                    n /= g;
                    dd /= g;
                }
            }
            dd *= at(i, i);
            if (dd < 0) {
                n = -n;
                dd = -dd;
            }
            const cpp_int g = gcd(n, dd);
            p[static_cast<std::size_t>(i)] = g > 1 ? n / g : n;
            q[static_cast<std::size_t>(i)] = g > 1 ? dd / g : dd;
        }
        den = 1;
        for (const cpp_int& qi : q)
            den = lcm(den, qi);
        num.resize(static_cast<std::size_t>(m));
        for (std::size_t k = 0; k < static_cast<std::size_t>(m); ++k)
            num[k] = p[k] * (den / q[k]);
    }

    long long x0() const { return m_x0; }

private:
    cpp_int& at(int i, int j) { return m_a[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)]; }
    const cpp_int& at(int i, int j) const { return m_a[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)]; }

    long long m_x0;
    int m_size;
    std::vector<std::vector<cpp_int>> m_a;
};

// 1000·den·f(x) as an integer: Σ num_k·u^k.
cpp_int scaledValue(const std::vector<cpp_int>& num, long long u)
{
    cpp_int v = 0;
    for (std::size_t k = num.size(); k-- > 0;)
        v = v * u + num[k];
    return v;
}

double curveTolerance(int d) { return d <= 10 ? 1e-12 : d <= 15 ? 1e-10 : 1e-8; }

TEST(PolynomialExact, MatchesExactLeastSquaresAtEveryDegree)
{
    const std::vector<Layout> layouts = {
        steps("every 2-10 to 100", 100, range(2, 16)),
        steps("every 2-10 to 1000", 1000, range(2, 23)),
        steps("every 2-10 to 5000", 5000, range(2, 23)),
        steps("every 2-10 to 30000", 30000, {2, 3, 6, 10, 14, 18, 23}),
        clusters("12 clusters of 5 every 400", 12, 5, 400, range(2, 23)),
        clusters("7 standards at 922-928", 1, 7, 0, range(2, 6)),
    };
    // The last layout sits at 10..16; move it to 922..928.
    std::vector<Layout> all = layouts;
    for (long long& x : all.back().x)
        x += 912;

    for (const Layout& layout : all) {
        SCOPED_TRACE(layout.name);
        const int n = static_cast<int>(layout.x.size());
        std::vector<double> X{0}, Y{0};
        for (int i = 0; i < n; ++i) {
            X.push_back(static_cast<double>(layout.x[static_cast<std::size_t>(i)]));
            Y.push_back(static_cast<double>(layout.milli[static_cast<std::size_t>(i)]) / 1000);
        }
        // Positions FirstX..MaxX (every one up to 2000 of them, else evenly
        // spread) and the standards.
        const long long first = layout.x.front(), last = layout.x.back();
        const long long stride = std::max(1LL, (last - first) / 2000);
        std::vector<long long> positions;
        for (long long x = first; x <= last; x += stride)
            positions.push_back(x);
        positions.push_back(last);

        const ExactFits exact(layout, *std::max_element(layout.degrees.begin(), layout.degrees.end()));
        for (const int d : layout.degrees) {
            SCOPED_TRACE("degree " + std::to_string(d));
            ASSERT_GT(n, d);
            Store store;
            store.PolySlot = 2;
            CollectingMessageSink messages;
            const PolynomialFit fit = Polynomial(store, n, d, X, Y, messages, nullptr);
            ASSERT_EQ(fit.status, PolynomialStatus::Fitted) << "a well-posed fit came back empty";

            std::vector<cpp_int> num;
            cpp_int den;
            exact.solve(d, num, den);
            const cpp_int scale = den * 1000;

            double maxError = 0, maxValue = 0;
            auto check = [&](long long x) {
                const double f = toDouble(scaledValue(num, x - exact.x0()), scale);
                maxValue = std::max(maxValue, std::abs(f));
                maxError = std::max(
                    maxError, std::abs(static_cast<double>(chebyshevValue(fit.stable, static_cast<double>(x))) - f));
            };
            for (const long long x : positions)
                check(x);
            long double ss = 0, absSum = 0, relSum = 0, maxY = 0, minY = INFINITY;
            for (int i = 0; i < n; ++i) {
                const long long x = layout.x[static_cast<std::size_t>(i)];
                check(x);
                const cpp_int y = layout.milli[static_cast<std::size_t>(i)];
                const double e = toDouble(y * den - scaledValue(num, x - exact.x0()), scale);
                const long double yv = static_cast<long double>(layout.milli[static_cast<std::size_t>(i)]) / 1000;
                ss += static_cast<long double>(e) * e;
                absSum += std::abs(e);
                relSum += std::abs(e) / yv;
                maxY = std::max(maxY, yv);
                minY = std::min(minY, yv);
            }
            const double size = std::max(maxValue, static_cast<double>(maxY));
            EXPECT_LE(maxError, curveTolerance(d) * size);

            // The spread and the deviations to 1e-10, or to the curve's own
            // tolerance where they are smaller than that (a fit through
            // every point leaves nothing but rounding).
            const double floor = curveTolerance(d) * size;
            auto within = [&](std::optional<double> actual, long double expected, double least, const char* what) {
                ASSERT_TRUE(actual.has_value()) << what;
                EXPECT_LE(std::abs(*actual - static_cast<double>(expected)),
                          1e-10 * static_cast<double>(expected) + least)
                    << what;
            };
            within(fit.dsig, std::sqrt(ss / (n - 2)), floor, "dsig");
            within(fit.dev, absSum / n, floor, "PolyDev");
            within(fit.devPct, 100 * relSum / n, 100 * floor / static_cast<double>(minY), "PolyDevPct");
        }
    }
}

} // namespace
} // namespace kalibron
