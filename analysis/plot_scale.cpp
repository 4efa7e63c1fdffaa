#include "analysis/plot_scale.h"

#include <algorithm>
#include <cmath>

#include "core/store.h"

namespace kalibron {

YSpan ySpan(double minY, double maxY, bool yFull)
{
    if (yFull) {
        if (std::isfinite(maxY) && maxY > 0)
            return {0, maxY};
        return {0, 1};
    }
    if (std::isfinite(minY) && std::isfinite(maxY) && maxY > minY && std::isfinite(maxY - minY))
        return {minY, maxY};
    // No point at all leaves MinY above MaxY (ScanData's start values).
    if (!std::isfinite(maxY) || minY > maxY)
        return {0, 1};
    const double half = 0.1 * std::fabs(maxY);
    if (half == 0 || !std::isfinite(half))
        return {0, 1};
    return {maxY - half, maxY + half};
}

double plotMaxX(const Store& store)
{
    if (!std::isfinite(store.MaxX))
        return store.lastPosition();
    return std::clamp(store.MaxX, 0.0, static_cast<double>(store.bound()));
}

PlotScale plotScale(double maxX, int firstX, const YSpan& span, bool xFull, bool yFull, double marginX, double marginY)
{
    PlotScale scale;
    scale.left = xFull ? 0.0 : static_cast<double>(firstX);
    scale.width = (1 + marginX) * maxX - scale.left;
    if (!(scale.width > 0) || !std::isfinite(scale.width))
        scale.width = 1;

    const double range = span.high - span.low;
    if (yFull) {
        scale.top = (1 + marginY) * span.high;
        scale.height = -(1 + marginY) * span.high;
    } else {
        scale.top = span.high + marginY * range;
        scale.height = -(1 + 2 * marginY) * range;
    }
    if (!std::isfinite(scale.top) || !std::isfinite(scale.height) || !(scale.height < 0)) {
        scale.top = 1 + marginY;
        scale.height = -(1 + marginY);
    }
    return scale;
}

std::optional<YTickStep> yTickStep(double range)
{
    if (!(range > 0) || !std::isfinite(range))
        return std::nullopt;
    const double quotient = std::log(range) / std::log(10.0);
    const double power = std::floor(quotient);
    const double step = std::pow(10.0, power) / 10;
    if (!(step > 0) || !std::isfinite(step))
        return std::nullopt;
    return YTickStep{step, static_cast<int>(power) - 1};
}

std::string_view yLabelPattern(int exponent)
{
    if (exponent > 4)
        return "0.0E-00";
    if (exponent >= 0)
        return "###,###";
    switch (exponent) {
    case -1:
        return "0";
    case -2:
        return "0.0";
    case -3:
        return "0.00";
    case -4:
        return "0.000";
    case -5:
        return "0.0000";
    default:
        return "0E-00";
    }
}

std::optional<XTickSpacing> xTickSpacing(double maxX, const std::vector<XTickBand>& table)
{
    for (const XTickBand& band : table) {
        if (maxX < band.upTo || (band.upToIncluded && maxX == band.upTo)) {
            if (band.minor <= 0 || band.major <= 0)
                return std::nullopt;
            return XTickSpacing{band.minor, band.major};
        }
    }
    return std::nullopt;
}

} // namespace kalibron
