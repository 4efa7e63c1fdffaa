#pragma once

#include <array>
#include <string>
#include <string_view>

namespace kalibron {

class MessageSink;
struct Store;

// Quantiles t(1 - p; f) of Student's t distribution. Column p = 1..6 is the
// probability level (ProbIndex), row r = 1..100 the degrees of freedom and
// row 101 the limit for more than 100 degrees of freedom (normal quantiles).
// Column 0 and row 0 are never used.
struct StudentTable {
    std::array<std::array<double, 102>, 7> t{};
    bool loaded = false; // false: no confidence band anywhere

    double at(int p, int r) const { return t[static_cast<std::size_t>(p)][static_cast<std::size_t>(r)]; }
};

// The six probability levels as the window lists them (ProbIndex = position + 1).
inline constexpr std::array<std::string_view, 6> kProbabilityLevels = {
    "0.1    80%", "0.05   90%", "0.025  95%", "0.01   98%", "0.005  99%", "0.001  99.8",
};

// Tail probabilities belonging to the six levels.
inline constexpr std::array<double, 6> kTailProbabilities = {0.1, 0.05, 0.025, 0.01, 0.005, 0.001};

struct StudentParseResult {
    StudentTable table;  // loaded == true on success
    std::string problem; // empty on success, else what is wrong ("holds only 12 values ...")
};

// Parses the text of student.dat: one header line (ignored), then 707 values
// separated by commas or line ends, blanks ignored; seven values a record, the
// first of each record (its label) ignored. Values after the 707th are ignored.
// A missing value, a value that is not a finite number or a t value that is
// not positive is a problem.
StudentParseResult parseStudent(std::string_view text);

// LoadStudent: reads <gPath>/student.dat into store.Student; when there is no
// such file, the installed copy in <gPath>/../share/kalibron/ instead. On any
// problem the table stays unloaded and one message naming the file and the
// problem goes to the sink; the program runs on without the confidence band.
void LoadStudent(Store& store, MessageSink& messages);

// The folder of the installed student.dat relative to the program's folder
// ("../share/kalibron" with the usual install folders).
const char* studentDataFromProgram();

} // namespace kalibron
