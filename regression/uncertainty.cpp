#include "regression/uncertainty.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <Eigen/Dense>

#include "core/store.h"
#include "regression/clenshaw.h"

namespace kalibron {

namespace {

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

// The spread a weighted fit's u is scaled by: the scatter is only trusted
// to enlarge the errors the user gave, never to shrink them.
double scatterFactor(double chi2, int dof, bool weighted, FitUncertainty& out)
{
    const double ratio = chi2 / dof;
    out.dof = dof;
    if (weighted) {
        out.mswd = ratio;
        return std::max(1.0, std::sqrt(ratio));
    }
    out.s = std::sqrt(ratio);
    return *out.s;
}

} // namespace

std::optional<std::vector<double>> yErrorWeights(const Store& store, int first, int last)
{
    if (store.nCols < 3)
        return std::nullopt;
    std::vector<double> w;
    for (int x = std::max(first, 0); x <= last; ++x) {
        if (!store.isUsed(x))
            continue;
        const ValueCell& e = store.Yerr[static_cast<std::size_t>(x)];
        if (!e.isNumber() || !(e.value() > 0))
            return std::nullopt;
        const double weight = 1.0 / (e.value() * e.value());
        if (!std::isfinite(weight) || !(weight > 0))
            return std::nullopt;
        w.push_back(weight);
    }
    return w;
}

std::optional<CentredLine> centredLine(std::span<const double> g, std::span<const double> y, std::span<const double> w)
{
    const std::size_t n = std::min(g.size(), y.size());
    const bool weighted = !w.empty();
    if (n < 2 || (weighted && w.size() < n))
        return std::nullopt;
    auto weight = [&](std::size_t i) { return weighted ? w[i] : 1.0; };
    CentredLine line;
    line.n = static_cast<int>(n);
    double sgw = 0, syw = 0;
    for (std::size_t i = 0; i < n; ++i) {
        line.sumW += weight(i);
        sgw += weight(i) * g[i];
        syw += weight(i) * y[i];
    }
    line.gMean = sgw / line.sumW;
    const double yMean = syw / line.sumW;
    double sgy = 0, syy = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double dg = g[i] - line.gMean, dy = y[i] - yMean;
        line.sgg += weight(i) * dg * dg;
        sgy += weight(i) * dg * dy;
        syy += weight(i) * dy * dy;
    }
    if (!(line.sgg > 0) || !std::isfinite(line.sgg))
        return std::nullopt;
    line.b = sgy / line.sgg;
    line.a = yMean - line.b * line.gMean;
    for (std::size_t i = 0; i < n; ++i) {
        // About the centred form, which loses nothing far from g = 0.
        const double r = (y[i] - yMean) - line.b * (g[i] - line.gMean);
        line.chi2 += weight(i) * r * r;
    }
    if (syy > 0)
        line.r = sgy / std::sqrt(line.sgg * syy);
    if (!std::isfinite(line.a) || !std::isfinite(line.b) || !std::isfinite(line.chi2))
        return std::nullopt;
    return line;
}

FitUncertainty lineUncertainty(const CentredLine& line, bool weighted, int last, bool logarithmic)
{
    FitUncertainty out;
    if (line.n <= 2 || last < 0)
        return out;
    const double sigma = scatterFactor(line.chi2, line.n - 2, weighted, out);
    const double invW = 1.0 / line.sumW, invS = 1.0 / line.sgg;
    out.u.resize(static_cast<std::size_t>(last) + 1);
    for (int x = 0; x <= last; ++x) {
        if (logarithmic && x == 0) {
            out.u[0] = kNoValue;
            continue;
        }
        const double d = (logarithmic ? std::log(static_cast<double>(x)) : x) - line.gMean;
        out.u[static_cast<std::size_t>(x)] = sigma * std::sqrt(invW + d * d * invS);
    }
    return out;
}

