#include <cmath>
#include <limits>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "core/number_format.h"
#include "core/value_cell.h"

namespace kalibron {
namespace {

const NumberLocale kC{};
const NumberLocale kGerman{",", "."};

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

TEST(FormatGeneral, FixedFormWithinTheMiddleRange)
{
    EXPECT_EQ(formatGeneral(0, kC), "0");
    EXPECT_EQ(formatGeneral(-0.0, kC), "0");
    EXPECT_EQ(formatGeneral(980, kC), "980");
    EXPECT_EQ(formatGeneral(-13.91976, kC), "-13.91976");
    EXPECT_EQ(formatGeneral(0.1, kC), "0.1");
    EXPECT_EQ(formatGeneral(0.1 + 0.2, kC), "0.3"); // 15 significant digits hide the binary tail
    EXPECT_EQ(formatGeneral(1.0 / 3.0, kC), "0.333333333333333");
    EXPECT_EQ(formatGeneral(2.0 / 3.0, kC), "0.666666666666667");
    EXPECT_EQ(formatGeneral(123456789012345.0, kC), "123456789012345");
    EXPECT_EQ(formatGeneral(0.00001, kC), "0.00001");
    EXPECT_EQ(formatGeneral(1234.5, kGerman), "1234,5"); // no grouping, locale decimal
}

TEST(FormatGeneral, ExponentFormForVeryLargeAndSmallMagnitudes)
{
    EXPECT_EQ(formatGeneral(1.5e15, kC), "1.5E+15");
    EXPECT_EQ(formatGeneral(1e15, kC), "1E+15");
    EXPECT_EQ(formatGeneral(2e-6, kC), "2E-06");
    EXPECT_EQ(formatGeneral(-2.5e-7, kC), "-2.5E-07");
    EXPECT_EQ(formatGeneral(1e300, kC), "1E+300");
    EXPECT_EQ(formatGeneral(1.25e-300, kGerman), "1,25E-300");
    // Rounding to 15 digits carries into the next power of ten.
    EXPECT_EQ(formatGeneral(999999999999999.9, kC), "1E+15");
}

TEST(FormatGeneral, NonFiniteGivesNothing)
{
    EXPECT_EQ(formatGeneral(kInf, kC), "");
    EXPECT_EQ(formatGeneral(-kInf, kC), "");
    EXPECT_EQ(formatGeneral(kNan, kC), "");
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

TEST(FormatPattern, FixedDecimalsOfTheRoundingTable)
{
    EXPECT_EQ(formatPattern(1234.6, "0", kC), "1235");
    EXPECT_EQ(formatPattern(1000, "0.0", kC), "1000.0");
    EXPECT_EQ(formatPattern(987.64, "0.0", kC), "987.6");
    EXPECT_EQ(formatPattern(55.123, "0.00", kC), "55.12");
    EXPECT_EQ(formatPattern(0.5, "0.0000", kC), "0.5000");
    EXPECT_EQ(formatPattern(0.1, "0.00000", kC), "0.10000");
    EXPECT_EQ(formatPattern(0.0123456, "0.00000", kC), "0.01235");
    EXPECT_EQ(formatPattern(-13.91976, "0.00", kC), "-13.92");
    EXPECT_EQ(formatPattern(0, "0.00000", kC), "0.00000");
    EXPECT_EQ(formatPattern(5.5, "0.000", kC), "5.500");
    EXPECT_EQ(formatPattern(-13.91976, "0.00", kGerman), "-13,92");
    EXPECT_EQ(formatPattern(1e20, "0", kC), "100000000000000000000");
}

TEST(FormatPattern, HalvesGoAwayFromZeroOnTheShortestDecimal)
{
    // The nearest doubles of 0.125 is exact, those of 1.005 and 2.675 lie just
    // below the half; the written decimal decides.
    EXPECT_EQ(formatPattern(0.125, "0.00", kC), "0.13");
    EXPECT_EQ(formatPattern(-0.125, "0.00", kC), "-0.13");
    EXPECT_EQ(formatPattern(1.005, "0.00", kC), "1.01");
    EXPECT_EQ(formatPattern(2.675, "0.00", kC), "2.68");
    EXPECT_EQ(formatPattern(0.5, "0", kC), "1");
    EXPECT_EQ(formatPattern(2.5, "0", kC), "3");
    EXPECT_EQ(formatPattern(-2.5, "0", kC), "-3");
    EXPECT_EQ(formatPattern(0.49999, "0", kC), "0");
    EXPECT_EQ(formatPattern(9.9996, "0.000", kC), "10.000");
    EXPECT_EQ(formatPattern(99.96, "0.0", kC), "100.0");
    // A negative value that rounds to zero shows no minus sign.
    EXPECT_EQ(formatPattern(-0.000001, "0.00", kC), "0.00");
    EXPECT_EQ(formatPattern(-0.4, "0", kC), "0");
    EXPECT_EQ(formatPattern(-0.0, "0.0", kC), "0.0");
}

TEST(FormatPattern, GroupedIntegers)
{
    EXPECT_EQ(formatPattern(1234567, "###,###", kC), "1,234,567");
    EXPECT_EQ(formatPattern(1234567, "###,###", kGerman), "1.234.567");
    EXPECT_EQ(formatPattern(999.5, "###,###", kC), "1,000");
    EXPECT_EQ(formatPattern(123, "###,###", kC), "123");
    EXPECT_EQ(formatPattern(-98765.4, "###,###", kC), "-98,765");
    EXPECT_EQ(formatPattern(0, "###,###", kC), "");
    EXPECT_EQ(formatPattern(0.4, "###,###", kC), "");
    EXPECT_EQ(formatPattern(-0.3, "###,###", kC), "");
    EXPECT_EQ(formatPattern(0.5, "###,###", kC), "1");
}

TEST(FormatPattern, Scientific)
{
    EXPECT_EQ(formatPattern(12345, "0.0E-00", kC), "1.2E04");
    EXPECT_EQ(formatPattern(0.00015, "0.0E-00", kC), "1.5E-04");
    EXPECT_EQ(formatPattern(-0.00015, "0.0E-00", kGerman), "-1,5E-04");
    EXPECT_EQ(formatPattern(9.96, "0.0E-00", kC), "1.0E01");
    EXPECT_EQ(formatPattern(0.125, "0E-00", kC), "1E-01");
    EXPECT_EQ(formatPattern(0.15, "0E-00", kC), "2E-01");
    EXPECT_EQ(formatPattern(3, "0E-00", kC), "3E00");
    EXPECT_EQ(formatPattern(0, "0.0E-00", kC), "0.0E00");
    EXPECT_EQ(formatPattern(1.5e200, "0.0E-00", kC), "1.5E200");
    EXPECT_EQ(formatPattern(1.5e-200, "0.0E+00", kC), "1.5E-200");
    EXPECT_EQ(formatPattern(1.5e20, "0.0E+00", kC), "1.5E+20");
}

TEST(FormatPattern, NonFiniteAndUnknownPatterns)
{
    for (const char* pattern : {"0", "0.00", "###,###", "0.0E-00", "0E-00", "rubbish"}) {
        EXPECT_EQ(formatPattern(kInf, pattern, kC), "") << pattern;
        EXPECT_EQ(formatPattern(-kInf, pattern, kC), "") << pattern;
        EXPECT_EQ(formatPattern(kNan, pattern, kC), "") << pattern;
    }
    for (const char* pattern : {"", "rubbish", "0.", "00", "#,##0.00", "0.0E", "0.0E00"})
        EXPECT_EQ(formatPattern(1234.5678, pattern, kC), formatGeneral(1234.5678, kC)) << pattern;
}

} // namespace
} // namespace kalibron
