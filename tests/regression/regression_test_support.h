#pragma once

#include <cmath>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "core/store.h"
#include "core/value_cell.h"

namespace kalibron::test {

// |actual − expected| <= rel·|expected| (or <= rel when expected is 0).
inline ::testing::AssertionResult near(double actual, double expected, double rel)
{
    const double tol = expected == 0 ? rel : rel * std::abs(expected);
    if (std::isfinite(actual) && std::abs(actual - expected) <= tol)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << actual << " is not within " << rel << " (relative) of " << expected;
}

inline ::testing::AssertionResult near(const ValueCell& cell, double expected, double rel)
{
    if (!cell.isNumber())
        return ::testing::AssertionFailure() << "cell holds no number";
    return near(cell.value(), expected, rel);
}

inline ::testing::AssertionResult near(const std::optional<double>& v, double expected, double rel)
{
    if (!v)
        return ::testing::AssertionFailure() << "no value";
    return near(*v, expected, rel);
}

inline bool isEmptyText(const ValueCell& cell)
{
    return cell == ValueCell::emptyText();
}

// Puts standards (position, Y) into an otherwise empty sequence ending at maxX.
inline void setPoints(Store& store, std::initializer_list<std::pair<int, double>> points, double maxX)
{
    for (auto& y : store.Y)
        y.clear();
    for (auto& r : store.Rejected)
        r.clear();
    for (const auto& [x, y] : points)
        store.Y[static_cast<std::size_t>(x)] = ValueCell(y);
    store.MaxX = maxX;
}

inline void reject(Store& store, int x)
{
    store.Rejected[static_cast<std::size_t>(x)] = ValueCell(1.0);
}

// A small hand-made t table: entry (p, r) = 100·p + r, so that a test can
// read back which column and row a lookup took.
inline StudentTable markedStudentTable()
{
    StudentTable table;
    for (int p = 1; p <= 6; ++p) {
        for (int r = 1; r <= 101; ++r)
            table.t[static_cast<std::size_t>(p)][static_cast<std::size_t>(r)] = 100.0 * p + r;
    }
    table.loaded = true;
    return table;
}

} // namespace kalibron::test
