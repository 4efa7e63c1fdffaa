#include "ui/file_list_window/file_list_window.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QStorageInfo>
#include <QStringListModel>
#include <QTableWidget>
#include <QTreeView>

#include <algorithm>
#include <cmath>

#include "analysis/file_scan.h"
#include "analysis/interpolation.h"
#include "analysis/sequence_table.h"
#include "analysis/table_output.h"
#include "core/file_list_state.h"
#include "core/store.h"
#include "ui/file_list_window/file_names.h"
#include "ui/regression_window/qt_locale.h"
#include "ui/twips.h"
#include "ui/window_look.h"

namespace kalibron {

using file_list::fromName;
using file_list::kGridColumnsWithText;
using file_list::toName;

namespace {

constexpr double kClientWidth = 13935;
constexpr double kClientHeight = 8910;
constexpr int kCellMargin = 10;           // pixels around a cell's text
constexpr int kStandardColumnWidth = 960; // twips, the grid's width of the other columns

struct Place {
    const char* name;
    int left, top, width, height;
};

// The window's layout in twips. Where two rectangles would overlap, the
// caption gives way: the extension's caption ends where its field begins, the
// captions of the directory tree and of the listing end where these begin,
// and "Selected files:" ends before "Edit list in table". "Accept date" is
// wide enough for its caption on one line; "Save master file" stands below
// "Copy" and "Close".
// Text colour of results extrapolated beyond the standards.
const QColor kExtrapolatedText(128, 128, 128);

constexpr Place kLayout[] = {
    {"FlexGrid2", 120, 120, 9375, 4575},
    {"lblRizsa(5)", 9600, 360, 4095, 375},
    {"lblRizsa(6)", 9600, 840, 4095, 375},
    {"lblRizsa(7)", 9600, 1320, 4095, 615},
    {"lblRizsa(8)", 9600, 2040, 4095, 735},
    {"lblRizsa(9)", 9600, 2880, 4095, 375},
    {"lblRizsa(10)", 9600, 3360, 4095, 735},
    {"cmdInterpolate", 9600, 4320, 1215, 495},
    {"cmdCopy", 11040, 4320, 1215, 495},
    {"cmdClose", 12480, 4320, 1215, 495},
    {"cmdSave", 11040, 4920, 2655, 495},
    {"Label3", 120, 4800, 975, 255},
    {"Text1", 240, 5160, 855, 375},
    {"Label6", 1440, 4800, 735, 255},
    {"Text3", 1560, 5160, 495, 375},
    {"cmdTakeIt", 2280, 4920, 1215, 615},
    {"lblRizsa(12)", 3600, 5280, 2370, 255},
    {"txtExtension", 6000, 5280, 615, 285},
    {"lblRizsa(13)", 3600, 5760, 2175, 495},
    {"txtStandard", 5880, 5880, 975, 285},
    {"txtInpSTDgas", 4920, 4800, 855, 285},
    {"lblRizsa(2)", 3600, 4710, 1215, 495},
    {"cmdAccept", 8880, 5160, 1695, 375},
    {"Drive1", 240, 5640, 2775, 315},
    {"lblRizsa(11)", 240, 6120, 2415, 240},
    {"Dir1", 240, 6360, 2775, 2340},
    {"lblRizsa(0)", 3240, 6360, 2415, 240},
    {"List1", 3240, 6600, 4095, 2010},
    {"lblRizsa(4)", 7560, 5280, 1275, 255},
    {"scrLabel1", 7560, 5640, 4095, 3135},
    {"lblUncertainty", 11760, 5640, 600, 255},
    {"cboUncertainty", 12360, 5580, 1335, 315},
    // A live run, in the free column below "u of:", beside the selected files.
    {"chkFollow", 11760, 6000, 2055, 255},
    {"lblAlert", 11760, 6360, 735, 255},
    {"cboAlert", 12540, 6315, 1275, 315},
    {"cboAlertMethod", 11760, 6720, 2055, 315},
    {"cmdOpenSession", 11760, 7110, 2055, 375},
    {"cmdSaveSessionAs", 11760, 7530, 2055, 375},
    {"lblStatus", 11760, 7950, 2055, 840},
};

constexpr const char* kRizsa[14] = {
    "Files in alphabetic order:",
    "Path of the processed directory:",
    "Type STD gas c/s and Enter",
    " Step 2: Check file list ",
    "Selected files:",
    "1) Specify the date and [Accept date]",
    "2) Select directory (refresh needed)",
    "3) If blue field contains a list of proper files then [Edit list]",
    "4) Doble click on the cell, where measured value exists, type value in yellow field and [Enter]",
    "5) When all data OK: show plot [Interpolate]",
    // clang-format off
    "6) After return: click on interpolated result = copy value in cell to clipboard OR [Copy] puts entire table to clipboard",
    // clang-format on
    "Directory list (double click)",
    "Extension of selected files:",
    "String in the file name denoting standard file:",
};

QString indexed(const char* name, int index) { return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index); }

// Shows and hides `follower` whenever the watched widget is shown or hidden.
class ShownWith : public QObject {
public:
    explicit ShownWith(QWidget* follower) : QObject(follower), m_follower(follower) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::ShowToParent)
            m_follower->show();
        else if (event->type() == QEvent::HideToParent)
            m_follower->hide();
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget* m_follower;
};

