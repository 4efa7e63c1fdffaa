#include "core/store.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

namespace kalibron {

namespace {

std::size_t arraySize(const ProgramSettings& settings)
{
    return static_cast<std::size_t>(std::max(settings.positionBound, 0)) + 1;
}

std::string withoutTrailingSeparator(const std::filesystem::path& folder)
{
    std::string text = folder.string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

} // namespace

Store::Store(const ProgramSettings& programSettings)
    : settings(programSettings),
      Y(arraySize(programSettings)),
      Yerr(arraySize(programSettings)),
      Rejected(arraySize(programSettings)),
      PX(arraySize(programSettings), 0.0),
      PY(arraySize(programSettings), 0.0),
      YPoly(arraySize(programSettings))
{
}

long double Store::PolyChebyshev::inverseWidth() const
{
    if (!(b > a))
        return 0.0L;
    int exponent = 0;
    const long double mantissa = std::frexp(1.0L / (static_cast<long double>(b) - a), &exponent);
    return std::ldexp(std::floor(std::ldexp(mantissa, 32)), exponent - 32);
}

int Store::lastPosition() const
{
    const double rounded = roundHalfEven(MaxX);
    if (!(rounded > 0)) // also nan
        return 0;
    const int top = static_cast<int>(Y.size()) - 1;
    if (rounded >= top)
        return top;
    return static_cast<int>(rounded);
}

void putExampleSequence(Store& store)
{
    store.MaxX = 27;
    store.nPoints = 5;
    store.nPointsAll = 5;
    store.nCols = 2;
    const std::pair<int, double> example[] = {{5, 980}, {10, 770}, {15, 700}, {25, 550}, {27, 500}};
    for (const auto& [x, y] : example)
        if (x < static_cast<int>(store.Y.size()))
            store.Y[static_cast<std::size_t>(x)] = y;
}

void ScanData(Store& store)
{
    store.MaxY = 0;
    store.MinY = 1000000000;
    store.FirstX = 0;
    store.nPoints = 0;
    const int last = store.lastPosition();
    for (int x = 0; x <= last; ++x) {
        const ValueCell& y = store.Y[static_cast<std::size_t>(x)];
        if (!y.present())
            continue;
        const bool used = store.Rejected[static_cast<std::size_t>(x)].value() < 1;
        if (!store.AllData && !used)
            continue;
        // A point at position 0 leaves FirstX at 0, so the next point takes it.
        if (store.FirstX == 0)
            store.FirstX = x;
        store.MaxY = std::max(store.MaxY, y.value());
        store.MinY = std::min(store.MinY, y.value());
        if (used)
            ++store.nPoints;
    }
}

std::string programFolder(const char* argv0)
{
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error && self.has_parent_path())
        return withoutTrailingSeparator(self.parent_path());
    if (argv0 != nullptr && *argv0 != '\0') {
        const std::filesystem::path program = std::filesystem::absolute(argv0, error);
        if (!error && program.has_parent_path())
            return withoutTrailingSeparator(program.parent_path());
    }
    return ".";
}

} // namespace kalibron
