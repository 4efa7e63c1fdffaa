#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QVariant>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "analysis/file_list_options.h"
#include "analysis/run_session.h"
#include "core/number_format.h"
#include "ui/regression_window/message_box_sink.h"

class QCheckBox;
class QComboBox;
class QFileSystemWatcher;
class QTimer;
class QFileSystemModel;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListView;
class QStringListModel;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QShowEvent;
class QTableWidget;
class QTableWidgetItem;
class QTreeView;

namespace kalibron {

struct FileEntry;
struct Store;

// How the sequence table's cells look beyond their texts, shared by all of them.
struct GridCellLook {
    std::vector<QVariant> backgrounds; // a filled row's colour, by column
    QVariant extrapolatedFont, extrapolatedText, extrapolatedTip;
};

inline constexpr const char* kFileListCaption =
    "KALIBRON - REAL TIME --- This window select files of a given extension created in a given day, read their "
    "time, and prepare a table for interpolation";

// frm_FileList: the real-time file list window. Lists the files of one day
// and extension of a directory in time order, takes the standard values the
// operator types into the sequence table, and hands the table over to the
// regression window ("Interpolate"). The scan, the table, the hand-over, the
// copy text and the master file are plain code (file_scan.h,
// sequence_table.h, interpolation.h, table_output.h); this window reads its
// controls, calls them and shows the store's sequence grid.
class FileListWindow : public QWidget {
    Q_OBJECT
public:
    // Chooses the master file's name: (start folder, preset name) -> path,
    // empty when cancelled. The default is the save dialog.
    using SaveFileChooser = std::function<QString(const QString& folder, const QString& presetName)>;

    explicit FileListWindow(Store& store, const FileListOptions& options = {}, QWidget* parent = nullptr);
    ~FileListWindow() override;

    // Where messages go; nullptr restores the message boxes.
    void setMessageSink(MessageSink* sink);
    void setSaveFileChooser(SaveFileChooser chooser);
    // What follows a successful hand-over (show the regression window, hide
    // this one); set by the program that owns both windows.
    void setInterpolateHandler(std::function<void()> handler) { m_interpolateHandler = std::move(handler); }
    // What follows a new choice in "u of:" (write the chosen u into the
    // table again); set by the program that owns both windows.
    void setUncertaintyHandler(std::function<void()> handler) { m_uncertaintyHandler = std::move(handler); }
    // Whose u the hand-back writes beside the results, as "u of:" shows it.
    UncertaintyChoice uncertaintyChoice() const;

    // Makes `path` Dir1's current directory, which runs the scan.
    void setCurrentDirectory(const QString& path);
    // Shows the store's sequence grid again (after the hand-back wrote it).
    void showGrid();
    // Shows the grid the hand-back has just written: from now until the
    // table is made anew, a choice in "u of:" asks for the hand-back again.
    void showHandBack();

    int twipsToPixelsX(double twips) const;
    int twipsToPixelsY(double twips) const;

    void Form_Activate();
    void cmdTakeIt_Click();
    void Drive1_Change();
    void Dir1_Change();
    void cmdAccept_Click();
    void cmdReOrd_Click();
    void Update_Flex2();
    void FlexGrid2_Click(int row, int col);
    void FlexGrid2_DblClick(int row, int col);
    void txtInpSTDgas_KeyPress(int keyAscii);
    void cmdBack_Click();
    void cmdInterpolate_Click();
    void cmdCopy_Click();
    void cmdSave_Click();
    void cmdClose_Click();
    void cboUncertainty_Click();

    // --- A live run: following the folder, the session file, alerts -----------
    // Chooses a session file to open: (start folder) -> path, empty when
    // cancelled. The default is the open dialog.
    using OpenFileChooser = std::function<QString(const QString& folder)>;
    // Asks a yes/no question; the default is a question box.
    using QuestionAsker = std::function<bool(const QString& question)>;
    void setOpenSessionChooser(OpenFileChooser chooser) { m_openSessionChooser = std::move(chooser); }
    void setSaveSessionChooser(SaveFileChooser chooser) { m_saveSessionChooser = std::move(chooser); }
    void setQuestionAsker(QuestionAsker asker) { m_asker = std::move(asker); }
    // Called after each change of the table while Follow is on (a file came or
    // went, a value was typed, a Typ toggled): the program reruns the results.
    void setChangeHandler(std::function<void()> handler) { m_changeHandler = std::move(handler); }
    // What the program adds to a session (the regression window's part) and
    // takes from a restored one.
    void setSessionHooks(std::function<void(RunSession&)> fill, std::function<void(const RunSession&)> apply);
    // How long a new file's time must stay unchanged before it is listed, and
    // how often the folder is read when no change is reported.
    void setFollowTiming(int settleMs, int rescanMs);

    bool following() const;
    // One look at the followed folder: lists settled new files, drops gone ones.
    void followTick();
    // The whole state of the run, as the session file keeps it.
    RunSession currentSession() const;
    // Scans the session's folder and day, fills the table with its marks and
    // follows the folder; the session file is then kept at `path`.
    void applySession(const RunSession& session, const QString& path);
    // Writes the session file now (while Follow is on and a table is shown).
    void saveSession();
    QString sessionPath() const { return m_sessionPath; }
    // Sets the note of the status line (the folder, the session).
    void setNote(const QString& note);
    // After the results followed a change: whether the result columns hold
    // results (a new "u of:" choice then rewrites its column at once), and
    // what the rerun had to say, on a line of its own ("" for nothing).
    void followedResults(bool written, const QString& problem);
    QString statusText() const;
    // Names (SortName) of the rows shown red by an alert.
    const std::set<std::string>& alertedRows() const { return m_alerts; }

