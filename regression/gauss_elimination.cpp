#include <cmath>
#include <utility>

#include "regression/polynomial_fit.h"

namespace kalibron {

bool gauss(int m, GaussMatrix& A, GaussVector& B)
{
    if (m < 1 || m + 1 >= static_cast<int>(A.size()))
        return false;

    std::array<int, 26> idx{};
    std::array<double, 26> s{};
    for (int j = 1; j <= m; ++j)
        idx[j] = j;

    // Row scales from the matrix before elimination; an all-zero row (or one
    // that overflows) makes the system unsolvable from the start.
    for (int i = 1; i <= m; ++i) {
        double rowSum = 0;
        for (int j = 1; j <= m; ++j)
            rowSum += std::abs(A[i][j]);
        if (!(rowSum > 0) || !std::isfinite(rowSum))
            return false;
        s[i] = 1.0 / rowSum;
    }

    // mag(i, j) bounds the size of the terms that have been added up into
    // A(i, j). A pivot far below its bound is what cancellation left of an
    // exact zero, whatever the scale of its row and column.
    GaussMatrix mag{};
    for (int i = 1; i <= m; ++i) {
        for (int j = 1; j <= m + 1; ++j)
            mag[i][j] = std::abs(A[i][j]);
    }
    auto negligible = [&](int k) { return !(std::abs(A[k][k]) > kPivotTolerance * mag[k][k]); };

    for (int k = 1; k <= m - 1; ++k) {
        double best = std::abs(A[k][k]) * s[k];
        int p = k, q = k;
        for (int i = k; i <= m; ++i) {
            for (int j = k; j <= m; ++j) {
                const double v = std::abs(A[i][j]) * s[i];
                if (v > best) {
                    best = v;
                    p = i;
                    q = j;
                }
            }
        }
        if (p != k) {
            for (int j = k; j <= m + 1; ++j) {
                std::swap(A[k][j], A[p][j]);
                std::swap(mag[k][j], mag[p][j]);
            }
            std::swap(s[k], s[p]);
        }
        if (q != k) {
            for (int i = 1; i <= m; ++i) {
                std::swap(A[i][k], A[i][q]);
                std::swap(mag[i][k], mag[i][q]);
            }
            std::swap(idx[k], idx[q]);
        }
        if (negligible(k))
            return false;
        for (int i = k + 1; i <= m; ++i) {
            const double f = A[i][k] / A[k][k];
            A[i][k] = 0;
            for (int j = k + 1; j <= m + 1; ++j) {
                A[i][j] -= f * A[k][j];
                mag[i][j] += std::abs(f) * mag[k][j];
            }
        }
    }
    if (negligible(m))
        return false;

    // Back substitution into a scratch vector, so that B stays as it was
    // when the result turns out unusable.
    GaussVector x = B;
    x[idx[m]] = A[m][m + 1] / A[m][m];
    for (int i = m - 1; i >= 1; --i) {
        double t = A[i][m + 1];
        for (int j = i + 1; j <= m; ++j)
            t -= A[i][j] * x[idx[j]];
        x[idx[i]] = t / A[i][i];
    }
    for (int j = 1; j <= m; ++j) {
        if (!std::isfinite(x[j]))
            return false;
    }
    B = x;
    return true;
}

} // namespace kalibron
