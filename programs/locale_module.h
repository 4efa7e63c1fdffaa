#pragma once

#include <string>

#include "core/number_format.h"

// The user's number separators as the windows take them (Qt's system
// locale), in a module of their own (kalibron-locale.so): the tool loads it
// only when the environment names a locale other than C, so that a run in the
// C locale starts without Qt. The tool and the module come out of one build;
// they meet in the one C function below.

namespace kalibron {

inline constexpr char kLocaleModuleFile[] = "kalibron-locale.so";
inline constexpr char kLocaleModuleEntry[] = "kalibron_number_locale";

} // namespace kalibron

extern "C" {

// Fills `locale` with the separators of Qt's system locale, or says in
// `problem` why it cannot. `toolVersion` is the calling tool's version: a
// module of another version refuses. Never throws.
using KalibronNumberLocale = void(const char* toolVersion, kalibron::NumberLocale& locale,
                                  std::string& problem) noexcept;
}
