#pragma once

#include <cmath>

namespace kalibron {

// Window layouts are given in twips (1/1440 inch); a widget converts them
// with its logical DPI, rounded to whole pixels.
inline int twipsToPixels(double twips, int logicalDpi)
{
    return static_cast<int>(std::lround(twips * logicalDpi / 1440.0));
}

} // namespace kalibron
