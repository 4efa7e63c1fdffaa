#include "programs/tool_module.h"

#include <dlfcn.h>

#include <filesystem>

namespace kalibron {

namespace {

// Where an installed tool's library folder lies, seen from the tool's folder
// (bin/ -> lib/kalibron/); set by the build from the install folders.
#ifndef KALIBRON_LIB_FROM_BIN
#define KALIBRON_LIB_FROM_BIN "../lib/kalibron"
#endif

std::string loadProblem(const std::filesystem::path& path)
{
    const char* reason = ::dlerror();
    return path.string() + ": " + (reason != nullptr ? reason : "cannot be loaded");
}

} // namespace

ToolModuleEntry loadToolModule(const std::string& programFolder, const char* file, const char* entry)
{
    const std::filesystem::path folder(programFolder.empty() ? std::string(".") : programFolder);
    const std::filesystem::path beside = folder / file;
    const std::filesystem::path installed = (folder / KALIBRON_LIB_FROM_BIN / file).lexically_normal();
    std::error_code error;
    const std::filesystem::path& path = std::filesystem::exists(beside, error) ? beside : installed;
    ToolModuleEntry module;
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        module.problem = loadProblem(path);
        return module;
    }
    module.entry = ::dlsym(handle, entry);
    if (module.entry == nullptr) {
        module.problem = loadProblem(path);
        ::dlclose(handle);
    }
    return module;
}

} // namespace kalibron
