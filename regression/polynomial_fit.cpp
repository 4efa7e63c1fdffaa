#include "regression/polynomial_fit.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <tuple>
#include <utility>

#include "core/messages.h"
#include "core/store.h"

namespace kalibron {

namespace {

void refuse(MessageSink& messages, const char* text)
{
    messages.show(Message{text, std::nullopt, MessageIcon::None});
}

bool slotInRange(int slot)
{
    return slot >= 0 && slot < static_cast<int>(std::tuple_size_v<decltype(Store::PolyCoef)>);
}

} // namespace

void normalEquations(int n, int m, const std::vector<double>& X, const std::vector<double>& Y, GaussMatrix& A)
{
    // The matrix is a Hankel matrix, A(i, j) = Σ x^(i+j−2): the 2m − 1 power
    // sums and the m moments of y are all it holds. They are summed per point
    // in the order row 1, then column m would be, so the values are the same.
    std::array<double, 2 * 25> power{};
    std::array<double, 25> moment{};
    const int top = 2 * m - 2;
    power[0] = n;
    for (int k = 1; k <= n; ++k) {
        const double x = X[static_cast<std::size_t>(k)];
        const double y = Y[static_cast<std::size_t>(k)];
        moment[0] += y;
        double w = 1;
        for (int j = 1; j <= top; ++j) {
            w *= x;
            power[static_cast<std::size_t>(j)] += w;
            if (j < m)
                moment[static_cast<std::size_t>(j)] += w * y;
        }
    }
    for (int i = 1; i <= m; ++i) {
        for (int j = 1; j <= m; ++j)
            A[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)] = power[static_cast<std::size_t>(i + j - 2)];
        A[static_cast<std::size_t>(i)][static_cast<std::size_t>(m + 1)] = moment[static_cast<std::size_t>(i - 1)];
    }
}

void polynomialValues(std::span<const double> c, std::span<double> out)
{
    const std::size_t size = out.size();
    if (c.empty()) {
        std::fill(out.begin(), out.end(), 0.0);
        return;
    }
    const std::size_t d = c.size() - 1;
    std::size_t x = 0;
    for (; x + 4 <= size; x += 4) {
        const double x0 = static_cast<double>(x), x1 = x0 + 1, x2 = x0 + 2, x3 = x0 + 3;
        double f0 = c[d], f1 = c[d], f2 = c[d], f3 = c[d];
        for (std::size_t m = d; m-- > 0;) {
            f0 = f0 * x0 + c[m];
            f1 = f1 * x1 + c[m];
            f2 = f2 * x2 + c[m];
            f3 = f3 * x3 + c[m];
        }
        out[x] = f0;
        out[x + 1] = f1;
        out[x + 2] = f2;
        out[x + 3] = f3;
    }
    for (; x < size; ++x) {
        double f = c[d];
        for (std::size_t m = d; m-- > 0;)
            f = f * static_cast<double>(x) + c[m];
        out[x] = f;
    }
}

PolynomialStatus Polynomial(Store& store, int n, int d, const std::vector<double>& X,
                            const std::vector<double>& Y, MessageSink& messages,
                            std::string* parameterText, const NumberLocale& locale,
                            std::optional<double>* dsig)
{
    if (dsig)
        dsig->reset();
    if (d > kMaxPolynomialDegree) {
        refuse(messages, kPolyDegreeTooHighMessage);
        return PolynomialStatus::TooFewData;
    }
    if (d < 0) {
        refuse(messages, kPolyDegreeNegativeMessage);
        return PolynomialStatus::TooFewData;
    }
    const int m = d + 1;
    // Points the arrays do not hold are missing data, not something to read.
    const auto held = static_cast<long long>(std::min(X.size(), Y.size())) - 1;
    if (n < m || n > held) {
        refuse(messages, kTooFewPolyDataMessage);
        return PolynomialStatus::TooFewData;
    }

    GaussMatrix A{};
    normalEquations(n, m, X, Y, A);

    GaussVector B{};
    const int slot = store.PolySlot;
    const bool ownsText = slot == 1 && parameterText != nullptr;
    if (!gauss(m, A, B)) {
        for (auto& c : store.PolyC)
            c.clear();
        if (slotInRange(slot)) {
            for (int k = 2; k <= 25; ++k)
                store.PolyCoef[static_cast<std::size_t>(slot)][static_cast<std::size_t>(k)].clear();
        }
        if (ownsText)
            parameterText->clear();
        return PolynomialStatus::Singular;
    }

    if (ownsText || dsig) {
        double ss = 0;
        for (int k = 1; k <= n; ++k) {
            const double x = X[static_cast<std::size_t>(k)];
            double f = B[static_cast<std::size_t>(m)];
            for (int j = m - 1; j >= 1; --j)
                f = f * x + B[static_cast<std::size_t>(j)];
            const double r = Y[static_cast<std::size_t>(k)] - f;
            ss += r * r;
        }
        // The spread divides by n − 2 for every degree; with n <= 2 it has no value.
        std::optional<double> spread;
        if (n - 2 > 0 && std::isfinite(std::sqrt(ss / (n - 2))))
            spread = std::sqrt(ss / (n - 2));
        if (dsig)
            *dsig = spread;
        if (ownsText) {
            std::string text;
            for (int i = 1; i <= m; ++i)
                text += "P" + std::to_string(i - 1) + " = " + formatGeneral(B[static_cast<std::size_t>(i)], locale) + "\r\n";
            text += "\r\n";
            text += "\r\ndsig=";
            if (spread)
                text += formatGeneral(*spread, locale);
            text += "\r\n";
            *parameterText = std::move(text);
        }
    }

    for (std::size_t k = 0; k < store.PolyC.size(); ++k)
        store.PolyC[k] = ValueCell(B[k]);
    if (slotInRange(slot)) {
        for (int k = 2; k <= 25; ++k)
            store.PolyCoef[static_cast<std::size_t>(slot)][static_cast<std::size_t>(k)] =
                ValueCell(B[static_cast<std::size_t>(k - 1)]);
    }
    return PolynomialStatus::Fitted;
}

} // namespace kalibron
