#pragma once

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/messages.h"
#include "core/store.h"
#include "core/student_table.h"
#include "core/table_import.h"
#include "programs/cli.h"
#include "programs/startup.h"
#include "analysis/calculation.h"
#include "analysis/export_text.h"

namespace kalibron::test {

struct CliOutcome {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the tool in-process as `kalibron <args...>` with `input` on standard input.
inline CliOutcome runTool(const std::vector<std::string>& args, const std::string& input = {})
{
    std::vector<std::string> storage;
    storage.reserve(args.size() + 1);
    storage.emplace_back("kalibron");
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : storage)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::istringstream in(input);
    std::ostringstream out, err;
    CliOutcome outcome;
    outcome.status = runCli(static_cast<int>(storage.size()), argv.data(), in, out, err);
    outcome.out = out.str();
    outcome.err = err.str();
    return outcome;
}

// What the regression window does with the same table and settings: start-up,
// paste, clicks on the points, "Plot and calculate", then the export.
struct WindowSession {
    ProgramProfile profile = kalibron01Profile();
    std::unique_ptr<Store> store;
    CollectingMessageSink messages;
    CalculationResult result;
    ImportStatus imported = ImportStatus::BadFormat;
};

inline std::unique_ptr<WindowSession> runWindow(const std::string& clipboardText, const RegressionSettings& settings,
                                                int probIndex = 3, const std::vector<int>& rejected = {},
                                                bool allData = true,
                                                const ProgramProfile& profile = kalibron01Profile())
{
    auto session = std::make_unique<WindowSession>();
    session->profile = profile;
    session->store = startUp(profile, "kalibron", session->messages);
    Store& store = *session->store;
    store.ProbIndex = probIndex;
    session->imported = ImportClipboard(store, clipboardText, session->messages);
    for (int p : rejected)
        store.Rejected[static_cast<std::size_t>(p)] = ValueCell(1.0);
    store.AllData = allData;
    const RegressionWindowOptions& window = profile.regressionWindow;
    session->result = A_PLOT(store, settings, session->messages, NumberLocale{}, window.geometry, window.calculation);
    return session;
}

inline std::string windowExport(WindowSession& session, const RegressionSettings& settings)
{
    return buildExport(*session.store, session.result.fits, settings, NumberLocale{},
                       session.profile.regressionWindow.exportFormat);
}

// A scratch folder removed with the fixture.
class TempFolder {
public:
    TempFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "kalibron_cli_XXXXXX").string();
        m_path = mkdtemp(pattern.data());
    }
    ~TempFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    std::string file(const std::string& name, const std::string& content) const
    {
        const std::string path = (m_path / name).string();
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    std::string path(const std::string& name) const { return (m_path / name).string(); }
    const std::filesystem::path& root() const { return m_path; }

private:
    std::filesystem::path m_path;
};

inline std::string readAll(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Lines of an export (ended by CR alone).
inline std::vector<std::string> crLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
        if (c == '\r') {
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

inline std::vector<std::string> tabCells(const std::string& line)
{
    std::vector<std::string> cells;
    std::string cell;
    for (char c : line) {
        if (c == '\t') {
            cells.push_back(cell);
            cell.clear();
        } else {
            cell += c;
        }
    }
    cells.push_back(cell);
    return cells;
}

} // namespace kalibron::test
