#include <string>

#include "programs/cli_session.h"
#include "ui/regression_window/export_text.h"

namespace kalibron {

// `kalibron export`: the text "Copy interpolated values to clipboard" gives.
int writeExport(CliSession& session)
{
    const std::string text = buildExport(session.store(), session.result().fits, session.options().settings,
                                         session.locale(), session.options().profile.regressionWindow.exportFormat);
    return session.writeOut(text);
}

} // namespace kalibron
