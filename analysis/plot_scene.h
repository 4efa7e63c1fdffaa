#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace kalibron {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

namespace colours {
inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kRed{255, 0, 0};
inline constexpr Rgb kOrange{255, 128, 0};
inline constexpr Rgb kMagenta{255, 0, 255};
inline constexpr Rgb kBlue{0, 0, 255};
inline constexpr Rgb kGreen{0, 255, 0};
inline constexpr Rgb kDarkGreen{0, 192, 0};
inline constexpr Rgb kTeal{0, 192, 192};
inline constexpr Rgb kLightBlue{128, 128, 255};
inline constexpr Rgb kFrameBackground{255, 255, 192};
inline constexpr Rgb kPlotBackground{255, 255, 255};
} // namespace colours

// Which picture box a primitive is drawn in: the plot area pict1 (data
// units, Y up) or the frame pict2 behind it (twips from its top left corner).
enum class Canvas { Plot, Frame };

struct Segment {
    Canvas canvas = Canvas::Plot;
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    Rgb colour;
    bool operator==(const Segment&) const = default;
};

// Rectangle outline with corners (x1, y1) and (x2, y2).
struct Box {
    Canvas canvas = Canvas::Plot;
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    Rgb colour;
    bool operator==(const Box&) const = default;
};

// Filled rectangle with corners (x1, y1) and (x2, y2), no outline. A scene
// lists these first, so they lie under every line.
struct FilledBox {
    Canvas canvas = Canvas::Plot;
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    Rgb colour;
    bool operator==(const FilledBox&) const = default;
};

// A curve drawn one unit step at a time: the segments (x0 + k, ys[k]) to
// (x0 + k + 1, ys[k + 1]). One of these replaces the thousands of segments a
// long live run would otherwise keep for each curve.
struct Polyline {
    Canvas canvas = Canvas::Plot;
    double x0 = 0;
    std::vector<double> ys;
    Rgb colour;
    bool operator==(const Polyline&) const = default;
};

using Primitive = std::variant<Segment, Box, FilledBox, Polyline>;
using PrimitiveList = std::vector<Primitive>;

// A tick label of the frame. For the Y axis (lblY(index)) left/top is the
// label's top left corner in frame twips; for the X axis (lblX(index)) left is
// the label's left edge when it is `width` twips wide, i.e. centre − width/2.
struct TickLabel {
    enum class Axis { X, Y };
    Axis axis = Axis::Y;
    int index = 0;
    std::string text;
    double left = 0, top = 0, width = 0, height = 0;
    bool operator==(const TickLabel&) const = default;
};

// User coordinate system of pict1: left edge, top edge, width and height in
// data units (height negative: Y grows upwards).
struct PlotScale {
    double left = 0, top = 1, width = 1, height = -1;
    bool operator==(const PlotScale&) const = default;
};

// Fixed layout of the two picture boxes, in twips of the window's client area.
struct PlotGeometry {
    double frameLeft = 1080, frameTop = 120, frameWidth = 11655, frameHeight = 6495;
    double plotLeft = 1920, plotTop = 360, plotWidth = 10575, plotHeight = 5775;
    double yLabelLeft = 90, yLabelWidth = 615, yLabelHeight = 255;
    double xLabelTop = 6120, xLabelWidth = 90, xLabelHeight = 195;
    double labelFontTwips = 165; // tick label font, 8.25 pt; the painters use this size
    int xLabelCount = 21;        // lblX(0) .. lblX(20)
    int yLabelCount = 11;        // lblY(0) .. lblY(10)
};

// Everything one calculation draws, in drawing order. The window paints it,
// the command-line tool renders it to PNG or SVG, tests read it.
struct PlotScene {
    PlotGeometry geometry;
    PlotScale scale;
    PrimitiveList items;
    std::vector<TickLabel> labels;
};

} // namespace kalibron
