#pragma once

#include <string>
#include <string_view>

namespace kalibron {

// Separators of the user's settings. Formatting takes them explicitly so that
// nothing depends on the process locale; tests pass NumberLocale{} (C locale).
struct NumberLocale {
    std::string decimalPoint = ".";
    std::string groupSeparator = ",";
};

// General text form of a double: up to 15 significant digits, trailing zeros
// dropped, no grouping, the locale's decimal separator. Magnitudes of 1e15 and
// above or below 1e-5 use the exponent form "1.5E+15" / "2E-06".
// Non-finite values give the empty text (they are never shown).
std::string formatGeneral(double value, const NumberLocale& locale);

// The same text appended to `out`, without any allocation of its own: the
// form the long exports write hundreds of thousands of times.
void appendGeneral(std::string& out, double value, const NumberLocale& locale);

// Formats with a pattern of the common numeric pattern language, the subset
// this program uses: "0", "0.0" ... "0.00000" (fixed decimals, halves away
// from zero), "###,###" (grouped integer, nothing for 0), "0.0E-00" and
// "0E-00" (scientific, exponent sign only when negative, two exponent digits;
// "E+00" shows the sign always). Halves are judged on the shortest decimal
// text that reads back as the same double, so 0.125 and 1.005 round up to
// "0.13" and "1.01" with "0.00". A value that rounds to zero shows no minus
// sign. Non-finite values give the empty text; an unknown pattern gives
// formatGeneral.
std::string formatPattern(double value, std::string_view pattern, const NumberLocale& locale);

} // namespace kalibron
