#include "programs/cli_session.h"

#include <ostream>
#include <string>
#include <utility>

#include "core/table_import.h"
#include "programs/cli.h"
#include "programs/cli_table_input.h"
#include "programs/startup.h"
#include "programs/tool_locale.h"

namespace kalibron {

namespace {

// Messages are one line each on standard error; a box may hold line breaks.
void writeMessageLine(std::ostream& err, std::string_view text)
{
    std::string line;
    line.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (!line.empty() && line.back() != ' ')
                line += ' ';
            continue;
        }
        line += c;
    }
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    err << line << '\n';
}

} // namespace

CliSession::CliSession(const CliOptions& options, const char* argv0, std::ostream& out, std::ostream& err)
    : m_options(options), m_argv0(argv0), m_out(out), m_err(err)
{
}

int CliSession::fail(int status, const std::string& reason)
{
    m_err << "kalibron: " << reason << '\n';
    return status;
}

bool CliSession::writePiece(std::string_view text)
{
    m_out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return static_cast<bool>(m_out);
}

int CliSession::writeOut(std::string_view text)
{
    writePiece(text);
    m_out.flush();
    if (!m_out)
        return fail(kExitIoError, "cannot write standard output");
    return kExitOk;
}

void CliSession::flushMessages()
{
    for (; m_messagesWritten < m_sink.messages.size(); ++m_messagesWritten)
        writeMessageLine(m_err, m_sink.messages[m_messagesWritten].text);
}

int CliSession::calculate(std::istream& in)
{
    ReadResult table = m_options.table == "-" ? readStream(in) : readFile(m_options.table);
    if (table.status != kExitOk)
        return fail(table.status, table.problem);

    // Start-up as the program does it.
    m_store = startUp(m_options.profile, m_argv0, m_sink);
    Store& store = *m_store;
    store.ProbIndex = m_options.probIndex;
    flushMessages();
    ToolLocale locale = toolNumberLocale(store.gPath);
    if (!locale.problem.empty())
        return fail(kExitIoError, locale.problem);
    m_locale = std::move(locale.locale);

    // A refused table ends the run with nothing on standard output.
    const ImportStatus imported = ImportClipboard(store, clipboardTextFromFile(table.bytes), m_sink);
    flushMessages();
    if (imported != ImportStatus::Ok)
        return kExitRefused;

    if (const int status = applyRejections(); status != kExitOk)
        return status;
    store.AllData = !m_options.onlyUnrejected;

    const RegressionWindowOptions& window = m_options.profile.regressionWindow;
    // Only the plot draws; the other commands need no scene.
    m_result = m_options.command == Command::Plot
        ? A_PLOT(store, m_options.settings, m_sink, m_locale, window.geometry, window.calculation)
        : calculateFits(store, m_options.settings, m_sink, m_locale, window.calculation);
    flushMessages();
    return kExitOk;
}

// As a click on each point would do it; a position that holds no positive
// point could not be clicked, so naming it is a mistake worth reporting.
int CliSession::applyRejections()
{
    Store& store = *m_store;
    for (const int position : m_options.reject) {
        if (position > store.lastPosition() || !store.Y[static_cast<std::size_t>(position)].positive())
            return fail(kExitRefused, "--reject: position " + std::to_string(position) + " holds no positive point");
        store.Rejected[static_cast<std::size_t>(position)] = ValueCell(1.0);
    }
    return kExitOk;
}

} // namespace kalibron
