#include "regression/smoothing_spline.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kalibron {

namespace {

// A number with its derivative along one direction: running the band
// recursions on these differentiates them exactly, not by a difference step.
struct Dual {
    constexpr Dual(double value = 0, double derivative = 0) : v(value), d(derivative) {}
    double v, d;
};
Dual operator+(Dual a, Dual b) { return {a.v + b.v, a.d + b.d}; }
Dual operator-(Dual a, Dual b) { return {a.v - b.v, a.d - b.d}; }
Dual operator*(Dual a, Dual b) { return {a.v * b.v, a.d * b.v + a.v * b.d}; }
Dual operator/(Dual a, Dual b) { return {a.v / b.v, (a.d * b.v - a.v * b.d) / (b.v * b.v)}; }
Dual sqrtOf(Dual a)
{
    const double r = std::sqrt(a.v);
    return {r, a.d / (2 * r)};
}
double sqrtOf(double a) { return std::sqrt(a); }
double valueOf(double a) { return a; }
double valueOf(Dual a) { return a.v; }

// Upper band (offsets 0..3) of a symmetric matrix: band[i][k] = A(i, i + k).
template <class T> using Band4 = std::vector<std::array<T, 4>>;

// Band of A⁻¹ at offsets 0..3 for symmetric positive definite A of
// bandwidth 3: Cholesky A = UᵀU in the column order of LAPACK's dpbtf2, then
// the recursion of Hutchinson and de Hoog on A = Ũᵀ·D⁻¹·Ũ, Ũ unit upper. The
// operations follow scipy's GCV code, so the trace it sees is the one seen
// here. Three rows of the identity below the matrix let every row run the
// full steps: their terms are exact zeros. The steps are separate so that
// the GCV evaluation can interleave them with the band LU's.
template <class T> void padIdentity(Band4<T>& a, int n)
{
    a.resize(static_cast<std::size_t>(n + 3));
    for (int j = n; j < n + 3; ++j)
        a[j] = {T(1), T(0), T(0), T(0)};
}

// Row j of U and its update of the rows below; false when not positive.
template <class T> inline bool choleskyRow(Band4<T>& a, int j)
{
    auto& row = a[j];
    T ajj = row[0];
    if (!(valueOf(ajj) > 0) || !std::isfinite(valueOf(ajj)))
        return false;
    ajj = sqrtOf(ajj);
    const T inv = T(1) / ajj;
    const T r1 = row[1] * inv, r2 = row[2] * inv, r3 = row[3] * inv;
    row = {ajj, r1, r2, r3};
    // The trailing update column by column, as dsyr runs it.
    const T t1 = T(0) - r1, t2 = T(0) - r2, t3 = T(0) - r3;
    auto& a1 = a[j + 1];
    auto& a2 = a[j + 2];
    auto& a3 = a[j + 3];
    a1[0] = a1[0] + r1 * t1;
    a1[1] = a1[1] + r1 * t2;
    a2[0] = a2[0] + r2 * t2;
    a1[2] = a1[2] + r1 * t3;
    a2[1] = a2[1] + r2 * t3;
    a3[0] = a3[0] + r3 * t3;
    return true;
}

// Row i of the inverse band b from row i of U (rows below already done;
// b holds the identity's inverse in rows n..n+2).
template <class T> inline void inverseRow(const Band4<T>& a, Band4<T>& b, int i)
{
    const auto& row = a[i];
    const T u1 = row[1] / row[0], u2 = row[2] / row[0], u3 = row[3] / row[0];
    const T dinv = T(1) / (row[0] * row[0]);
    const auto& b1 = b[i + 1];
    const auto& b2 = b[i + 2];
    const auto& b3 = b[i + 3];
    auto& bi = b[i];
    // j = 3, 2, 1: −Σ_k Ũ(i, i+k)·B(i + min(k, j), i + max(k, j)).
    bi[3] = ((T(0) - u1 * b1[2]) - u2 * b2[1]) - u3 * b3[0];
    bi[2] = ((T(0) - u1 * b1[1]) - u2 * b2[0]) - u3 * b2[1];
    bi[1] = ((T(0) - u1 * b1[0]) - u2 * b1[1]) - u3 * b1[2];
    bi[0] = (((T(0) - u1 * bi[1]) - u2 * bi[2]) - u3 * bi[3]) + dinv;
}

// a: the n rows of A; on return the band of A⁻¹. b is working space.
// False when A is not positive definite.
template <class T> bool bandInverse(Band4<T>& a, Band4<T>& b)
{
    const int n = static_cast<int>(a.size());
    padIdentity(a, n);
    for (int j = 0; j < n; ++j)
        if (!choleskyRow(a, j))
            return false;
    b.clear();
    padIdentity(b, n);
    for (int i = n - 1; i >= 0; --i)
        inverseRow(a, b, i);
    b.resize(static_cast<std::size_t>(n));
    std::swap(a, b);
    return true;
}

// Coefficients of the divided difference over x[0..m): 1/Π_{k≠i}(x_i − x_k).
std::array<double, 5> dividedDifference(const double* x, int m)
{
    std::array<double, 5> r{};
    for (int i = 0; i < m; ++i) {
        double pp = 1.;
        for (int k = 0; k < m; ++k)
            if (k != i)
                pp *= (x[i] - x[k]);
        r[i] = 1. / pp;
    }
    return r;
}

// The banded pieces of the problem in the natural-spline basis: X (basis at
// the standards, tridiagonal) and W⁻¹E (E with XᵀE = Ω, five bands), as
// scipy's make_smoothing_spline builds them.
struct Problem {
    int n = 0;
    std::vector<double> y, w;
    std::vector<std::array<double, 3>> xb; // X(r, r−1..r+1)
    std::vector<std::array<double, 5>> eb; // W⁻¹E(r, r−2..r+2)
    Band4<double> xtwx, xte;

