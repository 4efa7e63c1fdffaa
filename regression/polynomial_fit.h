#pragma once

#include <array>
#include <string>
#include <vector>

namespace kalibron {

class MessageSink;
struct Store;

// Working matrix of the normal equations: indices 0..25 (rows and columns
// 1..m, column m+1 the right-hand side).
using GaussMatrix = std::array<std::array<double, 26>, 26>;
using GaussVector = std::array<double, 26>;

// Largest degree the working matrix holds (m + 1 <= 25).
inline constexpr int kMaxPolynomialDegree = 23;

inline constexpr const char* kTooFewPolyDataMessage =
    "Too few data for polynomial regression of the requested degree.";

// gauss: solves the m×m system A·c = A(·, m+1) by Gaussian elimination with
// complete pivoting; pivots are chosen by |A(i,j)|·s(i) with the row scales
// s(i) = 1/Σ_j |A(i,j)| of the matrix before elimination, strictly greater
// wins, ties keep the first in row-then-column order. Column swaps are tracked
// in idx so that B(1..m) receives the coefficients in their own order.
// Returns false, leaving B unchanged, when the system is singular or
// numerically singular (a pivot that is zero or negligible against the
// matrix's scale, or a non-finite result); A is modified in any case.
bool gauss(int m, GaussMatrix& A, GaussVector& B);

enum class PolynomialStatus {
    Fitted,      // coefficients stored
    TooFewData,  // n < d + 1: message shown, outputs unchanged
    Singular,    // system cannot be solved: slot's coefficients left empty
};

// Polynomial: least-squares polynomial of degree d through the n points
// X(1..n), Y(1..n) (normal equations solved by gauss). On success writes
// PolyC(k) = B(k) (k = 0..25), PolyCoef(PolySlot, k) = B(k − 1) (k = 2..25),
// and the parameter text ("P0 = ..." lines, an empty line, "dsig=..."; CR LF
// line ends; dsig = √(SS/(n − 2)), left empty when n − 2 <= 0) into
// *parameterText when PolySlot = 1. A degree above kMaxPolynomialDegree is
// refused like n < d + 1, with a message naming the limit.
PolynomialStatus Polynomial(Store& store, int n, int d, const std::vector<double>& X,
                            const std::vector<double>& Y, MessageSink& messages,
                            std::string* parameterText);

} // namespace kalibron
