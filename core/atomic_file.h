#pragma once

#include <string>
#include <string_view>

namespace kalibron {

// Writes `bytes` to `path` through a temporary file in the same folder that is
// renamed over the target only when complete, so a failure never leaves a
// half-written file and an existing file stays as it was. A symbolic link is
// written through: its final target gets the bytes (its temporary file lies in
// the target's folder) and the link stays. A file replaced keeps its mode, and
// its owner and group where the writer may set them. Returns an empty string
// on success, else the reason (the system's text for the error).
std::string writeFileAtomically(const std::string& path, std::string_view bytes);

} // namespace kalibron
