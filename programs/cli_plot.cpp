#include <dlfcn.h>

#include <filesystem>
#include <string>

#include "core/atomic_file.h"
#include "programs/cli.h"
#include "programs/cli_session.h"
#include "programs/plot_module.h"

namespace kalibron {

namespace {

// Where an installed tool's library folder lies, seen from the tool's folder
// (bin/ -> lib/kalibron/); set by the build from the install folders.
#ifndef KALIBRON_LIB_FROM_BIN
#define KALIBRON_LIB_FROM_BIN "../lib/kalibron"
#endif

// The drawing module's entry, or "<path>: <why it cannot be loaded>".
struct PlotModule {
    KalibronPlotImage* draw = nullptr;
    std::string problem;
};

std::string loadProblem(const std::filesystem::path& path)
{
    const char* reason = ::dlerror();
    return path.string() + ": " + (reason != nullptr ? reason : "cannot be loaded");
}

// The module beside the program first (the build folder, where the tests run
// too), else in the installed library folder. Once loaded it stays for the
// rest of the process: Qt Gui is not made to be unloaded.
PlotModule loadPlotModule(const std::string& programFolder)
{
    const std::filesystem::path folder(programFolder.empty() ? std::string(".") : programFolder);
    const std::filesystem::path beside = folder / kPlotModuleFile;
    const std::filesystem::path installed = (folder / KALIBRON_LIB_FROM_BIN / kPlotModuleFile).lexically_normal();
    std::error_code error;
    const std::filesystem::path& path = std::filesystem::exists(beside, error) ? beside : installed;
    PlotModule module;
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        module.problem = loadProblem(path);
        return module;
    }
    module.draw = reinterpret_cast<KalibronPlotImage*>(::dlsym(handle, kPlotModuleEntry));
    if (module.draw == nullptr) {
        module.problem = loadProblem(path);
        ::dlclose(handle);
    }
    return module;
}

} // namespace

// `kalibron plot`: the window's plot as an image file, written whole or not at all.
int writePlot(CliSession& session)
{
    const CliOptions& options = session.options();
    const PlotModule module = loadPlotModule(session.store().gPath);
    if (module.draw == nullptr)
        return session.fail(kExitIoError, "cannot draw: " + module.problem);
    const PlotImageFormat format =
        endsWithIgnoringCase(options.output, ".png") ? PlotImageFormat::Png : PlotImageFormat::Svg;
    PlotImage image;
    module.draw(KALIBRON_VERSION, session.result().scene, options.dpi, format, image);
    if (!image.problem.empty())
        return session.fail(kExitIoError, image.problem);
    if (const std::string problem = writeFileAtomically(options.output, image.bytes); !problem.empty())
        return session.fail(kExitIoError, "cannot write " + options.output + ": " + problem);
    return kExitOk;
}

} // namespace kalibron
