#pragma once

#include <memory>
#include <optional>

#include "analysis/run_session.h"
#include "programs/program_settings.h"

class QObject;

namespace kalibron {

class FileListWindow;
class RegressionWindow;
struct Store;

// Owns both windows of a program that starts in the file list, and carries
// the operator between them: "Interpolate" (after the file list handed its
// standards over) shows the regression window and hides the file list;
// "Back to File List" shows the file list again and writes the values of the
// current fits into its table. Neither window knows the other.
//
// While the file list follows its folder and an interpolation has been made,
// every change (a file, a typed value, a Typ, a rejection or a setting in the
// regression window) hands the table over again, recalculates with the
// regression window's current settings and refills the result columns.
class RealTimeCoordinator {
public:
    RealTimeCoordinator(Store& store, const ProgramProfile& profile);
    ~RealTimeCoordinator();

    FileListWindow& fileList() { return *m_fileList; }
    RegressionWindow& regression() { return *m_regression; }

    void interpolate();
    void backToFileList();
    // Interpolate, the regression window's calculation and Back to File List
    // without showing or hiding anything (the file list shows its grid after
    // the change that asked for it); problems go to the status line.
    void followResults();
    bool interpolated() const { return m_interpolated; }

private:
    // Writes the current fits (and the chosen u) into the file list's table
    // and shows it.
    void handBack();
    // The writing alone: "Back to File List" with the u of the method chosen.
    void writeResults();
    void fillSession(RunSession& session) const;
    void applySession(const RunSession& session);
    void regressionChanged();

    Store& m_store;
    ProgramProfile m_profile;
    std::unique_ptr<FileListWindow> m_fileList;
    std::unique_ptr<RegressionWindow> m_regression;
    bool m_interpolated = false;
    bool m_rerunQueued = false;
    // Settings of a restored session, put back after the regression window's
    // first showing reset its lists.
    std::optional<RunSession> m_restored;
    std::unique_ptr<QObject> m_regressionWatch;
};

} // namespace kalibron
