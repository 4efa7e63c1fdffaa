#include "regression/zigzag.h"

#include <algorithm>
#include <array>

#include "core/store.h"
#include "regression/result_cell.h"

namespace kalibron {

void ZigZag(Store& store)
{
    const int last = store.lastPosition();
    // Sums of the open cluster are kept as doubles and written once when it closes.
    std::array<double, kMaxClusters + 1> sumX{}, sumY{};
    int c = 1;
    int cnt = 0;
    bool full = false;

    auto y = [&](int k) { return store.Y[static_cast<std::size_t>(k)].value(); };
    auto rejected = [&](int k) { return store.Rejected[static_cast<std::size_t>(k)].value(); };

    // Turns the open cluster's sums into its means and opens the next one.
    // With no counted point there is nothing to average, so nothing closes.
    auto closeOpen = [&]() {
        if (cnt == 0)
            return;
        sumX[static_cast<std::size_t>(c)] /= cnt;
        sumY[static_cast<std::size_t>(c)] /= cnt;
        cnt = 0;
        if (c == kMaxClusters) {
            full = true;
            return;
        }
        ++c;
        sumX[static_cast<std::size_t>(c)] = 0;
        sumY[static_cast<std::size_t>(c)] = 0;
    };
    // A rejected last point does not close its cluster a second time.
    auto closeAt = [&](int j) {
        if (rejected(j) < 1)
            closeOpen();
    };

    for (int k = 1; k <= last && !full; ++k) {
        const double yk = y(k);
        const double yp = y(k - 1);
        if (yk > 0 && yp == 0) {
            // Still open here only when its run ended at a negative value;
            // close it rather than average two runs together.
            closeOpen();
            if (full)
                break;
            if (rejected(k) < 1) {
                sumX[static_cast<std::size_t>(c)] = k;
                sumY[static_cast<std::size_t>(c)] = yk;
                ++cnt;
            }
        } else if (yk > 0 && yp > 0) {
            if (!(rejected(k) > 0)) {
                sumX[static_cast<std::size_t>(c)] += k;
                sumY[static_cast<std::size_t>(c)] += yk;
                ++cnt;
            } else {
                closeAt(k - 1);
            }
        } else if (yk == 0 && yp > 0) {
            closeAt(k - 1);
        }
    }

    int clusters = full ? kMaxClusters : c - 1;
    if (!full && cnt > 0) {
        sumX[static_cast<std::size_t>(c)] /= cnt;
        sumY[static_cast<std::size_t>(c)] /= cnt;
        clusters = c;
    }

    for (int i = 1; i <= kMaxClusters; ++i) {
        store.ZzX[static_cast<std::size_t>(i)] = ValueCell(i <= clusters ? sumX[static_cast<std::size_t>(i)] : 0.0);
        store.ZzY[static_cast<std::size_t>(i)] = ValueCell(i <= clusters ? sumY[static_cast<std::size_t>(i)] : 0.0);
    }
    store.nClusters = clusters;
}

std::optional<double> zigzagAt(const Store& store, double x)
{
    const int clusters = std::clamp(store.nClusters, 0, kMaxClusters);
    if (clusters == 0)
        return std::nullopt;
    auto zx = [&](int i) { return store.ZzX[static_cast<std::size_t>(i)].value(); };
    auto zy = [&](int i) { return store.ZzY[static_cast<std::size_t>(i)].value(); };
    if (clusters == 1) {
        if (x == zx(1))
            return resultNumber(store.ZzY[1]);
        return std::nullopt;
    }
    for (int m = 1; m <= clusters - 1; ++m) {
        const double x0 = zx(m), x1 = zx(m + 1);
        if (x0 <= x && x <= x1) {
            if (!(x1 > x0))
                return resultNumber(store.ZzY[static_cast<std::size_t>(m)]);
            const double z = zy(m) + (x - x0) * ((zy(m + 1) - zy(m)) / (x1 - x0));
            return resultNumber(ValueCell(z));
        }
    }
    return std::nullopt;
}

} // namespace kalibron
