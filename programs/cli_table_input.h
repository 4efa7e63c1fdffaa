#pragma once

#include <iosfwd>
#include <string>

namespace kalibron {

// A table's bytes, or why there are none.
struct ReadResult {
    std::string bytes;
    int status = 0;      // kExitOk, kExitIoError or kExitRefused
    std::string problem; // one line, without the "kalibron: " prefix
};

// The table from standard input or from a file, refused beyond kMaxTableBytes.
ReadResult readStream(std::istream& in);
ReadResult readFile(const std::string& path);

} // namespace kalibron
