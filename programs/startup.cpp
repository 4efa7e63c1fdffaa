#include "programs/startup.h"

#include "core/store.h"
#include "core/student_table.h"

namespace kalibron {

std::unique_ptr<Store> startUp(const ProgramProfile& profile, const char* argv0, MessageSink& messages)
{
    auto store = std::make_unique<Store>(profile.store);
    store->gPath = programFolder(argv0);
    LoadStudent(*store, messages);
    store->AllData = true;
    store->FileListShown = false;
    if (profile.exampleSequence)
        putExampleSequence(*store);
    return store;
}

} // namespace kalibron
