#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/number_format.h"
#include "core/value_cell.h"

namespace kalibron {
namespace {

const NumberLocale kC{};
const NumberLocale kGerman{",", "."};
const NumberLocale kArabic{"\u066B", "\u066C"}; // separators of two bytes in UTF-8

struct Case {
    double value;
    const char* pattern; // nullptr: formatGeneral
    const char* text;
    const NumberLocale* locale = &kC;
};

void expectAll(std::initializer_list<Case> cases)
{
    for (const Case& c : cases) {
        const std::string text =
            c.pattern ? formatPattern(c.value, c.pattern, *c.locale) : formatGeneral(c.value, *c.locale);
        EXPECT_EQ(text, c.text) << c.value << " with " << (c.pattern ? c.pattern : "general");
    }
}

TEST(FormatGeneral, FifteenDigitsFixedOrExponentForm)
{
    expectAll({
        {0, nullptr, "0"},
        {-0.0, nullptr, "0"},
        {-13.91976, nullptr, "-13.91976"},
        {0.1 + 0.2, nullptr, "0.3"},
        {2.0 / 3.0, nullptr, "0.666666666666667"},
        {123456789012345.0, nullptr, "123456789012345"},
        {0.00001, nullptr, "0.00001"},
        {1234.5, nullptr, "1234,5", &kGerman},
        {-0.000015, nullptr, "-0\u066B000015", &kArabic},
        {1.5e15, nullptr, "1\u066B5E+15", &kArabic},
        {1.5e15, nullptr, "1.5E+15"},
        {2e-6, nullptr, "2E-06"},
        {-2.5e-7, nullptr, "-2.5E-07"},
        {1e300, nullptr, "1E+300"},
        {1.25e-300, nullptr, "1,25E-300", &kGerman},
        {999999999999999.9, nullptr, "1E+15"}, // rounding carries into the next power of ten
    });
}

TEST(FormatGeneral, ReadsBackWithinFifteenDigits)
{
    std::mt19937_64 random(20240611);
    std::uniform_real_distribution<double> mantissa(-10, 10);
    std::uniform_int_distribution<int> exponent(-300, 300);
    for (int i = 0; i < 2000; ++i) {
        const double value = mantissa(random) * std::pow(10.0, exponent(random));
        const std::string text = formatGeneral(value, kC);
        const std::optional<double> back = parseDecimal(text);
        ASSERT_TRUE(back.has_value()) << text;
        EXPECT_NEAR(*back, value, std::fabs(value) * 1e-14) << text;
    }
}

// The C library's "%.15G" rounds the exact binary value to 15 digits, halves
// to even; it writes "1.5E-05" where the general form writes "0.000015".
std::string printfGeneral(double value)
{
    char text[48];
    std::snprintf(text, sizeof text, "%.15G", value);
    std::string s = text;
    const std::size_t e = s.find("E-05");
    if (e == std::string::npos)
        return s;
    const std::size_t sign = s[0] == '-' ? 1 : 0;
    std::string mantissa = s.substr(sign, e - sign);
    mantissa.erase(std::remove(mantissa.begin(), mantissa.end(), '.'), mantissa.end());
    return s.substr(0, sign) + "0.0000" + mantissa;
}

TEST(FormatGeneral, RoundsAsTheCLibraryDoesAtEveryMagnitudeAndHalfway)
{
    std::vector<double> values;
    std::mt19937_64 random(20261209);
    // Any bit pattern from 1e-9 to 1e16, across the edges of the exact path.
    std::uniform_int_distribution<std::uint64_t> bits(std::bit_cast<std::uint64_t>(1e-9),
                                                      std::bit_cast<std::uint64_t>(1e16));
    for (int i = 0; i < 300000; ++i)
        values.push_back(std::bit_cast<double>(bits(random)));
    // Neighbours of the powers of ten, where the decimal exponent changes.
    for (int k = -10; k <= 17; ++k) {
        double p = std::pow(10.0, k);
        for (int step = 0; step < 3; ++step) {
            values.push_back(p);
            values.push_back(std::nextafter(p, 0.0));
            p = std::nextafter(p, 1e300);
        }
    }
    // Exact halfway cases: odd/2^(s+1) times 10^s is odd·5^s/2, halfway
    // between two integers of 15 digits when odd lies in [2e14, 2e15)/5^s.
    for (int s = 0; s <= 4; ++s) {
        const double five = std::pow(5.0, s);
        std::uniform_int_distribution<std::uint64_t> odd(static_cast<std::uint64_t>(2e14 / five),
                                                         static_cast<std::uint64_t>(2e15 / five) - 2);
        for (int i = 0; i < 2000; ++i)
            values.push_back(std::ldexp(static_cast<double>(odd(random) | 1), -(s + 1)));
    }
    // Values of a drifting standard, as the export writes them.
    for (int x = 1; x <= 30000; ++x)
        values.push_back(1000 - 0.01 * x + 5 * std::sin(x / 300.0));
    int mismatches = 0;
    for (const double value : values)
        for (const double signed_ : {value, -value}) {
            const std::string expected = printfGeneral(signed_);
            const std::string text = formatGeneral(signed_, kC);
            if (text != expected && ++mismatches <= 10)
                ADD_FAILURE() << std::hexfloat << signed_ << ": " << text << ", the C library " << expected;
        }
    EXPECT_EQ(mismatches, 0);
}

TEST(FormatPattern, FixedDecimalsHalvesAwayFromZeroOnTheShortestDecimal)
{
    expectAll({
        // the display table of the regression window
        {1234.6, "0", "1235"},
        {1000, "0.0", "1000.0"},
        {987.64, "0.0", "987.6"},
        {55.123, "0.00", "55.12"},
        {0.5, "0.0000", "0.5000"},
        {0.1, "0.00000", "0.10000"},
        {0.0123456, "0.00000", "0.01235"},
        {-13.91976, "0.00", "-13.92"},
        {0, "0.00000", "0.00000"},
        {-13.91976, "0.00", "-13,92", &kGerman},
        // 0.125 is exact; 1.005 and 2.675 lie just below the half as doubles
        {0.125, "0.00", "0.13"},
        {-0.125, "0.00", "-0.13"},
        {1.005, "0.00", "1.01"},
        {2.675, "0.00", "2.68"},
        {2.5, "0", "3"},
        {-2.5, "0", "-3"},
        {0.49999, "0", "0"},
        {9.9996, "0.000", "10.000"},
        {1e20, "0", "100000000000000000000"},
        // no "-0"
        {-0.000001, "0.00", "0.00"},
        {-0.4, "0", "0"},
        {-0.0, "0.0", "0.0"},
    });
}

TEST(FormatPattern, GroupedIntegersAndScientific)
{
    expectAll({
        {1234567, "###,###", "1,234,567"},
        {1234567, "###,###", "1.234.567", &kGerman},
        {999.5, "###,###", "1,000"},
        {-98765.4, "###,###", "-98,765"},
        {0, "###,###", ""},
        {0.4, "###,###", ""},
        {-0.3, "###,###", ""},
        {0.5, "###,###", "1"},
        {12345, "0.0E-00", "1.2E04"},
        {0.00015, "0.0E-00", "1.5E-04"},
        {-0.00015, "0.0E-00", "-1,5E-04", &kGerman},
        {9.96, "0.0E-00", "1.0E01"},
        {0.15, "0E-00", "2E-01"},
        {3, "0E-00", "3E00"},
        {0, "0.0E-00", "0.0E00"},
        {1.5e200, "0.0E-00", "1.5E200"},
        {1.5e20, "0.0E+00", "1.5E+20"},
    });
}

TEST(FormatPattern, NonFiniteAndUnknownPatterns)
{
    constexpr double kInf = std::numeric_limits<double>::infinity();
    for (const char* pattern : {"0", "0.00", "###,###", "0.0E-00", "0E-00", "rubbish"})
        for (const double bad : {kInf, -kInf, std::numeric_limits<double>::quiet_NaN()})
            EXPECT_EQ(formatPattern(bad, pattern, kC), "") << pattern;
    EXPECT_EQ(formatGeneral(kInf, kC), "");
    for (const char* pattern : {"", "rubbish", "0.", "00", "#,##0.00", "0.0E", "0.0E00"})
        EXPECT_EQ(formatPattern(1234.5678, pattern, kC), formatGeneral(1234.5678, kC)) << pattern;
}

} // namespace
} // namespace kalibron