    double x(int r, int c) const { return (c >= 0 && c < n && std::abs(r - c) <= 1) ? xb[r][c - r + 1] : 0.0; }
    double e(int r, int c) const { return (c >= 0 && c < n && std::abs(r - c) <= 2) ? eb[r][c - r + 2] : 0.0; }
};

// Bands 0..3 of XᵀW·Y for Y = X or W⁻¹E, summed in scipy's order.
template <class Get> Band4<double> xtwBand(const Problem& p, Get yAt)
{
    Band4<double> r(static_cast<std::size_t>(p.n));
    for (int i = 0; i < p.n; ++i)
        for (int j = 0; j < std::min(p.n - i, 4); ++j) {
            double sum = 0;
            for (int q = j; q < 5; ++q) {
                const int row = q - 2 + i;
                if (row < 0 || row >= p.n)
                    continue;
                sum += p.x(row, i) * (yAt(row, i + j) * p.w[row]);
            }
            r[i][j] = sum;
        }
    return r;
}

// Working space of one GCV evaluation, kept across the search.
struct Workspace {
    std::vector<double> lu, c;
    std::vector<int> pivot;
    Band4<double> lhs, inverse;
};

// The band LU of X + λ·W⁻¹E with partial pivoting, in the order of LAPACK's
// dgbtf2/dgbtrs that scipy's solve_banded runs: row r holds columns
// r−2..r+4 (room for the fill of pivoting), with four zero rows above and
// two below so that no step needs a bound (their terms are exact zeros).
constexpr int kLuWidth = 7, kLuAbove = 4;

struct BandLu {
    double* a;
    double* c; // right-hand side, then solution; same padding as the rows
    int* pivot;
    double& at(int r, int col) const { return a[r * kLuWidth + (col - r + 2)]; }
};

BandLu prepareLu(const Problem& p, double lambda, Workspace& ws)
{
    const int n = p.n;
    const auto rows = static_cast<std::size_t>(kLuAbove + n + 2);
    ws.lu.resize(rows * kLuWidth);
    ws.c.resize(rows);
    ws.pivot.resize(static_cast<std::size_t>(n));
    std::fill(ws.lu.begin(), ws.lu.begin() + kLuAbove * kLuWidth, 0.0);
    std::fill(ws.lu.end() - 2 * kLuWidth, ws.lu.end(), 0.0);
    std::fill(ws.c.begin(), ws.c.begin() + kLuAbove, 0.0);
    std::fill(ws.c.end() - 2, ws.c.end(), 0.0);
    BandLu lu{ws.lu.data() + kLuAbove * kLuWidth, ws.c.data() + kLuAbove, ws.pivot.data()};
    // Entries outside the matrix are zero in xb and eb, so whole rows copy.
    for (int r = 0; r < n; ++r) {
        const auto& xr = p.xb[r];
        const auto& er = p.eb[r];
        double* row = lu.a + r * kLuWidth;
        row[0] = 0.0 + lambda * er[0];
        row[1] = xr[0] + lambda * er[1];
        row[2] = xr[1] + lambda * er[2];
        row[3] = xr[2] + lambda * er[3];
        row[4] = 0.0 + lambda * er[4];
        row[5] = row[6] = 0.0;
        lu.c[r] = p.y[r];
    }
    return lu;
}

// Column j of the factorisation, and of the forward substitution (which
// dgbtrs runs after it, with the same operations). False when singular.
inline bool luColumn(const BandLu& lu, int j)
{
    const double v0 = std::abs(lu.at(j, j)), v1 = std::abs(lu.at(j + 1, j)), v2 = std::abs(lu.at(j + 2, j));
    int piv = j;
    double best = v0;
    if (v1 > best) {
        piv = j + 1;
        best = v1;
    }
    if (v2 > best)
        piv = j + 2;
    lu.pivot[j] = piv;
    if (lu.at(piv, j) == 0)
        return false;
    if (piv != j) {
        for (int col = j; col <= j + 4; ++col)
            std::swap(lu.at(j, col), lu.at(piv, col));
        std::swap(lu.c[j], lu.c[piv]);
    }
    const double inv = 1. / lu.at(j, j);
    const double l1 = lu.at(j + 1, j) * inv, l2 = lu.at(j + 2, j) * inv;
    lu.at(j + 1, j) = l1;
    lu.at(j + 2, j) = l2;
    for (int col = j + 1; col <= j + 4; ++col) {
        const double ujc = lu.at(j, col);
        lu.at(j + 1, col) -= l1 * ujc;
        lu.at(j + 2, col) -= l2 * ujc;
    }
    lu.c[j + 1] -= l1 * lu.c[j];
    lu.c[j + 2] -= l2 * lu.c[j];
    return true;
}

// Back substitution at column j, as dtbsv runs it.
inline void luBack(const BandLu& lu, int j)
{
    double& cj = lu.c[j];
    if (cj != 0) {
        cj /= lu.at(j, j);
        const double temp = cj;
        for (int i = j - 1; i >= j - 4; --i)
            lu.c[i] -= temp * lu.at(i, j);
    }
}

// The padded solution as c[0..n).
void takeSolution(Workspace& ws, int n)
{
    ws.c.erase(ws.c.begin(), ws.c.begin() + kLuAbove);
    ws.c.resize(static_cast<std::size_t>(n));
}

// Solves (X + λ·W⁻¹E)·c = y into ws.c. False when singular.
bool solveBanded(const Problem& p, double lambda, Workspace& ws)
{
    const BandLu lu = prepareLu(p, lambda, ws);
    for (int j = 0; j < p.n; ++j)
        if (!luColumn(lu, j))
            return false;
    for (int j = p.n - 1; j >= 0; --j)
        luBack(lu, j);
    takeSolution(ws, p.n);
    return std::all_of(ws.c.begin(), ws.c.end(), [](double v) { return std::isfinite(v); });
}

// GCV(λ) as scipy computes it; NaN when a factorisation fails. The LU of
// the smoothing equations and the Cholesky factor of XᵀWX + λ·XᵀE are
// independent, as are the back substitution and the inverse band: each
// pair runs in one loop so that the processor overlaps their chains.
double gcv(const Problem& p, double lambda, Workspace& ws)
{
    const int n = p.n;
    const BandLu lu = prepareLu(p, lambda, ws);
    // XᵀWX + λ·XᵀE, each row made just before the Cholesky step that first
    // updates it.
    Band4<double>& lhs = ws.lhs;
    lhs.resize(static_cast<std::size_t>(n));
    auto makeRow = [&](int i) {
        for (int k = 0; k < 4; ++k)
            lhs[i][k] = p.xtwx[i][k] + lambda * p.xte[i][k];
    };
    for (int i = 0; i < std::min(n, 3); ++i)
        makeRow(i);
    padIdentity(lhs, n);
    for (int j = 0; j < n; ++j) {
        if (j + 3 < n)
            makeRow(j + 3);
        if (!luColumn(lu, j) || !choleskyRow(lhs, j))
            return std::numeric_limits<double>::quiet_NaN();
    }
    Band4<double>& b = ws.inverse;
    b.clear();
    padIdentity(b, n);
    for (int j = n - 1; j >= 0; --j) {
        luBack(lu, j);
        inverseRow(lhs, b, j);
    }
    // The numerator ‖λ·W⁻¹E·c‖²/n and the trace, in one pass. scipy sums
    // bands 0..2 of the trace only; XᵀWX has no third band, X being
    // tridiagonal.
    const double* c = lu.c;
    double sq = 0, tr = 0;
    for (int i = 0; i < n; ++i) {
        if (!std::isfinite(c[i]))
            return std::numeric_limits<double>::quiet_NaN();
        double res = 0;
        for (int col = std::min(n - 1, i + 2); col >= std::max(0, i - 2); --col)
            res += p.eb[i][col - i + 2] * c[col];
        const double r = lambda * res;
        sq += r * r;
        double col = 0;
        if (i >= 2)
            col += b[i - 2][2] * p.xtwx[i - 2][2] * 2;
        if (i >= 1)
            col += b[i - 1][1] * p.xtwx[i - 1][1] * 2;
        col += b[i][0] * p.xtwx[i][0];
        tr += col;
    }
    const double norm = std::sqrt(sq);
    const double numer = norm * norm / n;
    const double d = 1 - tr / n;
    return numer / (d * d);
}

// Bounded Brent minimisation on (lo, hi), step for step scipy's
// minimize_scalar(method='Bounded') with its default xatol 1e-5 and 500
// evaluations. Empty when it does not converge or meets NaN.
template <class F> std::optional<double> minimiseBounded(F&& func, double lo, double hi)
{
    const double xatol = 1e-5;
    const int maxfun = 500;
    const double sqrtEps = std::sqrt(2.2e-16);
    const double goldenMean = 0.5 * (3.0 - std::sqrt(5.0));
    auto sign = [](double v) { return v > 0 ? 1.0 : (v < 0 ? -1.0 : 0.0); };
    double a = lo, b = hi;
    double fulc = a + goldenMean * (b - a);
    double nfc = fulc, xf = fulc;
    double rat = 0, e = 0;
    double x = xf;
    double fx = func(x);
    int num = 1;
    double fu = std::numeric_limits<double>::infinity();
    double ffulc = fx, fnfc = fx;
    double xm = 0.5 * (a + b);
    double tol1 = sqrtEps * std::abs(xf) + xatol / 3.0;
    double tol2 = 2.0 * tol1;
    bool converged = true;
    while (std::abs(xf - xm) > (tol2 - 0.5 * (b - a))) {
        bool golden = true;
        if (std::abs(e) > tol1) {
            golden = false;
            double r = (xf - nfc) * (fx - ffulc);
            double q = (xf - fulc) * (fx - fnfc);
            double pp = (xf - fulc) * q - (xf - nfc) * r;
            q = 2.0 * (q - r);
            if (q > 0.0)
                pp = -pp;
            q = std::abs(q);
            r = e;
            e = rat;
            if ((std::abs(pp) < std::abs(0.5 * q * r)) && (pp > q * (a - xf)) && (pp < q * (b - xf))) {
                rat = (pp + 0.0) / q;
                x = xf + rat;
                if (((x - a) < tol2) || ((b - x) < tol2)) {
                    const double si = sign(xm - xf) + ((xm - xf) == 0 ? 1.0 : 0.0);
                    rat = tol1 * si;
                }
            } else {
                golden = true;
            }
        }
        if (golden) {
            e = xf >= xm ? a - xf : b - xf;
            rat = goldenMean * e;
        }
        const double si = sign(rat) + (rat == 0 ? 1.0 : 0.0);
        x = xf + si * std::max(std::abs(rat), tol1);
        fu = func(x);
        ++num;
        if (fu <= fx) {
            if (x >= xf)
                a = xf;
            else
                b = xf;
            fulc = nfc;
            ffulc = fnfc;
            nfc = xf;
            fnfc = fx;
            xf = x;
            fx = fu;
        } else {
            if (x < xf)
                a = x;
            else
                b = x;
            if ((fu <= fnfc) || (nfc == xf)) {
                fulc = nfc;
                ffulc = fnfc;
                nfc = x;
                fnfc = fu;
            } else if ((fu <= ffulc) || (fulc == xf) || (fulc == nfc)) {
                fulc = x;
                ffulc = fu;
            }
        }
        xm = 0.5 * (a + b);
        tol1 = sqrtEps * std::abs(xf) + xatol / 3.0;
        tol2 = 2.0 * tol1;
        if (num >= maxfun) {
            converged = false;
            break;
        }
    }
    // An infinite criterion at the end (values near the largest double) has
    // chosen nothing either.
    if (!converged || std::isnan(xf) || !std::isfinite(fx) || std::isnan(fu))
        return std::nullopt;
    return xf;
}

// B-spline basis values B_{k..k+3}(x) of the knots t (x0 three times more at
// each end) for x in [x_k, x_{k+1}], by the Cox–de Boor recursion.
std::array<double, 4> bsplineValues(const std::array<double, 7>& t, double x)
{
    const int ell = 3;
    std::array<double, 4> h{1, 0, 0, 0}, hh{};
    for (int j = 1; j <= 3; ++j) {
        for (int i = 0; i < j; ++i)
            hh[i] = h[i];
        h[0] = 0;
        for (int m = 1; m <= j; ++m) {
            const double xb = t[ell + m];
            const double xa = t[ell + m - j];
            if (xb == xa) {
                h[m] = 0;
                continue;
            }
            const double wgt = hh[m - 1] / (xb - xa);
            h[m - 1] += wgt * (xb - x);
            h[m] = wgt * (x - xa);
        }
    }
    return h;
}

void setError(std::string* error, const char* text)
{
    if (error)
        *error = text;
}

} // namespace

