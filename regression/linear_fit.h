#pragma once

namespace kalibron {

class MessageSink;
struct Store;

// Linear_Calc: least-squares line y = a + b·x through the used points
// (Y positive, Rejected < 1) at positions 0..lastPosition(), n = nPoints.
//  n = 2: the line through the two points (LinR, LinDev, LinDevPct and the
//         sums keep their values);
//  n < 2: message "Too few data. Calculation of regression is not possible!",
//         LinA, LinB, LinR become the empty text;
//  n >= 3: LinB = (n·SumXY − SumX·SumY)/(n·SumX2 − SumX²), LinA = (SumY − LinB·SumX)/n,
//         LinR = (n·SumXY − SumX·SumY)/√((n·SumY2 − SumY²)(n·SumX2 − SumX²)),
//         LinDev = mean |f − y|, LinDevPct = 100·mean(|f − y|/y).
// A result whose formula divides by zero or takes the root of a negative
// number is left as the empty text (never inf or nan).
void Linear_Calc(Store& store, MessageSink& messages);

} // namespace kalibron
