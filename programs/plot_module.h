#pragma once

#include <string>

#include "analysis/plot_scene.h"

// `kalibron plot` draws through a module of its own (kalibron-plot.so), loaded
// only when an image is asked for: the other commands then start without
// mapping Qt Gui, Qt SVG, fontconfig and the rest. The tool and the module
// come out of one build; they meet in the one C function below.

namespace kalibron {

enum class PlotImageFormat { Png, Svg };

// What the module hands back: the image file's bytes, or the reason there are none.
struct PlotImage {
    std::string bytes;
    std::string problem;
};

inline constexpr char kPlotModuleFile[] = "kalibron-plot.so";
inline constexpr char kPlotModuleEntry[] = "kalibron_plot_image";

} // namespace kalibron

extern "C" {

// Draws `scene` at `dpi` dots per inch as a PNG or SVG file into `image`
// (QtForDrawing for the length of the call). `toolVersion` is the calling
// tool's version: a module of another version refuses, since the scene's
// layout may differ between them. Never throws.
using KalibronPlotImage = void(const char* toolVersion, const kalibron::PlotScene& scene, double dpi,
                               kalibron::PlotImageFormat format, kalibron::PlotImage& image) noexcept;
}
