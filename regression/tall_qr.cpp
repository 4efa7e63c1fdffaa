#include "regression/tall_qr.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>

// Vectors wider than the baseline's pass only between functions inlined into
// one of the width-specific kernels below, never across a call.
#pragma GCC diagnostic ignored "-Wpsabi"

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

// The kernels are written once over a vector of L doubles and built for L =
// 2 (every x86-64 processor), 4 (AVX2) and 8 (AVX-512F). A sum over rows
// runs as sixteen running sums (row i into sum i mod 16) whatever L is,
// elementwise, folded in one fixed order at the end; multiplies and adds
// are never fused (the library builds with -ffp-contract=off). Every width
// gives the same bits.
using Pair = double __attribute__((vector_size(16)));
using Quad = double __attribute__((vector_size(32)));
using Octet = double __attribute__((vector_size(64)));

constexpr int kGroup = 16; // rows a step takes

template <class V> constexpr int lanes() { return static_cast<int>(sizeof(V) / sizeof(double)); }

template <class V> [[gnu::always_inline]] inline V load(const double* p)
{
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class V> [[gnu::always_inline]] inline void store(double* p, V v) { std::memcpy(p, &v, sizeof v); }

template <class V> [[gnu::always_inline]] inline V splat(double g)
{
    V v;
    for (int l = 0; l < lanes<V>(); ++l)
        v[l] = g;
    return v;
}

// Σ a_i·b_i over len rows (a multiple of kGroup).
template <class V> [[gnu::always_inline]] inline double dot(const double* a, const double* b, int len)
{
    constexpr int L = lanes<V>(), G = kGroup / L;
    V s[G];
    for (int g = 0; g < G; ++g)
        s[g] = splat<V>(0);
    for (int i = 0; i < len; i += kGroup) {
        for (int g = 0; g < G; ++g)
            s[g] += load<V>(a + i + g * L) * load<V>(b + i + g * L);
    }
    double p[kGroup];
    std::memcpy(p, s, sizeof p);
    double q[kGroup / 2];
    for (int j = 0; j < kGroup / 2; ++j)
        q[j] = p[j] + p[j + kGroup / 2];
    return ((q[0] + q[4]) + (q[2] + q[6])) + ((q[1] + q[5]) + (q[3] + q[7]));
}

// b −= g·a over len rows (a multiple of kGroup).
template <class V> [[gnu::always_inline]] inline void subtractScaled(double* b, double g, const double* a, int len)
{
    const V gg = splat<V>(g);
    for (int i = 0; i < len; i += lanes<V>())
        store<V>(b + i, load<V>(b + i) - gg * load<V>(a + i));
}

template <class V> [[gnu::always_inline]] inline void scale(double* a, double g, int len)
{
    const V gg = splat<V>(g);
    for (int i = 0; i < len; i += lanes<V>())
        store<V>(a + i, load<V>(a + i) * gg);
}

template <class V> [[gnu::always_inline]] inline void reduce(const BlockView& b)
{
    for (int k = 0; k < b.reflectors; ++k) {
        double* v = b.column(k);
        double& alpha = b.r[k * b.cols + k];
        // H = I − τ·u·uᵀ, u = (1 at row k of the triangle; v/(α − β)),
        // takes (α; v) to (β; 0).
        const double tail = dot<V>(v, v, b.len);
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
            const double w = top + dot<V>(v, a, b.len) * inverse;
            top -= tau * w;
            subtractScaled<V>(a, tau * w * inverse, v, b.len);
        }
        scale<V>(v, inverse, b.len);
    }
}

// (head; x) −= reflector k applied to it, x of len rows.
template <class V> [[gnu::always_inline]] inline void reflect(const BlockView& b, int k, double* head, double* x)
{
    if (b.tau[k] == 0)
        return;
    const double* u = b.column(k);
    const double s = b.tau[k] * (head[k] + dot<V>(u, x, b.len));
    head[k] -= s;
    subtractScaled<V>(x, s, u, b.len);
}

// head −= the block's reflectors applied to (head; x), x of len rows.
template <class V> [[gnu::always_inline]] inline void adjoint(const BlockView& b, double* head, double* x)
{
    for (int k = 0; k < b.reflectors; ++k)
        reflect<V>(b, k, head, x);
}

