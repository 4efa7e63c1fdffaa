#include "regression/polynomial_fit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <tuple>
#include <utility>

#include <Eigen/Dense>

#include "core/messages.h"
#include "regression/clenshaw.h"
#include "regression/tall_qr.h"

namespace kalibron {

namespace {

void refuse(MessageSink& messages, const char* text) { messages.show(Message{text, std::nullopt, MessageIcon::None}); }

bool slotInRange(int slot)
{
    return slot >= 0 && slot < static_cast<int>(std::tuple_size_v<decltype(Store::PolyCoef)>);
}

// T_0(t) .. T_d(t) into row[0..d].
template <class Row> void chebyshevRow(double t, int d, Row&& row)
{
    row(0) = 1;
    if (d >= 1)
        row(1) = t;
    for (int k = 2; k <= d; ++k)
        row(k) = 2 * t * row(k - 1) - row(k - 2);
}

void clearSlot(Store& store, int slot)
{
    for (auto& c : store.PolyC)
        c.clear();
    if (slotInRange(slot)) {
        for (int k = 2; k <= 25; ++k)
            store.PolyCoef[static_cast<std::size_t>(slot)][static_cast<std::size_t>(k)].clear();
        store.PolyFit[static_cast<std::size_t>(slot)].clear();
    }
}

} // namespace

long double chebyshevValue(const PolyChebyshev& fit, double x) { return clenshawValue(fit, fit.scaled(x)); }

void polynomialValues(const PolyChebyshev& fit, std::span<double> out)
{
    if (!fit.fitted()) {
        std::fill(out.begin(), out.end(), NAN);
        return;
    }
    const long double centre = fit.centreTwice(), inverse = fit.inverseWidth();
    constexpr std::size_t kChunk = 1024;
    std::array<double, kChunk> t;
    for (std::size_t first = 0; first < out.size(); first += kChunk) {
        const std::size_t count = std::min(kChunk, out.size() - first);
        for (std::size_t i = 0; i < count; ++i)
            t[i] = PolyChebyshev::scaled(static_cast<double>(first + i), centre, inverse);
        clenshawValues(fit, std::span<const double>(t.data(), count), out.data() + first);
    }
}

std::vector<long double> powerCoefficients(const PolyChebyshev& fit)
{
    if (!fit.fitted())
        return {};
    const auto m = static_cast<std::size_t>(fit.degree) + 1;
    // Powers of t: p = Σ c_k·T_k, with T_k = 2t·T_{k−1} − T_{k−2} as power series.
    std::vector<long double> p(m, 0.0L), previous(m, 0.0L), current(m, 0.0L), next(m, 0.0L);
    previous[0] = 1; // T_0
    p[0] = fit.c[0];
    if (m > 1) {
        current[1] = 1; // T_1
        p[1] += fit.c[1];
    }
    for (std::size_t k = 2; k < m; ++k) {
        for (std::size_t j = 0; j < m; ++j)
            next[j] = (j > 0 ? 2 * current[j - 1] : 0.0L) - previous[j];
        for (std::size_t j = 0; j < m; ++j)
            p[j] += fit.c[k] * next[j];
        std::swap(previous, current);
        std::swap(current, next);
    }
    // t = αx + β, substituted by Horner's rule: q = (…(p_d·t + p_{d−1})·t …) + p_0.
    const long double scale = fit.inverseWidth();
    const long double alpha = 2 * scale;
    const long double beta = -fit.centreTwice() * scale;
    std::vector<long double> q(m, 0.0L);
    for (std::size_t j = m; j-- > 0;) {
        // q = q·(αx + β) + p_j, highest power first so q[k − 1] is still old.
        for (std::size_t k = m - 1; k >= 1; --k)
            q[k] = alpha * q[k - 1] + beta * q[k];
        q[0] = beta * q[0] + p[j];
    }
    return q;
}

std::vector<double> polynomialLeverages(const PolynomialFit& fit, std::span<const double> xs)
{
    if (!fit.stable.fitted())
        return {};
    const int m = fit.stable.degree + 1;
    const auto mm = static_cast<std::size_t>(m);
    if (fit.r.size() != mm * mm || fit.pivot.size() != mm)
        return {};
    std::vector<double> out;
    out.reserve(xs.size());
    std::vector<double> v(mm), z(mm);
    for (const double x : xs) {
        chebyshevRow(fit.stable.scaled(x), m - 1, [&](int k) -> double& { return v[static_cast<std::size_t>(k)]; });
        double h = 0;
        for (std::size_t j = 0; j < mm; ++j) {
            double s = v[static_cast<std::size_t>(fit.pivot[j])];
            for (std::size_t i = 0; i < j; ++i)
                s -= fit.r[j * mm + i] * z[i];
            z[j] = s / fit.r[j * mm + j];
            h += z[j] * z[j];
        }
        out.push_back(h);
    }
    return out;
}

std::string polynomialParameterText(std::span<const double> power, std::optional<double> dsig,
                                    const NumberLocale& locale)
{
    std::string text;
    for (std::size_t i = 0; i < power.size(); ++i) {
        text += 'P';
        text += std::to_string(i);
        text += " = ";
        appendGeneral(text, power[i], locale);
        text += "\r\n";
    }
    text += "\r\n\r\ndsig=";
    if (dsig)
        appendGeneral(text, *dsig, locale);
    text += "\r\n";
    return text;
}

PolynomialFit Polynomial(Store& store, int n, int d, std::span<const double> X, std::span<const double> Y,
                         MessageSink& messages, std::string* parameterText, const NumberLocale& locale,
                         const char* tooFewMessage)
{
    PolynomialFit fit;
    if (d > kMaxPolynomialDegree) {
        refuse(messages, kPolyDegreeTooHighMessage);
        return fit;
    }
    if (d < 0) {
        refuse(messages, kPolyDegreeNegativeMessage);
        return fit;
    }
    const int m = d + 1;
    // Points the arrays do not hold are missing data, not something to read.
    const auto held = static_cast<long long>(std::min(X.size(), Y.size())) - 1;
    if (n < m || n > held) {
        refuse(messages, tooFewMessage != nullptr ? tooFewMessage : kTooFewPolyDataMessage);
        return fit;
    }

    const int slot = store.PolySlot;
    const bool ownsText = slot == 1 && parameterText != nullptr;
    auto singular = [&] {
        clearSlot(store, slot);
        if (ownsText)
            parameterText->clear();
        fit = PolynomialFit{};
        fit.status = PolynomialStatus::Singular;
        return fit;
    };

    PolyChebyshev& stable = fit.stable;
    double low = X[1], high = X[1];
    for (std::size_t i = 2; i <= static_cast<std::size_t>(n); ++i) {
        low = std::min(low, X[i]);
        high = std::max(high, X[i]);
    }
    if (!std::isfinite(low) || !std::isfinite(high))
        return singular();
    stable.a = low;
    stable.b = high;

    // [V | y]: one Householder QR gives R1 and Q1ᵀy together; the reflectors
    // are those of V alone. V is built a block of rows at a time, each block
    // reduced while it is fresh, from the same t the evaluator uses:
    // T_k = 2t·T_{k−1} − T_{k−2}.
    TallQR qr1(n, m + 1, m);
    const auto len = static_cast<std::size_t>(qr1.blockRows());
    // t for the n points, zeros after them up to the end of the last block:
    // there the columns of V come out zero as well.
    std::vector<double> t(static_cast<std::size_t>(qr1.blocks()) * len, 0.0);
    const long double centre = stable.centreTwice(), inverse = stable.inverseWidth();
    for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i)
        t[i] = PolyChebyshev::scaled(X[i + 1], centre, inverse);
    for (int block = 0; block < qr1.blocks(); ++block) {
        const std::size_t first = static_cast<std::size_t>(block) * len;
        const std::size_t count = std::min(len, static_cast<std::size_t>(n) - first);
        const double* tb = t.data() + first;
        std::fill_n(qr1.column(block, 0), count, 1.0);
        if (d >= 1)
            std::copy_n(tb, len, qr1.column(block, 1));
        for (int k = 2; k <= d; ++k) {
            double* column = qr1.column(block, k);
            const double* previous = qr1.column(block, k - 1);
            const double* before = qr1.column(block, k - 2);
            for (std::size_t i = 0; i < len; ++i)
                column[i] = 2 * tb[i] * previous[i] - before[i];
        }
        std::copy_n(Y.data() + 1 + first, count, qr1.column(block, m));
        qr1.reduceBlock(block);
    }
    Eigen::MatrixXd r1 = Eigen::MatrixXd::Zero(m, m);
    Eigen::VectorXd qty(m);
    for (int i = 0; i < m; ++i) {
        for (int j = i; j < m; ++j)
            r1(i, j) = qr1.r(i, j);
        qty(i) = qr1.r(i, m);
    }

