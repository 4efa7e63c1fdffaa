#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

#include "core/atomic_file.h"

namespace kalibron {

// Exit statuses of the command-line tool.
inline constexpr int kExitOk = 0;
inline constexpr int kExitIoError = 1; // a file that cannot be read or written
inline constexpr int kExitRefused = 2; // refused input or a wrong option

// Largest table the tool reads; a bigger file is refused rather than read
// without end (the import takes at most 6000 lines of 100 cells anyway).
inline constexpr std::size_t kMaxTableBytes = 64u * 1024u * 1024u;

// The command-line tool `kalibron` (export, fit, plot, rank, sequence). Runs
// the same start-up, import, calculation, export, plot scene and method
// ranking as the regression window; writes results to `out`, the window's
// message boxes and its own complaints to `err` (one line each) and returns
// the exit status. `in` is read for the table "-". Tests call it in-process.
int runCli(int argc, char** argv, std::istream& in, std::ostream& out, std::ostream& err);

// A table file turned into clipboard text: a UTF-8 byte-order mark at the
// start is dropped and every LF that does not follow a CR becomes CR LF, so a
// file written on Linux imports like the same table pasted; CR LF and lone CR
// line ends stay as they are.
std::string clipboardTextFromFile(std::string_view bytes);

} // namespace kalibron
