#include "regression/bracketing.h"

#include <algorithm>
#include <cmath>

#include "core/store.h"

namespace kalibron {

namespace {

// Σ_c Σ_i (y_ci − ȳ_c)² over Σ_c (k_c − 1); value(c, i) is the i-th of
// cluster c's k_c = count(c) values. ȳ_c is summed in member order, which
// gives the very bits of the zigzag's cluster means.
template <class Cluster, class Count, class Value>
PooledScatter pool(std::span<const Cluster> clusters, Count count, Value value)
{
    double ss = 0;
    int dof = 0;
    for (const Cluster& c : clusters) {
        const std::size_t k = count(c);
        if (k < 2)
            continue;
        double mean = 0;
        for (std::size_t i = 0; i < k; ++i)
            mean += value(c, i);
        mean /= static_cast<double>(k);
        for (std::size_t i = 0; i < k; ++i) {
            const double d = value(c, i) - mean;
            ss += d * d;
        }
        dof += static_cast<int>(k) - 1;
    }
    if (dof == 0 || !std::isfinite(ss))
        return {};
    return {std::sqrt(ss / dof), dof};
}

} // namespace

PooledScatter pooledScatterOf(const Store& store, std::span<const ZigzagCluster> clusters)
{
    return pool(
        clusters, [](const ZigzagCluster& c) { return c.members.size(); },
        [&](const ZigzagCluster& c, std::size_t i) { return store.Y[static_cast<std::size_t>(c.members[i])].value(); });
}

std::optional<double> pooledScatter(std::span<const std::vector<double>> clusters)
{
    return pool(
               clusters, [](const std::vector<double>& c) { return c.size(); },
               [](const std::vector<double>& c, std::size_t i) { return c[i]; })
        .s;
}

std::optional<double> pooledScatter(const Store& store, std::span<const ZigzagCluster> clusters)
{
    return pooledScatterOf(store, clusters).s;
}

namespace {

// The rule's value with `before` the last standard at or before x and
// `after` the first at or after it (either −1 when there is none).
BracketingValue ruleValue(const UsedPoints& p, BracketingRule rule, int before, int after)
{
    if (before < 0)
        before = after;
    if (after < 0)
        after = before;
    const auto yb = p.y[static_cast<std::size_t>(before)], ya = p.y[static_cast<std::size_t>(after)];
    switch (rule) {
    case BracketingRule::Preceding:
        return {yb, 1};
    case BracketingRule::Succeeding:
        return {ya, 1};
    case BracketingRule::Average:
        break;
    }
    if (before == after)
        return {yb, 1};
    return {(yb + ya) / 2, 2};
}

} // namespace

std::optional<BracketingValue> bracketingAt(const UsedPoints& points, BracketingRule rule, double x)
{
    const int n = static_cast<int>(points.x.size());
    if (n == 0)
        return std::nullopt;
    // after: first standard at or after x; before: the last at or before it.
    const int after = static_cast<int>(std::lower_bound(points.x.begin(), points.x.end(), x) - points.x.begin());
    const bool exact = after < n && points.x[static_cast<std::size_t>(after)] == x;
    const int before = exact ? after : after - 1;
    return ruleValue(points, rule, before, after < n ? after : -1);
}

BracketingCurve bracketingCurve(const UsedPoints& points, BracketingRule rule, int maxX, std::optional<double> pooled)
{
    BracketingCurve curve;
    const int n = static_cast<int>(points.x.size());
    const auto count = static_cast<std::size_t>(std::max(maxX + 1, 0));
    curve.value.assign(count, std::nullopt);
    curve.u.assign(count, std::nullopt);
    if (n == 0)
        return curve;
    int after = 0; // first standard at or after the position
    for (int pos = 0; pos <= maxX; ++pos) {
        const double x = pos;
        while (after < n && points.x[static_cast<std::size_t>(after)] < x)
            ++after;
        const bool exact = after < n && points.x[static_cast<std::size_t>(after)] == x;
        const BracketingValue v = ruleValue(points, rule, exact ? after : after - 1, after < n ? after : -1);
        const auto i = static_cast<std::size_t>(pos);
        curve.value[i] = v.value;
        if (pooled)
            curve.u[i] = v.from == 2 ? *pooled / std::sqrt(2.0) : *pooled;
    }
    return curve;
}

Predictions bracketingPredictions(const UsedPoints& points, BracketingRule rule)
{
    const int n = static_cast<int>(points.x.size());
    Predictions out;
    out.fitted.assign(points.y.begin(), points.y.end());
    out.withoutEach.assign(static_cast<std::size_t>(n), std::nullopt);
    if (n < 2)
        return out;
    for (int i = 0; i < n; ++i) {
        const int before = i - 1;
        const int after = i + 1 < n ? i + 1 : -1;
        out.withoutEach[static_cast<std::size_t>(i)] = ruleValue(points, rule, before, after).value;
    }
    return out;
}

std::optional<MeanBaseline> meanBaseline(std::span<const double> y)
{
    const std::size_t n = y.size();
    if (n == 0)
        return std::nullopt;
    MeanBaseline b;
    for (double v : y)
        b.mean += v;
    b.mean /= static_cast<double>(n);
    if (n >= 2) {
        double ss = 0;
        for (double v : y)
            ss += (v - b.mean) * (v - b.mean);
        b.s = std::sqrt(ss / static_cast<double>(n - 1));
        b.u = *b.s / std::sqrt(static_cast<double>(n));
    }
    if (!std::isfinite(b.mean) || (b.u && !std::isfinite(*b.u)))
        return std::nullopt;
    return b;
}

Predictions meanPredictions(std::span<const double> y)
{
    Predictions out;
    const auto base = meanBaseline(y);
    out.fitted.assign(y.size(), base ? std::optional<double>(base->mean) : std::nullopt);
    out.withoutEach.assign(y.size(), std::nullopt);
    if (!base || y.size() < 2)
        return out;
    const double others = static_cast<double>(y.size() - 1);
    for (std::size_t i = 0; i < y.size(); ++i)
        out.withoutEach[i] = base->mean - (y[i] - base->mean) / others;
    return out;
}

} // namespace kalibron
