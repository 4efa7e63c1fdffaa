#pragma once

#include <string_view>

namespace kalibron {

// Degree of the free-degree row from the text of ComboBox1: its leading
// number rounded to a whole number (half to even), so that a text without a
// number gives 0. Returns −1 for a negative or non-finite number; very large
// numbers are capped at 32767. The polynomial fit refuses both with its
// message, like any degree beyond its matrix.
int freeDegree(std::string_view comboText);

} // namespace kalibron
