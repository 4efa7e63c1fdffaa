#pragma once

// Clenshaw's recurrence for the stable form of a polynomial fit: the one
// evaluator behind every value of the curve (fit residuals, deviations,
// plot, export, hand-back). Internal to the regression library; callers
// outside use chebyshevValue and polynomialValues (polynomial_fit.h).

#include <cstddef>
#include <span>

#include "core/store.h"

namespace kalibron {

// f at scaled position t (PolyChebyshev::scaled) of a fitted form, in long
// double:
//   b_k = (c_k − b_{k+2}) + 2t·b_{k+1} (k = d … 1, b_{d+1} = b_{d+2} = 0),
//   f   = (c_0 − b_2) + t·b_1,
// every operation rounded to long double, 2t and t entering as doubles.
// The first step or two are taken from their exact outcome (b_d = c_d;
// b_{d−1} = c_{d−1} + 2t·c_d), which changes no value. Not for an unfitted
// form.
long double clenshawValue(const Store::PolyChebyshev& fit, double t);

// clenshawValue at every t[i], rounded to double, into out[i], bit for bit;
// two positions are worked side by side.
void clenshawValues(const Store::PolyChebyshev& fit, std::span<const double> t, double* out);

// The residuals e_i = y[i] − clenshawValue(fit, t[i]), formed in long double,
// as exact pairs of doubles: hi[i] the double nearest e_i, lo[i] = e_i − hi[i].
void clenshawResiduals(const Store::PolyChebyshev& fit, std::span<const double> t, const double* y, double* hi,
                       double* lo);

} // namespace kalibron
