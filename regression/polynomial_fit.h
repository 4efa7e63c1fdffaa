#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/number_format.h"

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
inline constexpr const char* kPolyDegreeTooHighMessage =
    "Too few data for polynomial regression of the requested degree. The highest degree is 23.";
inline constexpr const char* kPolyDegreeNegativeMessage =
    "Too few data for polynomial regression of the requested degree. The lowest degree is 0.";

// Relative size below which gauss takes a pivot for zero (see gauss).
inline constexpr double kPivotTolerance = 1e-13;

// gauss: solves the m×m system A·c = A(·, m+1) (rows and columns 1..m) by
// Gaussian elimination with complete pivoting. Pivots are chosen by
// |A(i,j)|·s(i) with the row scales s(i) = 1/Σ_j |A(i,j)| of the matrix before
// elimination; strictly greater wins, ties keep the first in row-then-column
// order. Row swaps carry s along, column swaps are tracked in idx so that
// B(1..m) receives the coefficients in their own order.
//
// Singularity is judged by cancellation, never by an exact zero: alongside
// every entry gauss keeps the sum of the magnitudes of the terms that were
// added up into it (|A| at the start, + |f|·bound of the pivot row at each
// elimination). A pivot not above kPivotTolerance times its bound has lost
// all but the last two or three of its digits: it is what rounding left of
// an exact zero (an exactly singular system, such as fewer distinct x than
// unknowns, ends near 1e-16). The test does not change when rows or columns
// are scaled, so the huge spread of magnitudes in normal equations of large x
// does not fool it. Then, and for an all-zero row, m outside 1..24 or a
// non-finite solution, gauss returns false and leaves B unchanged; A is
// modified in any case.
// A true result on a badly conditioned but passing system is only as good as
// its condition: normal equations square the condition of the data, so for a
// high degree over a wide x range fit in centred, scaled x or use a QR solver.
bool gauss(int m, GaussMatrix& A, GaussVector& B);

// Normal equations of the least-squares polynomial with m = d + 1 unknowns
// through X(1..n), Y(1..n): A(i, j) = Σ x^(i+j−2) (i, j = 1..m) and
// A(i, m+1) = Σ x^(i−1)·y; A(1, 1) = n. Each power sum is formed once and
// copied along its anti-diagonal. Requires 1 <= m <= 24 and X, Y holding
// indices 1..n.
void normalEquations(int n, int m, const std::vector<double>& X, const std::vector<double>& Y, GaussMatrix& A);

// Values of c0 + c1·x + … + cd·x^d (d = c.size() − 1) at every position
// x = 0..out.size() − 1, by Horner's rule. Four positions are worked at a
// time: each Horner chain waits on its previous multiply, so independent
// chains side by side keep the arithmetic units busy. Empty c gives zeros.
void polynomialValues(std::span<const double> c, std::span<double> out);

enum class PolynomialStatus {
    Fitted,      // coefficients stored
    TooFewData,  // n < d + 1, or d outside 0..23: message shown, outputs unchanged
    Singular,    // system cannot be solved: slot's coefficients left empty
};

// Polynomial: least-squares polynomial y = c0 + c1·x + … + cd·x^d through the
// n points X(1..n), Y(1..n) (index 0 unused), by the normal equations
// A(i, j) = Σ x^(i+j−2), A(i, m+1) = Σ x^(i−1)·y, m = d + 1, solved by gauss.
// Reads store.PolySlot.
//  d outside 0..kMaxPolynomialDegree, or n < d + 1 (or X, Y shorter than
//  n + 1): message with no icon and the application's title, nothing changed,
//  TooFewData.
//  Fitted: PolyC(k) = B(k) (k = 0..25, so PolyC(p+1) = c_p and PolyC(0) = 0),
//  PolyCoef(PolySlot, k) = B(k − 1) (k = 2..25); when PolySlot = 1 and
//  parameterText is given, *parameterText = "P0 = c0" CR LF … "Pd = cd" CR LF,
//  CR LF, CR LF, "dsig=" √(SS/(n − 2)) CR LF, numbers in the general format of
//  locale; the dsig number is left out when n − 2 <= 0.
//  Singular: PolyC(0..25) and PolyCoef(PolySlot, 2..25) become Empty, and for
//  PolySlot = 1 *parameterText becomes empty, so no stale coefficients remain.
// PolySlot outside 0..5 fits without touching PolyCoef.
// tooFewMessage is the text shown when n < d + 1.
// When dsig is given it receives √(SS/(n − 2)) of a fitted system (nullopt
// when n − 2 <= 0, the result is not finite, or nothing was fitted).
PolynomialStatus Polynomial(Store& store, int n, int d, const std::vector<double>& X,
                            const std::vector<double>& Y, MessageSink& messages,
                            std::string* parameterText, const NumberLocale& locale = NumberLocale{},
                            std::optional<double>* dsig = nullptr,
                            const char* tooFewMessage = kTooFewPolyDataMessage);

} // namespace kalibron
