#pragma once

#include <bit>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kalibron {

// The longest text appendShortest writes ("-2.2250738585072014e-308").
inline constexpr std::ptrdiff_t kLongestNumber = 25;
// What appendShortest may write at p (it copies digits in whole blocks);
// only its first kLongestNumber characters at most are the number.
inline constexpr std::ptrdiff_t kNumberRoom = 48;

namespace shortest_detail {

struct U128 {
    std::uint64_t high, low;
};

// a·b in 128 bits from 32-bit halves: any compiler, any platform.
inline U128 multiplyPortably(std::uint64_t a, std::uint64_t b)
{
    const std::uint64_t a0 = a & 0xffffffffu, a1 = a >> 32, b0 = b & 0xffffffffu, b1 = b >> 32;
    const std::uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
    const std::uint64_t middle = (p00 >> 32) + (p01 & 0xffffffffu) + (p10 & 0xffffffffu);
    return {p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32), (middle << 32) | (p00 & 0xffffffffu)};
}

inline U128 multiply(std::uint64_t a, std::uint64_t b)
{
#ifdef __SIZEOF_INT128__
    const unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
    return {static_cast<std::uint64_t>(product >> 64), static_cast<std::uint64_t>(product)};
#else
    return multiplyPortably(a, b);
#endif
}

// ⌊x / 2^n⌋ for 0 < n < 128 when it fits 64 bits, and whether 2^n divides x.
inline std::uint64_t shiftDown(U128 x, int n, bool& exact)
{
    if (n < 64) {
        exact = (x.low & ((std::uint64_t{1} << n) - 1)) == 0;
        return (x.low >> n) | (x.high << (64 - n));
    }
    exact = x.low == 0 && (n == 64 || (x.high & ((std::uint64_t{1} << (n - 64)) - 1)) == 0);
    return n == 64 ? x.high : x.high >> (n - 64);
}

// Whether ⌊x / 2^n⌋ rounds up to the nearest, a tie to the even one:
// x mod 2^n against 2^(n − 1), 0 < n < 128. Without a branch: its outcome
// is a coin toss on every value.
inline bool roundsUp(U128 x, int n, std::uint64_t floor)
{
    const std::uint64_t high = n <= 64 ? 0 : x.high & ((std::uint64_t{1} << (n - 64)) - 1);
    const std::uint64_t low = n >= 64 ? x.low : x.low & ((std::uint64_t{1} << n) - 1);
    const std::uint64_t halfHigh = n - 1 >= 64 ? std::uint64_t{1} << (n - 65) : 0;
    const std::uint64_t halfLow = n - 1 < 64 ? std::uint64_t{1} << (n - 1) : 0;
    const bool above = (high > halfHigh) | ((high == halfHigh) & (low > halfLow));
    const bool tie = (high == halfHigh) & (low == halfLow);
    return above | (tie & ((floor & 1) != 0));
}

struct Powers {
    std::uint64_t five[28]{}, ten[20]{};
    constexpr Powers()
    {
        five[0] = ten[0] = 1;
        for (int i = 1; i < 28; ++i)
            five[i] = five[i - 1] * 5;
        for (int i = 1; i < 20; ++i)
            ten[i] = ten[i - 1] * 10;
    }
};
inline constexpr Powers kPowers;

inline constexpr char kPairs[] = "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
                                 "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
                                 "8081828384858687888990919293949596979899";

// The eight digits of x < 10^8, two at a time: t holds x/10^6 with 32
// fraction bits, rounded up (2^57/10^6 rounded up, one unit more), so each
// ×100 brings the next two digits above the fraction bits exactly.
inline void writeEightDigits(char* out, std::uint32_t x)
{
    std::uint64_t t = ((std::uint64_t{x} * 144115188076u) >> 25) + 1;
    std::memcpy(out, kPairs + 2 * (t >> 32), 2);
    for (int pair = 1; pair < 4; ++pair) {
        t = (t & 0xffffffffu) * 100;
        std::memcpy(out + 2 * pair, kPairs + 2 * (t >> 32), 2);
    }
}

} // namespace shortest_detail

