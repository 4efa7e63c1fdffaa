// kalibron-plot.so: the drawing of `kalibron plot`, loaded by the tool when
// it writes an image.
#include "programs/plot_module.h"

#include <exception>
#include <string>
#include <type_traits>

#include <QBuffer>
#include <QByteArray>
#include <QImage>

#include "programs/cli_qt_startup.h"
#include "ui/regression_window/scene_painter.h"

namespace kalibron {

namespace {

// The scene as PNG or SVG bytes, painted alike; empty when it cannot be made.
QByteArray renderImage(const PlotScene& scene, double dpi, PlotImageFormat format)
{
    const QtForDrawing qt;
    if (format == PlotImageFormat::Svg)
        return renderSceneSvg(scene, dpi);
    const QImage image = renderSceneImage(scene, dpi);
    QByteArray bytes;
    if (image.isNull())
        return bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        bytes.clear();
    return bytes;
}

} // namespace

} // namespace kalibron

extern "C" __attribute__((visibility("default"))) void kalibron_plot_image(const char* toolVersion,
                                                                           const kalibron::PlotScene& scene, double dpi,
                                                                           kalibron::PlotImageFormat format,
                                                                           kalibron::PlotImage& image) noexcept
{
    using namespace kalibron;
    static_assert(std::is_same_v<decltype(kalibron_plot_image), KalibronPlotImage>);
    image.bytes.clear();
    image.problem.clear();
    const char* formatName = format == PlotImageFormat::Png ? "PNG" : "SVG";
    try {
        const std::string version = toolVersion != nullptr ? toolVersion : "";
        if (version != KALIBRON_VERSION) {
            image.problem = "the drawing module is of version " KALIBRON_VERSION ", the tool of version " + version;
            return;
        }
        const QByteArray bytes = renderImage(scene, dpi, format);
        if (bytes.isEmpty())
            image.problem = std::string("cannot render the plot as ") + formatName + " at " +
                std::to_string(static_cast<int>(dpi)) + " dpi";
        else
            image.bytes.assign(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    } catch (const std::exception& e) {
        image.bytes.clear();
        image.problem = std::string("cannot render the plot as ") + formatName + ": " + e.what();
    }
}