QColor qColour(const Rgb& rgb) { return QColor(rgb.r, rgb.g, rgb.b); }

void setBackground(QWidget* widget, const QColor& colour)
{
    widget->setAutoFillBackground(true);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    palette.setColor(QPalette::Base, colour);
    widget->setPalette(palette);
}

QString fromText(const std::string& text) { return QString::fromStdString(text); }

// A cell of the sequence table that shows its text straight from the store's
// grid, its column's colour while its row is filled, and the look of an
// extrapolation while it is one, instead of keeping copies: a day's full
// table holds each text once. The view learns of changes when the grid is
// shown again (showGrid). What is set on the cell itself (the waiting and
// alert colours and tooltips) comes first.
class GridCell : public QTableWidgetItem {
public:
    GridCell(const FileListState& list, int row, int col, const GridCellLook& look)
        : QTableWidgetItem(UserType), m_list(list), m_row(row), m_col(col), m_look(look)
    {
    }
    QVariant data(int role) const override
    {
        if (role == Qt::DisplayRole || role == Qt::EditRole)
            return m_col == kColFileName ? fromName(gridText()) : fromText(gridText());
        QVariant own = QTableWidgetItem::data(role);
        if (own.isValid())
            return own;
        switch (role) {
        case Qt::BackgroundRole: {
            // Update_Flex2 colours the rows it fills.
            const bool filled = m_row <= m_list.nDayFiles && !m_list.FlexGrid2.text(m_row, 0).empty();
            return filled ? m_look.backgrounds[static_cast<std::size_t>(m_col)] : QVariant();
        }
        case Qt::FontRole:
            return m_extrapolated ? m_look.extrapolatedFont : QVariant();
        case Qt::ForegroundRole:
            return m_extrapolated ? m_look.extrapolatedText : QVariant();
        case Qt::ToolTipRole:
            return m_extrapolated ? m_look.extrapolatedTip : QVariant();
        default:
            return QVariant();
        }
    }
    void setExtrapolated(bool extrapolated) { m_extrapolated = extrapolated; }
    const std::string& gridText() const { return m_list.FlexGrid2.text(m_row, m_col); }
    // The text's width, measured again only when the text changed: a
    // followed day shows its full table again at every arrival.
    int width(const QFontMetrics& metrics)
    {
        std::uint32_t hash = 2166136261u; // FNV-1a
        for (const char c : gridText())
            hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
        if (m_width < 0 || hash != m_hash) {
            m_hash = hash;
            m_width = gridText().empty() ? 0 : metrics.horizontalAdvance(data(Qt::DisplayRole).toString());
        }
        return m_width;
    }

private:
    const FileListState& m_list;
    int m_row, m_col;
    const GridCellLook& m_look;
    std::uint32_t m_hash = 0;
    int m_width = -1;
    bool m_extrapolated = false;
};

QString defaultSaveChooser(QWidget* parent, const QString& folder, const QString& presetName)
{
    return QFileDialog::getSaveFileName(parent, QStringLiteral("Save master file"), QDir(folder).filePath(presetName),
                                        QStringLiteral("Master Files (*.csv);;All Files (*)"));
}

} // namespace

FileListWindow::FileListWindow(Store& store, const FileListOptions& options, QWidget* parent)
    : QWidget(parent),
      m_store(store),
      m_options(options),
      m_locale(systemNumberLocale()),
      m_boxSink(this),
      m_sink(&m_boxSink)
{
    setUpWindowLook(*this, "frm_FileList", kFileListCaption);

    createControls();
    // One brush per coloured column, shared by all its cells; a result
    // outside the standards is an extrapolation: grey italics and a tooltip
    // say so, its text is the same.
    m_cellLook.backgrounds.resize(kGridColumnsWithText + 1);
    m_cellLook.backgrounds[kColStandard] = QBrush(qColour(m_options.table.standardValueBackground));
    for (const ResultColumn& result : m_options.table.results)
        if (result.column >= 0 && result.column <= kGridColumnsWithText && result.background)
            m_cellLook.backgrounds[static_cast<std::size_t>(result.column)] = QBrush(qColour(*result.background));
    QFont italic = m_FlexGrid2->font();
    italic.setItalic(true);
    m_cellLook.extrapolatedFont = italic;
    m_cellLook.extrapolatedText = QBrush(kExtrapolatedText);
    m_cellLook.extrapolatedTip = QStringLiteral("extrapolated: outside the standards");
    applyLayout();
    connectHandlers();
    resize(twipsToPixelsX(kClientWidth), twipsToPixelsY(kClientHeight));
}