FitUncertainty polynomialUncertainty(const PolynomialFit& fit, bool weighted, int last)
{
    FitUncertainty out;
    const int m = fit.stable.degree + 1;
    if (!fit.stable.fitted() || fit.n <= m || last < 0)
        return out;
    const auto mm = static_cast<std::size_t>(m);
    if (fit.r.size() != mm * mm || fit.pivot.size() != mm)
        return out;
    const double sigma = scatterFactor(fit.rss, fit.n - m, weighted, out);
    // L = R⁻ᵀ once, by forward substitution on the unit vectors: then
    // z = L·Pᵀf(x) at each position is a product without a division, each
    // z_j over the rows T_pivot[i], i <= j.
    std::vector<double> l(mm * mm, 0.0); // row-major, l[j·m + i], i <= j
    for (std::size_t k = 0; k < mm; ++k) {
        for (std::size_t j = k; j < mm; ++j) {
            const double* column = fit.r.data() + j * mm;
            double s = j == k ? 1.0 : 0.0;
            for (std::size_t i = k; i < j; ++i)
                s -= column[i] * l[i * mm + k];
            l[j * mm + k] = s / column[j];
        }
    }
    // A block of positions at a time: each inner loop runs over the block,
    // which the compiler vectorises; every position sees the same operations
    // in the same order as alone.
    constexpr std::size_t kBlock = 256;
    const auto count = static_cast<std::size_t>(last) + 1;
    out.u.resize(count);
    std::vector<double> rows(mm * kBlock), h(kBlock);
    auto row = [&](std::size_t k) { return rows.data() + k * kBlock; };
    const long double centre = fit.stable.centreTwice(), inverse = fit.stable.inverseWidth();
    for (std::size_t first = 0; first < count; first += kBlock) {
        const std::size_t n = std::min(kBlock, count - first);
        for (std::size_t i = 0; i < kBlock; ++i) {
            row(0)[i] = 1;
            if (m > 1)
                row(1)[i] = PolyChebyshev::scaled(static_cast<double>(first + i), centre, inverse);
        }
        for (std::size_t k = 2; k < mm; ++k) {
            double* tk = row(k);
            const double *t = row(1), *t1 = row(k - 1), *t2 = row(k - 2);
            for (std::size_t i = 0; i < kBlock; ++i)
                tk[i] = 2.0 * t[i] * t1[i] - t2[i];
        }
        std::fill(h.begin(), h.end(), 0.0);
        for (std::size_t j = 0; j < mm; ++j) {
            for (std::size_t i = 0; i < kBlock; ++i) {
                double z = 0.0;
                for (std::size_t k = 0; k <= j; ++k)
                    z += l[j * mm + k] * row(static_cast<std::size_t>(fit.pivot[k]))[i];
                h[i] += z * z;
            }
        }
        for (std::size_t i = 0; i < n; ++i)
            out.u[first + i] = sigma * std::sqrt(h[i]);
    }
    return out;
}

