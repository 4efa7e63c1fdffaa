#include "regression/clenshaw.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "regression/double_pair.h"

namespace kalibron {

using PolyChebyshev = Store::PolyChebyshev;

namespace {

// f at N positions side by side, each chain taking exactly the steps of the
// one-position recurrence: a long recurrence is bound by the latency of its
// multiply and add, and independent chains fill that wait. Two chains keep
// their values, 2t and c_k in the eight registers of a long double unit;
// inlined, so that the values never pass through memory.
template <std::size_t N>
[[gnu::always_inline]] inline std::array<long double, N> clenshaw(const PolyChebyshev& fit, const double* t)
{
    const auto& c = fit.c;
    const int d = fit.degree;
    auto at = [&](int k) { return c[static_cast<std::size_t>(k)]; };
    std::array<double, N> t2;
    std::array<long double, N> b1{}, b2{};
    for (std::size_t j = 0; j < N; ++j)
        t2[j] = 2 * t[j]; // exact
    int k = 0;
    if (d % 2 == 1) {
        b1.fill(at(d));
        k = d - 1;
    } else if (d >= 2) {
        for (std::size_t j = 0; j < N; ++j) {
            b2[j] = at(d);
            b1[j] = at(d - 1) + t2[j] * at(d);
        }
        k = d - 2;
    }
    // k is even: two steps a pass, the newer value written over the older
    // in turn, so that no value is moved between registers.
    for (; k >= 2; k -= 2) {
        for (std::size_t j = 0; j < N; ++j)
            b2[j] = (at(k) - b2[j]) + t2[j] * b1[j];
        for (std::size_t j = 0; j < N; ++j)
            b1[j] = (at(k - 1) - b1[j]) + t2[j] * b2[j];
    }
    std::array<long double, N> f;
    for (std::size_t j = 0; j < N; ++j)
        f[j] = (at(0) - b2[j]) + t[j] * b1[j];
    return f;
}

// use(i, f(t[i])) for every i, two positions at a time.
template <class Use> void clenshawEach(const PolyChebyshev& fit, std::span<const double> t, Use&& use)
{
    std::size_t i = 0;
    for (; i + 2 <= t.size(); i += 2) {
        const std::array<long double, 2> f = clenshaw<2>(fit, t.data() + i);
        use(i, f[0]);
        use(i + 1, f[1]);
    }
    if (i < t.size())
        use(i, clenshaw<1>(fit, t.data() + i)[0]);
}

} // namespace

long double clenshawValue(const PolyChebyshev& fit, double t) { return clenshaw<1>(fit, &t)[0]; }

namespace {

// Whole numbers up to this size in a, b and x make 2x − (a + b) a whole
// number below 2^21, and its product with the 32-bit inverse width fits the
// 53 bits of a double: the double arithmetic below is then exact, like the
// long double arithmetic of PolyChebyshev::scaled, and gives the same t.
constexpr double kExactPositionBound = 524288; // 2^19

bool wholeAndSmall(double v) { return std::fabs(v) <= kExactPositionBound && v == std::trunc(v); }

// wholeAndSmall for every x[i], two at a time: v + 2^52 − 2^52 is v rounded
// to a whole number, so the squared differences add up to zero exactly when
// all are whole (infinity and NaN leave NaN); the largest v² bounds them.
bool allWholeAndSmall(std::span<const double> x)
{
    const DoublePair round = splat(4503599627370496.0);
    DoublePair off = splat(0), top = splat(0);
    std::size_t i = 0;
    for (; i + 2 <= x.size(); i += 2) {
        const DoublePair v = loadPair(x.data() + i);
        const DoublePair r = (v + round) - round;
        off += (r - v) * (r - v);
        top = v * v > top ? v * v : top;
    }
    const double bound = kExactPositionBound * kExactPositionBound;
    bool whole = off[0] + off[1] == 0 && top[0] <= bound && top[1] <= bound;
    for (; i < x.size(); ++i)
        whole = whole && wholeAndSmall(x[i]);
    return whole;
}

} // namespace

void scaledPositions(const PolyChebyshev& fit, std::span<const double> x, double* t)
{
    const long double centre = fit.centreTwice(), inverse = fit.inverseWidth();
    if (wholeAndSmall(fit.a) && wholeAndSmall(fit.b) && allWholeAndSmall(x)) {
        const auto c = static_cast<double>(centre), s = static_cast<double>(inverse);
        std::size_t i = 0;
        for (; i + 2 <= x.size(); i += 2)
            storePair(t + i, (splat(2.0) * loadPair(x.data() + i) - splat(c)) * splat(s));
        for (; i < x.size(); ++i)
            t[i] = (2.0 * x[i] - c) * s;
        return;
    }
    for (std::size_t i = 0; i < x.size(); ++i)
        t[i] = PolyChebyshev::scaled(x[i], centre, inverse);
}

void scaledRange(const PolyChebyshev& fit, std::size_t first, std::size_t count, double* t)
{
    const long double centre = fit.centreTwice(), inverse = fit.inverseWidth();
    const auto low = static_cast<double>(first), high = static_cast<double>(first + count);
    if (wholeAndSmall(fit.a) && wholeAndSmall(fit.b) && wholeAndSmall(high)) {
        const auto c = static_cast<double>(centre), s = static_cast<double>(inverse);
        const DoublePair step = {0, 1};
        std::size_t i = 0;
        for (; i + 2 <= count; i += 2)
            storePair(t + i, (splat(2.0) * (splat(low + static_cast<double>(i)) + step) - splat(c)) * splat(s));
        for (; i < count; ++i)
            t[i] = (2.0 * (low + static_cast<double>(i)) - c) * s;
        return;
    }
    for (std::size_t i = 0; i < count; ++i)
        t[i] = PolyChebyshev::scaled(low + static_cast<double>(i), centre, inverse);
}

void clenshawValues(const PolyChebyshev& fit, std::span<const double> t, double* out)
{
    clenshawEach(fit, t, [&](std::size_t i, long double f) { out[i] = static_cast<double>(f); });
}

void clenshawResiduals(const PolyChebyshev& fit, std::span<const double> t, const double* y, double* hi, double* lo)
{
    clenshawEach(fit, t, [&](std::size_t i, long double f) {
        const long double e = y[i] - f;
        hi[i] = static_cast<double>(e);
        lo[i] = static_cast<double>(e - hi[i]);
    });
}

} // namespace kalibron
