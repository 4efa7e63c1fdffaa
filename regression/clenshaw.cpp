#include "regression/clenshaw.h"

#include <array>
#include <cmath>

namespace kalibron {

using PolyChebyshev = Store::PolyChebyshev;

long double clenshawValue(const PolyChebyshev& fit, double t)
{
    const auto& c = fit.c;
    const int d = fit.degree;
    const double t2 = 2 * t; // exact
    long double b1 = 0, b2 = 0;
    int k = 0;
    if (d % 2 == 1) {
        b1 = c[static_cast<std::size_t>(d)];
        k = d - 1;
    } else if (d >= 2) {
        b2 = c[static_cast<std::size_t>(d)];
        b1 = c[static_cast<std::size_t>(d - 1)] + t2 * c[static_cast<std::size_t>(d)];
        k = d - 2;
    }
    for (; k >= 1; --k) {
        const long double b0 = (c[static_cast<std::size_t>(k)] - b2) + t2 * b1;
        b2 = b1;
        b1 = b0;
    }
    return (c[0] - b2) + t * b1;
}

void scaledPositions(const PolyChebyshev& fit, std::span<const double> x, double* t)
{
    const long double centre = fit.centreTwice(), inverse = fit.inverseWidth();
    for (std::size_t i = 0; i < x.size(); ++i)
        t[i] = PolyChebyshev::scaled(x[i], centre, inverse);
}

namespace {

#if defined(__GNUC__) && defined(__x86_64__)
#define KALIBRON_X87_CLENSHAW 1

// The coefficients as pairs of doubles, c_k = hi_k + lo_k exactly: the x87
// unit takes a double as a memory operand of an add or a multiply but a long
// double only through a slow load of its own, so each c_k comes in as one
// load and one add, rounded to exactly c_k.
struct SplitCoefficients {
    std::array<double, 24> hi{}, lo{};
};

// False when some c_k has no such pair (outside the range of a double).
bool split(const PolyChebyshev& fit, SplitCoefficients& s)
{
    for (std::size_t k = 0; k <= static_cast<std::size_t>(fit.degree); ++k) {
        s.hi[k] = static_cast<double>(fit.c[k]);
        s.lo[k] = static_cast<double>(fit.c[k] - s.hi[k]);
        if (!std::isfinite(s.hi[k]) || static_cast<long double>(s.hi[k]) + s.lo[k] != fit.c[k])
            return false;
    }
    return true;
}

// Three positions side by side on the x87 register stack, each step exactly
// the step of clenshawValue. The recurrence is bound by the latency of its
// multiply and add; three independent chains hide most of it, and with two
// registers a chain (2t, t and the coefficients stay in memory) they fill
// six of the eight registers, leaving one for the step in flight.
// The stack holds the chains as pairs (newer, older) — A at st(0..1), B at
// st(2..3), C at st(4..5). A step overwrites the older with the new value,
// so the pairs alternate between (newer, older) and (older, newer): the loop
// takes two steps per pass, one for each arrangement. Only forms with st(0)
// as destination are used for subtraction (the assembler's operand order
// for the others is a known trap).
#define KALIBRON_CLENSHAW3_STEP(OFF, C2, T2OFF, C1)                                                               \
    "fldl " OFF "(%[hi],%[k],8)\n\t"                                                                              \
    "faddl " OFF "(%[lo],%[k],8)\n\t"                                                                             \
    "fsub %%st(" C2 "), %%st\n\t"                                                                                  \
    "fstp %%st(" C2 ")\n\t"                                                                                        \
    "fldl " T2OFF "(%[t2])\n\t"                                                                                    \
    "fmul %%st(" C1 "), %%st\n\t"                                                                                  \
    "faddp %%st, %%st(" C2 ")\n\t"

// b_d = c_d, b_{d+1} = 0 for one chain (odd d).
#define KALIBRON_CLENSHAW3_START_ODD                                                                               \
    "fldz\n\t"                                                                                                     \
    "fldl (%[hi],%[d],8)\n\t"                                                                                      \
    "faddl (%[lo],%[d],8)\n\t"

// b_{d−1} = c_{d−1} + 2t·c_d, b_d = c_d for one chain (even d).
#define KALIBRON_CLENSHAW3_START_EVEN(T2OFF)                                                                       \
    "fldl (%[hi],%[d],8)\n\t"                                                                                      \
    "faddl (%[lo],%[d],8)\n\t"                                                                                     \
    "fld %%st(0)\n\t"                                                                                              \
    "fmull " T2OFF "(%[t2])\n\t"                                                                                   \
    "fldl -8(%[hi],%[d],8)\n\t"                                                                                    \
    "faddl -8(%[lo],%[d],8)\n\t"                                                                                   \
    "faddp %%st, %%st(1)\n\t"

// f = (c_0 − b_2) + t·b_1 of the chain on top, stored and popped with it.
#define KALIBRON_CLENSHAW3_FINISH(TOFF, STORE)                                                                     \
    "fldl (%[hi])\n\t"                                                                                             \
    "faddl (%[lo])\n\t"                                                                                            \
    "fsub %%st(2), %%st\n\t"                                                                                       \
    "fldl " TOFF "(%[t])\n\t"                                                                                      \
    "fmul %%st(2), %%st\n\t"                                                                                       \
    "faddp %%st, %%st(1)\n\t" STORE "\n\t"                                                                         \
    "fstp %%st(0)\n\t"                                                                                             \
    "fstp %%st(0)\n\t"

#define KALIBRON_CLENSHAW3(STORE0, STORE1, STORE2)                                                                 \
    asm volatile("test %[even], %[even]\n\t"                                                                       \
                 "jz 2f\n\t" KALIBRON_CLENSHAW3_START_EVEN("16") KALIBRON_CLENSHAW3_START_EVEN("8")                \
                     KALIBRON_CLENSHAW3_START_EVEN("0") "jmp 3f\n"                                                 \
                 "2:\n\t" KALIBRON_CLENSHAW3_START_ODD KALIBRON_CLENSHAW3_START_ODD KALIBRON_CLENSHAW3_START_ODD    \
                 "3:\n\t"                                                                                          \
                 "test %[pairs], %[pairs]\n\t"                                                                     \
                 "jz 5f\n"                                                                                         \
                 "4:\n\t" KALIBRON_CLENSHAW3_STEP("0", "2", "0", "1") KALIBRON_CLENSHAW3_STEP("0", "4", "8", "3")  \
                     KALIBRON_CLENSHAW3_STEP("0", "6", "16", "5") KALIBRON_CLENSHAW3_STEP("-8", "1", "0", "2")     \
                         KALIBRON_CLENSHAW3_STEP("-8", "3", "8", "4") KALIBRON_CLENSHAW3_STEP("-8", "5", "16", "6") \
                 "sub $2, %[k]\n\t"                                                                                \
                 "dec %[pairs]\n\t"                                                                                \
                 "jnz 4b\n"                                                                                        \
                 "5:\n\t" KALIBRON_CLENSHAW3_FINISH("0", STORE0) KALIBRON_CLENSHAW3_FINISH("8", STORE1)            \
                     KALIBRON_CLENSHAW3_FINISH("16", STORE2)                                                       \
                 : [k] "+r"(k), [pairs] "+r"(pairs)                                                                \
                 : [hi] "r"(s.hi.data()), [lo] "r"(s.lo.data()), [t2] "r"(t2), [t] "r"(t), [out] "r"(out),         \
                   [even] "r"(even), [d] "r"(d)                                                                    \
                 : "memory", "cc", "st", "st(1)", "st(2)", "st(3)", "st(4)", "st(5)", "st(6)", "st(7)")

// out[j] = clenshawValue(fit, t[j]) for j = 0, 1, 2; degree >= 2.
template <class Out> void clenshaw3(const SplitCoefficients& s, int degree, const double* t, Out* out)
{
    const double t2[3] = {2 * t[0], 2 * t[1], 2 * t[2]};
    const long d = degree;
    const long even = degree % 2 == 0 ? 1 : 0;
    long k = even ? d - 2 : d - 1; // steps k … 1, an even number
    long pairs = k / 2;
    if constexpr (sizeof(Out) == sizeof(double))
        KALIBRON_CLENSHAW3("fstpl (%[out])", "fstpl 8(%[out])", "fstpl 16(%[out])");
    else
        KALIBRON_CLENSHAW3("fstpt (%[out])", "fstpt 16(%[out])", "fstpt 32(%[out])");
}

static_assert(sizeof(long double) == 16, "the x87 kernel stores long doubles 16 bytes apart");

#endif

template <class Out> void values(const PolyChebyshev& fit, std::span<const double> t, Out* out)
{
    std::size_t i = 0;
#ifdef KALIBRON_X87_CLENSHAW
    SplitCoefficients s;
    if (fit.degree >= 2 && split(fit, s)) {
        for (; i + 3 <= t.size(); i += 3)
            clenshaw3(s, fit.degree, t.data() + i, out + i);
    }
#endif
    for (; i < t.size(); ++i)
        out[i] = static_cast<Out>(clenshawValue(fit, t[i]));
}

} // namespace

void clenshawValues(const PolyChebyshev& fit, std::span<const double> t, long double* out) { values(fit, t, out); }

void clenshawValues(const PolyChebyshev& fit, std::span<const double> t, double* out) { values(fit, t, out); }

} // namespace kalibron