// x = the block's rows of Q·(head; x) for x zero on entry, the block's
// reflectors in reverse order.
template <class V> [[gnu::always_inline]] inline void forward(const BlockView& b, double* head, double* x)
{
    for (int k = b.reflectors - 1; k >= 0; --k)
        reflect<V>(b, k, head, x);
}

__attribute__((target("avx512f"))) void reduceOctets(const BlockView& b) { reduce<Octet>(b); }
__attribute__((target("avx2"))) void reduceQuads(const BlockView& b) { reduce<Quad>(b); }
void reducePairs(const BlockView& b) { reduce<Pair>(b); }

__attribute__((target("avx512f"))) void adjointOctets(const BlockView& b, double* head, double* x)
{
    adjoint<Octet>(b, head, x);
}
__attribute__((target("avx2"))) void adjointQuads(const BlockView& b, double* head, double* x)
{
    adjoint<Quad>(b, head, x);
}
void adjointPairs(const BlockView& b, double* head, double* x) { adjoint<Pair>(b, head, x); }

__attribute__((target("avx512f"))) void forwardOctets(const BlockView& b, double* head, double* x)
{
    forward<Octet>(b, head, x);
}
__attribute__((target("avx2"))) void forwardQuads(const BlockView& b, double* head, double* x)
{
    forward<Quad>(b, head, x);
}
void forwardPairs(const BlockView& b, double* head, double* x) { forward<Pair>(b, head, x); }

// The widest vectors this processor has (and its system saves).
int widestVectors()
{
    static const int width = [] {
        __builtin_cpu_init();
        if (__builtin_cpu_supports("avx512f"))
            return 8;
        if (__builtin_cpu_supports("avx2"))
            return 4;
        return 2;
    }();
    return width;
}

std::atomic<int> chosenWidth{0};

int vectorWidth()
{
    const int chosen = chosenWidth.load(std::memory_order_relaxed);
    return chosen != 0 ? chosen : widestVectors();
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

int tallQRVectorWidth() { return vectorWidth(); }

void setTallQRVectorWidth(int width)
{
    chosenWidth.store(width == 2 || (width == 4 && widestVectors() >= 4) || (width == 8 && widestVectors() >= 8) ? width
                                                                                                                 : 0,
                      std::memory_order_relaxed);
}

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
    switch (vectorWidth()) {
    case 8:
        reduceOctets(view);
        break;
    case 4:
        reduceQuads(view);
        break;
    default:
        reducePairs(view);
    }
}

std::vector<double> TallQR::applyAdjoint(std::span<const double> v) const
{
    std::vector<double> head(static_cast<std::size_t>(m_reflectors), 0.0);
    std::vector<double> block(static_cast<std::size_t>(m_blockRows));
    const int width = vectorWidth();
    for (int b = 0; b < m_blocks; ++b) {
        const auto first = static_cast<std::size_t>(b) * static_cast<std::size_t>(m_blockRows);
        const std::size_t count = std::min(block.size(), v.size() - std::min(v.size(), first));
        std::fill(block.begin(), block.end(), 0.0);
        std::copy_n(v.begin() + static_cast<std::ptrdiff_t>(first), count, block.begin());
        // The kernels only read the block's columns and scalars.
        const BlockView view = this->view(b);
        if (width == 8)
            adjointOctets(view, head.data(), block.data());
        else if (width == 4)
            adjointQuads(view, head.data(), block.data());
        else
            adjointPairs(view, head.data(), block.data());
    }
    return head;
}

std::vector<double> TallQR::apply(std::span<const double> head, int rows) const
{
    std::vector<double> top(head.begin(), head.end());
    top.resize(static_cast<std::size_t>(m_reflectors), 0.0);
    std::vector<double> out(static_cast<std::size_t>(m_blocks) * static_cast<std::size_t>(m_blockRows), 0.0);
    const int width = vectorWidth();
    for (int b = m_blocks - 1; b >= 0; --b) {
        double* x = out.data() + static_cast<std::ptrdiff_t>(b) * m_blockRows;
        const BlockView view = this->view(b);
        if (width == 8)
            forwardOctets(view, top.data(), x);
        else if (width == 4)
            forwardQuads(view, top.data(), x);
        else
            forwardPairs(view, top.data(), x);
    }
    out.resize(static_cast<std::size_t>(std::max(rows, 0)));
    return out;
}

} // namespace kalibron
