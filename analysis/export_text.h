#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "core/number_format.h"
#include "analysis/calculation.h"

namespace kalibron {

struct Store;

// The text the export button puts on the clipboard (CR line ends, TAB
// cells): the data of the store and the fits of the last calculation for
// every ticked Export box. It computes no fit and changes nothing; the
// caller keeps the text where it needs it (the window in store.ClipOut).
std::string buildExport(const Store& store, const FitResults& fits, const RegressionSettings& settings,
                        const NumberLocale& locale, const ExportFormat& format = {});

// The same text handed to `write` in pieces of some hundred kilobytes, each
// ending with a whole line, as it is made: a caller that passes the text on
// (the command-line tool) never holds all of it. Stops and returns false as
// soon as `write` does.
bool streamExport(const Store& store, const FitResults& fits, const RegressionSettings& settings,
                  const NumberLocale& locale, const ExportFormat& format,
                  const std::function<bool(std::string_view)>& write);

} // namespace kalibron
