#pragma once

#include "core/number_format.h"

class QLocale;

namespace kalibron {

// The separators of a Qt locale as the number formatting takes them.
NumberLocale numberLocaleFrom(const QLocale& locale);

// The user's separators (QLocale::system()): what the window shows and what
// the command-line tool writes.
NumberLocale systemNumberLocale();

} // namespace kalibron