int SmoothingSpline::intervalOf(double x) const
{
    const int n = size();
    if (x < m_x.front())
        return -1;
    if (x > m_x.back())
        return n - 1;
    if (x == m_x.back())
        return n - 2;
    return static_cast<int>(std::upper_bound(m_x.begin(), m_x.end(), x) - m_x.begin()) - 1;
}

// ĝ beyond the end standards continues with the end value and slope:
// g(x0) = c_0 and g'(x0) = 3(c_1 − c_0)/(x1 − x0), likewise at the right end.
SmoothingSpline::Functional SmoothingSpline::bspline(double x, int interval) const
{
    const int n = size();
    Functional f;
    if (interval < 0) {
        const double s = 3 * (x - m_x[0]) / (m_x[1] - m_x[0]);
        f.coef = {1 - s, s, 0, 0};
        f.first = 0;
    } else if (interval > n - 2) {
        const double s = 3 * (x - m_x[n - 1]) / (m_x[n - 1] - m_x[n - 2]);
        f.coef = {0, 0, -s, 1 + s};
        f.first = n - 2;
    } else {
        // Knots t_i = x_{clamp(i − 3)}; the recursion reads t_{k..k+6}.
        std::array<double, 7> t;
        for (int i = 0; i < 7; ++i)
            t[static_cast<std::size_t>(i)] = m_x[static_cast<std::size_t>(std::clamp(interval + i - 3, 0, n - 1))];
        f.coef = bsplineValues(t, x);
        f.first = interval;
    }
    return f;
}

