#pragma once

namespace kalibron {

class MessageSink;
struct Store;

// Logarithmic_Calc: least squares for y = a + b·ln(X) over the used points
// (Y positive, Rejected < 1) at positions 1..lastPosition(). A used point at
// position 0 is skipped, ln 0 having no value, and n is the number of points
// actually summed (not nPoints), so that skipping it, or a present Y that is
// not positive, cannot distort the means.
//  n < 3: message "Too few data. Calculation of regression is not possible!"
//         (empty title, exclamation icon); LogA, LogB, LogR become the empty
//         text; LogDev, LogDevPct and the sums keep their values.
//  n >= 3: SumX.. SumXY with x = ln X, then LogB, LogA, LogR by the formulas
//         of Linear_Calc, LogDev = mean |f − y|, LogDevPct = 100·mean(|f − y|/y),
//         f = LogA + LogB·ln X.
// Results whose denominators vanish are left as the empty text (see solveLine).
void Logarithmic_Calc(Store& store, MessageSink& messages);

} // namespace kalibron
