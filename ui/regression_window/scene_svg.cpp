#include "ui/regression_window/scene_svg.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <string_view>
#include <variant>

#include "ui/regression_window/plot_scene.h"

namespace kalibron {
namespace {

struct Rect {
    double left = 0, top = 0, right = 0, bottom = 0;
};

struct Line {
    double x1, y1, x2, y2;
};

// Fixed notation with two decimals, independent of the process locale.
void appendNumber(std::string& svg, double value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2);
    svg.append(buffer, result.ptr);
}

void appendColour(std::string& svg, Rgb colour)
{
    static constexpr char kHex[] = "0123456789abcdef";
    svg += '#';
    for (const std::uint8_t channel : {colour.r, colour.g, colour.b}) {
        svg += kHex[channel >> 4];
        svg += kHex[channel & 15];
    }
}

void appendEscaped(std::string& svg, std::string_view text)
{
    for (const char c : text) {
        switch (c) {
        case '&': svg += "&amp;"; break;
        case '<': svg += "&lt;"; break;
        case '>': svg += "&gt;"; break;
        case '"': svg += "&quot;"; break;
        default:
            // XML 1.0 admits no control characters other than TAB, LF and CR.
            if (static_cast<unsigned char>(c) >= 0x20 || c == '\t')
                svg += c;
        }
    }
}

bool finite(const Line& l)
{
    return std::isfinite(l.x1) && std::isfinite(l.y1) && std::isfinite(l.x2) && std::isfinite(l.y2);
}

// Liang–Barsky: the part of the segment inside `r`, or nothing. Curves of the
// plot reach far beyond the visible area (a polynomial at large X), and a
// renderer handed such coordinates may lose precision or the line.
std::optional<Line> clip(Line l, const Rect& r)
{
    const double dx = l.x2 - l.x1, dy = l.y2 - l.y1;
    double t0 = 0, t1 = 1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {l.x1 - r.left, r.right - l.x1, l.y1 - r.top, r.bottom - l.y1};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return std::nullopt;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1)
            return std::nullopt;
    }
    return Line{l.x1 + t0 * dx, l.y1 + t0 * dy, l.x1 + t1 * dx, l.y1 + t1 * dy};
}

void appendLine(std::string& svg, const Line& l, Rgb colour)
{
    svg += "<line x1=\"";
    appendNumber(svg, l.x1);
    svg += "\" y1=\"";
    appendNumber(svg, l.y1);
    svg += "\" x2=\"";
    appendNumber(svg, l.x2);
    svg += "\" y2=\"";
    appendNumber(svg, l.y2);
    svg += "\" stroke=\"";
    appendColour(svg, colour);
    svg += "\"/>\n";
}

void appendRect(std::string& svg, const Rect& r, Rgb fill)
{
    svg += "<rect x=\"";
    appendNumber(svg, r.left);
    svg += "\" y=\"";
    appendNumber(svg, r.top);
    svg += "\" width=\"";
    appendNumber(svg, r.right - r.left);
    svg += "\" height=\"";
    appendNumber(svg, r.bottom - r.top);
    svg += "\" fill=\"";
    appendColour(svg, fill);
    svg += "\" stroke=\"none\"/>\n";
}

class SvgWriter {
public:
    SvgWriter(const PlotScene& scene, std::string& svg)
        : m_scene(scene), m_svg(svg)
    {
        const PlotGeometry& g = scene.geometry;
        m_frame = {0, 0, g.frameWidth, g.frameHeight};
        m_plot = {g.plotLeft - g.frameLeft, g.plotTop - g.frameTop, g.plotLeft - g.frameLeft + g.plotWidth,
                  g.plotTop - g.frameTop + g.plotHeight};
        const PlotScale& s = scene.scale;
        m_scaleUsable = std::isfinite(s.left) && std::isfinite(s.top) && std::isfinite(s.width)
                        && std::isfinite(s.height) && s.width != 0 && s.height != 0;
    }

    // Data units of pict1 to frame twips.
    Line toFrame(Canvas canvas, double x1, double y1, double x2, double y2) const
    {
        if (canvas == Canvas::Frame)
            return {x1, y1, x2, y2};
        const PlotScale& s = m_scene.scale;
        const double w = m_plot.right - m_plot.left, h = m_plot.bottom - m_plot.top;
        auto mx = [&](double x) { return m_plot.left + (x - s.left) / s.width * w; };
        auto my = [&](double y) { return m_plot.top + (y - s.top) / s.height * h; };
        return {mx(x1), my(y1), mx(x2), my(y2)};
    }

