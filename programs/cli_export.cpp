#include <string_view>

#include "programs/cli.h"
#include "programs/cli_session.h"
#include "analysis/export_text.h"

namespace kalibron {

// `kalibron export`: the text "Copy interpolated values to clipboard" gives,
// written out piece by piece as it is made.
int writeExport(CliSession& session)
{
    const bool written = streamExport(session.store(), session.result().fits, session.options().settings,
                                      session.locale(), session.options().profile.regressionWindow.exportFormat,
                                      [&](std::string_view piece) { return session.writePiece(piece); });
    return written ? session.writeOut({}) : session.fail(kExitIoError, "cannot write standard output");
}

} // namespace kalibron