    // The pivoted QR of R1 is the pivoted QR of V: V·P = (Q1·Q2)·R2.
    const Eigen::ColPivHouseholderQR<Eigen::MatrixXd> qr2(r1);
    const Eigen::MatrixXd r2 = qr2.matrixQR().triangularView<Eigen::Upper>();
    const double r00 = std::abs(r2(0, 0));
    for (int k = 0; k < m; ++k) {
        if (!std::isfinite(r2(k, k)) || !(std::abs(r2(k, k)) > kRankTolerance * r00))
            return singular();
    }

    // Least-squares step for a right-hand side whose Q1ᵀ image starts with z.
    auto solve = [&](const Eigen::VectorXd& z) -> Eigen::VectorXd {
        const Eigen::VectorXd w = qr2.householderQ().adjoint() * z;
        const Eigen::VectorXd u = r2.triangularView<Eigen::Upper>().solve(w);
        return qr2.colsPermutation() * u;
    };

    const Eigen::VectorXd first = solve(qty);
    for (int k = 0; k < m; ++k)
        stable.c[static_cast<std::size_t>(k)] = first(k);
    stable.degree = d;

    // One step of iterative refinement: the residual e = y − f of the long
    // double form (as exact pairs hi + lo), reduced by the same factors,
    // recovers the digits the double solve lost. The residual of the
    // corrected form is then e − p, p = V·δ the correction series at the
    // points: p is tiny against f, so it is formed in double (as Q₁·(R₁δ),
    // its rounding errors of the order of ε·|p|) and the deviations need no
    // second long double pass.
    const auto count = static_cast<std::size_t>(n);
    const auto hi = std::make_unique_for_overwrite<double[]>(count);
    const auto lo = std::make_unique_for_overwrite<double[]>(count);
    clenshawResiduals(stable, std::span<const double>(t.data(), count), Y.data() + 1, hi.get(), lo.get());
    const std::vector<double> head = qr1.applyAdjoint(std::span<const double>(hi.get(), count));
    const Eigen::VectorXd correction = solve(Eigen::Map<const Eigen::VectorXd>(head.data(), m));
    for (int k = 0; k < m; ++k)
        stable.c[static_cast<std::size_t>(k)] += correction(k);
    const Eigen::VectorXd image = r1.triangularView<Eigen::Upper>() * correction;
    const std::vector<double> p = qr1.apply(std::span<const double>(image.data(), static_cast<std::size_t>(m)), n);
    for (int k = 0; k < m; ++k) {
        if (!std::isfinite(stable.c[static_cast<std::size_t>(k)]))
            return singular();
    }

