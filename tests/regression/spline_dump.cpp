// Prints a smoothing spline fitted to a table, for the comparison with scipy
// (spline_vs_scipy.py). Input: lines "x y w". Output, numbers in %.17g:
//   lambda df s
//   one line per position 0..maxX: value u
//   one line per standard: leverage leave-one-out-prediction
// Missing numbers (no λ, s or prediction) print as nan.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "regression/smoothing_spline.h"

namespace {
double orNan(std::optional<double> v) { return v ? *v : std::nan(""); }
} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: spline_dump TABLE MAXX [LAMBDA]\n");
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 2;
    }
    std::vector<double> x, y, w;
    double a, b, c;
    while (in >> a >> b >> c) {
        x.push_back(a);
        y.push_back(b);
        w.push_back(c);
    }
    const int maxX = std::stoi(argv[2]);
    std::optional<double> lambda;
    if (argc > 3)
        lambda = std::stod(argv[3]);
    std::string error;
    const auto spline = kalibron::SmoothingSpline::fit(x, y, w, lambda, &error);
    if (!spline) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::printf("%.17g %.17g %.17g\n", orNan(spline->lambda()), spline->degreesOfFreedom(), orNan(spline->scatter()));
    const std::vector<double> values = spline->values(maxX);
    const std::vector<std::optional<double>> u = spline->uncertainties(maxX);
    for (int p = 0; p <= maxX; ++p)
        std::printf("%.17g %.17g\n", values[static_cast<std::size_t>(p)], orNan(u[static_cast<std::size_t>(p)]));
    const auto loo = spline->leaveOneOut();
    for (std::size_t i = 0; i < x.size(); ++i)
        std::printf("%.17g %.17g\n", spline->leverages()[i], orNan(loo[i]));
    return 0;
}
