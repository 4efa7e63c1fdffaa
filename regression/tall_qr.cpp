#include "regression/tall_qr.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kalibron {

// One block: columns of len rows at block, the triangle r (cols × cols,
// row-major), the block's reflector scalars tau.
struct BlockView {
    double* block;
    double* tau;
    double* r;
    int cols, reflectors, len;
    double* column(int j) const { return block + static_cast<std::ptrdiff_t>(j) * len; }
};

namespace {

// The loops over rows go kGroup rows a step, unrolled in full (GCC at -O2
// would not, and would keep the running sums in memory) so that the
// compiler works them on the vectors the target has. A sum over rows runs
// as kGroup running sums (row i into sum i mod kGroup) folded in one fixed
// order at the end, and multiplies and adds are never fused (the library
// builds with -ffp-contract=off): the bits do not depend on the target or
// on how the compiler vectorises.
constexpr int kGroup = 16;

// Σ a_i·b_i over len rows (a multiple of kGroup).
double dot(const double* a, const double* b, int len)
{
    double s[kGroup] = {};
    for (int i = 0; i < len; i += kGroup) {
#pragma GCC unroll 16
        for (int g = 0; g < kGroup; ++g)
            s[g] += a[i + g] * b[i + g];
    }
    double q[kGroup / 2];
    for (int j = 0; j < kGroup / 2; ++j)
        q[j] = s[j] + s[j + kGroup / 2];
    return ((q[0] + q[4]) + (q[2] + q[6])) + ((q[1] + q[5]) + (q[3] + q[7]));
}

// b −= g·a over len rows (a multiple of kGroup); a and b are different
// columns.
void subtractScaled(double* __restrict b, double g, const double* __restrict a, int len)
{
    for (int i = 0; i < len; i += kGroup) {
#pragma GCC unroll 16
        for (int j = 0; j < kGroup; ++j)
            b[i + j] -= g * a[i + j];
    }
}

void scale(double* a, double g, int len)
{
    for (int i = 0; i < len; i += kGroup) {
#pragma GCC unroll 16
        for (int j = 0; j < kGroup; ++j)
            a[i + j] *= g;
    }
}

void reduce(const BlockView& b)
{
    for (int k = 0; k < b.reflectors; ++k) {
        double* v = b.column(k);
        double& alpha = b.r[k * b.cols + k];
        // H = I − τ·u·uᵀ, u = (1 at row k of the triangle; v/(α − β)),
        // takes (α; v) to (β; 0).
        const double tail = dot(v, v, b.len);
        if (tail <= std::numeric_limits<double>::min()) {
            b.tau[k] = 0;
            std::fill(v, v + b.len, 0.0);
            continue;
        }
        double beta = std::sqrt(alpha * alpha + tail);
        if (alpha >= 0)
            beta = -beta;
        const double inverse = 1 / (alpha - beta);
        const double tau = (beta - alpha) / beta;
        b.tau[k] = tau;
        alpha = beta;
        for (int j = k + 1; j < b.cols; ++j) {
            double* a = b.column(j);
            double& top = b.r[k * b.cols + j];
            // w = uᵀ·(top; a); (top; a) −= τ·w·u.
            const double w = top + dot(v, a, b.len) * inverse;
            top -= tau * w;
            subtractScaled(a, tau * w * inverse, v, b.len);
        }
        scale(v, inverse, b.len);
    }
}

// (head; x) −= reflector k applied to it, x of len rows.
void reflect(const BlockView& b, int k, double* head, double* x)
{
    if (b.tau[k] == 0)
        return;
    const double* u = b.column(k);
    const double s = b.tau[k] * (head[k] + dot(u, x, b.len));
    head[k] -= s;
    subtractScaled(x, s, u, b.len);
}

// Rows a block takes: about 24 KiB of it, a multiple of kGroup, no more
// than the matrix needs.
int blockRowsFor(int rows, int cols)
{
    const int fit = std::clamp(3072 / std::max(cols, 1), 64, 512) / kGroup * kGroup;
    const int needed = (std::max(rows, 1) + kGroup - 1) / kGroup * kGroup;
    return std::min(fit, needed);
}

} // namespace

TallQR::TallQR(int rows, int cols, int reflectors)
    : m_cols(cols),
      m_reflectors(reflectors),
      m_blockRows(blockRowsFor(rows, cols)),
      m_blocks((std::max(rows, 1) + m_blockRows - 1) / m_blockRows),
      m_data(std::make_unique_for_overwrite<double[]>(
          static_cast<std::size_t>(m_blocks) * static_cast<std::size_t>(cols) * static_cast<std::size_t>(m_blockRows))),
      m_tau(static_cast<std::size_t>(m_blocks) * static_cast<std::size_t>(reflectors), 0.0),
      m_r(static_cast<std::size_t>(cols) * static_cast<std::size_t>(cols), 0.0)
{
    // Only the last block can reach beyond the last row.
    std::fill_n(column(m_blocks - 1, 0), static_cast<std::size_t>(cols) * static_cast<std::size_t>(m_blockRows), 0.0);
}

BlockView TallQR::view(int b) const
{
    // One view type serves the reducing and the reading kernels; the reading
    // ones never write through it, so the const of the scalars may go.
    return BlockView{m_data.get() + offset(b, 0),
                     const_cast<double*>(m_tau.data()) + static_cast<std::ptrdiff_t>(b) * m_reflectors,
                     nullptr,
                     m_cols,
                     m_reflectors,
                     m_blockRows};
}

void TallQR::reduceBlock(int b)
{
    BlockView view = this->view(b);
    view.r = m_r.data();
    reduce(view);
}

std::vector<double> TallQR::applyAdjoint(std::span<const double> v) const
{
    std::vector<double> head(static_cast<std::size_t>(m_reflectors), 0.0);
    std::vector<double> block(static_cast<std::size_t>(m_blockRows));
    for (int b = 0; b < m_blocks; ++b) {
        const auto first = static_cast<std::size_t>(b) * static_cast<std::size_t>(m_blockRows);
        const std::size_t count = std::min(block.size(), v.size() - std::min(v.size(), first));
        std::fill(block.begin(), block.end(), 0.0);
        std::copy_n(v.begin() + static_cast<std::ptrdiff_t>(first), count, block.begin());
        // The kernels only read the block's columns and scalars.
        const BlockView view = this->view(b);
        for (int k = 0; k < m_reflectors; ++k)
            reflect(view, k, head.data(), block.data());
    }
    return head;
}

std::vector<double> TallQR::apply(std::span<const double> head, int rows) const
{
    std::vector<double> top(head.begin(), head.end());
    top.resize(static_cast<std::size_t>(m_reflectors), 0.0);
    std::vector<double> out(static_cast<std::size_t>(m_blocks) * static_cast<std::size_t>(m_blockRows), 0.0);
    for (int b = m_blocks - 1; b >= 0; --b) {
        double* x = out.data() + static_cast<std::ptrdiff_t>(b) * m_blockRows;
        // Q·(head; 0): the block's reflectors in reverse order, x zero on entry.
        const BlockView view = this->view(b);
        for (int k = m_reflectors - 1; k >= 0; --k)
            reflect(view, k, top.data(), x);
    }
    out.resize(static_cast<std::size_t>(std::max(rows, 0)));
    return out;
}

} // namespace kalibron
