#pragma once

#include <memory>
#include <span>
#include <vector>

namespace kalibron {

// Householder QR of a tall matrix A (rows × cols, rows >= 1, cols small)
// whose rows arrive a block at a time: each block is reduced against the
// triangle of the rows before it while it is still in the first-level
// cache (the sequential form of a tall-skinny QR). Reflectors are made for
// the first `reflectors` columns; the columns after them (a right-hand side)
// are only transformed, so their leading entries become Q₁ᵀ times them.
//   Aᵀ = [B_1ᵀ … B_pᵀ], H_k of block b acts on row k of the triangle and on
//   the rows of B_b; Qᵀ = Π over blocks and k of H_k, A = Q·[R; 0].
// Sums run in a fixed order of their own (independent of how the compiler
// vectorises them), so every machine gives the same bits.
// A column whose remaining part is zero gets no reflection (τ = 0).

struct BlockView;

class TallQR {
public:
    TallQR(int rows, int cols, int reflectors);

    int blockRows() const { return m_blockRows; }
    int blocks() const { return m_blocks; }

    // Column j (0 .. cols − 1) of block b: blockRows() entries, rows
    // b·blockRows() … of A, to be filled in full before the block is
    // reduced; rows beyond the last row of A are zero already and stay so.
    double* column(int b, int j) { return m_data.get() + offset(b, j); }

    // Reduces block b; blocks are to be reduced in order 0, 1, … after
    // each is filled.
    void reduceBlock(int b);

    // R(i, j), i <= j: the triangle after the blocks reduced so far.
    double r(int i, int j) const { return m_r[static_cast<std::size_t>(i * m_cols + j)]; }

    // The first reflectors() entries of Qᵀv for v of length rows.
    std::vector<double> applyAdjoint(std::span<const double> v) const;

    // Q·(head; 0): its first `rows` entries (head has reflectors() entries;
    // Q·(R₁δ; 0) = A₁·δ for A₁ the reflected columns).
    std::vector<double> apply(std::span<const double> head, int rows) const;

    int reflectors() const { return m_reflectors; }

private:
    // Block b's columns and reflector scalars, without the triangle.
    BlockView view(int b) const;
    std::size_t offset(int b, int j) const
    {
        return (static_cast<std::size_t>(b) * static_cast<std::size_t>(m_cols) + static_cast<std::size_t>(j)) *
            static_cast<std::size_t>(m_blockRows);
    }

    int m_cols, m_reflectors, m_blockRows, m_blocks;
    std::unique_ptr<double[]> m_data; // blocks, each column-major blockRows × cols
    std::vector<double> m_tau;        // per block, per reflector
    std::vector<double> m_r;          // cols × cols, row-major
};

} // namespace kalibron
