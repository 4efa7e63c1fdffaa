#include "regression/clenshaw.h"

#include <array>

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
