#pragma once

#include <string>

// The tool keeps what needs Qt in modules of its own (shared objects built
// with it), loaded only when a command needs them, so that a plain export
// starts without mapping Qt at all.

namespace kalibron {

// A module's entry, or "<path>: <why it cannot be loaded>".
struct ToolModuleEntry {
    void* entry = nullptr;
    std::string problem;
};

// Loads `file` from beside the program (the build folder, where the tests run
// too), else from the installed library folder, and looks up `entry` in it.
// Once loaded a module stays for the rest of the process: Qt is not made to
// be unloaded.
ToolModuleEntry loadToolModule(const std::string& programFolder, const char* file, const char* entry);

} // namespace kalibron