FileListWindow::~FileListWindow() = default;

void FileListWindow::createControls()
{
    auto button = [this](const char* name, const char* text) {
        auto* b = new QPushButton(QLatin1String(text), this);
        b->setObjectName(QLatin1String(name));
        return b;
    };
    auto label = [this](const QString& name, const char* text) {
        auto* l = new QLabel(QLatin1String(text), this);
        l->setObjectName(name);
        return l;
    };
    auto field = [this](const char* name, const char* text) {
        auto* f = new QLineEdit(QLatin1String(text), this);
        f->setObjectName(QLatin1String(name));
        return f;
    };

    m_FlexGrid2 = new QTableWidget(SequenceGrid::kRows - 1, SequenceGrid::kCols - 1, this);
    m_FlexGrid2->setObjectName(QStringLiteral("FlexGrid2"));
    m_FlexGrid2->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_FlexGrid2->setSelectionMode(QAbstractItemView::SingleSelection);
    m_FlexGrid2->verticalHeader()->setDefaultSectionSize(twipsToPixelsY(240));
    m_FlexGrid2->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_FlexGrid2->horizontalHeader()->setDefaultSectionSize(twipsToPixelsX(kStandardColumnWidth));
    m_FlexGrid2->horizontalHeader()->setMinimumSectionSize(5);
    m_FlexGrid2->verticalHeader()->setFixedWidth(twipsToPixelsX(m_options.table.columnWidths[0]));
    for (int c = 1; c < static_cast<int>(m_options.table.columnWidths.size()); ++c)
        m_FlexGrid2->setColumnWidth(c - 1, twipsToPixelsX(m_options.table.columnWidths[static_cast<std::size_t>(c)]));
    QStringList none;
    for (int c = 1; c < SequenceGrid::kCols; ++c)
        none << QString();
    m_FlexGrid2->setHorizontalHeaderLabels(none);
    QStringList noRows;
    for (int r = 1; r < SequenceGrid::kRows; ++r)
        noRows << QString();
    m_FlexGrid2->setVerticalHeaderLabels(noRows);

    for (int i = 0; i < 14; ++i)
        m_lblRizsa[static_cast<std::size_t>(i)] = label(indexed("lblRizsa", i), kRizsa[i]);
    for (int i = 5; i <= 10; ++i) {
        QLabel* step = m_lblRizsa[static_cast<std::size_t>(i)];
        step->setWordWrap(true);
        step->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        setBackground(step, Qt::white);
    }
    m_lblRizsa[13]->setWordWrap(true);

    m_cmdInterpolate = button("cmdInterpolate", "Interpolate");
    m_cmdCopy = button("cmdCopy", "Copy");
    m_cmdClose = button("cmdClose", "Close");
    m_cmdSave = button("cmdSave", "Save master file");
    m_cmdTakeIt = button("cmdTakeIt", "Accept date");
    m_cmdAccept = button("cmdAccept", "Edit list in table");
    m_cmdReOrd = button("cmdReOrd", "Re-order file list according to these parameters");
    m_cmdBack = button("cmdBack", "Back");
    m_cmdInterpolate->setEnabled(false);
    m_cmdCopy->setEnabled(false);
    m_cmdSave->setEnabled(false);
    m_cmdAccept->setEnabled(false);
    m_cmdReOrd->setEnabled(false);
    m_cmdReOrd->hide();
    m_cmdBack->hide();

    label(QStringLiteral("Label3"), "Year Month");
    m_Text1 = field("Text1", "0808");
    label(QStringLiteral("Label6"), "Day");
    m_Text3 = field("Text3", "27");
    m_txtExtension = field("txtExtension", "env");
    m_txtStandard = field("txtStandard", "-S");
    m_txtInpSTDgas = field("txtInpSTDgas", "");
    setBackground(m_txtInpSTDgas, qColour(m_options.table.standardValueBackground));
    m_txtInpSTDgas->hide();
    m_lblRizsa[2]->setWordWrap(true);
    m_lblRizsa[2]->hide();

    m_Drive1 = new QComboBox(this);
    m_Drive1->setObjectName(QStringLiteral("Drive1"));
    m_dirModel = new QFileSystemModel(this);
    m_dirModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    m_Dir1 = new QTreeView(this);
    m_Dir1->setObjectName(QStringLiteral("Dir1"));
    m_Dir1->setModel(m_dirModel);
    m_Dir1->setHeaderHidden(true);
    for (int c = 1; c < m_dirModel->columnCount(); ++c)
        m_Dir1->hideColumn(c);
    m_Dir1->setExpandsOnDoubleClick(false);
    // The model reads folders in the background; keep the current one in view.
    connect(m_dirModel, &QFileSystemModel::directoryLoaded, m_Dir1, [this] {
        const QModelIndex current = m_Dir1->currentIndex();
        for (QModelIndex open = current.parent(); open.isValid(); open = open.parent())
            m_Dir1->expand(open);
        m_Dir1->scrollTo(current);
    });

    m_List1 = new QListView(this);
    m_List1->setObjectName(QStringLiteral("List1"));
    m_List1->setUniformItemSizes(true);
    m_List1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_List1Model = new QStringListModel(this);
    m_List1->setModel(m_List1Model);
    m_Label1 = new QLabel(this);
    m_Label1->setObjectName(QStringLiteral("Label1"));
    m_Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setBackground(m_Label1, QColor(192, 192, 255));
    m_Label1->setTextFormat(Qt::PlainText);
    // A day holds more files than the field has lines: it scrolls, and it
    // shows and hides with the list it holds.
    m_scrLabel1 = new QScrollArea(this);
    m_scrLabel1->setObjectName(QStringLiteral("scrLabel1"));
    m_scrLabel1->setFrameShape(QFrame::NoFrame);
    m_scrLabel1->setWidgetResizable(true);
    m_scrLabel1->setWidget(m_Label1);
    setBackground(m_scrLabel1->viewport(), QColor(192, 192, 255));
    m_Label1->installEventFilter(new ShownWith(m_scrLabel1));

    // Hidden from the start, and nothing shows them.
    m_lblPath = label(QStringLiteral("lblPath"), "");
    m_lblPath->hide();
    m_lblRizsa[1]->hide();
    m_lblRizsa[3]->hide();
    m_comboStd = new QComboBox(this);
    m_comboStd->setObjectName(QStringLiteral("comboStd"));
    m_comboStd->setPlaceholderText(QStringLiteral("Standards"));
    m_comboStd->hide();
    m_Frame1 = new QGroupBox(QStringLiteral("Serial numbers of analyses in the file names"), this);
    m_Frame1->setObjectName(QStringLiteral("Frame1"));
    const char* searches[3] = {"First characters of the file names",
                               "In the middle of the file names, starting at character number of",
                               "At the end of the file names, before the extension"};
    for (int i = 0; i < 3; ++i) {
        m_optStringSearch[static_cast<std::size_t>(i)] = new QRadioButton(QLatin1String(searches[i]), m_Frame1);
        m_optStringSearch[static_cast<std::size_t>(i)]->setObjectName(indexed("optStringSearch", i));
    }
    m_optStringSearch[2]->setChecked(true);
    m_Combo1 = new QComboBox(m_Frame1);
    m_Combo1->setObjectName(QStringLiteral("Combo1"));
    auto* serialLabel =
        new QLabel(QStringLiteral("Number of characters indicating the serial number in the file name:"), m_Frame1);
    serialLabel->setObjectName(QStringLiteral("Label2"));
    m_Combo2 = new QComboBox(m_Frame1);
    m_Combo2->setObjectName(QStringLiteral("Combo2"));
    m_Frame1->hide();

    // Whose u "Back to File List" writes beside the results; none at first,
    // so the table, its copy and the master file stay as they always were.
    m_lblUncertainty = label(QStringLiteral("lblUncertainty"), "u of:");
    m_cboUncertainty = new QComboBox(this);
    m_cboUncertainty->setObjectName(QStringLiteral("cboUncertainty"));
    for (const UncertaintyOption& option : kUncertaintyOptions)
        m_cboUncertainty->addItem(QLatin1String(option.caption), static_cast<int>(option.choice));
    m_lblUncertainty->setBuddy(m_cboUncertainty);

    createLiveControls();
    nameControls();
    fillDrives();
}

