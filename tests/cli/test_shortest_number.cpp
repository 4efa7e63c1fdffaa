// The values table's number text against std::to_chars, which writes the
// shortest text that reads back to the same double: byte for byte the same,
// on the doubles the fast way takes and on those it hands on.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "programs/shortest_number.h"

using namespace kalibron;

namespace {

double fromBits(std::uint64_t bits)
{
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

} // namespace

TEST(ShortestNumber, WritesWhatToCharsWrites)
{
    long taken = 0, checked = 0;
    std::string failures;
    const auto check = [&](double value) {
        char ours[kNumberRoom], reference[kLongestNumber];
        taken += appendShortestFixed(ours, value) != nullptr;
        const char* end = appendShortest(ours, value);
        const char* referenceEnd = std::to_chars(reference, reference + kLongestNumber, value).ptr;
        ++checked;
        const std::string got(static_cast<const char*>(ours), end);
        const std::string wanted(static_cast<const char*>(reference), referenceEnd);
        if (got != wanted && failures.size() < 2000)
            failures += got + " for " + wanted + "\n";
    };
    std::mt19937_64 random(20261209);
    // Every mantissa pattern, either sign, from below 1e-5 to beyond 2^53.
    for (int i = 0; i < 3000000; ++i) {
        const std::uint64_t exponent = 1023 - 75 + random() % 82;
        check(fromBits((random() & 0x800fffffffffffffu) | (exponent << 52)));
    }
    // Every power of two around the range (the lower neighbour lies half as
    // far) with its neighbours, and short decimals with theirs, where the
    // fewest digits decide.
    for (int e = -80; e <= 60; ++e) {
        const double power = std::ldexp(1.0, e);
        for (const double value : {power, std::nextafter(power, 0.0), std::nextafter(power, 1e300)})
            check(value), check(-value);
    }
    for (int i = 0; i < 1000000; ++i) {
        const double value =
            static_cast<double>(random() % 100000000) / std::pow(10.0, static_cast<int>(random() % 13));
        check(value);
        check(std::nextafter(value, 0.0));
        check(std::nextafter(value, 1e300));
    }
    // Values and uncertainties as the fits give them.
    for (int x = 0; x <= 30000; ++x) {
        check(1000.2882167606616 - 0.0100187664462 * x);
        check(0.0914183173604219 * std::sqrt(1 + 1e-8 * x * x));
        check(std::log(x + 1.0) * 5.220830317972693 + 1e-4 * x);
    }
    for (const double value : {0.0, 1e-4, 0.0001234, 0.5, 1.0, 12345678.875, 9007199254740991.5, 1e300, 5e-324,
                               std::numeric_limits<double>::max(), std::numeric_limits<double>::min()})
        check(value), check(-value);
    EXPECT_EQ(failures, "");
    // Most went the fast way, so that way is what was compared.
    EXPECT_GT(taken, checked / 3);

    char text[kNumberRoom];
    for (const double value : {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                               std::numeric_limits<double>::quiet_NaN()})
        EXPECT_EQ(appendShortest(text, value), text);
}

TEST(ShortestNumber, BlocksOfDigitsAndPortableProducts)
{
    // Every block of eight digits a double's text can hold, against division.
    char digits[8];
    for (std::uint32_t x = 0; x < 100000000u; x += x < 2000000 ? 1 : 997) {
        shortest_detail::writeEightDigits(digits, x);
        std::uint32_t rest = x;
        for (int i = 7; i >= 0; --i, rest /= 10)
            ASSERT_EQ(digits[i], '0' + static_cast<char>(rest % 10)) << x;
    }
    // The 128-bit product without a 128-bit type, against long
    // multiplication by 16-bit digits.
    std::mt19937_64 random(7);
    for (int i = 0; i < 200000; ++i) {
        const std::uint64_t a = random() >> (random() % 64), b = random() >> (random() % 64);
        const auto product = shortest_detail::multiplyPortably(a, b);
        std::uint64_t columns[8] = {};
        for (int p = 0; p < 4; ++p)
            for (int q = 0; q < 4; ++q)
                columns[p + q] += ((a >> (16 * p)) & 0xffff) * ((b >> (16 * q)) & 0xffff);
        std::uint64_t carry = 0, low = 0, high = 0;
        for (int c = 0; c < 8; ++c) {
            const std::uint64_t sum = columns[c] + carry;
            (c < 4 ? low : high) |= (sum & 0xffff) << (16 * (c % 4));
            carry = sum >> 16;
        }
        ASSERT_EQ(product.low, low) << a << " * " << b;
        ASSERT_EQ(product.high, high) << a << " * " << b;
    }
}