    void chkFollow_Click();
    void cboAlert_Click();
    void cmdOpenSession_Click();
    void cmdSaveSessionAs_Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void createControls();
    void nameControls();
    void applyLayout();
    void connectHandlers();
    void fillDrives();
    void putOnClipboard(const std::string& text);

    void createLiveControls();
    void connectLiveHandlers();
    void decorateLiveRows();
    void liveChanged();
    void rescanFollowed(const std::vector<FileEntry>& files, const std::vector<std::string>& gone);
    void scanDone();
    void showListing(const std::string& listText); // the directory's files and the day's selection
    QTableWidgetItem* gridCell(int row, int col);  // the table's cell of grid cell (row, col), made when missing
    void checkArrivals(const std::vector<std::string>& names);
    void showStatus();
    bool ask(const QString& question);
    std::vector<RowMark> allMarks() const;

    Store& m_store;
    FileListOptions m_options;
    NumberLocale m_locale;
    MessageBoxSink m_boxSink;
    MessageSink* m_sink;
    SaveFileChooser m_chooser;
    std::function<void()> m_interpolateHandler;
    std::function<void()> m_uncertaintyHandler;
    QString m_currentDirectory;
    int m_shownRows = 0;                               // grid rows 1..this may hold text in the view
    bool m_handedBack = false;                         // the grid holds the results of a hand-back
    GridCellLook m_cellLook; // fixed once made

    QTableWidget* m_FlexGrid2 = nullptr;
    std::array<QLabel*, 14> m_lblRizsa{};
    QPushButton *m_cmdInterpolate = nullptr, *m_cmdCopy = nullptr, *m_cmdClose = nullptr, *m_cmdSave = nullptr;
    QPushButton *m_cmdTakeIt = nullptr, *m_cmdAccept = nullptr, *m_cmdReOrd = nullptr, *m_cmdBack = nullptr;
    QLineEdit *m_Text1 = nullptr, *m_Text3 = nullptr, *m_txtExtension = nullptr, *m_txtStandard = nullptr;
    QLineEdit* m_txtInpSTDgas = nullptr;
    QComboBox* m_Drive1 = nullptr;
    QTreeView* m_Dir1 = nullptr;
    QFileSystemModel* m_dirModel = nullptr;
    QListView* m_List1 = nullptr;
    QStringListModel* m_List1Model = nullptr;
    QLabel *m_Label1 = nullptr, *m_lblPath = nullptr;
    QScrollArea* m_scrLabel1 = nullptr; // scrolls Label1
    QGroupBox* m_Frame1 = nullptr;
    std::array<QRadioButton*, 3> m_optStringSearch{};
    QComboBox *m_Combo1 = nullptr, *m_Combo2 = nullptr, *m_comboStd = nullptr;
    QLabel* m_lblUncertainty = nullptr;
    QComboBox* m_cboUncertainty = nullptr;

    // --- A live run ---
    struct Pending {
        std::int64_t lastWrite = 0; // the file's time when first seen so
        qint64 seenAt = 0;          // m_clock's ms at that sighting
    };
    bool m_tableEdited = false;  // "Edit list in table" made the table of this scan
    // What the last scan read: a followed table stays with them whatever the
    // day fields and the directory tree show meanwhile.
    std::string m_scanExtension, m_scanDay;
    QString m_scanDirectory;
    QCheckBox* m_chkFollow = nullptr;
    QLabel* m_lblAlert = nullptr;
    QComboBox *m_cboAlert = nullptr, *m_cboAlertMethod = nullptr;
    QPushButton *m_cmdOpenSession = nullptr, *m_cmdSaveSessionAs = nullptr;
    QLabel* m_lblStatus = nullptr;
    QFileSystemWatcher* m_watcher = nullptr;
    QTimer *m_rescanTimer = nullptr, *m_settleTimer = nullptr;
    int m_settleMs = 1000;
    QElapsedTimer m_clock;
    std::map<std::string, Pending> m_pending;          // new files of the day not yet listed
    std::map<std::string, std::int64_t> m_listedFiles; // files of the day in the last scan, with times
    std::vector<RowMark> m_unplacedMarks;              // marks whose file is not (yet) in the table
    std::set<std::string> m_alerts;
    QString m_note, m_alertNote, m_resultNote;
    QString m_savedPath;     // where saveSession last wrote
    std::string m_savedJson; // and what
    QString m_sessionPath;
    std::set<QString> m_blockedSessions; // unreadable session files the user chose to keep
    bool m_applyingSession = false;
    std::function<void()> m_changeHandler;
    std::function<void(RunSession&)> m_sessionFill;
    std::function<void(const RunSession&)> m_sessionApply;
    OpenFileChooser m_openSessionChooser;
    SaveFileChooser m_saveSessionChooser;
    QuestionAsker m_asker;
};

} // namespace kalibron