void FileListWindow::nameControls()
{
    // What a screen reader says for the controls; their captions are
    // separate labels, or they have none.
    m_FlexGrid2->setAccessibleName(QStringLiteral("Sequence table"));
    m_Text1->setAccessibleName(QStringLiteral("Year Month"));
    m_Text3->setAccessibleName(QStringLiteral("Day"));
    m_txtExtension->setAccessibleName(QStringLiteral("Extension of selected files"));
    m_txtStandard->setAccessibleName(QStringLiteral("String in the file name denoting standard file"));
    m_txtInpSTDgas->setAccessibleName(QStringLiteral("STD gas c/s of the chosen cell"));
    m_Drive1->setAccessibleName(QStringLiteral("Drive"));
    m_Dir1->setAccessibleName(QStringLiteral("Directory list (double click)"));
    m_List1->setAccessibleName(QStringLiteral("Files in alphabetic order"));
    m_scrLabel1->setAccessibleName(QStringLiteral("Selected files"));
    m_Label1->setAccessibleName(QStringLiteral("Selected files"));
    m_comboStd->setAccessibleName(QStringLiteral("Standards"));
    m_Combo1->setAccessibleName(QStringLiteral("Character number where the serial number starts"));
    m_Combo2->setAccessibleName(QStringLiteral("Number of characters indicating the serial number"));
    m_cboUncertainty->setAccessibleName(QStringLiteral("Standard uncertainty u of"));
}

