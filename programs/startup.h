#pragma once

#include <memory>

#include "programs/program_settings.h"

namespace kalibron {

class MessageSink;
struct Store;

// Main: the store a program starts with. Records the program's folder (from
// argv0), loads student.dat from there (a problem goes to messages and the
// program runs on without the band), sets AllData and clears FileListShown,
// and puts the example sequence in when the profile asks for it.
// Both programs, the command-line tool and the tests start through here.
std::unique_ptr<Store> startUp(const ProgramProfile& profile, const char* argv0, MessageSink& messages);

} // namespace kalibron
