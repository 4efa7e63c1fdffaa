#include "regression/leave_one_out.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <unordered_map>

#include "core/store.h"

namespace kalibron {

UsedPoints usedPoints(const Store& store, int first)
{
    UsedPoints points;
    const int last = store.lastPosition();
    for (int x = std::max(first, 0); x <= last; ++x) {
        if (store.isUsed(x)) {
            points.x.push_back(x);
            points.y.push_back(store.Y[static_cast<std::size_t>(x)].value());
        }
    }
    return points;
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
            out.maxAt = points.x[i];
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

std::vector<std::optional<double>> linePredictionsWithoutEach(std::span<const double> t, std::span<const double> y)
{
    const std::size_t n = std::min(t.size(), y.size());
    std::vector<std::optional<double>> predicted(n);
    if (n < 3)
        return predicted;
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
        return predicted;
    const double slope = sty / stt;
    for (std::size_t i = 0; i < n; ++i) {
        const double d = t[i] - tMean;
        const double leverage = 1.0 / static_cast<double>(n) + d * d / stt;
        const double keep = 1 - leverage;
        if (!(keep > 1e-12))
            continue;
        const double residual = y[i] - (yMean + slope * d);
        const double value = y[i] - residual / keep;
        if (std::isfinite(value))
            predicted[i] = value;
    }
    return predicted;
}

std::vector<std::optional<double>> zigzagPredictionsWithoutEach(std::span<const ZigzagCluster> clusters,
                                                                const UsedPoints& points)
{
    std::vector<std::optional<double>> predicted(points.x.size());
    std::unordered_map<int, std::size_t> index;
    index.reserve(points.x.size());
    for (std::size_t i = 0; i < points.x.size(); ++i)
        index.emplace(points.x[i], i);

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
            predicted[found->second] = zigzagAt(std::span<const ZigzagPoint>(window.data(), size), member);
        }
    }
    return predicted;
}

} // namespace kalibron