// The text std::to_chars(p, end, value) writes, for the values a fit gives
// (finite, with a fraction, from about 1e-4 to 2^53 in size), or nullptr for
// any other value, which the caller hands to std::to_chars. Needs
// kNumberRoom characters at p. `kalibron values` writes half a million such
// numbers, and this is a fifth quicker than the general algorithm there.
//
// Exact integer arithmetic, no estimate: with value = m·2^e (m of 53 bits,
// −70 <= e < 0), every number strictly between the half-way points to its
// neighbours, (4m − 2 or 4m − 1)·2^(e−2) .. (4m + 2)·2^(e−2), reads back as
// value (the half-way points themselves too when m is even). Scaled by 10^s
// these bounds are integers times 5^s over 2^(k−s), k = 2 − e, from one
// 64 × 64-bit product. The fewest fraction digits s with a whole number d
// within the scaled bounds give the shortest text; of those d, the nearest
// to value·10^s, half-way to the even one. Fixed or exponent form by the
// rule of std::to_chars: the shorter, the fixed one on a tie; the exponent
// form is left to it.
inline char* appendShortestFixed(char* p, double value)
{
    using namespace shortest_detail;
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
    const int biased = static_cast<int>((bits >> 52) & 0x7ff);
    const int e = biased - 1075;
    if (biased == 0 || e >= 0 || e < -70)
        return nullptr; // zero, subnormal, whole, or far below 1e-4
    const std::uint64_t m = fraction | (std::uint64_t{1} << 52);
    const bool even = (m & 1) == 0;
    const std::uint64_t middle = 4 * m, upper = middle + 2, lower = middle - (fraction != 0 ? 2 : 1);
    const int k = 2 - e;
    // s = ⌊−e·log10 2⌋ + 2 puts at least seven steps of 10^−s between the
    // bounds; 78913/2^18 is log10 2 closely enough for −e <= 70.
    int s = static_cast<int>((static_cast<std::uint32_t>(-e) * 78913u) >> 18) + 2;
    // The three scaled numbers from one product: the bounds lie 1 or 2
    // times 5^s below and 2 times 5^s above the middle.
    const U128 scaled = multiply(middle, kPowers.five[s]);
    const std::uint64_t below = kPowers.five[s] * (middle - lower), above = kPowers.five[s] * (upper - middle);
    const U128 lowScaled{scaled.high - (scaled.low < below ? 1 : 0), scaled.low - below};
    const U128 highScaled{scaled.high + (scaled.low + above < scaled.low ? 1 : 0), scaled.low + above};
    bool lowExact = false, highExact = false;
    std::uint64_t low = shiftDown(lowScaled, k - s, lowExact);
    std::uint64_t high = shiftDown(highScaled, k - s, highExact);
    // One fraction digit less while a whole number stays within the bounds;
    // ⌊⌊x⌋/10⌋ = ⌊x/10⌋, and x/10 is whole when x is and ends in 0.
    for (;; --s) {
        const std::uint64_t low10 = low / 10, high10 = high / 10;
        const bool lowExact10 = lowExact && low % 10 == 0, highExact10 = highExact && high % 10 == 0;
        const std::uint64_t least = lowExact10 && even ? low10 : low10 + 1;
        if (highExact10 && !even ? least >= high10 : least > high10)
            break;
        if (s == 1)
            return nullptr; // a whole number reads back: to_chars weighs its forms
        low = low10, high = high10, lowExact = lowExact10, highExact = highExact10;
    }
    const std::uint64_t least = lowExact && even ? low : low + 1;
    const std::uint64_t most = highExact && !even ? high - 1 : high;
    const U128 nearest = multiply(middle, kPowers.five[s]);
    bool exact = false;
    std::uint64_t d = shiftDown(nearest, k - s, exact);
    d += roundsUp(nearest, k - s, d) ? 1 : 0;
    d = d < least ? least : d > most ? most : d;

    // d < 10^19: its digits right-aligned in 24, read in whole blocks.
    char digits[48]{};
    const std::uint64_t top = d / 100000000u;
    writeEightDigits(digits, static_cast<std::uint32_t>(top / 100000000u));
    writeEightDigits(digits + 8, static_cast<std::uint32_t>(top % 100000000u));
    writeEightDigits(digits + 16, static_cast<std::uint32_t>(d % 100000000u));
    const int guess = ((64 - std::countl_zero(d)) * 1233) >> 12; // ⌊log10 d⌋ or one less
    const int n = guess + (d >= kPowers.ten[guess] ? 1 : 0);
    const int exponent = n - 1 - s; // of the first digit
    // Fixed: n + 1 characters from 1 on, n + 1 − exponent below; the exponent
    // form: n, a point when n > 1, and "e-0X".
    if (exponent < -3 - (n > 1 ? 1 : 0))
        return nullptr;
    *p = '-';
    p += bits >> 63;
    const char* first = digits + 24 - n;
    if (exponent >= 0) {
        std::memcpy(p, first, 16); // value < 2^53: at most 16 digits before the point
        p += exponent + 1;
        *p++ = '.';
        std::memcpy(p, first + exponent + 1, 24);
        return p + s;
    }
    std::memcpy(p, "0.000000", 8);
    p += 1 - exponent;
    std::memcpy(p, first, 24);
    return p + n;
}

// The shortest text that reads back to the same double, as std::to_chars
// writes it, at p (with kNumberRoom characters of room); nothing for a value
// that is not finite, so a CSV cell stays empty.
inline char* appendShortest(char* p, double value)
{
    if (!std::isfinite(value))
        return p;
    if (char* end = appendShortestFixed(p, value))
        return end;
    return std::to_chars(p, p + kLongestNumber, value).ptr;
}

} // namespace kalibron
