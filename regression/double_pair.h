#pragma once

// Two doubles side by side: the vector width every x86-64 processor has
// (SSE2), written out so that a loop runs two at a time whatever the
// optimiser decides. Elementwise operations only: the results are those of
// the same operations one value at a time.

#include <cstring>

namespace kalibron {

using DoublePair = double __attribute__((vector_size(16)));

inline DoublePair loadPair(const double* p)
{
    DoublePair v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void storePair(double* p, DoublePair v) { std::memcpy(p, &v, sizeof v); }

inline DoublePair splat(double g) { return DoublePair{g, g}; }

} // namespace kalibron
