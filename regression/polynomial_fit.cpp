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
    for (int i = 1; i <= m; ++i) {
        for (int j = 1; j <= m + 1; ++j)
            A[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)] = 0;
    }
    A[1][1] = n;
    for (int k = 1; k <= n; ++k) {
        const double x = X[static_cast<std::size_t>(k)];
        const double y = Y[static_cast<std::size_t>(k)];
        A[1][m + 1] += y;
        double w = 1;
        for (int j = 2; j <= m; ++j) {
            w *= x;
            A[1][j] += w;
            A[j][m + 1] += w * y;
        }
        for (int j = 2; j <= m; ++j) {
            w *= x;
            A[j][m] += w;
        }
    }
    // The normal matrix is a Hankel matrix: constant along anti-diagonals.
    for (int i = 2; i <= m; ++i) {
        for (int j = 1; j <= m - 1; ++j)
            A[i][j] = A[i - 1][j + 1];
    }
}

PolynomialStatus Polynomial(Store& store, int n, int d, const std::vector<double>& X,
                            const std::vector<double>& Y, MessageSink& messages,
                            std::string* parameterText, const NumberLocale& locale)
{
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

    if (ownsText) {
        std::string text;
        for (int i = 1; i <= m; ++i)
            text += "P" + std::to_string(i - 1) + " = " + formatGeneral(B[static_cast<std::size_t>(i)], locale) + "\r\n";
        text += "\r\n";

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
        text += "\r\ndsig=";
        if (n - 2 > 0)
            text += formatGeneral(std::sqrt(ss / (n - 2)), locale);
        text += "\r\n";
        *parameterText = std::move(text);
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