// B_0, B_1 belong to natural functions 0 and 1, B_m (2 <= m <= n−1) is
// natural function m − 1, B_n, B_{n+1} belong to natural functions n−2 and
// n−1; four consecutive B-splines touch at most four consecutive natural ones.
SmoothingSpline::Functional SmoothingSpline::natural(const Functional& b) const
{
    const int n = size();
    Functional f;
    f.first = std::clamp(b.first - 1, 0, n - 4);
    auto add = [&](int j, double v) { f.coef[static_cast<std::size_t>(j - f.first)] += v; };
    for (int i = 0; i < 4; ++i) {
        const int m = b.first + i;
        const double v = b.coef[static_cast<std::size_t>(i)];
        if (m <= 1) {
            add(0, (m == 0 ? m_a0 : m_a1) * v);
            add(1, v);
        } else if (m <= n - 1) {
            add(m - 1, v);
        } else {
            add(n - 1, (m == n ? m_d1 : m_d2) * v);
            add(n - 2, v);
        }
    }
    return f;
}

double SmoothingSpline::apply(const Functional& b) const
{
    double v = 0;
    for (int i = 0; i < 4; ++i)
        v += m_coef[static_cast<std::size_t>(b.first + i)] * b.coef[static_cast<std::size_t>(i)];
    return v;
}