PolynomialFit weightedPolynomialFit(std::span<const double> x, std::span<const double> y, std::span<const double> w,
                                    int degree)
{
    PolynomialFit fit;
    const std::size_t n = std::min({x.size(), y.size(), w.size()});
    if (degree < 0 || degree > kMaxPolynomialDegree || n < static_cast<std::size_t>(degree) + 1)
        return fit;
    const int m = degree + 1;
    const auto rows = static_cast<Eigen::Index>(n);
    fit.status = PolynomialStatus::Singular;
    PolyChebyshev stable;
    stable.a = *std::min_element(x.begin(), x.begin() + rows);
    stable.b = *std::max_element(x.begin(), x.begin() + rows);
    if (!std::isfinite(stable.a) || !std::isfinite(stable.b))
        return fit;

    std::vector<double> t(n);
    for (std::size_t i = 0; i < n; ++i)
        t[i] = stable.scaled(x[i]);
    Eigen::MatrixXd v(rows, m);
    Eigen::VectorXd rhs(rows), root(rows);
    for (Eigen::Index i = 0; i < rows; ++i) {
        const auto k = static_cast<std::size_t>(i);
        root(i) = std::sqrt(w[k]);
        v(i, 0) = 1;
        if (m > 1)
            v(i, 1) = t[k];
        for (int j = 2; j < m; ++j)
            v(i, j) = 2 * t[k] * v(i, j - 1) - v(i, j - 2);
        v.row(i) *= root(i);
        rhs(i) = root(i) * y[k];
    }
    const Eigen::ColPivHouseholderQR<Eigen::MatrixXd> qr(v);
    const Eigen::MatrixXd r = qr.matrixQR().topRows(m).triangularView<Eigen::Upper>();
    const double r00 = std::abs(r(0, 0));
    for (int k = 0; k < m; ++k) {
        if (!std::isfinite(r(k, k)) || !(std::abs(r(k, k)) > kRankTolerance * r00))
            return fit;
    }
    Eigen::VectorXd c = qr.solve(rhs);
    for (int k = 0; k < m; ++k)
        stable.c[static_cast<std::size_t>(k)] = c(k);
    stable.degree = degree;

    // One refinement step against the residual of the long double form.
    Eigen::VectorXd residual(rows);
    for (Eigen::Index i = 0; i < rows; ++i) {
        const auto k = static_cast<std::size_t>(i);
        residual(i) = root(i) * static_cast<double>(y[k] - clenshawValue(stable, t[k]));
    }
    const Eigen::VectorXd correction = qr.solve(residual);
    for (int k = 0; k < m; ++k) {
        stable.c[static_cast<std::size_t>(k)] += correction(k);
        if (!std::isfinite(static_cast<double>(stable.c[static_cast<std::size_t>(k)])))
            return fit;
    }

    long double chi2 = 0, ss = 0, absSum = 0, relSum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const long double e = y[i] - clenshawValue(stable, t[i]);
        chi2 += w[i] * e * e;
        ss += e * e;
        absSum += std::fabs(e);
        relSum += std::fabs(e) / y[i];
    }
    auto finite = [](long double value) -> std::optional<double> {
        const auto d = static_cast<double>(value);
        return std::isfinite(d) ? std::optional<double>(d) : std::nullopt;
    };
    if (n > 2)
        fit.dsig = finite(std::sqrt(ss / static_cast<long double>(n - 2)));
    fit.dev = finite(absSum / n);
    fit.devPct = finite(100 * relSum / n);
    const std::vector<long double> power = powerCoefficients(stable);
    fit.power.assign(power.begin(), power.end());
    for (const double p : fit.power) {
        if (!std::isfinite(p))
            return fit;
    }
    fit.r.assign(r.data(), r.data() + static_cast<std::ptrdiff_t>(m) * m);
    fit.pivot.resize(static_cast<std::size_t>(m));
    for (int k = 0; k < m; ++k)
        fit.pivot[static_cast<std::size_t>(k)] = qr.colsPermutation().indices()(k);
    fit.n = static_cast<int>(n);
    fit.rss = static_cast<double>(chi2);
    fit.stable = stable;
    fit.status = PolynomialStatus::Fitted;
    return fit;
}

FitUncertainty zigzagUncertainty(std::span<const ZigzagCluster> clusters, const Store& store, int last)
{
    return zigzagUncertainty(clusters, pooledScatterOf(store, clusters), last);
}

FitUncertainty zigzagUncertainty(std::span<const ZigzagCluster> clusters, const PooledScatter& pooled, int last)
{
    FitUncertainty out;
    if (!pooled.s || last < 0)
        return out;
    const double sp = *pooled.s;
    out.s = sp;
    out.dof = pooled.dof;
    std::vector<double> uc(clusters.size());
    for (std::size_t c = 0; c < clusters.size(); ++c)
        uc[c] = sp / std::sqrt(static_cast<double>(clusters[c].members.size()));
    out.u.resize(static_cast<std::size_t>(last) + 1);
    std::size_t m = 0; // first cluster point with x_{m+1} >= x, as the positions rise
    for (int x = 0; x <= last; ++x) {
        double& u = out.u[static_cast<std::size_t>(x)];
        if (x <= clusters.front().x) {
            u = uc.front();
            continue;
        }
        if (x >= clusters.back().x) {
            u = uc.back();
            continue;
        }
        while (m + 1 < clusters.size() && clusters[m + 1].x < x)
            ++m;
        const double x0 = clusters[m].x, x1 = clusters[m + 1].x;
        const double f = x1 > x0 ? (x - x0) / (x1 - x0) : 0.0;
        const double left = (1 - f) * uc[m], right = f * uc[m + 1];
        u = std::sqrt(left * left + right * right);
    }
    return out;
}

std::vector<double> toNaN(std::span<const std::optional<double>> values)
{
    std::vector<double> out(values.size(), std::numeric_limits<double>::quiet_NaN());
    for (std::size_t i = 0; i < values.size(); ++i)
        if (values[i])
            out[i] = *values[i];
    return out;
}

} // namespace kalibron
