// Display rounding of results.
#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "regression/rounding.h"

namespace kalibron {
namespace {

TEST(Rounding, DecimalsFollowTheMagnitude)
{
    struct Case {
        double value;
        const char* text;
    };
    for (const Case c :
         {Case{1234.6, "1235"}, Case{1000, "1000.0"}, Case{987.64, "987.6"}, Case{55.123, "55.12"}, Case{0.5, "0.5000"},
          Case{0.1, "0.10000"}, Case{0.0123456, "0.01235"}, Case{-13.91976, "-13.92"}, Case{0, "0.00000"},
          Case{10, "10.000"}, Case{1, "1.0000"}, Case{100, "100.00"}, Case{-1500.5, "-1501"}, Case{2.0005, "2.001"}})
        EXPECT_EQ(Rounding(ValueCell(c.value), NumberLocale{}), c.text) << c.value;
}

TEST(Rounding, UsesTheLocaleSeparatorWithoutGrouping)
{
    const NumberLocale comma{",", "."};
    EXPECT_EQ(Rounding(ValueCell(987.64), comma), "987,6");
    EXPECT_EQ(Rounding(ValueCell(123456.7), comma), "123457");
}

TEST(Rounding, AnythingButAFiniteNumberShowsEmpty)
{
    EXPECT_EQ(Rounding(ValueCell(), NumberLocale{}), "");
    EXPECT_EQ(Rounding(ValueCell::emptyText(), NumberLocale{}), "");
    EXPECT_EQ(Rounding(ValueCell::fromText("12.5"), NumberLocale{}), "");
    EXPECT_EQ(Rounding(ValueCell(std::numeric_limits<double>::infinity()), NumberLocale{}), "");
    EXPECT_EQ(Rounding(ValueCell(std::nan("")), NumberLocale{}), "");
}

} // namespace
} // namespace kalibron
