#pragma once

namespace kalibron {

class MessageSink;
struct Store;

// Logarithmic_Calc: least squares for y = a + b·ln(X) over the used points,
// n = nPoints. n < 3: the "Too few data" message, LogA, LogB, LogR become the
// empty text. A used point at position 0 (ln 0 undefined) is skipped. Results
// that cannot be computed are left as the empty text.
void Logarithmic_Calc(Store& store, MessageSink& messages);

} // namespace kalibron
