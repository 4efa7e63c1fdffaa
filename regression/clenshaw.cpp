#include "regression/clenshaw.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "regression/double_pair.h"

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
// the step of clenshawValue. A long recurrence is bound by the latency of
// its multiply and add; three independent chains hide most of it, and with
// two registers a chain (2t, t and the coefficients stay in memory) they
// fill six of the eight registers, leaving two for c_k and the product in
// flight. A short one is bound by the x87 operations with a memory operand,
// about one a cycle here, so coefficients shared by the chains are loaded
// once and copied on the stack.
// The stack holds the chains as pairs (newer, older) — A at st(0..1), B at
// st(2..3), C at st(4..5), below c_k while a step runs. A step overwrites
// the older with the new value, so the pairs alternate between (newer,
// older) and (older, newer): the loop takes two steps per pass, one for each
// arrangement.
// Mind the assembler's operand order: "fsub %st, %st(i)" stores
// st(0) − st(i) into st(i) (Intel's FSUBR), here c_k − b_{k+2} (GNU as and
// clang agree on this).

// One chain: b_{k+2} at st(OLD) becomes c_k − b_{k+2}, then adds 2t·b_{k+1}
// (b_{k+1} at st(NEW2) once 2t is pushed; the sum goes to st(OLD2)).
#define KALIBRON_CLENSHAW3_CHAIN(OLD, T2OFF, NEW2, OLD2)                                                               \
    "fsub %%st, %%st(" OLD ")\n\t"                                                                                     \
    "fldl " T2OFF "(%[f])\n\t"                                                                                         \
    "fmul %%st(" NEW2 "), %%st\n\t"                                                                                    \
    "faddp %%st, %%st(" OLD2 ")\n\t"

// c_k = hi_k + lo_k (exact) on top of the stack; OFF selects k or k − 1.
#define KALIBRON_CLENSHAW3_COEFFICIENT(OFF)                                                                            \
    "fldl " OFF "(%[hi],%[k],8)\n\t"                                                                                   \
    "faddl " OFF "(%[lo],%[k],8)\n\t"

// b_d = c_d, b_{d+1} = 0 for the first chain (odd d); the next chains copy
// c_d from the chain below them.
#define KALIBRON_CLENSHAW3_START_ODD                                                                                   \
    "fldz\n\t"                                                                                                         \
    "fldl (%[hi],%[d],8)\n\t"                                                                                          \
    "faddl (%[lo],%[d],8)\n\t"
#define KALIBRON_CLENSHAW3_START_ODD_COPY                                                                              \
    "fldz\n\t"                                                                                                         \
    "fld %%st(1)\n\t"

// Even d: b_{d−1} = c_{d−1} + 2t·c_d, b_d = c_d for every chain. c_{d−1}
// and c_d are loaded once: c_{d−1} stays below the chains while they are
// built, then its register is freed in place (ffree) so that a step has its
// two registers; the finish restores the stack top (fincstp).
#define KALIBRON_CLENSHAW3_LOAD_EVEN                                                                                   \
    "fldl -8(%[hi],%[d],8)\n\t"                                                                                        \
    "faddl -8(%[lo],%[d],8)\n\t"                                                                                       \
    "fldl (%[hi],%[d],8)\n\t"                                                                                          \
    "faddl (%[lo],%[d],8)\n\t"
// c_d on top; pushes b_{d−1} above it (c_{d−1} at st(K) once c_d is
// copied).
#define KALIBRON_CLENSHAW3_START_EVEN(T2OFF, K)                                                                        \
    "fld %%st(0)\n\t"                                                                                                  \
    "fmull " T2OFF "(%[f])\n\t"                                                                                        \
    "fadd %%st(" K "), %%st\n\t"
#define KALIBRON_CLENSHAW3_COPY_TOP "fld %%st(1)\n\t"

// f = (c_0 − b_2) + t·b_1 of the chain just below c_0 (b_1 at st(1), b_2
// at st(2)), brought to the top for STORE to store and pop; c_0 stays.
#define KALIBRON_CLENSHAW3_FINISH(TOFF, STORE)                                                                         \
    "fsub %%st, %%st(2)\n\t"                                                                                           \
    "fxch %%st(1)\n\t"                                                                                                 \
    "fmull " TOFF "(%[f])\n\t"                                                                                         \
    "faddp %%st, %%st(2)\n\t"                                                                                          \
    "fxch %%st(1)\n\t" STORE "\n\t"

