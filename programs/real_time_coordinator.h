#pragma once

#include <memory>

#include "programs/program_settings.h"

namespace kalibron {

class FileListWindow;
class RegressionWindow;
struct Store;

// Owns both windows of a program that starts in the file list, and carries
// the operator between them: "Interpolate" (after the file list handed its
// standards over) shows the regression window and hides the file list;
// "Back to File List" shows the file list again and writes the values of the
// current fits into its table. Neither window knows the other.
class RealTimeCoordinator {
public:
    RealTimeCoordinator(Store& store, const ProgramProfile& profile);
    ~RealTimeCoordinator();

    FileListWindow& fileList() { return *m_fileList; }
    RegressionWindow& regression() { return *m_regression; }

    void interpolate();
    void backToFileList();

private:
    // Writes the current fits (and the chosen u) into the file list's table.
    void handBack();

    Store& m_store;
    ProgramProfile m_profile;
    std::unique_ptr<FileListWindow> m_fileList;
    std::unique_ptr<RegressionWindow> m_regression;
};

} // namespace kalibron