void FileListWindow::fillDrives()
{
    // The root, the home folder and removable media stand in for the drives.
    QStringList roots{QStringLiteral("/"), QDir::homePath()};
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        const QString root = volume.rootPath();
        if (volume.isValid() && volume.isReady() &&
            (root.startsWith(QLatin1String("/media/")) || root.startsWith(QLatin1String("/run/media/")) ||
             root.startsWith(QLatin1String("/mnt/"))))
            roots << root;
    }
    roots.removeDuplicates();
    const QSignalBlocker block(m_Drive1);
    for (const QString& root : roots)
        m_Drive1->addItem(root, root);
    // Start in the home folder; the scan waits for the operator's double click.
    m_Drive1->setCurrentIndex(1);
    m_currentDirectory = QDir::homePath();
    m_dirModel->setRootPath(m_currentDirectory);
    m_Dir1->setRootIndex(m_dirModel->index(m_currentDirectory));
}

int FileListWindow::twipsToPixelsX(double twips) const { return twipsToPixels(twips, logicalDpiX()); }

int FileListWindow::twipsToPixelsY(double twips) const { return twipsToPixels(twips, logicalDpiY()); }

void FileListWindow::applyLayout()
{
    for (const Place& place : kLayout) {
        auto* widget = findChild<QWidget*>(QLatin1String(place.name), Qt::FindDirectChildrenOnly);
        if (!widget)
            continue;
        widget->setGeometry(twipsToPixelsX(place.left), twipsToPixelsY(place.top), twipsToPixelsX(place.width),
                            twipsToPixelsY(place.height));
    }
}

void FileListWindow::connectHandlers()
{
    connect(m_cmdTakeIt, &QPushButton::clicked, this, &FileListWindow::cmdTakeIt_Click);
    connect(m_cmdAccept, &QPushButton::clicked, this, &FileListWindow::cmdAccept_Click);
    connect(m_cmdReOrd, &QPushButton::clicked, this, &FileListWindow::cmdReOrd_Click);
    connect(m_cmdBack, &QPushButton::clicked, this, &FileListWindow::cmdBack_Click);
    connect(m_cmdInterpolate, &QPushButton::clicked, this, &FileListWindow::cmdInterpolate_Click);
    connect(m_cmdCopy, &QPushButton::clicked, this, &FileListWindow::cmdCopy_Click);
    connect(m_cmdSave, &QPushButton::clicked, this, &FileListWindow::cmdSave_Click);
    connect(m_cmdClose, &QPushButton::clicked, this, &FileListWindow::cmdClose_Click);
    connect(m_Drive1, &QComboBox::activated, this, &FileListWindow::Drive1_Change);
    connect(m_cboUncertainty, &QComboBox::activated, this, &FileListWindow::cboUncertainty_Click);
    connect(m_Dir1, &QTreeView::doubleClicked, this,
            [this](const QModelIndex& index) { setCurrentDirectory(m_dirModel->filePath(index)); });
    // A double click reports a click on its first press and the double click
    // on its second, so a double click acts as a click and then a double click.
    connect(m_FlexGrid2, &QTableWidget::cellClicked, this,
            [this](int row, int col) { FlexGrid2_Click(row + 1, col + 1); });
    connect(m_FlexGrid2, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int col) { FlexGrid2_DblClick(row + 1, col + 1); });
    connect(m_txtInpSTDgas, &QLineEdit::returnPressed, this, [this] { txtInpSTDgas_KeyPress(13); });
    connectLiveHandlers();
}

void FileListWindow::setMessageSink(MessageSink* sink) { m_sink = sink ? sink : &m_boxSink; }

