#pragma once

namespace kalibron {

class MessageSink;
struct Store;

inline constexpr const char* kTooFewRegressionDataMessage = "Too few data. Calculation of regression is not possible!";

// Linear_Calc: least-squares line y = a + b·x through the used points
// (Y positive, Rejected < 1) at positions 0..lastPosition().
// n is the number of used points found, not nPoints: a present Y that is not
// positive counts in nPoints but adds nothing to the sums, so nPoints as the
// divisor would give a wrong line. For data whose present Y are all positive
// the two agree.
//  n = 2: the line through the two points (LinR, LinDev, LinDevPct and the
//         sums keep their values);
//  n < 2: message "Too few data. Calculation of regression is not possible!"
//         (empty title, exclamation icon); LinA, LinB, LinR become the empty text;
//  n >= 3: SumX, SumX2, SumY, SumY2, SumXY over the used points, then
//         LinB = (n·SumXY − SumX·SumY)/(n·SumX2 − SumX²), LinA = (SumY − LinB·SumX)/n,
//         LinR = (n·SumXY − SumX·SumY)/√((n·SumY2 − SumY²)(n·SumX2 − SumX²)),
//         LinDev = mean |f − y|, LinDevPct = 100·mean(|f − y|/y), f = LinA + LinB·X.
// A result whose formula divides by zero or takes the root of a negative
// number is left as the empty text (never inf or nan); see solveLine.
void Linear_Calc(Store& store, MessageSink& messages);

} // namespace kalibron
