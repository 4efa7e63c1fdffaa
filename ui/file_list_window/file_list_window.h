#pragma once

#include <QString>
#include <QWidget>

#include <array>
#include <functional>

#include "analysis/file_list_options.h"
#include "core/number_format.h"
#include "ui/regression_window/message_box_sink.h"

class QComboBox;
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
class QTreeView;

namespace kalibron {

struct Store;

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

protected:
    void showEvent(QShowEvent* event) override;

private:
    void createControls();
    void nameControls();
    void applyLayout();
    void connectHandlers();
    void fillDrives();
    void putOnClipboard(const std::string& text);

    Store& m_store;
    FileListOptions m_options;
    NumberLocale m_locale;
    MessageBoxSink m_boxSink;
    MessageSink* m_sink;
    SaveFileChooser m_chooser;
    std::function<void()> m_interpolateHandler;
    std::function<void()> m_uncertaintyHandler;
    QString m_currentDirectory;
    int m_shownRows = 0;       // grid rows 1..this may hold text in the view
    bool m_handedBack = false; // the grid holds the results of a hand-back

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
};

} // namespace kalibron