void FileListWindow::setSaveFileChooser(SaveFileChooser chooser) { m_chooser = std::move(chooser); }

void FileListWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Every show from code (start-up, each return from the regression window).
    if (!event->spontaneous())
        Form_Activate();
}

void FileListWindow::Form_Activate()
{
    m_store.FileListShown = true;
    m_store.fileList.DayKey = (m_Text1->text() + QLatin1Char('_') + m_Text3->text()).toStdString();
    m_Combo1->clear();
    for (int i = 1; i <= 25; ++i)
        m_Combo1->addItem(QString::number(i));
    m_Combo1->setCurrentIndex(6);
    m_Combo2->clear();
    for (int i = 1; i <= 5; ++i)
        m_Combo2->addItem(QString::number(i));
    m_Combo2->setCurrentIndex(2);
    m_comboStd->clear();
}

void FileListWindow::cmdTakeIt_Click()
{
    m_store.fileList.DayKey = (m_Text1->text() + QLatin1Char('_') + m_Text3->text()).toStdString();
}

void FileListWindow::Drive1_Change()
{
    const QString root = m_Drive1->currentData().toString();
    if (root.isEmpty() || !QDir(root).exists())
        return; // a drive that cannot be switched to changes nothing
    m_dirModel->setRootPath(root);
    m_Dir1->setRootIndex(m_dirModel->index(root));
    setCurrentDirectory(root);
}

void FileListWindow::setCurrentDirectory(const QString& path)
{
    m_currentDirectory = QDir::cleanPath(QDir(path).absolutePath());
    // The tree shows the drive that holds the directory.
    int drive = -1;
    qsizetype longest = -1;
    for (int i = 0; i < m_Drive1->count(); ++i) {
        const QString root = m_Drive1->itemData(i).toString();
        const bool holds = root == QLatin1String("/") || m_currentDirectory == root ||
            m_currentDirectory.startsWith(root + QLatin1Char('/'));
        if (holds && root.size() > longest) {
            drive = i;
            longest = root.size();
        }
    }
    if (drive >= 0 && drive != m_Drive1->currentIndex()) {
        const QSignalBlocker block(m_Drive1);
        m_Drive1->setCurrentIndex(drive);
        const QString root = m_Drive1->itemData(drive).toString();
        m_dirModel->setRootPath(root);
        m_Dir1->setRootIndex(m_dirModel->index(root));
    }
    const QModelIndex index = m_dirModel->index(m_currentDirectory);
    if (index.isValid()) {
        m_Dir1->setCurrentIndex(index);
        for (QModelIndex open = index; open.isValid(); open = open.parent())
            m_Dir1->expand(open);
        m_Dir1->scrollTo(index);
    }
    Dir1_Change();
}

void FileListWindow::Dir1_Change()
{
    FileListState& list = m_store.fileList;
    const std::string extension = m_txtExtension->text().toStdString();
    const DirectoryListing listing =
        listDirectory(toName(m_currentDirectory),
                      [&](std::string_view name) { return matchesDay(name, list.DayKey, extension); });
    if (!listing.problem.empty()) {
        // An unread folder is no empty folder: the lists, the table and what
        // "Save master file" writes stay those of the last folder read.
        std::string problem = listing.problem;
        if (problem.front() >= 'a' && problem.front() <= 'z')
            problem.front() = static_cast<char>(problem.front() - 'a' + 'A');
        m_sink->show({problem + ". The lists still show the last folder read."});
        return;
    }
    m_tableEdited = false;
    m_scanExtension = extension;
    m_scanDay = list.DayKey;
    m_scanDirectory = m_currentDirectory;
    m_cmdAccept->setEnabled(true);
    m_cmdAccept->show();
    m_cmdReOrd->setEnabled(true);
    m_lblPath->setText(m_currentDirectory);
    for (QWidget* w : {static_cast<QWidget*>(m_lblRizsa[0]), static_cast<QWidget*>(m_lblRizsa[4]),
                       static_cast<QWidget*>(m_List1), static_cast<QWidget*>(m_Label1)})
        w->show();

    const std::string listText = scanDay(list, listing.files, extension, *m_sink);
    m_handedBack = false;

    showListing(listText);
    showGrid();
    putOnClipboard(list.DayListing);
    scanDone();
}

void FileListWindow::showListing(const std::string& listText)
{
    QStringList names;
    names.reserve(m_store.fileList.nAllFiles);
    for (const std::string& name : m_store.fileList.AllFiles)
        names << fromName(name);
    m_List1Model->setStringList(names);
    QString selection = fromName(listText);
    selection.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    m_Label1->setText(selection);
}

