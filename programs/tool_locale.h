#pragma once

#include <optional>
#include <string>

#include "core/number_format.h"

namespace kalibron {

// The separators Qt's system locale gives when the environment names the C
// locale: the first set one of LC_ALL, LC_NUMERIC and LANG is "C", "POSIX" or
// "C.<codeset>", or none is set. Any other name (null for unset) gives
// nothing: only Qt knows its separators.
std::optional<NumberLocale> cNumberLocaleNamed(const char* lcAll, const char* lcNumeric, const char* lang);

// The separators the windows would show, or why they cannot be had
// ("cannot read the locale's number separators: <reason>").
struct ToolLocale {
    NumberLocale locale;
    std::string problem;
};

// The user's separators: those of the C locale without Qt, otherwise asked
// of Qt through kalibron-locale.so, beside the program or installed.
ToolLocale toolNumberLocale(const std::string& programFolder);

} // namespace kalibron
