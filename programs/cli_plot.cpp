#include <string>

#include <QBuffer>
#include <QByteArray>
#include <QImage>

#include "core/atomic_file.h"
#include "programs/cli.h"
#include "programs/cli_qt_startup.h"
#include "programs/cli_session.h"
#include "ui/regression_window/scene_painter.h"

namespace kalibron {

namespace {

// The scene as PNG or SVG bytes, painted alike; empty when it cannot be made.
QByteArray renderImage(const PlotScene& scene, double dpi, bool png)
{
    const QtForDrawing qt;
    if (!png)
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

// `kalibron plot`: the window's plot as an image file, written whole or not at all.
int writePlot(CliSession& session)
{
    const CliOptions& options = session.options();
    const bool png = endsWithIgnoringCase(options.output, ".png");
    const QByteArray image = renderImage(session.result().scene, options.dpi, png);
    if (image.isEmpty())
        return session.fail(kExitIoError,
                            std::string("cannot render the plot as ") + (png ? "PNG" : "SVG") + " at " +
                                std::to_string(static_cast<int>(options.dpi)) + " dpi");
    const std::string bytes(image.constData(), static_cast<std::size_t>(image.size()));
    if (const std::string problem = writeFileAtomically(options.output, bytes); !problem.empty())
        return session.fail(kExitIoError, "cannot write " + options.output + ": " + problem);
    return kExitOk;
}

} // namespace kalibron