void FileListWindow::cmdAccept_Click()
{
    m_cmdAccept->hide();
    m_cmdCopy->setEnabled(true);
    m_cmdSave->setEnabled(true);
    m_tableEdited = true;
    Update_Flex2();
    if (following()) {
        liveChanged();
        showGrid();
    }
}

void FileListWindow::cmdReOrd_Click()
{
    // The rows stay in time order; the serial numbers order nothing.
    Update_Flex2();
}

void FileListWindow::Update_Flex2()
{
    for (QWidget* w : {static_cast<QWidget*>(m_lblRizsa[0]), static_cast<QWidget*>(m_lblRizsa[4]),
                       static_cast<QWidget*>(m_List1), static_cast<QWidget*>(m_Label1)})
        w->hide();
    m_FlexGrid2->show();
    m_FlexGrid2->resize(twipsToPixelsX(m_options.table.tableWidth), twipsToPixelsY(m_options.table.tableHeight));
    kalibron::Update_Flex2(m_store.fileList, m_txtStandard->text().toStdString(), m_options.table);
    m_handedBack = false;
    showGrid();
}

void FileListWindow::showGrid()
{
    const FileListState& list = m_store.fileList;
    const SequenceGrid& grid = list.FlexGrid2;
    m_FlexGrid2->setUpdatesEnabled(false);
    QStringList titles;
    for (int c = 1; c < SequenceGrid::kCols; ++c)
        titles << fromText(grid.text(0, c));
    m_FlexGrid2->setHorizontalHeaderLabels(titles);

    std::array<bool, kGridColumnsWithText + 1> isResult{};
    for (const ResultColumn& result : m_options.table.results)
        if (result.column >= 0 && result.column <= kGridColumnsWithText)
            isResult[static_cast<std::size_t>(result.column)] = true;
    // The u beside the results is as much an extrapolation as its value.
    if (const int u = m_options.table.uncertaintyColumn(); u <= kGridColumnsWithText)
        isResult[static_cast<std::size_t>(u)] = true;

    const int rows = std::max(m_shownRows, list.nDayFiles);
    for (int r = 1; r <= rows; ++r) {
        const bool extrapolated =
            r <= static_cast<int>(list.Extrapolated.size()) && list.Extrapolated[static_cast<std::size_t>(r - 1)];
        QTableWidgetItem* header = m_FlexGrid2->verticalHeaderItem(r - 1);
        if (header)
            header->setText(fromText(grid.text(r, 0)));
        for (int c = 1; c <= kGridColumnsWithText; ++c) {
            const bool hasText = !grid.text(r, c).empty();
            // A cell of a filled row in a coloured column shows its colour.
            const bool filled = r <= list.nDayFiles && !grid.text(r, 0).empty();
            const bool coloured = filled && m_cellLook.backgrounds[static_cast<std::size_t>(c)].isValid();
            QTableWidgetItem* item = m_FlexGrid2->item(r - 1, c - 1);
            if (!item) {
                if (!hasText && !coloured)
                    continue;
                item = gridCell(r, c);
            }
            // All the table's items are GridCells (gridCell makes them).
            auto* cell = static_cast<GridCell*>(item);
            cell->setExtrapolated(extrapolated && isResult[static_cast<std::size_t>(c)] && hasText);
            // A colour and tooltip of its own are given again where they
            // still hold (decorateLiveRows).
            for (const int role : {Qt::BackgroundRole, Qt::ToolTipRole})
                if (cell->QTableWidgetItem::data(role).isValid())
                    cell->setData(role, QVariant());
        }
    }
    m_shownRows = list.nDayFiles;

    // A column is never narrower than its set width, and widens to show its
    // texts whole (fifteen-digit results, times, long names).
    const QFontMetrics metrics = m_FlexGrid2->fontMetrics();
    for (int c = 1; c <= kGridColumnsWithText; ++c) {
        const auto index = static_cast<std::size_t>(c);
        const int set = twipsToPixelsX(index < m_options.table.columnWidths.size() ? m_options.table.columnWidths[index]
                                                                                   : kStandardColumnWidth);
        int needed = m_FlexGrid2->horizontalHeader()->sectionSizeHint(c - 1);
        for (int r = 1; r <= list.nDayFiles; ++r)
            if (auto* cell = dynamic_cast<GridCell*>(m_FlexGrid2->item(r - 1, c - 1)))
                needed = std::max(needed, cell->width(metrics) + kCellMargin);
        m_FlexGrid2->setColumnWidth(c - 1, std::max(set, needed));
    }
    decorateLiveRows();
    m_FlexGrid2->setUpdatesEnabled(true);
    m_FlexGrid2->viewport()->update(); // the cells' texts are the grid's
}