#define KALIBRON_CLENSHAW3(STORE0, STORE1, STORE2)                                                                     \
    asm volatile(                                                                                                      \
        "test %[even], %[even]\n\t"                                                                                    \
        "jz 2f\n\t" KALIBRON_CLENSHAW3_LOAD_EVEN KALIBRON_CLENSHAW3_START_EVEN(                                        \
            "40", "2") KALIBRON_CLENSHAW3_COPY_TOP KALIBRON_CLENSHAW3_START_EVEN("32", "4")                            \
            KALIBRON_CLENSHAW3_COPY_TOP KALIBRON_CLENSHAW3_START_EVEN(                                                 \
                "24", "6") "ffree %%st(6)\n\t"                                                                         \
                           "jmp 3f\n"                                                                                  \
                           "2:\n\t" KALIBRON_CLENSHAW3_START_ODD KALIBRON_CLENSHAW3_START_ODD_COPY                     \
                               KALIBRON_CLENSHAW3_START_ODD_COPY "3:\n\t"                                              \
                           "test %[pairs], %[pairs]\n\t"                                                               \
                           "jz 5f\n"                                                                                   \
                           "4:\n\t" KALIBRON_CLENSHAW3_COEFFICIENT("0") KALIBRON_CLENSHAW3_CHAIN("2", "24", "2", "3")  \
                               KALIBRON_CLENSHAW3_CHAIN("4", "32", "4", "5") KALIBRON_CLENSHAW3_CHAIN(                 \
                                   "6", "40", "6", "7") "fstp %%st(0)\n\t" KALIBRON_CLENSHAW3_COEFFICIENT("-8")        \
                                   KALIBRON_CLENSHAW3_CHAIN("1", "24", "3", "2")                                       \
                                       KALIBRON_CLENSHAW3_CHAIN("3", "32", "5", "4") KALIBRON_CLENSHAW3_CHAIN(         \
                                           "5", "40", "7",                                                             \
                                           "6") "fstp %%st(0)\n\t"                                                     \
                                                "sub $2, %[k]\n\t"                                                     \
                                                "dec %[pairs]\n\t"                                                     \
                                                "jnz 4b\n"                                                             \
                                                "5:\n\t"                                                               \
                                                "fldl (%[hi])\n\t"                                                     \
                                                "faddl (%[lo])\n\t" KALIBRON_CLENSHAW3_FINISH("0", STORE0)             \
                                                    KALIBRON_CLENSHAW3_FINISH("8", STORE1) KALIBRON_CLENSHAW3_FINISH(  \
                                                        "16", STORE2) "fstp %%st(0)\n\t"                               \
                                                                      "test %[even], %[even]\n\t"                      \
                                                                      "jz 6f\n\t"                                      \
                                                                      "fincstp\n"                                      \
                                                                      "6:\n\t"                                         \
        : [k] "+r"(k), [pairs] "+r"(pairs)                                                                             \
        : [hi] "r"(s.hi.data()), [lo] "r"(s.lo.data()), [f] "r"(&frame), [even] "r"(even), [d] "r"(d), [out] "r"(out), \
          [rest] "r"(rest)                                                                                             \
        : "memory", "cc", "st", "st(1)", "st(2)", "st(3)", "st(4)", "st(5)", "st(6)", "st(7)")

// What the kernel reads for its three positions, at fixed offsets: t (0),
// 2t (24), y (48); its results go straight to their arrays.
struct Frame {
    double t[3], t2[3], y[3];
};
static_assert(sizeof(Frame) == 9 * sizeof(double));

// f on top is stored as a double at out[j].
#define KALIBRON_CLENSHAW3_VALUE(J) "fstpl " J "(%[out])"
// e = y − f (f on top) is stored as out[j] + rest[j] = e exactly: out[j]
// the double nearest e, rest[j] = e − out[j] (at most 11 bits).
#define KALIBRON_CLENSHAW3_RESIDUAL(Y, J)                                                                              \
    "fsubrl " Y "(%[f])\n\t"                                                                                           \
    "fstl " J "(%[out])\n\t"                                                                                           \
    "fsubl " J "(%[out])\n\t"                                                                                          \
    "fstpl " J "(%[rest])"

// Three positions, degree >= 2: out[j] = f(t[j]), or with residuals
// out[j] + rest[j] = y[j] − f(t[j]) exactly (j = 0, 1, 2).
template <bool residuals>
void clenshaw3(const SplitCoefficients& s, int degree, Frame& frame, double* out, double* rest)
{
    for (int j = 0; j < 3; ++j)
        frame.t2[j] = 2 * frame.t[j];
    const long d = degree;
    const long even = degree % 2 == 0 ? 1 : 0;
    long k = even ? d - 2 : d - 1; // steps k … 1, an even number
    long pairs = k / 2;
    if constexpr (residuals)
        KALIBRON_CLENSHAW3(KALIBRON_CLENSHAW3_RESIDUAL("48", "0"), KALIBRON_CLENSHAW3_RESIDUAL("56", "8"),
                           KALIBRON_CLENSHAW3_RESIDUAL("64", "16"));
    else
        KALIBRON_CLENSHAW3(KALIBRON_CLENSHAW3_VALUE("0"), KALIBRON_CLENSHAW3_VALUE("8"),
                           KALIBRON_CLENSHAW3_VALUE("16"));
}

#endif

// The residual e = y − f of one position as its exact double pair.
void splitResidual(long double e, double& hi, double& lo)
{
    hi = static_cast<double>(e);
    lo = static_cast<double>(e - hi);
}

} // namespace

void clenshawValues(const PolyChebyshev& fit, std::span<const double> t, double* out)
{
    std::size_t i = 0;
#ifdef KALIBRON_X87_CLENSHAW
    SplitCoefficients s;
    if (fit.degree >= 2 && split(fit, s)) {
        Frame frame;
        for (; i + 3 <= t.size(); i += 3) {
            std::copy_n(t.data() + i, 3, frame.t);
            clenshaw3<false>(s, fit.degree, frame, out + i, out + i);
        }
    }
#endif
    for (; i < t.size(); ++i)
        out[i] = static_cast<double>(clenshawValue(fit, t[i]));
}

void clenshawResiduals(const PolyChebyshev& fit, std::span<const double> t, const double* y, double* hi, double* lo)
{
    std::size_t i = 0;
#ifdef KALIBRON_X87_CLENSHAW
    SplitCoefficients s;
    if (fit.degree >= 2 && split(fit, s)) {
        Frame frame;
        for (; i + 3 <= t.size(); i += 3) {
            std::copy_n(t.data() + i, 3, frame.t);
            std::copy_n(y + i, 3, frame.y);
            clenshaw3<true>(s, fit.degree, frame, hi + i, lo + i);
        }
    }
#endif
    for (; i < t.size(); ++i)
        splitResidual(y[i] - clenshawValue(fit, t[i]), hi[i], lo[i]);
}

} // namespace kalibron
