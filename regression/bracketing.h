#pragma once

#include <optional>
#include <span>
#include <vector>

#include "regression/least_squares_line.h"
#include "regression/leave_one_out.h"
#include "regression/zigzag.h"

namespace kalibron {

struct Store;

// The pooled standard deviation s_p of the standards about their cluster
// means, over every cluster of two or more points:
//     s_p² = Σ_c Σ_{i∈c} (yᵢ − ȳ_c)² / Σ_c (k_c − 1).
// The zigzag's u and the bracketing rules' u both rest on it: replicates of
// one standard are the only scatter that no drift model has bent. Empty when
// no cluster has two points (or the sum is not finite).
struct PooledScatter {
    std::optional<double> s;
    int dof = 0; // Σ_c (k_c − 1); 0 without s
};
// Over the zigzag's clusters of a sequence, with the Y its members hold: what
// the zigzag's and the rules' u are built on. A caller computes it once and
// hands it to each method that needs it.
PooledScatter pooledScatterOf(const Store& store, std::span<const ZigzagCluster> clusters);
// s_p alone, the same sums: over clusters of plain values, and over the zigzag's.
std::optional<double> pooledScatter(std::span<const std::vector<double>> clusters);
std::optional<double> pooledScatter(const Store& store, std::span<const ZigzagCluster> clusters);

// The bracketing rules between the used standards (points: ascending
// positions, as usedPoints lists them):
//  - Preceding: the last standard at or before x;
//  - Succeeding: the first standard at or after x;
//  - Average: the mean of the two, (y_before + y_after)/2.
// At a standard's own position every rule gives that standard's value; where
// a side has no standard (before the first, after the last) the rule takes
// the side that has one, never zero.
//
// u: a value taken from one standard is one measurement of it, u = s_p; the
// mean of two standards averages two independent measurements, u = s_p/√2.
// The standards' own values are taken as known in their positions only up to
// that scatter; the drift between them is not modelled, which the ranking's
// leave-one-out judges instead.
enum class BracketingRule { Preceding, Succeeding, Average };

struct BracketingValue {
    double value = 0;
    int from = 0; // standards the value is taken from: 1 or 2
};

// Empty without any standard.
std::optional<BracketingValue> bracketingAt(const UsedPoints& points, BracketingRule rule, double x);

// Values and u (empty without s_p) at every position 0..maxX, in O(n + maxX).
struct BracketingCurve {
    std::vector<std::optional<double>> value, u;
};
BracketingCurve bracketingCurve(const UsedPoints& points, BracketingRule rule, int maxX, std::optional<double> pooled);

// Leave-one-out: each standard predicted from its neighbours by the same
// rule (the preceding rule takes the standard before it, or the one after it
// at the start of the run; the average the mean of both, or the one there is
// at an end). fitted: the standards' own values. No prediction with a single
// standard.
Predictions bracketingPredictions(const UsedPoints& points, BracketingRule rule);

// No correction: the mean of the used standards, ȳ, with u = s/√n, s the
// standard deviation of the standards about ȳ (n − 1 in the denominator).
struct MeanBaseline {
    double mean = 0;
    std::optional<double> s, u; // empty for a single standard
};
std::optional<MeanBaseline> meanBaseline(std::span<const double> y);

// Each standard predicted by the mean of the others,
// ȳ(−i) = ȳ − (yᵢ − ȳ)/(n − 1); fitted: ȳ. No prediction with one standard.
Predictions meanPredictions(std::span<const double> y);

} // namespace kalibron
