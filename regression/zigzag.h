#pragma once

#include <optional>

namespace kalibron {

struct Store;

// ZigZag: splits positions 1..lastPosition() into runs of consecutive
// positive Y, reduces each run's used points to their mean position and mean
// value (ZzX(c), ZzY(c), c = 1..nClusters). A rejected point inside a run
// closes the cluster before it. At most 100 clusters are kept; a close with
// no counted point is skipped (no division by zero).
void ZigZag(Store& store);

// Z(x): value on the straight line between the neighbouring cluster points,
// taking the first m with ZzX(m) <= x <= ZzX(m+1). Empty outside
// ZzX(1)..ZzX(nClusters); with a single cluster, x at its position gives its
// mean value.
std::optional<double> zigzagAt(const Store& store, double x);

} // namespace kalibron
