#include "regression/tall_qr.h"

#include "regression/double_pair.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kalibron {

namespace {

constexpr int kLaneGroup = 8; // rows a step of dot takes: four pairs

// Σ a_i·b_i over len rows (a multiple of kLaneGroup): eight running sums
// (row i into sum i mod 8), added pairwise at the end.
inline double dot(const double* a, const double* b, int len)
{
    DoublePair s0 = {0, 0}, s1 = {0, 0}, s2 = {0, 0}, s3 = {0, 0};
    for (int i = 0; i < len; i += kLaneGroup) {
        s0 += loadPair(a + i) * loadPair(b + i);
        s1 += loadPair(a + i + 2) * loadPair(b + i + 2);
        s2 += loadPair(a + i + 4) * loadPair(b + i + 4);
        s3 += loadPair(a + i + 6) * loadPair(b + i + 6);
    }
    const DoublePair s = (s0 + s1) + (s2 + s3);
    return s[0] + s[1];
}

// b −= g·a over len rows (a multiple of kLaneGroup).
inline void subtractScaled(double* b, double g, const double* a, int len)
{
    const DoublePair gg = splat(g);
    for (int i = 0; i < len; i += kLaneGroup) {
        storePair(b + i, loadPair(b + i) - gg * loadPair(a + i));
        storePair(b + i + 2, loadPair(b + i + 2) - gg * loadPair(a + i + 2));
        storePair(b + i + 4, loadPair(b + i + 4) - gg * loadPair(a + i + 4));
        storePair(b + i + 6, loadPair(b + i + 6) - gg * loadPair(a + i + 6));
    }
}

void scale(double* a, double g, int len)
{
    for (int i = 0; i < len; i += 2)
        storePair(a + i, loadPair(a + i) * splat(g));
}

// Rows a block takes: about 24 KiB of it, a multiple of kLaneGroup, no more
// than the matrix needs.
int blockRowsFor(int rows, int cols)
{
    const int fit = std::clamp(3072 / std::max(cols, 1), 64, 512) / kLaneGroup * kLaneGroup;
    const int needed = (std::max(rows, 1) + kLaneGroup - 1) / kLaneGroup * kLaneGroup;
    return std::min(fit, needed);
}

} // namespace

TallQR::TallQR(int rows, int cols, int reflectors)
    : m_rows(rows), m_cols(cols), m_reflectors(reflectors), m_blockRows(blockRowsFor(rows, cols)),
      m_blocks((std::max(rows, 1) + m_blockRows - 1) / m_blockRows),
      m_data(static_cast<std::size_t>(m_blocks) * static_cast<std::size_t>(cols) *
                 static_cast<std::size_t>(m_blockRows),
             0.0),
      m_tau(static_cast<std::size_t>(m_blocks) * static_cast<std::size_t>(reflectors), 0.0),
      m_r(static_cast<std::size_t>(cols) * static_cast<std::size_t>(cols), 0.0)
{
}

void TallQR::reduceBlock(int b)
{
    const int len = m_blockRows;
    for (int k = 0; k < m_reflectors; ++k) {
        double* v = column(b, k);
        double& tau = m_tau[static_cast<std::size_t>(b * m_reflectors + k)];
        double& alpha = m_r[static_cast<std::size_t>(k * m_cols + k)];
        // H = I − τ·u·uᵀ, u = (1 at row k of the triangle; v/(α − β)),
        // takes (α; v) to (β; 0).
        const double tail = dot(v, v, len);
        if (tail <= std::numeric_limits<double>::min()) {
            tau = 0;
            std::fill(v, v + len, 0.0);
            continue;
        }
        double beta = std::sqrt(alpha * alpha + tail);
        if (alpha >= 0)
            beta = -beta;
        const double inverse = 1 / (alpha - beta);
        tau = (beta - alpha) / beta;
        alpha = beta;
        for (int j = k + 1; j < m_cols; ++j) {
            double* a = column(b, j);
            double& top = m_r[static_cast<std::size_t>(k * m_cols + j)];
            // w = uᵀ·(top; a); (top; a) −= τ·w·u.
            const double w = top + dot(v, a, len) * inverse;
            top -= tau * w;
            subtractScaled(a, tau * w * inverse, v, len);
        }
        scale(v, inverse, len);
    }
}

std::vector<double> TallQR::applyAdjoint(std::span<const double> v) const
{
    std::vector<double> head(static_cast<std::size_t>(m_reflectors), 0.0);
    std::vector<double> block(static_cast<std::size_t>(m_blockRows));
    const int len = m_blockRows;
    for (int b = 0; b < m_blocks; ++b) {
        const auto first = static_cast<std::size_t>(b) * static_cast<std::size_t>(len);
        const std::size_t count = std::min(block.size(), v.size() - std::min(v.size(), first));
        std::fill(block.begin(), block.end(), 0.0);
        std::copy_n(v.begin() + static_cast<std::ptrdiff_t>(first), count, block.begin());
        for (int k = 0; k < m_reflectors; ++k) {
            const double tau = m_tau[static_cast<std::size_t>(b * m_reflectors + k)];
            if (tau == 0)
                continue;
            const double* u = m_data.data() + offset(b, k);
            const double s = tau * (head[static_cast<std::size_t>(k)] + dot(u, block.data(), len));
            head[static_cast<std::size_t>(k)] -= s;
            subtractScaled(block.data(), s, u, len);
        }
    }
    return head;
}

} // namespace kalibron
