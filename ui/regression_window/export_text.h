#pragma once

#include <string>

#include "core/number_format.h"
#include "ui/regression_window/calculation.h"

namespace kalibron {

struct Store;

// Builds the text the export button puts on the clipboard (CR line ends,
// TAB cells) from what the last calculation left in the store and the
// captions it gave the polynomial labels; keeps it in store.ClipOut and
// returns it. With a "C.I." column in the format it recomputes the
// confidence quantities first; without one it computes none.
const std::string& buildExport(Store& store, const RegressionSettings& settings, const ResultLabels& shown,
                               const NumberLocale& locale, const ExportFormat& format = {});

} // namespace kalibron
