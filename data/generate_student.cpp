// Writes the Student t table student.dat: quantiles t(1 - p; f) for the six
// tail probabilities p the program offers and f = 1..100 degrees of freedom,
// then the standard normal quantiles as the row for more than 100.
//
// Regenerate the committed table with
//   generate_student data/student.dat
// (without an argument the table goes to standard output). A test compares
// the output with the committed file, so the table is never edited by hand.

#include <array>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include <boost/math/distributions/normal.hpp>
#include <boost/math/distributions/students_t.hpp>

namespace {

constexpr std::array<double, 6> kTailProbabilities = {0.1, 0.05, 0.025, 0.01, 0.005, 0.001};

// Ten significant digits, "." as decimal separator whatever the locale.
std::string number(double value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 10);
    return std::string(buffer, result.ptr);
}

std::string table()
{
    std::ostringstream out;
    out << "f";
    for (const double p : kTailProbabilities)
        out << ",t(" << number(1 - p) << ")";
    out << "\n";
    for (int f = 1; f <= 100; ++f) {
        const boost::math::students_t distribution(f);
        out << f;
        for (const double p : kTailProbabilities)
            out << "," << number(boost::math::quantile(boost::math::complement(distribution, p)));
        out << "\n";
    }
    const boost::math::normal normal;
    out << "inf";
    for (const double p : kTailProbabilities)
        out << "," << number(boost::math::quantile(boost::math::complement(normal, p)));
    out << "\n";
    return out.str();
}

} // namespace

int main(int argc, char** argv)
{
    const std::string text = table();
    if (argc < 2) {
        std::cout << text;
        return std::cout.good() ? 0 : 1;
    }
    // Written beside the target and renamed, so a failed run leaves the old table whole.
    const std::filesystem::path target = argv[1];
    std::filesystem::path partial = target;
    partial += ".partial";
    std::ofstream file(partial, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    std::error_code error;
    if (file)
        std::filesystem::rename(partial, target, error);
    if (!file || error) {
        std::filesystem::remove(partial, error);
        std::fprintf(stderr, "generate_student: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
