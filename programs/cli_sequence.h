#pragma once

#include <iosfwd>

namespace kalibron {

// `kalibron sequence`: the file list window's day without the window. Scans
// a directory, builds the sequence table, optionally types standard values,
// interpolates and hands the fit values back, and writes the "Copy" text (or
// the day listing) to `out` and the master file. argv[1] is "sequence".
// Returns the exit status (0 done, 2 wrong option / refused value / too few
// standards, 1 unreadable folder or unwritable master file).
int runSequence(int argc, char** argv, std::istream& in, std::ostream& out, std::ostream& err);

} // namespace kalibron