QTableWidgetItem* FileListWindow::gridCell(int row, int col)
{
    QTableWidgetItem* item = m_FlexGrid2->item(row - 1, col - 1);
    if (!item) {
        item = new GridCell(m_store.fileList, row, col, m_cellLook);
        m_FlexGrid2->setItem(row - 1, col - 1, item);
    }
    return item;
}

void FileListWindow::FlexGrid2_Click(int row, int col)
{
    m_txtInpSTDgas->hide();
    m_lblRizsa[2]->hide();
    for (const ResultColumn& result : m_options.table.results) {
        if (result.column == col && result.copiedByClick) {
            putOnClipboard(m_store.fileList.FlexGrid2.text(row, col));
            m_store.ClipOut = m_store.fileList.FlexGrid2.text(row, col);
        }
    }
}

void FileListWindow::FlexGrid2_DblClick(int row, int col)
{
    if (row < 1 || row > m_store.fileList.nDayFiles)
        return; // only rows of the table hold a file to mark or value
    if (col == kColType) {
        if (toggleStandardType(m_store.fileList, row)) {
            liveChanged();
            showGrid();
        }
    } else if (col == kColStandard) {
        m_store.fileList.EditRow = row;
        m_txtInpSTDgas->show();
        m_lblRizsa[2]->show();
        m_txtInpSTDgas->setFocus();
    }
}

void FileListWindow::txtInpSTDgas_KeyPress(int keyAscii)
{
    if (keyAscii != 13)
        return;
    const std::string text = m_txtInpSTDgas->text().toStdString();
    if (const auto refused = refuseStandardValue(text)) {
        m_sink->show({*refused});
        m_txtInpSTDgas->setFocus();
        return; // the field stays open with the text in it
    }
    if (!enterStandardValue(m_store.fileList, text))
        return;
    m_lblRizsa[2]->hide();
    m_txtInpSTDgas->clear();
    m_txtInpSTDgas->hide();
    m_cmdInterpolate->setEnabled(true);
    const int row = m_store.fileList.EditRow;
    if (row >= 1 && row <= static_cast<int>(m_store.fileList.SortName.size()))
        checkArrivals({m_store.fileList.SortName[static_cast<std::size_t>(row - 1)]});
    liveChanged();
    showGrid();
}

void FileListWindow::cmdBack_Click()
{
    m_store.fileList.FlexGrid2.clear();
    m_handedBack = false;
    showGrid();
    m_FlexGrid2->hide();
    m_lblRizsa[0]->show();
    m_List1->show();
    m_lblRizsa[3]->hide();
    m_comboStd->hide();
    m_lblRizsa[2]->hide();
    resize(twipsToPixelsX(9600), twipsToPixelsY(6975));
    m_cmdClose->move(twipsToPixelsX(600), twipsToPixelsY(5400));
}

void FileListWindow::cmdInterpolate_Click()
{
    if (!Interpolate(m_store, m_options, *m_sink))
        return;
    if (m_interpolateHandler)
        m_interpolateHandler();
}

void FileListWindow::cmdCopy_Click()
{
    m_store.ClipOut = tableCopyText(m_store.fileList, m_options.table);
    putOnClipboard(m_store.ClipOut);
}

void FileListWindow::cmdSave_Click()
{
    FileListState& list = m_store.fileList;
    list.MasterName = "0_master.csv";
    const QString folder =
        QString::fromStdString(masterDialogFolder(m_store.gPath, toName(m_currentDirectory)));
    const QString preset = QString::fromStdString(list.MasterName);
    const QString chosen = m_chooser ? m_chooser(folder, preset) : defaultSaveChooser(this, folder, preset);
    if (chosen.isEmpty())
        return; // cancelled
    list.MasterPath = toName(chosen);
    const std::string problem = WriteMaster(list, list.MasterPath);
    if (!problem.empty())
        m_sink->show({problem});
}

void FileListWindow::cmdClose_Click() { QCoreApplication::quit(); }

UncertaintyChoice FileListWindow::uncertaintyChoice() const
{
    return static_cast<UncertaintyChoice>(m_cboUncertainty->currentData().toInt());
}

void FileListWindow::cboUncertainty_Click()
{
    // Before a hand-back, or on a table made since, there are no results to
    // put a u beside: the choice waits for the next "Back to File List".
    if (m_handedBack && m_uncertaintyHandler)
        m_uncertaintyHandler();
    saveSession();
}

void FileListWindow::showHandBack()
{
    m_handedBack = true;
    showGrid();
}

void FileListWindow::putOnClipboard(const std::string& text)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(fromName(text));
}

} // namespace kalibron
