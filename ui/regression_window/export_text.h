#pragma once

#include <string>

#include "core/number_format.h"
#include "ui/regression_window/calculation.h"

namespace kalibron {

struct Store;

// Builds the text "Copy interpolated values to clipboard" puts on the
// clipboard (CR line ends, TAB cells) from what the last calculation left in
// the store and the captions it gave the polynomial labels; keeps it in
// store.ClipOut and returns it. Recomputes the confidence quantities first.
const std::string& buildExport(Store& store, const RegressionSettings& settings, const ResultLabels& shown,
                               const NumberLocale& locale);

} // namespace kalibron
