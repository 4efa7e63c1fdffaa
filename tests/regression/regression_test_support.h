#pragma once

#include <cmath>
#include <initializer_list>
#include <optional>
#include <utility>

#include <gtest/gtest.h>

#include "core/store.h"

namespace kalibron::test {

// |actual − expected| <= rel·|expected| (<= rel when expected is 0); a cell
// or optional without a number fails.
inline ::testing::AssertionResult near(std::optional<double> actual, double expected, double rel)
{
    const double tol = expected == 0 ? rel : rel * std::abs(expected);
    if (actual && std::isfinite(*actual) && std::abs(*actual - expected) <= tol)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << (actual ? *actual : NAN) << " is not within " << rel << " of " << expected;
}

inline ::testing::AssertionResult near(double actual, double expected, double rel)
{
    return near(std::optional<double>(actual), expected, rel);
}

inline ::testing::AssertionResult near(const ValueCell& cell, double expected, double rel)
{
    return near(cell.isNumber() ? std::optional<double>(cell.value()) : std::nullopt, expected, rel);
}

// An otherwise empty sequence with standards (position, Y) up to maxX.
inline void setPoints(Store& store, std::initializer_list<std::pair<int, double>> points, double maxX)
{
    for (std::size_t x = 0; x < store.Y.size(); ++x) {
        store.Y[x].clear();
        store.Rejected[x].clear();
    }
    for (const auto& [x, y] : points)
        store.Y[static_cast<std::size_t>(x)] = ValueCell(y);
    store.MaxX = maxX;
}

inline void reject(Store& store, int x) { store.Rejected[static_cast<std::size_t>(x)] = ValueCell(1.0); }

} // namespace kalibron::test
