#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "core/value_cell.h"

namespace kalibron {
namespace {

TEST(LeadingNumber, ReadsTheLeadingDecimalNumber)
{
    EXPECT_DOUBLE_EQ(leadingNumber("42"), 42);
    EXPECT_DOUBLE_EQ(leadingNumber("-3.25"), -3.25);
    EXPECT_DOUBLE_EQ(leadingNumber("+7"), 7);
    EXPECT_DOUBLE_EQ(leadingNumber(".5"), 0.5);
    EXPECT_DOUBLE_EQ(leadingNumber("5."), 5);
    EXPECT_DOUBLE_EQ(leadingNumber("12abc"), 12);
    EXPECT_DOUBLE_EQ(leadingNumber("1.2.3"), 1.2);
    EXPECT_DOUBLE_EQ(leadingNumber("980 c/s"), 980);
}

TEST(LeadingNumber, SkipsBlanksAnywhere)
{
    EXPECT_DOUBLE_EQ(leadingNumber("  \t\n 17"), 17);
    EXPECT_DOUBLE_EQ(leadingNumber("1 2 3"), 123);
    EXPECT_DOUBLE_EQ(leadingNumber("- 4 . 5"), -4.5);
    EXPECT_DOUBLE_EQ(leadingNumber("1 E 3"), 1000);
}

TEST(LeadingNumber, ReadsExponentsWithEOrD)
{
    EXPECT_DOUBLE_EQ(leadingNumber("1.5E3"), 1500);
    EXPECT_DOUBLE_EQ(leadingNumber("1.5e-3"), 0.0015);
    EXPECT_DOUBLE_EQ(leadingNumber("2D2"), 200);
    EXPECT_DOUBLE_EQ(leadingNumber("2d+2"), 200);
    // An exponent letter without digits is not part of the number.
    EXPECT_DOUBLE_EQ(leadingNumber("3E"), 3);
    EXPECT_DOUBLE_EQ(leadingNumber("3E+x"), 3);
    EXPECT_DOUBLE_EQ(leadingNumber("3Dx"), 3);
}

TEST(LeadingNumber, IsZeroWithoutANumberAndNeverNonFinite)
{
    EXPECT_EQ(leadingNumber(""), 0);
    EXPECT_EQ(leadingNumber("abc"), 0);
    EXPECT_EQ(leadingNumber("."), 0);
    EXPECT_EQ(leadingNumber("-"), 0);
    EXPECT_EQ(leadingNumber("E5"), 0);
    EXPECT_EQ(leadingNumber("inf"), 0);
    EXPECT_EQ(leadingNumber("nan"), 0);
    EXPECT_EQ(leadingNumber("x12"), 0);
    // Beyond the range of a double: 0, never inf.
    EXPECT_EQ(leadingNumber("1E999"), 0);
    EXPECT_EQ(leadingNumber("-1E999"), 0);
    EXPECT_EQ(leadingNumber(std::string(400, '9')), 0);
    EXPECT_EQ(leadingNumber("1E-999"), 0);
    EXPECT_FALSE(std::signbit(leadingNumber("-0")));
    EXPECT_DOUBLE_EQ(leadingNumber("1E99999999999999999999"), 0);
}

TEST(ParseDecimal, AcceptsOnlyAWholeNumber)
{
    EXPECT_DOUBLE_EQ(*parseDecimal(" \n 980 "), 980);
    EXPECT_DOUBLE_EQ(*parseDecimal("+1.5e2"), 150);
    EXPECT_DOUBLE_EQ(*parseDecimal("-.5"), -0.5);
    EXPECT_DOUBLE_EQ(*parseDecimal("5."), 5);
    EXPECT_DOUBLE_EQ(*parseDecimal("1E-999"), 0);
    EXPECT_DOUBLE_EQ(*parseDecimal(std::string(500, '0') + "7"), 7);
    EXPECT_FALSE(std::signbit(*parseDecimal("-0.0")));

    for (const char* bad : {"", "  ", "\n", "1 2", "12a", "a12", "1e", "1e+", ".", "-", "+-1", "1.2.3",
                            "inf", "nan", "-inf", "1E999", "0x10", "1D5", "1,5"})
        EXPECT_FALSE(parseDecimal(bad).has_value()) << '"' << bad << '"';
    EXPECT_FALSE(parseDecimal(std::string(400, '9')).has_value());
}

TEST(RoundHalfEven, RoundsHalvesToTheEvenNeighbour)
{
    EXPECT_EQ(roundHalfEven(2.5), 2);
    EXPECT_EQ(roundHalfEven(3.5), 4);
    EXPECT_EQ(roundHalfEven(-2.5), -2);
    EXPECT_EQ(roundHalfEven(-3.5), -4);
    EXPECT_EQ(roundHalfEven(2.4999), 2);
    EXPECT_EQ(roundHalfEven(2.5001), 3);
    EXPECT_EQ(roundHalfEven(0.5), 0);
    EXPECT_EQ(roundHalfEven(30000.5), 30000);
    EXPECT_FALSE(std::signbit(roundHalfEven(-0.4)));
    EXPECT_TRUE(std::isnan(roundHalfEven(std::numeric_limits<double>::quiet_NaN())));
}

TEST(ValueCell, PresentNumericValueAndPositiveDiffer)
{
    const ValueCell empty;
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_FALSE(empty.present());
    EXPECT_EQ(empty.value(), 0);
    EXPECT_FALSE(empty.positive());

    const ValueCell emptyText = ValueCell::emptyText();
    EXPECT_TRUE(emptyText.isText());
    EXPECT_FALSE(emptyText.present());
    EXPECT_EQ(emptyText.value(), 0);

    const ValueCell zero(0.0);
    EXPECT_TRUE(zero.present());
    EXPECT_FALSE(zero.positive());

    const ValueCell negative(-3.0);
    EXPECT_TRUE(negative.present());
    EXPECT_FALSE(negative.positive());

    const ValueCell word = ValueCell::fromText("abc");
    EXPECT_TRUE(word.present());
    EXPECT_EQ(word.value(), 0);
    EXPECT_FALSE(word.positive());

    const ValueCell numberText = ValueCell::fromText(" 12.5 units");
    EXPECT_TRUE(numberText.present());
    EXPECT_DOUBLE_EQ(numberText.value(), 12.5);
    EXPECT_TRUE(numberText.positive());
    EXPECT_EQ(numberText.text(), " 12.5 units");

    // A blank text is present (it is not the empty text) but not positive.
    EXPECT_TRUE(ValueCell::fromText(" ").present());

    ValueCell cleared = numberText;
    cleared.clear();
    EXPECT_EQ(cleared, ValueCell());
    EXPECT_NE(ValueCell(0.0), ValueCell::emptyText());
}

} // namespace
} // namespace kalibron
