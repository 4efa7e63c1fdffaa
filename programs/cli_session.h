#pragma once

#include <cstddef>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>

#include "analysis/calculation.h"
#include "core/messages.h"
#include "core/number_format.h"
#include "core/store.h"
#include "programs/cli_options.h"

namespace kalibron {

// What every command does before its own output, as the window does it:
// read the table, start up, paste it, reject the named points and press
// "Plot and calculate". Message boxes go to standard error as they come.
class CliSession {
public:
    CliSession(const CliOptions& options, const char* argv0, std::ostream& out, std::ostream& err);

    // kExitOk when the calculation ran; otherwise the exit status, the
    // reason already written.
    int calculate(std::istream& in);

    // "kalibron: <reason>" on standard error; returns `status`.
    int fail(int status, const std::string& reason);
    // The whole text on standard output; kExitIoError when it cannot be written.
    int writeOut(std::string_view text);
    // A piece of a longer text on standard output, unflushed; false when it cannot be written.
    bool writePiece(std::string_view text);

    const CliOptions& options() const { return m_options; }
    const Store& store() const { return *m_store; }
    Store& store() { return *m_store; }
    const CalculationResult& result() const { return m_result; }
    const CollectingMessageSink& messages() const { return m_sink; }
    const NumberLocale& locale() const { return m_locale; }

private:
    void flushMessages();
    int applyRejections();

    const CliOptions& m_options;
    const char* m_argv0;
    std::ostream& m_out;
    std::ostream& m_err;
    NumberLocale m_locale; // the window's separators, known once the program has started up

    std::unique_ptr<Store> m_store;
    CollectingMessageSink m_sink;
    std::size_t m_messagesWritten = 0;
    CalculationResult m_result;
};

// The commands' own output, once the session has calculated.
int writeExport(CliSession& session);
int writeFit(CliSession& session);
int writePlot(CliSession& session);
int writeRank(CliSession& session);
int writeValues(CliSession& session);

} // namespace kalibron
