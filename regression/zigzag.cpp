#include "regression/zigzag.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "core/store.h"
#include "regression/result_cell.h"

namespace kalibron {

std::vector<ZigzagCluster> zigzagClusters(const Store& store)
{
    const int last = store.lastPosition();
    std::vector<ZigzagCluster> clusters;
    ZigzagCluster open;

    auto y = [&](int k) { return store.Y[static_cast<std::size_t>(k)].value(); };
    auto rejected = [&](int k) { return store.Rejected[static_cast<std::size_t>(k)].value(); };
    auto full = [&]() { return static_cast<int>(clusters.size()) >= kMaxClusters; };

    // Turns the open cluster's sums into its means and opens the next one.
    // With no counted point there is nothing to average, so nothing closes.
    auto closeOpen = [&]() {
        if (open.members.empty())
            return;
        const double cnt = static_cast<double>(open.members.size());
        open.x = open.sumX / cnt;
        open.y = open.sumY / cnt;
        clusters.push_back(std::move(open));
        open = ZigzagCluster{};
    };
    // A rejected last point does not close its cluster a second time.
    auto closeAt = [&](int j) {
        if (rejected(j) < 1)
            closeOpen();
    };
    auto join = [&](int k, double yk) {
        open.sumX += k;
        open.sumY += yk;
        open.members.push_back(k);
    };

    for (int k = 1; k <= last && !full(); ++k) {
        const double yk = y(k);
        const double yp = y(k - 1);
        if (yk > 0 && yp == 0) {
            // Still open here only when its run ended at a negative value;
            // close it rather than average two runs together.
            closeOpen();
            if (full())
                break;
            if (rejected(k) < 1)
                join(k, yk);
        } else if (yk > 0 && yp > 0) {
            if (!(rejected(k) > 0))
                join(k, yk);
            else
                closeAt(k - 1);
        } else if (yk == 0 && yp > 0) {
            closeAt(k - 1);
        }
    }
    if (!full())
        closeOpen();
    return clusters;
}

void ZigZag(Store& store)
{
    const std::vector<ZigzagCluster> clusters = zigzagClusters(store);
    const int n = static_cast<int>(clusters.size());
    for (int i = 1; i <= kMaxClusters; ++i) {
        const auto c = static_cast<std::size_t>(i - 1);
        store.ZzX[static_cast<std::size_t>(i)] = ValueCell(i <= n ? clusters[c].x : 0.0);
        store.ZzY[static_cast<std::size_t>(i)] = ValueCell(i <= n ? clusters[c].y : 0.0);
    }
    store.nClusters = n;
}

std::optional<double> zigzagAt(std::span<const ZigzagPoint> points, double x)
{
    if (points.empty())
        return std::nullopt;
    if (points.size() == 1) {
        if (x == points[0].x && std::isfinite(points[0].y))
            return points[0].y;
        return std::nullopt;
    }
    for (std::size_t m = 0; m + 1 < points.size(); ++m) {
        const double x0 = points[m].x, x1 = points[m + 1].x;
        if (x0 <= x && x <= x1) {
            if (!(x1 > x0))
                return std::isfinite(points[m].y) ? std::optional<double>(points[m].y) : std::nullopt;
            const double z = points[m].y + (x - x0) * ((points[m + 1].y - points[m].y) / (x1 - x0));
            return std::isfinite(z) ? std::optional<double>(z) : std::nullopt;
        }
    }
    return std::nullopt;
}

std::optional<double> zigzagAt(const Store& store, double x)
{
    const int clusters = std::clamp(store.nClusters, 0, kMaxClusters);
    std::array<ZigzagPoint, kMaxClusters> points;
    for (int i = 1; i <= clusters; ++i) {
        const auto zx = resultNumber(store.ZzX[static_cast<std::size_t>(i)]);
        const auto zy = resultNumber(store.ZzY[static_cast<std::size_t>(i)]);
        if (!zx || !zy)
            return std::nullopt;
        points[static_cast<std::size_t>(i - 1)] = {*zx, *zy};
    }
    return zigzagAt(std::span<const ZigzagPoint>(points.data(), static_cast<std::size_t>(clusters)), x);
}

} // namespace kalibron
