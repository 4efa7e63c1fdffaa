#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/file_scan.h"

namespace kalibron::test {

// 2008-08-27 00:00:00 UTC; the tests pin TZ=UTC, so local time of day is
// the offset from this.
inline constexpr std::int64_t kDay = 1219795200;

inline FileEntry fileAt(std::string name, int hours, int minutes, int seconds)
{
    return {std::move(name), kDay + hours * 3600 + minutes * 60 + seconds};
}

} // namespace kalibron::test
