#include <string>

#include "core/atomic_file.h"
#include "programs/cli.h"
#include "programs/cli_session.h"
#include "programs/plot_module.h"
#include "programs/tool_module.h"

namespace kalibron {

// `kalibron plot`: the window's plot as an image file, written whole or not at all.
int writePlot(CliSession& session)
{
    const CliOptions& options = session.options();
    const ToolModuleEntry module = loadToolModule(session.store().gPath, kPlotModuleFile, kPlotModuleEntry);
    if (module.entry == nullptr)
        return session.fail(kExitIoError, "cannot draw: " + module.problem);
    const auto draw = reinterpret_cast<KalibronPlotImage*>(module.entry);
    const PlotImageFormat format =
        endsWithIgnoringCase(options.output, ".png") ? PlotImageFormat::Png : PlotImageFormat::Svg;
    PlotImage image;
    draw(KALIBRON_VERSION, session.result().scene, options.dpi, format, image);
    if (!image.problem.empty())
        return session.fail(kExitIoError, image.problem);
    if (const std::string problem = writeFileAtomically(options.output, image.bytes); !problem.empty())
        return session.fail(kExitIoError, "cannot write " + options.output + ": " + problem);
    return kExitOk;
}

} // namespace kalibron
