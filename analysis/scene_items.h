#pragma once

#include <cmath>
#include <utility>
#include <vector>

#include "analysis/plot_scene.h"

namespace kalibron {

// Append a segment, a box outline or a filled box unless one of its
// coordinates is not finite: such an item has no place on screen (the log
// curve at X = 0, a fit that overflowed), and a painter must never receive
// inf or nan. Returns whether the item was added. Inline: a large data set
// adds a quarter of a million segments per calculation.
inline bool finiteCorners(double x1, double y1, double x2, double y2)
{
    return std::isfinite(x1) && std::isfinite(y1) && std::isfinite(x2) && std::isfinite(y2);
}

inline bool addSegment(PrimitiveList& items, Canvas canvas, double x1, double y1, double x2, double y2, Rgb colour)
{
    if (!finiteCorners(x1, y1, x2, y2))
        return false;
    // Braces, not emplace's parentheses: clang 14 (the fuzz build) cannot yet
    // initialise an aggregate from a parenthesised list.
    items.push_back(Segment{canvas, x1, y1, x2, y2, colour});
    return true;
}

// Collects the unit steps of one curve and emits each unbroken run as one
// Polyline. A step that does not start where the previous one ended, or has a
// coordinate that is not finite, ends the run.
class UnitStepRun {
public:
    // `lastX`: where the curve's last step ends. A run is given room up to
    // there at once: no doubling of a list of thousands of values, whose
    // freed halves would stay with the process.
    UnitStepRun(Canvas canvas, Rgb colour, double lastX) : m_canvas(canvas), m_colour(colour), m_lastX(lastX)
    {
    }

    // The segment from (x, y1) to (x + 1, y2).
    void step(PrimitiveList& items, double x, double y1, double y2)
    {
        if (!finiteCorners(x, y1, x + 1, y2))
            return;
        if (!m_ys.empty() && (x != m_x0 + static_cast<double>(m_ys.size() - 1) || y1 != m_ys.back()))
            flush(items);
        if (m_ys.empty()) {
            if (m_lastX > x)
                m_ys.reserve(static_cast<std::size_t>(m_lastX - x) + 1);
            m_x0 = x;
            m_ys.push_back(y1);
        }
        m_ys.push_back(y2);
    }

    void flush(PrimitiveList& items)
    {
        if (m_ys.size() < 2) {
            m_ys.clear();
            return;
        }
        // The scene outlives the calculation: a run cut short by a gap gives
        // back the room it did not use.
        m_ys.shrink_to_fit();
        items.push_back(Polyline{m_canvas, m_x0, std::move(m_ys), m_colour});
        m_ys = {};
    }

private:
    Canvas m_canvas;
    Rgb m_colour;
    double m_lastX;
    double m_x0 = 0;
    std::vector<double> m_ys;
};

bool addBox(PrimitiveList& items, Canvas canvas, double x1, double y1, double x2, double y2, Rgb colour);
bool addFilledBox(PrimitiveList& items, Canvas canvas, double x1, double y1, double x2, double y2, Rgb colour);

} // namespace kalibron
