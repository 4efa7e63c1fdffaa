#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "regression/leave_one_out.h"

namespace kalibron {

// The cubic smoothing spline through the standards: among all functions g,
// the one minimising
//     Σ wᵢ (yᵢ − g(xᵢ))² + λ ∫ g''(x)² dx,
// a natural cubic spline with a knot at every standard, so a straight line
// before the first and after the last one. λ is chosen by generalised
// cross-validation over 0 < λ < n, exactly as
// scipy.interpolate.make_smoothing_spline(x, y, w, lam=None) chooses it (the
// same basis, criterion, bounded Brent search and λ scale), so that a table
// gives the same curve here and in scipy; a user comparing the two should
// never have to ask which one is right.
//
// Criterion (scipy's, kept as it is even with weights):
//     GCV(λ) = (1/n) Σ (yᵢ − ĝ(xᵢ))² / (1 − tr(H)/n)²
// with unweighted residuals and H the smoother matrix at the standards. λ is
// in the units of the problem above (∫g''² over positions), but searched
// only in (0, n), as scipy does: with standards hundreds of positions apart
// the criterion often still falls at n, and λ then ends just below n.
//
// Everything costs O(n) per λ: banded solves on the natural-spline basis, the
// trace and the leverages from the band of the inverse (Hutchinson and de
// Hoog). The uncertainty needs the band of the coefficients' covariance
// M⁻¹·XᵀWX·M⁻¹ (M = XᵀWX + λΩ), which is not a band inverse itself; it is
// the derivative −d/dt (M + t·XᵀWX)⁻¹ at t = 0, so the same band recursion
// run in dual numbers gives it exactly, again in O(n). u at any position then
// is a quadratic form in the 4×4 block of that band under the position's
// (at most four) basis functions.
//
// Few standards: one gives the constant through it; two or three give the
// weighted least-squares line (the limit λ → ∞; with two it passes through
// both), since with three points scipy's basis does not exist and GCV has
// one residual to judge by. These have no λ. Four standards take the same
// equations as more (scipy 1.10 fails on four; the tests hold them to
// Reinsch's form instead).
class SmoothingSpline {
public:
    // Fits x (strictly ascending), y and weights w (empty: all 1; otherwise
    // finite and positive). lambda: a fixed λ >= 0 instead of the GCV choice
    // (used for refits with the λ of the full set). Empty, with a message in
    // *error, for bad input or a problem the band factorisation cannot take.
    static std::optional<SmoothingSpline> fit(std::span<const double> x, std::span<const double> y,
                                              std::span<const double> w = {},
                                              std::optional<double> lambda = std::nullopt,
                                              std::string* error = nullptr);

    int size() const { return static_cast<int>(m_x.size()); }
    // The chosen (or given) λ; empty for one to three standards.
    std::optional<double> lambda() const { return m_lambda; }
    // Effective degrees of freedom tr(H).
    double degreesOfFreedom() const { return m_df; }
    // ĝ at the standards and the leverages H_ii.
    const std::vector<double>& fitted() const { return m_fitted; }
    const std::vector<double>& leverages() const { return m_leverage; }
    // s with s² = Σ wᵢ rᵢ² / (n − tr(H)); empty when n − tr(H) < 1 (a fit
    // that (all but) interpolates has no scatter to show).
    std::optional<double> scatter() const { return m_scatter; }

    double value(double x) const;
    // u(x) = s·‖W^{-1/2} l(x)‖ with ĝ(x) = l(x)ᵀy; empty without s.
    std::optional<double> uncertainty(double x) const;
    // The same at every position 0..maxX, in O(n + maxX).
    std::vector<double> values(int maxX) const;
    std::vector<std::optional<double>> uncertainties(int maxX) const;

    // Each standard predicted by the fit without it at the same λ, in closed
    // form ŷ(−i) = yᵢ − rᵢ/(1 − H_ii) (the penalised fit of the n − 1 others,
    // also with four standards, where the three left would on their own get
    // the line). With two standards each is predicted by the other one; with
    // one, or where 1 − H_ii is not above 1e-12, there is no prediction.
    std::vector<std::optional<double>> leaveOneOut() const;

private:
    // Every position 0..maxX in one pass over the standards: `single(x)`
    // while there are too few standards for the band form, else
    // `interval(x, k)` with k the interval that holds x.
    template <class Result, class Single, class Interval>
    std::vector<Result> sweep(int maxX, Single single, Interval interval) const;
    SmoothingSpline() = default;

    // ĝ(x) = Σ coef·c over four consecutive basis functions starting at
    // `first`: B-splines (bspline) or natural-spline functions (natural).
    struct Functional {
        int first = 0;
        std::array<double, 4> coef{};
    };
    Functional bspline(double x, int interval) const;
    Functional natural(const Functional& b) const;
    int intervalOf(double x) const;
    double apply(const Functional& b) const;
    std::optional<double> uncertaintyOf(const Functional& f) const;

    std::vector<double> m_x, m_y, m_w;
    std::optional<double> m_lambda;
    double m_df = 0;
    std::vector<double> m_fitted, m_leverage;
    // 1 − H_ii and yᵢ − ĝ(xᵢ), each computed without taking a difference.
    std::vector<double> m_gap, m_residual;
    std::optional<double> m_scatter;
    // Spline case (n >= 4): B-spline coefficients (n + 2), the factors tying
    // the natural basis to the end B-splines, and the band (offsets 0..3) of
    // the natural coefficients' covariance per unit s².
    std::vector<double> m_coef;
    double m_a0 = 0, m_a1 = 0, m_d1 = 0, m_d2 = 0;
    std::vector<std::array<double, 4>> m_cov;
    // Line case (n <= 3): ĝ = m_lineA + m_lineB·(x − m_xbar), with the
    // weighted sums for its variance.
    double m_lineA = 0, m_lineB = 0, m_xbar = 0, m_sumW = 0, m_sxx = 0;
};

// What the ranking needs of the spline through the used standards: its
// values there and each standard's prediction without it, λ chosen once by
// GCV on all of them and held. Without a fit (bad input) every entry is empty.
Predictions smoothingSplinePredictions(std::span<const double> x, std::span<const double> y,
                                       std::span<const double> w = {});

} // namespace kalibron
