#include "regression/polynomial_fit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <tuple>
#include <utility>

#include <Eigen/Dense>

#include "core/messages.h"

namespace kalibron {

namespace {

void refuse(MessageSink& messages, const char* text) { messages.show(Message{text, std::nullopt, MessageIcon::None}); }

// Steps of iterative refinement after the first solve.
constexpr int kRefinementSteps = 1;

bool slotInRange(int slot)
{
    return slot >= 0 && slot < static_cast<int>(std::tuple_size_v<decltype(Store::PolyCoef)>);
}

// Clenshaw's recurrence at scaled positions. Every value of
// a fit comes from this one expression, so the plot, the export and the
// deviations agree to the last bit. The step is written
// (c_k − b_{k+2}) + 2t·b_{k+1} so that only the multiply-add waits on the
// previous step; independent chains side by side keep the unit busy.
inline long double clenshawStep(long double c, long double t2, long double b1, long double b2)
{
    return (c - b2) + t2 * b1;
}

inline long double clenshawLast(long double c0, long double t, long double b1, long double b2)
{
    return (c0 - b2) + t * b1;
}

inline long double clenshaw1(const PolyChebyshev& fit, long double t)
{
    const long double t2 = 2 * t;
    long double b1 = 0, b2 = 0;
    for (int k = fit.degree; k >= 1; --k) {
        const long double b0 = clenshawStep(fit.c[static_cast<std::size_t>(k)], t2, b1, b2);
        b2 = b1;
        b1 = b0;
    }
    return clenshawLast(fit.c[0], t, b1, b2);
}

// Two chains in plain variables: the x87 register stack holds both with the
// coefficient and the two 2t; a third chain no longer fits in its eight
// registers and goes through memory at every step (measured: the whole
// numeric pass 4.6 ms with three chains, 3.3 ms with two).
inline void clenshaw2(const PolyChebyshev& fit, const long double* t, long double* out)
{
    const long double ta2 = 2 * t[0], tb2 = 2 * t[1];
    long double a1 = 0, a2 = 0, b1 = 0, b2 = 0;
    for (int k = fit.degree; k >= 1; --k) {
        const long double c = fit.c[static_cast<std::size_t>(k)];
        const long double a0 = clenshawStep(c, ta2, a1, a2);
        const long double b0 = clenshawStep(c, tb2, b1, b2);
        a2 = a1;
        a1 = a0;
        b2 = b1;
        b1 = b0;
    }
    out[0] = clenshawLast(fit.c[0], t[0], a1, a2);
    out[1] = clenshawLast(fit.c[0], t[1], b1, b2);
}

// f at the positions of xs into out (long double), two at a time.
void clenshawAt(const PolyChebyshev& fit, std::span<const double> xs, long double* out)
{
    constexpr int kWidth = 2;
    // Copies: stores into out could otherwise alias the fit.
    const PolyChebyshev local = fit;
    const long double centre = local.centreTwice(), inverse = local.inverseWidth();
    std::size_t i = 0;
    long double t[kWidth];
    for (; i + kWidth <= xs.size(); i += kWidth) {
        for (int j = 0; j < kWidth; ++j)
            t[j] = PolyChebyshev::scaled(xs[i + static_cast<std::size_t>(j)], centre, inverse);
        clenshaw2(local, t, out + i);
    }
    for (; i < xs.size(); ++i)
        out[i] = clenshaw1(local, PolyChebyshev::scaled(xs[i], centre, inverse));
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

long double chebyshevValue(const PolyChebyshev& fit, double x) { return clenshaw1(fit, fit.scaled(x)); }

void polynomialValues(const PolyChebyshev& fit, std::span<double> out)
{
    if (!fit.fitted()) {
        std::fill(out.begin(), out.end(), NAN);
        return;
    }
    constexpr std::size_t kChunk = 256;
    std::array<double, kChunk> positions;
    std::array<long double, kChunk> values;
    for (std::size_t first = 0; first < out.size(); first += kChunk) {
        const std::size_t count = std::min(kChunk, out.size() - first);
        for (std::size_t i = 0; i < count; ++i)
            positions[i] = static_cast<double>(first + i);
        clenshawAt(fit, std::span<const double>(positions.data(), count), values.data());
        for (std::size_t i = 0; i < count; ++i)
            out[first + i] = static_cast<double>(values[i]);
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
    const long double width = static_cast<long double>(fit.b) - fit.a;
    const long double alpha = width > 0 ? 2.0L / width : 0.0L;
    const long double beta = width > 0 ? -(static_cast<long double>(fit.a) + fit.b) / width : 0.0L;
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
        chebyshevRow(static_cast<double>(fit.stable.scaled(x)), m - 1,
                     [&](int k) -> double& { return v[static_cast<std::size_t>(k)]; });
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

    const auto x = [&](int i) { return X[static_cast<std::size_t>(i) + 1]; };
    const auto y = [&](int i) { return Y[static_cast<std::size_t>(i) + 1]; };
    PolyChebyshev& stable = fit.stable;
    stable.a = x(0);
    stable.b = x(0);
    for (int i = 1; i < n; ++i) {
        stable.a = std::min(stable.a, x(i));
        stable.b = std::max(stable.b, x(i));
    }
    if (!std::isfinite(stable.a) || !std::isfinite(stable.b))
        return singular();

    // [V | y]: one Householder QR gives R1 and Q1ᵀy together. The reflectors
    // of the first m columns are those of V alone.
    Eigen::MatrixXd A(n, m + 1);
    for (int i = 0; i < n; ++i) {
        chebyshevRow(static_cast<double>(stable.scaled(x(i))), d, [&](int k) -> double& { return A(i, k); });
        A(i, m) = y(i);
    }
    Eigen::HouseholderQR<Eigen::Ref<Eigen::MatrixXd>> qr1(A);
    const Eigen::MatrixXd r1 = A.topLeftCorner(m, m).triangularView<Eigen::Upper>();

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

    const Eigen::VectorXd first = solve(A.col(m).head(m));
    for (int k = 0; k < m; ++k)
        stable.c[static_cast<std::size_t>(k)] = first(k);
    stable.degree = d;

    // Iterative refinement: the residual of the long double form, reduced by
    // the same factors. Each step recovers the digits the double solve lost.
    const std::span<const double> xs(X.data() + 1, static_cast<std::size_t>(n));
    std::vector<long double> f(static_cast<std::size_t>(n));
    Eigen::VectorXd residual(n);
    for (int step = 0; step < kRefinementSteps; ++step) {
        clenshawAt(stable, xs, f.data());
        for (int i = 0; i < n; ++i)
            residual(i) = static_cast<double>(y(i) - f[static_cast<std::size_t>(i)]);
        residual.applyOnTheLeft(qr1.householderQ().adjoint());
        const Eigen::VectorXd correction = solve(residual.head(m));
        for (int k = 0; k < m; ++k)
            stable.c[static_cast<std::size_t>(k)] += correction(k);
    }
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

    // Spread and deviations from the stable form.
    long double ss = 0, absSum = 0, relSum = 0;
    clenshawAt(stable, xs, f.data());
    for (int i = 0; i < n; ++i) {
        const long double e = y(i) - f[static_cast<std::size_t>(i)];
        ss += e * e;
        absSum += std::fabs(e);
        relSum += std::fabs(e) / y(i);
    }
    auto finite = [](long double v) -> std::optional<double> {
        const auto value = static_cast<double>(v);
        return std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
    };
    // The spread divides by n − 2 for every degree; with n <= 2 it has no value.
    if (n - 2 > 0)
        fit.dsig = finite(std::sqrt(ss / (n - 2)));
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
