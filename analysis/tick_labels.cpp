#include "analysis/tick_labels.h"

#include <algorithm>
#include <cmath>

namespace kalibron {

namespace {

constexpr double kWideEm = 0.64;
constexpr double kNarrowEm = 0.36;
constexpr double kGapEm = 0.25;
constexpr double kLineEm = 1.25;

bool narrow(char c) { return c == '.' || c == ',' || c == ' ' || c == '\'' || c == ':' || c == ';'; }

} // namespace

double estimatedTextWidth(std::string_view text, double fontTwips)
{
    double em = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c & 0xC0) == 0x80)
            continue; // a continuation byte of the character before
        em += narrow(static_cast<char>(c)) ? kNarrowEm : kWideEm;
    }
    return em * fontTwips;
}

void thinTickLabels(std::vector<TickLabel>& labels, TickLabel::Axis axis, double fontTwips)
{
    struct Extent {
        int index;
        double centre, half;
    };
    std::vector<Extent> extents;
    for (const TickLabel& label : labels) {
        if (label.axis != axis)
            continue;
        if (axis == TickLabel::Axis::X)
            extents.push_back(
                {label.index, label.left + label.width / 2, estimatedTextWidth(label.text, fontTwips) / 2});
        else
            extents.push_back({label.index, label.top + 0.4 * label.height, kLineEm * fontTwips / 2});
    }
    std::sort(extents.begin(), extents.end(), [](const Extent& a, const Extent& b) { return a.index < b.index; });

    const auto apart = [&](int step) {
        const Extent* previous = nullptr;
        for (const Extent& e : extents) {
            if (e.index % step != 0)
                continue;
            // Not "less than" but "not at least": labels at a position that is
            // not finite are never counted as apart.
            if (previous && !(std::fabs(e.centre - previous->centre) >= previous->half + e.half + kGapEm * fontTwips))
                return false;
            previous = &e;
        }
        return true;
    };
    int step = 1;
    // Every step doubling halves the labels; a single label is always apart.
    while (step < (1 << 20) && !apart(step))
        step *= 2;
    if (step == 1)
        return;
    std::erase_if(labels, [&](const TickLabel& label) { return label.axis == axis && label.index % step != 0; });
}

} // namespace kalibron