    void segment(Canvas canvas, Line l, Rgb colour)
    {
        if (canvas == Canvas::Plot && !m_scaleUsable)
            return;
        l = toFrame(canvas, l.x1, l.y1, l.x2, l.y2);
        if (!finite(l))
            return;
        if (const auto inside = clip(l, canvas == Canvas::Plot ? m_plot : m_frame))
            appendLine(m_svg, *inside, colour);
    }

    void primitive(const Primitive& item)
    {
        if (const auto* s = std::get_if<Segment>(&item)) {
            segment(s->canvas, {s->x1, s->y1, s->x2, s->y2}, s->colour);
        } else if (const auto* b = std::get_if<Box>(&item)) {
            // An outline of four edges, each cut separately: a mark half
            // outside the area keeps its visible edges and gains none.
            segment(b->canvas, {b->x1, b->y1, b->x2, b->y1}, b->colour);
            segment(b->canvas, {b->x2, b->y1, b->x2, b->y2}, b->colour);
            segment(b->canvas, {b->x2, b->y2, b->x1, b->y2}, b->colour);
            segment(b->canvas, {b->x1, b->y2, b->x1, b->y1}, b->colour);
        }
    }

    void label(const TickLabel& label)
    {
        if (!std::isfinite(label.left) || !std::isfinite(label.top) || !std::isfinite(label.width)
            || !std::isfinite(label.height))
            return;
        // Y labels stand right-aligned against the axis, their middle at
        // 0.4 of the label's height (where the window's caption sits); X
        // labels are centred under their tick, their text hanging from the
        // label's top.
        const bool yAxis = label.axis == TickLabel::Axis::Y;
        const double x = yAxis ? label.left + label.width : label.left + label.width / 2;
        const double middle = yAxis ? label.top + 0.4 * label.height : label.top + 0.6 * m_scene.geometry.labelFontTwips;
        m_svg += "<text x=\"";
        appendNumber(m_svg, x);
        m_svg += "\" y=\"";
        appendNumber(m_svg, middle);
        m_svg += yAxis ? "\" dominant-baseline=\"central\" text-anchor=\"end\">"
                       : "\" dominant-baseline=\"central\" text-anchor=\"middle\">";
        appendEscaped(m_svg, label.text);
        m_svg += "</text>\n";
    }

    const Rect& plotRect() const { return m_plot; }

private:
    const PlotScene& m_scene;
    std::string& m_svg;
    Rect m_frame, m_plot;
    bool m_scaleUsable = false;
};

} // namespace

std::string sceneToSvg(const PlotScene& scene, double dpi)
{
    const PlotGeometry& g = scene.geometry;
    std::string svg;
    svg.reserve(4096 + scene.items.size() * 96);
    svg += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"";
    appendNumber(svg, g.frameWidth * dpi / 1440.0);
    svg += "px\" height=\"";
    appendNumber(svg, g.frameHeight * dpi / 1440.0);
    svg += "px\" viewBox=\"0 0 ";
    appendNumber(svg, g.frameWidth);
    svg += ' ';
    appendNumber(svg, g.frameHeight);
    svg += "\">\n";

    SvgWriter writer(scene, svg);
    appendRect(svg, {0, 0, g.frameWidth, g.frameHeight}, colours::kFrameBackground);
    appendRect(svg, writer.plotRect(), colours::kPlotBackground);

    // One device pixel, whatever the dpi: the view box is in twips.
    svg += "<g fill=\"none\" stroke-linecap=\"square\" stroke-width=\"";
    appendNumber(svg, 1440.0 / dpi);
    svg += "\">\n";
    for (const Primitive& item : scene.items)
        writer.primitive(item);
    svg += "</g>\n";

    svg += "<g font-family=\"sans-serif\" font-size=\"";
    appendNumber(svg, g.labelFontTwips);
    svg += "\" fill=\"#000000\">\n";
    for (const TickLabel& label : scene.labels)
        writer.label(label);
    svg += "</g>\n</svg>\n";
    return svg;
}

} // namespace kalibron
