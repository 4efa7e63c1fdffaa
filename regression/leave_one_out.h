#pragma once

#include <optional>
#include <span>
#include <vector>

#include "regression/least_squares_line.h"
#include "regression/zigzag.h"

namespace kalibron {

struct Store;

// How well a method predicts a standard it has not seen: each used standard
// i is predicted by the method fitted without it, ŷ(−i), and the errors
// |y_i − ŷ(−i)| are summarised. In-sample deviations reward flexibility; these
// figures reward prediction, which is what the program does for every sample.
struct LeaveOneOut {
    int count = 0;      // standards that could be predicted
    double mean = 0;    // mean |y − ŷ(−i)|, in Y units
    double meanPct = 0; // mean 100·|y − ŷ(−i)| / y
    double max = 0;     // largest single error
    int maxAt = 0;      // its position (the first one on a tie)
};

// The points a fit uses (Y positive, not rejected) at positions first..lastPosition(),
// in ascending position, x being the position.
UsedPoints usedPoints(const Store& store, int first);

// What a method gives at each used standard: the value of its fit through all
// of them, and its prediction without that standard (nullopt: none).
struct Predictions {
    std::vector<std::optional<double>> fitted, withoutEach;
};

// First and last position of the standards the fits use (Y positive, not
// rejected); a sample outside them is extrapolated by every method. Empty
// without any such standard.
struct StandardsRange {
    int first = 0, last = 0;
};
std::optional<StandardsRange> standardsRange(const Store& store);

// Summary of |y − value| over the standards that have a value (fitted values
// give the in-sample figures, predictions without each the leave-one-out ones).
// Empty with fewer than two predictions or a non-finite mean.
std::optional<LeaveOneOut> summariseLeaveOneOut(const UsedPoints& points,
                                                std::span<const std::optional<double>> predicted);

// Predictions of the straight line y = a + b·t through (t_i, y_i), each without
// its own point, in closed form: ŷ(−i) = y_i − e_i / (1 − h_ii), with the
// residual e_i of the full fit and the leverage h_ii = 1/n + (t_i − t̄)²/Stt.
// The fit is taken in centred t (two passes), so large positions lose nothing.
// A point whose removal leaves no line (1 − h_ii not above 1e-12: n = 2, or
// the only point at its t) gets no prediction; so does every point when all t
// are equal.
Predictions linePredictions(std::span<const double> t, std::span<const double> y);

// The same for the least-squares polynomial of degree d in t: the fit is taken
// in Chebyshev polynomials of t scaled to [−1, 1] by a column-pivoted
// Householder QR, the leverages are the squared row norms of its thin Q. No
// prediction at all when the system is rank deficient (fewer distinct t than
// d + 1, |R_kk| <= 1e-10·|R_00|) or d is outside 0..23.
Predictions polynomialPredictions(std::span<const double> t, std::span<const double> y, int degree);

// Leave-one-out of the zigzag: a standard is taken out of its cluster (the
// cluster's mean is taken without it), or its cluster is dropped when it was
// the only member, and the zigzag through the changed cluster points is read
// at the standard's position. Only the neighbouring clusters matter, so each
// prediction costs O(1). Standards beyond the first and last remaining
// clusters get no prediction. members: positions with their Y, as clusters lists them.
Predictions zigzagPredictions(std::span<const ZigzagCluster> clusters, const UsedPoints& points);

} // namespace kalibron