std::optional<double> SmoothingSpline::uncertaintyOf(const Functional& f) const
{
    if (!m_scatter)
        return std::nullopt;
    double q = 0;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            const int p = f.first + std::min(i, j);
            q += f.coef[i] * f.coef[j] * m_cov[static_cast<std::size_t>(p)][std::abs(i - j)];
        }
    const double u = *m_scatter * std::sqrt(std::max(q, 0.0));
    return std::isfinite(u) ? std::optional<double>(u) : std::nullopt;
}

std::optional<SmoothingSpline> SmoothingSpline::fit(std::span<const double> x, std::span<const double> y,
                                                    std::span<const double> w, std::optional<double> lambda,
                                                    std::string* error)
{
    const int n = static_cast<int>(x.size());
    if (n == 0) {
        setError(error, "The smoothing spline needs at least one standard.");
        return std::nullopt;
    }
    if (y.size() != x.size() || (!w.empty() && w.size() != x.size())) {
        setError(error, "The smoothing spline needs as many values and weights as positions.");
        return std::nullopt;
    }
    for (int i = 0; i < n; ++i) {
        if (!std::isfinite(x[i]) || !std::isfinite(y[i]) || (i > 0 && !(x[i] > x[i - 1]))) {
            setError(error, "The smoothing spline needs finite values at strictly ascending positions.");
            return std::nullopt;
        }
        if (!w.empty() && !(w[i] > 0 && std::isfinite(w[i]))) {
            setError(error, "The smoothing spline needs positive finite weights.");
            return std::nullopt;
        }
    }
    if (lambda && !(*lambda >= 0 && std::isfinite(*lambda))) {
        setError(error, "The smoothing parameter must be zero or positive.");
        return std::nullopt;
    }

    SmoothingSpline s;
    s.m_x.assign(x.begin(), x.end());
    s.m_y.assign(y.begin(), y.end());
    s.m_w = w.empty() ? std::vector<double>(static_cast<std::size_t>(n), 1.0) : std::vector<double>(w.begin(), w.end());

    if (n <= 3) {
        double sw = 0, swx = 0, swy = 0;
        for (int i = 0; i < n; ++i) {
            sw += s.m_w[i];
            swx += s.m_w[i] * x[i];
            swy += s.m_w[i] * y[i];
        }
        s.m_sumW = sw;
        s.m_xbar = swx / sw;
        s.m_lineA = swy / sw;
        double sxx = 0, sxy = 0;
        for (int i = 0; i < n; ++i) {
            const double d = x[i] - s.m_xbar;
            sxx += s.m_w[i] * d * d;
            sxy += s.m_w[i] * d * (y[i] - s.m_lineA);
        }
        s.m_sxx = sxx;
        s.m_lineB = n > 1 ? sxy / sxx : 0.0;
        s.m_df = n > 1 ? 2 : 1;
        double rss = 0;
        for (int i = 0; i < n; ++i) {
            const double d = x[i] - s.m_xbar;
            s.m_fitted.push_back(s.m_lineA + s.m_lineB * d);
            s.m_leverage.push_back(s.m_w[i] * (1 / sw + (n > 1 ? d * d / sxx : 0.0)));
            s.m_gap.push_back(1 - s.m_leverage.back());
            const double r = y[i] - s.m_fitted.back();
            s.m_residual.push_back(r);
            rss += s.m_w[i] * r * r;
        }
        if (n == 3 && std::isfinite(rss))
            s.m_scatter = std::sqrt(rss / (n - s.m_df));
        return s;
    }

    // The natural-spline basis of scipy: B-splines on x with the end knots
    // taken three more times, the two at each end combined so that g'' = 0
    // there (the factors a0, a1, d1, d2).
    s.m_a0 = x[2] + x[1] - 2 * x[0];
    s.m_a1 = x[2] - x[0];
    s.m_d1 = x[n - 1] - x[n - 3];
    s.m_d2 = 2 * x[n - 1] - x[n - 2] - x[n - 3];

    Problem p;
    p.n = n;
    p.y = s.m_y;
    p.w = s.m_w;
    p.xb.assign(static_cast<std::size_t>(n), {});
    for (int i = 0; i < n; ++i) {
        const Functional f = s.natural(s.bspline(x[i], std::min(i, n - 2)));
        for (int j = 0; j < 4; ++j) {
            const int c = f.first + j;
            if (std::abs(c - i) <= 1)
                p.xb[i][c - i + 1] = f.coef[j];
        }
    }
    p.eb.assign(static_cast<std::size_t>(n), {});
    auto setColumn = [&](int col, int firstRow, int count, double factor) {
        const std::array<double, 5> dd = dividedDifference(&x[firstRow], count);
        for (int k = 0; k < count; ++k) {
            const int r = firstRow + k;
            p.eb[r][col - r + 2] = factor * dd[k] / p.w[r] * 6;
        }
    };
    // scipy writes the columns in this order; for n = 4 the last two
    // overwrite nothing the first two wrote, as there.
    setColumn(0, 0, 3, 1.0);
    setColumn(1, 0, 4, 1.0);
    for (int j = 2; j < n - 2; ++j)
        setColumn(j, j - 2, 5, x[j + 2] - x[j - 2]);
    setColumn(n - 2, n - 4, 4, -1.0);
    setColumn(n - 1, n - 3, 3, 1.0);
    p.xtwx = xtwBand(p, [&](int r, int c) { return p.x(r, c); });
    p.xte = xtwBand(p, [&](int r, int c) { return p.e(r, c); });

    double lam = 0;
    Workspace ws;
    if (lambda) {
        lam = *lambda;
    } else {
        const auto best = minimiseBounded([&](double l) { return gcv(p, l, ws); }, 0.0, static_cast<double>(n));
        if (!best) {
            setError(error, "The smoothing parameter could not be chosen: the problem is ill-posed.");
            return std::nullopt;
        }
        lam = *best;
    }
    s.m_lambda = lam;

    if (!solveBanded(p, lam, ws)) {
        setError(error, "The smoothing spline's equations are singular.");
        return std::nullopt;
    }
    const std::vector<double>& c = ws.c;
    // B-spline coefficients, as scipy forms them, for the values.
    s.m_coef.assign(static_cast<std::size_t>(n + 2), 0.0);
    s.m_coef[0] = c[0] * s.m_a0 + c[1];
    s.m_coef[1] = c[0] * s.m_a1 + c[1];
    for (int i = 1; i < n - 1; ++i)
        s.m_coef[static_cast<std::size_t>(i + 1)] = c[i];
    s.m_coef[n] = c[n - 1] * s.m_d1 + c[n - 2];
    s.m_coef[n + 1] = c[n - 1] * s.m_d2 + c[n - 2];
    if (!std::all_of(s.m_coef.begin(), s.m_coef.end(), [](double v) { return std::isfinite(v); })) {
        setError(error, "The smoothing spline's values are out of range.");
        return std::nullopt;
    }

    // Band of (M + t·XᵀWX)⁻¹ and its t-derivative at 0, whose negative is
    // the band of the covariance M⁻¹·XᵀWX·M⁻¹ per unit s².
    Band4<Dual> m(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        for (int k = 0; k < 4; ++k)
            m[i][k] = Dual{p.xtwx[i][k] + lam * p.xte[i][k], p.xtwx[i][k]};
    Band4<Dual> mWork;
    if (!bandInverse(m, mWork)) {
        setError(error, "The smoothing spline's equations are not positive definite.");
        return std::nullopt;
    }
    s.m_cov.assign(static_cast<std::size_t>(n), {});
    for (int i = 0; i < n; ++i)
        for (int k = 0; k < 4; ++k)
            s.m_cov[i][k] = -m[i][k].d;

    // 1 − H_ii and the residuals without the cancellation of 1 − H_ii and
    // y − ĝ when the fit nearly interpolates: Reinsch's form gives
    // I − H = λ·W⁻¹Q·(R + λ·QᵀW⁻¹Q)⁻¹·Qᵀ with Q (second divided differences)
    // and R (tridiagonal) of the knot spacings, and the residual is
    // r = λ·W⁻¹E·c, the quantity scipy's criterion takes as well.
    std::vector<double> h(static_cast<std::size_t>(n - 1));
    for (int i = 0; i + 1 < n; ++i)
        h[i] = x[i + 1] - x[i];
    // q(i, j): Q at standard i and interior knot j (1..n−2).
    auto q = [&](int i, int j) {
        if (i == j - 1)
            return 1 / h[j - 1];
        if (i == j)
            return -1 / h[j - 1] - 1 / h[j];
        if (i == j + 1)
            return 1 / h[j];
        return 0.0;
    };
    Band4<double> a(static_cast<std::size_t>(n - 2));
    for (int j = 1; j <= n - 2; ++j)
        for (int k = 0; k < 4 && j + k <= n - 2; ++k) {
            double sum = 0;
            for (int i = j + k - 1; i <= j + 1; ++i)
                sum += q(i, j) * q(i, j + k) / s.m_w[i];
            const double r = k == 0 ? (h[j - 1] + h[j]) / 3 : (k == 1 ? h[j] / 6 : 0.0);
            a[j - 1][k] = r + lam * sum;
        }
    if (!bandInverse(a, ws.inverse)) {
        setError(error, "The smoothing spline's equations are not positive definite.");
        return std::nullopt;
    }
    auto ainv = [&](int j, int k) { return j <= k ? a[j - 1][k - j] : a[k - 1][j - k]; };
    double rss = 0, dfGap = 0;
    for (int i = 0; i < n; ++i) {
        double gap = 0;
        for (int j = std::max(1, i - 1); j <= std::min(n - 2, i + 1); ++j)
            for (int k = std::max(1, i - 1); k <= std::min(n - 2, i + 1); ++k)
                gap += q(i, j) * ainv(j, k) * q(i, k);
        gap *= lam / s.m_w[i];
        s.m_gap.push_back(gap);
        s.m_leverage.push_back(1 - gap);
        dfGap += gap;
        double ec = 0;
        for (int col = std::max(0, i - 2); col <= std::min(n - 1, i + 2); ++col)
            ec += p.e(i, col) * c[col];
        const double r = lam * ec;
        s.m_residual.push_back(r);
        s.m_fitted.push_back(p.x(i, i - 1) * (i > 0 ? c[i - 1] : 0.0) + p.x(i, i) * c[i] +
                             p.x(i, i + 1) * (i + 1 < n ? c[i + 1] : 0.0));
        rss += s.m_w[i] * r * r;
    }
    s.m_df = n - dfGap;
    // As a regression needs n > p: less than one residual degree of freedom
    // leaves no scatter to estimate (GCV may all but interpolate a few
    // standards, and RSS / (n − tr H) is then noise over nothing).
    if (dfGap >= 1 && std::isfinite(rss / dfGap))
        s.m_scatter = std::sqrt(rss / dfGap);
    return s;
}

double SmoothingSpline::value(double x) const
{
    if (size() <= 3)
        return m_lineA + m_lineB * (x - m_xbar);
    return apply(bspline(x, intervalOf(x)));
}

std::optional<double> SmoothingSpline::uncertainty(double x) const
{
    if (size() <= 3) {
        if (!m_scatter)
            return std::nullopt;
        const double d = x - m_xbar;
        return *m_scatter * std::sqrt(1 / m_sumW + d * d / m_sxx);
    }
    return uncertaintyOf(natural(bspline(x, intervalOf(x))));
}

template <class Result, class Single, class Interval>
std::vector<Result> SmoothingSpline::sweep(int maxX, Single single, Interval interval) const
{
    std::vector<Result> out;
    out.reserve(static_cast<std::size_t>(std::max(maxX + 1, 0)));
    int k = -1;
    const int n = size();
    for (int pos = 0; pos <= maxX; ++pos) {
        const double x = pos;
        if (n <= 3) {
            out.push_back(single(x));
            continue;
        }
        while (k < n - 1 && !(x < m_x[static_cast<std::size_t>(k + 1)]))
            ++k;
        // k: last standard at or before x; the interval ending at the last
        // standard holds it, and beyond it the line takes over.
        out.push_back(interval(x, (k == n - 1 && x == m_x.back()) ? n - 2 : k));
    }
    return out;
}

std::vector<double> SmoothingSpline::values(int maxX) const
{
    return sweep<double>(
        maxX, [&](double x) { return value(x); }, [&](double x, int i) { return apply(bspline(x, i)); });
}

std::vector<std::optional<double>> SmoothingSpline::uncertainties(int maxX) const
{
    return sweep<std::optional<double>>(
        maxX, [&](double x) { return uncertainty(x); },
        [&](double x, int i) { return uncertaintyOf(natural(bspline(x, i))); });
}

std::vector<std::optional<double>> SmoothingSpline::leaveOneOut() const
{
    const int n = size();
    std::vector<std::optional<double>> out(static_cast<std::size_t>(n));
    if (n == 2) {
        out[0] = m_y[1];
        out[1] = m_y[0];
        return out;
    }
    if (n < 2)
        return out;
    for (int i = 0; i < n; ++i) {
        const double gap = m_gap[static_cast<std::size_t>(i)];
        if (gap > 1e-12) {
            const double r = m_residual[static_cast<std::size_t>(i)];
            const double predicted = m_y[static_cast<std::size_t>(i)] - r / gap;
            if (std::isfinite(predicted))
                out[static_cast<std::size_t>(i)] = predicted;
        }
    }
    return out;
}

Predictions smoothingSplinePredictions(std::span<const double> x, std::span<const double> y, std::span<const double> w)
{
    Predictions out;
    out.fitted.assign(x.size(), std::nullopt);
    out.withoutEach.assign(x.size(), std::nullopt);
    const auto spline = SmoothingSpline::fit(x, y, w);
    if (!spline)
        return out;
    out.fitted.assign(spline->fitted().begin(), spline->fitted().end());
    out.withoutEach = spline->leaveOneOut();
    return out;
}

} // namespace kalibron
