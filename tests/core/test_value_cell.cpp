#include <cmath>
#include <limits>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "core/value_cell.h"

namespace kalibron {
namespace {

TEST(LeadingNumber, ReadsLikeBasicVal)
{
    const std::pair<std::string, double> cases[] = {
        {"42", 42},
        {"-3.25", -3.25},
        {"+7", 7},
        {".5", 0.5},
        {"5.", 5},
        {"12abc", 12},
        {"1.2.3", 1.2},
        {"  \t\n 17", 17},
        {"1 2 3", 123},
        {"- 4 . 5", -4.5},
        {"1 E 3", 1000},
        {"1.5e-3", 0.0015},
        {"2D2", 200},
        {"2d+2", 200},
        {"3E", 3},
        {"3E+x", 3},
        {"3Dx", 3},
        // no number at the start
        {"", 0},
        {"abc", 0},
        {".", 0},
        {"-", 0},
        {"E5", 0},
        {"inf", 0},
        {"nan", 0},
        {"x12", 0},
        // beyond a double: 0, never inf
        {"1E999", 0},
        {"-1E999", 0},
        {std::string(400, '9'), 0},
        {"1E-999", 0},
        {"1E99999999999999999999", 0},
    };
    for (const auto& [text, value] : cases)
        EXPECT_DOUBLE_EQ(leadingNumber(text), value) << '"' << text << '"';
    EXPECT_FALSE(std::signbit(leadingNumber("-0")));
}

TEST(ParseDecimal, AcceptsOnlyAWholeNumber)
{
    EXPECT_DOUBLE_EQ(*parseDecimal(" \n 980 "), 980);
    EXPECT_DOUBLE_EQ(*parseDecimal("+1.5e2"), 150);
    EXPECT_DOUBLE_EQ(*parseDecimal("-.5"), -0.5);
    EXPECT_DOUBLE_EQ(*parseDecimal("1E-999"), 0);
    EXPECT_DOUBLE_EQ(*parseDecimal(std::string(500, '0') + "7"), 7);
    EXPECT_FALSE(std::signbit(*parseDecimal("-0.0")));
    for (const char* bad : {"", "  ", "1 2", "12a", "a12", "1e", "1e+", ".", "-", "+-1", "1.2.3", "inf", "nan", "1E999",
                            "0x10", "1D5", "1,5"})
        EXPECT_FALSE(parseDecimal(bad).has_value()) << '"' << bad << '"';
    EXPECT_FALSE(parseDecimal(std::string(400, '9')).has_value());
}

TEST(RoundHalfEven, RoundsHalvesToTheEvenNeighbour)
{
    const std::pair<double, double> cases[] = {{2.5, 2},    {3.5, 4},    {-2.5, -2}, {-3.5, -4},
                                               {2.4999, 2}, {2.5001, 3}, {0.5, 0},   {30000.5, 30000}};
    for (const auto& [value, rounded] : cases)
        EXPECT_EQ(roundHalfEven(value), rounded) << value;
    EXPECT_FALSE(std::signbit(roundHalfEven(-0.4)));
    EXPECT_TRUE(std::isnan(roundHalfEven(std::numeric_limits<double>::quiet_NaN())));
}

TEST(ValueCell, PresentNumericValueAndPositiveDiffer)
{
    struct Case {
        ValueCell cell;
        bool present;
        double value;
    };
    const Case cases[] = {
        {ValueCell(), false, 0},
        {ValueCell::emptyText(), false, 0},
        {ValueCell(0.0), true, 0},
        {ValueCell(-3.0), true, -3},
        {ValueCell::fromText("abc"), true, 0},
        {ValueCell::fromText(" 12.5 units"), true, 12.5},
        {ValueCell::fromText(" "), true, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.cell.present(), c.present) << c.cell.text();
        EXPECT_DOUBLE_EQ(c.cell.value(), c.value) << c.cell.text();
        EXPECT_EQ(c.cell.positive(), c.value > 0) << c.cell.text();
    }
    EXPECT_EQ(ValueCell::fromText(" 12.5 units").text(), " 12.5 units");
    EXPECT_NE(ValueCell(0.0), ValueCell::emptyText());
}

} // namespace
} // namespace kalibron
