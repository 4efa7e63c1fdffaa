#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/file_list_options.h"
#include "analysis/regression_settings.h"

namespace kalibron {

struct FileListState;
struct Store;

// What the operator typed into one row of the sequence table, kept by the
// file's name (SortName) so that it survives rescans, restarts and moved positions.
struct RowMark {
    std::string name;          // SortName of the row's file
    std::string type;          // column 2: "Std" or "" (as toggled)
    std::string standardValue; // column 5 as typed ("" = none)
    bool rejected = false;     // the point at the row's position was clicked away
};

struct RunSession {
    std::string directory, day, extension, marker; // day "YYMM_DD"
    std::vector<RowMark> rows;                     // rows with anything typed, toggled or rejected
    RegressionSettings regression;                 // the regression window's settings
    int probabilityLevel = 3;                      // 1..6, the band's list
    bool interpolated = false;                     // the result columns follow every change
    double alertMultiple = 3;                      // alert when |y - fit| > multiple * u_pred
    std::string alertMethod = "lin";               // lin, log, poly2..poly5, zigzag
    // Whose u the hand-back writes beside the results ("u of:").
    UncertaintyChoice uncertaintyColumn = UncertaintyChoice::None;
};

struct SessionRead {
    std::optional<RunSession> session; // empty: `problem` says why
    std::string problem;               // e.g. "the session file F is not a KALIBRON session: ... (line L)"
};

// The documented JSON (docs/session-format.md), LF line ends, UTF-8.
std::string sessionJson(const RunSession& session);
SessionRead parseSession(std::string_view text, const std::string& fileName);
// Missing, unreadable, truncated or nonsense files give a problem; the file is never touched.
SessionRead readSessionFile(const std::string& path);
// Atomic (temporary file + rename), creates missing folders; "" on success, else the message.
std::string writeSessionFile(const RunSession& session, const std::string& path);
// The same for a session's text as sessionJson gives it.
std::string writeSessionText(const std::string& json, const std::string& path);
// File name (no folder) of the session of a folder and day: stable across runs and machines'
// restarts, safe for any folder name: "session-" + 16 hex digits of FNV-1a 64 of the absolute
// directory path + "-" + day + ".json" (day characters outside [0-9A-Za-z_] replaced by '_').
std::string sessionFileName(const std::string& directory, const std::string& day);

// Marks of every table row that has any (type differing from the scan's own "Std"/"" by marker,
// a typed value, or a rejection at its position in store.Rejected()).
std::vector<RowMark> captureRowMarks(const FileListState& state, const Store& store, std::string_view marker);
// After a scan and Update_Flex2: writes each mark into the row whose SortName equals its name
// (column 2 and column 5), clears store.Rejected() at every table position and sets it at the
// positions (column 4) of rejected marks. Returns the names of marks whose file is not in the table.
std::vector<std::string> applyRowMarks(FileListState& state, Store& store, const std::vector<RowMark>& marks);

// The alert test for a standard that has just arrived: fit `method` through the earlier used
// standards (x, y), predict at newX; flagged when |newY - prediction| > multiple * uPred, with
// uPred = sqrt(s^2 + u(newX)^2) (s the fit's residual scatter, u the fitted value's standard
// uncertainty from regression/uncertainty.h) - the prediction uncertainty of a new measurement;
// the fitted value's u alone shrinks with every standard and would flag nearly all arrivals.
// nullopt when the method cannot be fitted (too few earlier standards, for log a position <= 0) or
// has no value at newX (the zigzag ends at its last cluster, so it judges no arrival after it).
struct ArrivalCheck {
    double value = 0; // the arrival's newY
    double prediction = 0, uPred = 0, distance = 0;
    bool flagged = false;
};
std::optional<ArrivalCheck> checkArrival(const std::vector<double>& x, const std::vector<double>& y, double newX,
                                         double newY, const std::string& method, double multiple);
// The same test for the standard in the row of file `name`, against the used (not rejected) standards
// of the table at earlier positions, read as Interpolate reads them. nullopt also when that row holds
// no standard value.
std::optional<ArrivalCheck> checkArrivalOf(const FileListState& state, const Store& store, const std::string& name,
                                           const std::string& method, double multiple);

} // namespace kalibron
