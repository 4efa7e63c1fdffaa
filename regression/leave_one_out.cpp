#include "regression/leave_one_out.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <unordered_map>

#include <Eigen/Dense>

#include "core/store.h"

namespace kalibron {

UsedPoints usedPoints(const Store& store, int first)
{
    return usedPoints(store, std::max(first, 0), store.lastPosition(), [](int x) { return static_cast<double>(x); });
}

std::optional<StandardsRange> standardsRange(const Store& store)
{
    const int last = store.lastPosition();
    std::optional<StandardsRange> range;
    for (int x = 0; x <= last; ++x) {
        if (store.isUsed(x)) {
            if (!range)
                range = StandardsRange{x, x};
            range->last = x;
        }
    }
    return range;
}

std::optional<LeaveOneOut> summariseLeaveOneOut(const UsedPoints& points,
                                                std::span<const std::optional<double>> predicted)
{
    LeaveOneOut out;
    double absSum = 0, relSum = 0;
    const std::size_t n = std::min(points.x.size(), predicted.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (!predicted[i])
            continue;
        const double error = std::fabs(points.y[i] - *predicted[i]);
        ++out.count;
        absSum += error;
        relSum += error / points.y[i];
        if (out.count == 1 || error > out.max) {
            out.max = error;
            out.maxAt = static_cast<int>(points.x[i]);
        }
    }
    if (out.count < 2)
        return std::nullopt;
    out.mean = absSum / out.count;
    out.meanPct = 100 * relSum / out.count;
    if (!std::isfinite(out.mean) || !std::isfinite(out.meanPct) || !std::isfinite(out.max))
        return std::nullopt;
    return out;
}

Predictions linePredictions(std::span<const double> t, std::span<const double> y)
{
    const std::size_t n = std::min(t.size(), y.size());
    Predictions out{std::vector<std::optional<double>>(n), std::vector<std::optional<double>>(n)};
    if (n < 2)
        return out;
    double tMean = 0, yMean = 0;
    for (std::size_t i = 0; i < n; ++i) {
        tMean += t[i];
        yMean += y[i];
    }
    tMean /= static_cast<double>(n);
    yMean /= static_cast<double>(n);
    double stt = 0, sty = 0;
    for (std::size_t i = 0; i < n; ++i) {
        stt += (t[i] - tMean) * (t[i] - tMean);
        sty += (t[i] - tMean) * (y[i] - yMean);
    }
    if (!(stt > 0) || !std::isfinite(stt))
        return out;
    const double slope = sty / stt;
    for (std::size_t i = 0; i < n; ++i) {
        const double d = t[i] - tMean;
        const double fitted = yMean + slope * d;
        if (std::isfinite(fitted))
            out.fitted[i] = fitted;
        const double keep = 1 - (1.0 / static_cast<double>(n) + d * d / stt);
        if (!(keep > 1e-12))
            continue;
        const double value = y[i] - (y[i] - fitted) / keep;
        if (std::isfinite(value))
            out.withoutEach[i] = value;
    }
    return out;
}

Predictions polynomialPredictions(std::span<const double> t, std::span<const double> y, int degree)
{
    const auto n = static_cast<Eigen::Index>(std::min(t.size(), y.size()));
    const auto size = static_cast<std::size_t>(n);
    Predictions out{std::vector<std::optional<double>>(size), std::vector<std::optional<double>>(size)};
    const Eigen::Index m = degree + 1;
    if (degree < 0 || degree > 23 || n < m)
        return out;
    const auto [lo, hi] = std::minmax_element(t.begin(), t.begin() + n);
    const double a = *lo, b = *hi;
    if (!(b > a) && degree > 0)
        return out;

    Eigen::MatrixXd basis(n, m);
    for (Eigen::Index i = 0; i < n; ++i) {
        const double s = degree > 0 ? (2 * t[static_cast<std::size_t>(i)] - (a + b)) / (b - a) : 0;
        basis(i, 0) = 1;
        if (m > 1)
            basis(i, 1) = s;
        for (Eigen::Index k = 2; k < m; ++k)
            basis(i, k) = 2 * s * basis(i, k - 1) - basis(i, k - 2);
    }
    const Eigen::Map<const Eigen::VectorXd> values(y.data(), n);
    const Eigen::ColPivHouseholderQR<Eigen::MatrixXd> qr(basis);
    const auto r = qr.matrixQR().diagonal().cwiseAbs();
    if (r(m - 1) <= 1e-10 * r(0))
        return out;
    const Eigen::VectorXd fitted = basis * qr.solve(values);
    const Eigen::MatrixXd q = qr.householderQ() * Eigen::MatrixXd::Identity(n, m);
    for (Eigen::Index i = 0; i < n; ++i) {
        const auto k = static_cast<std::size_t>(i);
        if (std::isfinite(fitted(i)))
            out.fitted[k] = fitted(i);
        const double keep = 1 - q.row(i).squaredNorm();
        if (!(keep > 1e-12))
            continue;
        const double value = y[k] - (y[k] - fitted(i)) / keep;
        if (std::isfinite(value))
            out.withoutEach[k] = value;
    }
    return out;
}

Predictions zigzagPredictions(std::span<const ZigzagCluster> clusters, const UsedPoints& points)
{
    const std::size_t n = points.x.size();
    Predictions out{std::vector<std::optional<double>>(n), std::vector<std::optional<double>>(n)};
    std::vector<ZigzagPoint> all;
    all.reserve(clusters.size());
    for (const ZigzagCluster& cluster : clusters)
        all.push_back({cluster.x, cluster.y});
    std::unordered_map<int, std::size_t> index;
    index.reserve(points.x.size());
    for (std::size_t i = 0; i < points.x.size(); ++i)
        index.emplace(static_cast<int>(points.x[i]), i);

    for (std::size_t c = 0; c < clusters.size(); ++c) {
        const ZigzagCluster& cluster = clusters[c];
        for (int member : cluster.members) {
            const auto found = index.find(member);
            if (found == index.end())
                continue;
            const double y = points.y[found->second];
            // The zigzag near the member: the neighbouring clusters and, when
            // others remain in it, the member's own cluster without it.
            std::array<ZigzagPoint, 3> window;
            std::size_t size = 0;
            if (c > 0)
                window[size++] = {clusters[c - 1].x, clusters[c - 1].y};
            const double remaining = static_cast<double>(cluster.members.size()) - 1;
            if (remaining > 0)
                window[size++] = {(cluster.sumX - member) / remaining, (cluster.sumY - y) / remaining};
            if (c + 1 < clusters.size())
                window[size++] = {clusters[c + 1].x, clusters[c + 1].y};
            out.withoutEach[found->second] = zigzagAt(std::span<const ZigzagPoint>(window.data(), size), member);
            // The full zigzag near the member: the same neighbours and the whole cluster.
            const std::size_t from = c > 0 ? c - 1 : 0, to = std::min(c + 2, all.size());
            out.fitted[found->second] = zigzagAt(std::span<const ZigzagPoint>(all.data() + from, to - from), member);
        }
    }
    return out;
}

} // namespace kalibron