    fit.r.assign(r2.data(), r2.data() + static_cast<std::ptrdiff_t>(m) * m);
    Eigen::VectorXd order(m);
    for (int k = 0; k < m; ++k)
        order(k) = k;
    const Eigen::VectorXd permuted = qr2.colsPermutation().transpose() * order;
    fit.pivot.resize(static_cast<std::size_t>(m));
    for (int k = 0; k < m; ++k)
        fit.pivot[static_cast<std::size_t>(k)] = static_cast<int>(permuted(k));

    // Spread and deviations from the residuals of the stable form.
    long double ss = 0, absSum = 0, relSum = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const long double e = (static_cast<long double>(hi[i]) + lo[i]) - p[i];
        ss += e * e;
        absSum += std::fabs(e);
        relSum += std::fabs(e) / Y[i + 1];
    }
    auto finite = [](long double v) -> std::optional<double> {
        const auto value = static_cast<double>(v);
        return std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
    };
    // The spread divides by n − 2 for every degree; with n <= 2 it has no value.
    if (n - 2 > 0)
        fit.dsig = finite(std::sqrt(ss / (n - 2)));
    fit.n = n;
    fit.rss = static_cast<double>(ss);
    fit.dev = finite(absSum / n);
    fit.devPct = finite(100 * relSum / n);

    const std::vector<long double> power = powerCoefficients(stable);
    fit.power.assign(power.begin(), power.end());
    for (const double c : fit.power) {
        if (!std::isfinite(c))
            return singular();
    }

    if (ownsText) {
        *parameterText = polynomialParameterText(fit.power, fit.dsig, locale);
    }

    for (auto& c : store.PolyC)
        c = ValueCell(0.0);
    for (int p = 0; p <= d; ++p)
        store.PolyC[static_cast<std::size_t>(p) + 1] = ValueCell(fit.power[static_cast<std::size_t>(p)]);
    if (slotInRange(slot)) {
        auto& row = store.PolyCoef[static_cast<std::size_t>(slot)];
        for (int k = 2; k <= 25; ++k)
            row[static_cast<std::size_t>(k)] = ValueCell(k - 2 <= d ? fit.power[static_cast<std::size_t>(k - 2)] : 0.0);
        store.PolyFit[static_cast<std::size_t>(slot)] = stable;
    }
    fit.status = PolynomialStatus::Fitted;
    return fit;
}

} // namespace kalibron
