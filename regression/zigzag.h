#pragma once

#include <optional>
#include <span>
#include <vector>

namespace kalibron {

struct Store;

// Highest cluster index ZzX()/ZzY() hold.
inline constexpr int kMaxClusters = 100;

// ZigZag: splits positions 1..lastPosition() into runs of consecutive
// positive Y (y(k) = numeric value of Y(k); y(0) is the predecessor of
// position 1) and reduces each run's used points to their mean position and
// mean value (ZzX(c), ZzY(c), c = 1..nClusters; entries up to 100 above
// nClusters are 0). Per position k, with yp = y(k − 1):
//  - a run starts (y > 0, yp = 0): a used k opens the cluster with k;
//  - inside a run (y > 0, yp > 0): k with Rejected(k) <= 0 joins the cluster,
//    otherwise the cluster is closed at k − 1, so a rejection splits its run;
//  - a run ended (y = 0, yp > 0): the cluster is closed at k − 1;
//  - a close at j happens only when Rejected(j) < 1.
// A cluster still open after the scan is closed.
// Sound limits: a close with no counted point (reachable only with negative
// Y) closes nothing; a run start while a cluster is still open (its run ended
// at a negative value) first closes that cluster, so two runs are never
// averaged together; after the 100th cluster is closed the scan stops, so the
// zigzag ends there and no index leaves 0..100.
void ZigZag(Store& store);

// One cluster of the zigzag: its used member positions, their sums and means.
struct ZigzagCluster {
    std::vector<int> members;
    double sumX = 0, sumY = 0;
    double x = 0, y = 0; // mean position and mean value
};

// The clusters ZigZag stores, by the same rules, with their members (at most
// kMaxClusters). ZigZag writes their means into ZzX()/ZzY().
std::vector<ZigzagCluster> zigzagClusters(const Store& store);

struct ZigzagPoint {
    double x = 0, y = 0;
};

// The zigzag through the given cluster points (in ascending x), by the rule
// of zigzagAt below.
std::optional<double> zigzagAt(std::span<const ZigzagPoint> points, double x);

// Z(x): value on the straight line between the neighbouring cluster points,
// taking the first m with ZzX(m) <= x <= ZzX(m+1):
// ZzY(m) + (x − ZzX(m))·(ZzY(m+1) − ZzY(m))/(ZzX(m+1) − ZzX(m)). Empty outside
// ZzX(1)..ZzX(nClusters) and with no cluster; with a single cluster, x at its
// position gives its mean value.
std::optional<double> zigzagAt(const Store& store, double x);

} // namespace kalibron
