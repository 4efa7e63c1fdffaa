// The file list window during a live run: following the scanned folder while
// the instrument writes, keeping the operator's marks by file name across
// rescans, the session file that survives a restart, and the arrival alerts.
#include "ui/file_list_window/file_list_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFileSystemWatcher>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QStringListModel>
#include <QTableWidget>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <utility>

#include "analysis/file_scan.h"
#include "analysis/sequence_table.h"
#include "core/file_list_state.h"
#include "core/messages.h"
#include "core/store.h"
#include "ui/file_list_window/file_names.h"
#include "ui/twips.h"

namespace kalibron {

using file_list::fromName;
using file_list::kGridColumnsWithText;
using file_list::toName;

namespace {

constexpr std::int64_t kTimeNotRead = INT64_MIN;
const QColor kWaiting(224, 224, 224);
const QColor kAlert(255, 112, 112);


QString sessionFolder() { return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation); }

} // namespace

void FileListWindow::createLiveControls()
{
    m_chkFollow = new QCheckBox(QStringLiteral("Follow"), this);
    m_chkFollow->setObjectName(QStringLiteral("chkFollow"));
    m_chkFollow->setAccessibleName(QStringLiteral("Follow the folder while files arrive"));
    m_lblAlert = new QLabel(QStringLiteral("Alert at"), this);
    m_lblAlert->setObjectName(QStringLiteral("lblAlert"));
    m_cboAlert = new QComboBox(this);
    m_cboAlert->setObjectName(QStringLiteral("cboAlert"));
    m_cboAlert->setAccessibleName(QStringLiteral("Alert at this multiple of the prediction uncertainty"));
    for (const double multiple : {2.0, 2.5, 3.0, 4.0, 5.0})
        m_cboAlert->addItem(QStringLiteral("%1 u").arg(multiple), multiple);
    m_cboAlert->setCurrentIndex(2);
    m_cboAlertMethod = new QComboBox(this);
    m_cboAlertMethod->setObjectName(QStringLiteral("cboAlertMethod"));
    m_cboAlertMethod->setAccessibleName(QStringLiteral("Fit through the earlier standards that alerts use"));
    const std::pair<const char*, const char*> methods[] = {{"of the linear fit", "lin"},  {"of the log. fit", "log"},
                                                           {"of the Poly2 fit", "poly2"}, {"of the Poly3 fit", "poly3"},
                                                           {"of the Poly4 fit", "poly4"}, {"of the Poly5 fit", "poly5"},
                                                           {"of the zigzag", "zigzag"}};
    for (const auto& [text, key] : methods)
        m_cboAlertMethod->addItem(QLatin1String(text), QLatin1String(key));
    m_cmdOpenSession = new QPushButton(QStringLiteral("Open session…"), this);
    m_cmdOpenSession->setObjectName(QStringLiteral("cmdOpenSession"));
    m_cmdSaveSessionAs = new QPushButton(QStringLiteral("Save session as…"), this);
    m_cmdSaveSessionAs->setObjectName(QStringLiteral("cmdSaveSessionAs"));
    m_lblStatus = new QLabel(this);
    m_lblStatus->setObjectName(QStringLiteral("lblStatus"));
    m_lblStatus->setAccessibleName(QStringLiteral("Status line"));
    m_lblStatus->setWordWrap(true);
    m_lblStatus->setTextFormat(Qt::PlainText);
    m_lblStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    m_watcher = new QFileSystemWatcher(this);
    // Network shares send no events: the folder is also read at intervals.
    m_rescanTimer = new QTimer(this);
    m_rescanTimer->setInterval(2000);
    m_settleTimer = new QTimer(this);
    m_settleTimer->setSingleShot(true);
    m_settleTimer->setTimerType(Qt::PreciseTimer); // a coarse timer may fire before the file has settled
    m_clock.start();
}

void FileListWindow::connectLiveHandlers()
{
    connect(m_chkFollow, &QCheckBox::clicked, this, &FileListWindow::chkFollow_Click);
    connect(m_cboAlert, &QComboBox::activated, this, &FileListWindow::cboAlert_Click);
    connect(m_cboAlertMethod, &QComboBox::activated, this, &FileListWindow::cboAlert_Click);
    connect(m_cmdOpenSession, &QPushButton::clicked, this, &FileListWindow::cmdOpenSession_Click);
    connect(m_cmdSaveSessionAs, &QPushButton::clicked, this, &FileListWindow::cmdSaveSessionAs_Click);
    // A write sends several events; they make one look at the folder.
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] { m_settleTimer->start(0); });
    connect(m_rescanTimer, &QTimer::timeout, this, &FileListWindow::followTick);
    connect(m_settleTimer, &QTimer::timeout, this, &FileListWindow::followTick);
}

void FileListWindow::setSessionHooks(std::function<void(RunSession&)> fill,
                                     std::function<void(const RunSession&)> apply)
{
    m_sessionFill = std::move(fill);
    m_sessionApply = std::move(apply);
}

void FileListWindow::setFollowTiming(int settleMs, int rescanMs)
{
    m_settleMs = std::max(0, settleMs);
    m_rescanTimer->setInterval(std::max(1, rescanMs));
}

bool FileListWindow::following() const { return m_chkFollow->isChecked(); }

void FileListWindow::chkFollow_Click()
{
    if (!m_watcher->directories().isEmpty())
        m_watcher->removePaths(m_watcher->directories());
    m_pending.clear();
    // The directory tree would read every new file of the followed folder
    // (with its type, for an icon) at each change; it holds only folders.
    m_dirModel->setOption(QFileSystemModel::DontWatchForChanges, following());
    if (!following()) {
        m_rescanTimer->stop();
        m_settleTimer->stop();
        showGrid(); // without the waiting and alert colours
        showStatus();
        return;
    }
    if (!m_scanDirectory.isEmpty())
        m_watcher->addPath(m_scanDirectory);
    m_rescanTimer->start();
    followTick();
    showGrid();
    saveSession();
    showStatus();
}

void FileListWindow::cboAlert_Click() { saveSession(); }

// Called at the end of every scan by hand (a double click on a folder): the
// follow state starts from this scan, and a session kept for the folder and
// day is offered.
void FileListWindow::scanDone()
{
    FileListState& list = m_store.fileList;
    m_pending.clear();
    m_listedFiles.clear();
    m_unplacedMarks.clear();
    m_alerts.clear();
    m_note.clear();
    m_alertNote.clear();
    m_resultNote.clear();
    // Their times are taken at the next look without counting as a change.
    for (const std::string& name : list.AllFiles)
        if (matchesDay(name, m_scanDay, m_scanExtension))
            m_listedFiles.emplace(name, kTimeNotRead);
    if (!m_watcher->directories().isEmpty())
        m_watcher->removePaths(m_watcher->directories());
    if (following())
        m_watcher->addPath(m_scanDirectory);
    showStatus();
    if (m_applyingSession)
        return;

    m_sessionPath = QDir(sessionFolder()).filePath(fromName(sessionFileName(toName(m_scanDirectory), m_scanDay)));
    if (!QFileInfo::exists(m_sessionPath))
        return;
    const SessionRead read = readSessionFile(toName(m_sessionPath));
    if (!read.session) {
        // Kept as it is until the user decides: it may be all that is left of a night's run.
        const QString question = QString::fromStdString(read.problem) +
            QStringLiteral("\n\nThe file is left as it is. Start a new session in its place? With No nothing is saved "
                           "to it; \"Save session as…\" keeps this run elsewhere.");
        if (ask(question))
            m_blockedSessions.erase(m_sessionPath);
        else
            m_blockedSessions.insert(m_sessionPath);
        return;
    }
    m_blockedSessions.erase(m_sessionPath);
    const QString question =
        QStringLiteral("A session of this folder and day was saved at %1 (%2 marked rows). Continue it? With No "
                       "this run starts afresh and its session takes that one's place.")
            .arg(QFileInfo(m_sessionPath).lastModified().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")))
            .arg(read.session->rows.size());
    if (ask(question))
        applySession(*read.session, m_sessionPath);
}

bool FileListWindow::ask(const QString& question)
{
    if (m_asker)
        return m_asker(question);
    return QMessageBox::question(this, windowTitle(), question) == QMessageBox::Yes;
}

void FileListWindow::followTick()
{
    if (!following() || m_applyingSession || m_scanDirectory.isEmpty())
        return;
    const auto ofTheDay = [this](std::string_view name) { return matchesDay(name, m_scanDay, m_scanExtension); };
    const DirectoryListing listing = listDirectory(toName(m_scanDirectory), ofTheDay);
    if (!listing.problem.empty()) {
        setNote(QString::fromStdString(listing.problem) + QStringLiteral("; the table stays as it was."));
        return;
    }
    const qint64 now = m_clock.elapsed();
    std::vector<FileEntry> files;
    files.reserve(listing.files.size());
    std::set<std::string> present;
    bool changed = false;
    for (const FileEntry& file : listing.files) {
        if (!ofTheDay(file.name)) {
            files.push_back(file);
            continue;
        }
        present.insert(file.name);
        if (const auto listed = m_listedFiles.find(file.name); listed != m_listedFiles.end()) {
            if (listed->second == kTimeNotRead)
                listed->second = file.lastWrite;
            changed = changed || listed->second != file.lastWrite; // rewritten: its position moves
            files.push_back(file);
            continue;
        }
        // A new file is listed once its time stayed the same for the settle time.
        const auto [pending, first] = m_pending.try_emplace(file.name, Pending{file.lastWrite, now});
        if (!first && pending->second.lastWrite != file.lastWrite) {
            pending->second = {file.lastWrite, now};
        } else if (!first && now - pending->second.seenAt >= m_settleMs) {
            files.push_back(file);
            m_pending.erase(pending);
            changed = true;
        }
    }
    std::vector<std::string> gone;
    for (const auto& [name, time] : m_listedFiles)
        if (!present.count(name))
            gone.push_back(name);
    qint64 wait = -1;
    for (auto it = m_pending.begin(); it != m_pending.end();) {
        if (!present.count(it->first)) {
            it = m_pending.erase(it);
            continue;
        }
        const qint64 left = std::max<qint64>(1, it->second.seenAt + m_settleMs - now);
        wait = wait < 0 ? left : std::min(wait, left);
        ++it;
    }
    if (wait >= 0)
        m_settleTimer->start(static_cast<int>(std::min<qint64>(wait + 5, 60000)));
    if (changed || !gone.empty())
        rescanFollowed(files, gone);
    else
        showStatus();
}

std::vector<RowMark> FileListWindow::allMarks() const
{
    std::vector<RowMark> marks;
    if (m_tableEdited)
        marks = captureRowMarks(m_store.fileList, m_store, m_txtStandard->text().toStdString());
    std::set<std::string> names;
    for (const RowMark& mark : marks)
        names.insert(mark.name);
    for (const RowMark& mark : m_unplacedMarks)
        if (!names.count(mark.name))
            marks.push_back(mark);
    return marks;
}

void FileListWindow::rescanFollowed(const std::vector<FileEntry>& files, const std::vector<std::string>& gone)
{
    FileListState& list = m_store.fileList;
    const std::vector<RowMark> marks = allMarks();
    const std::set<std::string> before(list.SortName.begin(), list.SortName.end());

    // A value being typed goes to its file's row, wherever the rescan puts it.
    const bool typing = !m_txtInpSTDgas->isHidden() && list.EditRow >= 1 && list.EditRow <= list.nDayFiles;
    const std::string typingFor = typing ? list.SortName[static_cast<std::size_t>(list.EditRow - 1)] : std::string();

    // The table stays with the day it was scanned for, whatever the day
    // fields hold meanwhile; they keep what was typed into them.
    const std::string typedDay = std::exchange(list.DayKey, m_scanDay);
    CollectingMessageSink limits;
    const std::string listText = scanDay(list, files, m_scanExtension, limits);
    list.DayKey = typedDay;
    m_listedFiles.clear();
    for (const FileEntry& file : files)
        if (matchesDay(file.name, m_scanDay, m_scanExtension))
            m_listedFiles.emplace(file.name, file.lastWrite);
    showListing(listText);

    QStringList notes;
    if (m_tableEdited) {
        kalibron::Update_Flex2(list, m_txtStandard->text().toStdString(), m_options.table);
        const std::vector<std::string> missing = applyRowMarks(list, m_store, marks);
        const std::set<std::string> unplaced(missing.begin(), missing.end());
        m_unplacedMarks.clear();
        for (const RowMark& mark : marks)
            if (unplaced.count(mark.name))
                m_unplacedMarks.push_back(mark);
        if (typing) {
            const auto end = list.SortName.begin() + list.nDayFiles;
            const auto row = std::find(list.SortName.begin(), end, typingFor);
            if (row != end) {
                list.EditRow = static_cast<int>(row - list.SortName.begin()) + 1;
            } else {
                m_txtInpSTDgas->hide();
                m_lblRizsa[2]->hide();
                notes << QStringLiteral("%1 left the folder while its value was being typed; nothing was entered.")
                             .arg(fromName(typingFor));
            }
        }
    }
    // A red row that left the table is no alert any more.
    const std::set<std::string> listed(list.SortName.begin(), list.SortName.begin() + list.nDayFiles);
    std::erase_if(m_alerts, [&](const std::string& name) { return !listed.count(name); });

    if (!gone.empty()) {
        QStringList goneNames;
        for (const std::string& name : gone)
            goneNames << fromName(name);
        notes << QStringLiteral("Gone from the folder, so left the table: %1 (what was typed for it is kept).")
                     .arg(goneNames.join(QStringLiteral(", ")));
    }
    for (const Message& message : limits.messages)
        notes << QString::fromStdString(message.text);
    if (!notes.isEmpty())
        setNote(notes.join(QLatin1Char(' ')));

    std::vector<std::string> arrived;
    for (int r = 0; r < list.nDayFiles; ++r)
        if (!before.count(list.SortName[static_cast<std::size_t>(r)]))
            arrived.push_back(list.SortName[static_cast<std::size_t>(r)]);
    checkArrivals(arrived);
    liveChanged();
    showGrid();
}

void FileListWindow::checkArrivals(const std::vector<std::string>& names)
{
    if (!following() || names.empty())
        return;
    const double multiple = m_cboAlert->currentData().toDouble();
    const std::string method = m_cboAlertMethod->currentData().toString().toStdString();
    for (const std::string& name : names) {
        const std::optional<ArrivalCheck> check = checkArrivalOf(m_store.fileList, m_store, name, method, multiple);
        if (!check || !check->flagged) {
            m_alerts.erase(name); // no value (any more), or near enough
            continue;
        }
        m_alerts.insert(name);
        m_alertNote = QStringLiteral("Alert: the standard %1 (%2) lies %3 u from %4 (%5) through the earlier "
                                     "standards; alert at %6 u.")
                          .arg(fromName(name), QString::number(check->value, 'g', 10),
                               QString::number(check->distance / check->uPred, 'f', 1),
                               m_cboAlertMethod->currentText().mid(3), QString::number(check->prediction, 'g', 10))
                          .arg(multiple);
    }
}

void FileListWindow::decorateLiveRows()
{
    if (!following())
        return; // with Follow off the table looks as it always did
    const FileListState& list = m_store.fileList;
    const SequenceGrid& grid = list.FlexGrid2;
    const auto paint = [this](int r, int c, const QColor& colour, const QString& tip) {
        QTableWidgetItem* item = gridCell(r, c);
        item->setData(Qt::BackgroundRole, QBrush(colour));
        item->setToolTip(tip);
    };
    for (int r = 1; r <= list.nDayFiles; ++r) {
        if (grid.text(r, kColType) == "Std" && grid.text(r, kColStandard).empty())
            paint(r, kColStandard, kWaiting, QStringLiteral("waiting for the standard's value"));
        if (m_alerts.count(list.SortName[static_cast<std::size_t>(r - 1)]))
            for (int c = 1; c <= kGridColumnsWithText; ++c)
                paint(r, c, kAlert, QStringLiteral("alert: far from the fit through the earlier standards"));
    }
    showStatus();
}

void FileListWindow::liveChanged()
{
    if (!following() || m_applyingSession)
        return;
    if (m_changeHandler)
        m_changeHandler();
    saveSession();
    showStatus();
}

void FileListWindow::setNote(const QString& note)
{
    m_note = note;
    showStatus();
}

void FileListWindow::followedResults(bool written, const QString& problem)
{
    m_handedBack = written;
    m_resultNote = problem;
    showStatus();
}

QString FileListWindow::statusText() const { return m_lblStatus->text(); }

void FileListWindow::showStatus()
{
    QStringList lines;
    if (following()) {
        const FileListState& list = m_store.fileList;
        int waiting = 0;
        for (int r = 1; r <= list.nDayFiles; ++r)
            if (list.FlexGrid2.text(r, kColType) == "Std" && list.FlexGrid2.text(r, kColStandard).empty())
                ++waiting;
        lines << QStringLiteral("Following: %1 files listed, %2 settling; %3 standards waiting for a value.")
                     .arg(list.nDayFiles)
                     .arg(m_pending.size())
                     .arg(waiting);
    }
    if (!m_alerts.empty())
        lines << QStringLiteral("%1 row(s) in red. ").arg(m_alerts.size()) + m_alertNote;
    if (!m_note.isEmpty())
        lines << m_note;
    if (!m_resultNote.isEmpty())
        lines << m_resultNote;
    if (following() && m_blockedSessions.count(m_sessionPath))
        lines << QStringLiteral("This run is not kept: its session file is damaged and left as it is; \"Save session "
                                "as…\" keeps the run elsewhere.");
    m_lblStatus->setText(lines.join(QLatin1Char('\n')));
}

RunSession FileListWindow::currentSession() const
{
    RunSession session;
    session.directory = toName(m_scanDirectory);
    session.day = m_scanDay;
    session.extension = m_scanExtension;
    session.marker = m_txtStandard->text().toStdString();
    session.rows = allMarks();
    session.alertMultiple = m_cboAlert->currentData().toDouble();
    session.alertMethod = m_cboAlertMethod->currentData().toString().toStdString();
    session.uncertaintyColumn = uncertaintyChoice();
    if (m_sessionFill)
        m_sessionFill(session);
    return session;
}

void FileListWindow::saveSession()
{
    if (!following() || !m_tableEdited || m_applyingSession || m_sessionPath.isEmpty() ||
        m_blockedSessions.count(m_sessionPath))
        return;
    // A file that arrives changes nothing a session holds: the file is
    // written, and flushed to the disk, only when what it holds has changed.
    std::string json = sessionJson(currentSession());
    if (m_sessionPath == m_savedPath && json == m_savedJson)
        return;
    const std::string problem = writeSessionText(json, toName(m_sessionPath));
    if (!problem.empty()) {
        m_savedPath.clear();
        setNote(QString::fromStdString(problem) + QStringLiteral(" The run goes on, but is not kept."));
        return;
    }
    m_savedPath = m_sessionPath;
    m_savedJson = std::move(json);
}

void FileListWindow::applySession(const RunSession& session, const QString& path)
{
    const QString directory = QDir::cleanPath(fromName(session.directory));
    if (toName(fromName(session.directory)) != session.directory) {
        m_sink->show({"The session's folder " + shownText(session.directory, 4096) +
                      " has a name this window cannot open; \"kalibron sequence --session\" can read it."});
        return;
    }
    // A folder that cannot be read changes nothing: the run on screen, its
    // fields and its session file stay as they were.
    const QString fields[] = {m_Text1->text(), m_Text3->text(), m_txtExtension->text(), m_txtStandard->text()};
    const std::string typedDay = m_store.fileList.DayKey;
    const QString current = m_currentDirectory;

    m_applyingSession = true;
    const QString day = QString::fromStdString(session.day);
    const qsizetype cut = day.indexOf(QLatin1Char('_'));
    m_Text1->setText(cut < 0 ? day : day.left(cut));
    m_Text3->setText(cut < 0 ? QString() : day.mid(cut + 1));
    m_txtExtension->setText(QString::fromStdString(session.extension));
    m_txtStandard->setText(QString::fromStdString(session.marker));
    cmdTakeIt_Click();
    const QString scanned = m_lblPath->text();
    m_lblPath->clear();
    setCurrentDirectory(directory);
    if (m_lblPath->text() != directory) {
        // Its message has been shown.
        m_lblPath->setText(scanned);
        m_Text1->setText(fields[0]);
        m_Text3->setText(fields[1]);
        m_txtExtension->setText(fields[2]);
        m_txtStandard->setText(fields[3]);
        m_store.fileList.DayKey = typedDay;
        m_currentDirectory = current;
        m_applyingSession = false;
        return;
    }
    cmdAccept_Click();
    const std::vector<std::string> missing = applyRowMarks(m_store.fileList, m_store, session.rows);
    const std::set<std::string> unplaced(missing.begin(), missing.end());
    m_unplacedMarks.clear();
    bool anyValue = false;
    for (const RowMark& mark : session.rows) {
        anyValue = anyValue || !mark.standardValue.empty();
        if (unplaced.count(mark.name))
            m_unplacedMarks.push_back(mark);
    }
    int multiple = m_cboAlert->findData(session.alertMultiple);
    if (multiple < 0) {
        m_cboAlert->addItem(QStringLiteral("%1 u").arg(session.alertMultiple), session.alertMultiple);
        multiple = m_cboAlert->count() - 1;
    }
    m_cboAlert->setCurrentIndex(multiple);
    const int method = m_cboAlertMethod->findData(QString::fromStdString(session.alertMethod));
    m_cboAlertMethod->setCurrentIndex(std::max(0, method));
    m_cboUncertainty->setCurrentIndex(
        std::max(0, m_cboUncertainty->findData(static_cast<int>(session.uncertaintyColumn))));
    if (anyValue)
        m_cmdInterpolate->setEnabled(true);
    m_sessionPath = path;
    m_chkFollow->setChecked(true);
    m_applyingSession = false;
    if (m_sessionApply)
        m_sessionApply(session);
    chkFollow_Click();
}

void FileListWindow::cmdOpenSession_Click()
{
    const QString path = m_openSessionChooser
        ? m_openSessionChooser(sessionFolder())
        : QFileDialog::getOpenFileName(this, QStringLiteral("Open session"), sessionFolder(),
                                       QStringLiteral("KALIBRON sessions (*.json);;All Files (*)"));
    if (path.isEmpty())
        return; // cancelled
    const SessionRead read = readSessionFile(toName(path));
    if (!read.session) {
        m_sink->show({read.problem});
        return;
    }
    applySession(*read.session, path);
}

void FileListWindow::cmdSaveSessionAs_Click()
{
    if (!m_tableEdited) {
        m_sink->show({"There is no run to save yet: choose the folder and press [Edit list in table] first."});
        return;
    }
    const QString preset =
        m_sessionPath.isEmpty() ? QStringLiteral("session.json") : QFileInfo(m_sessionPath).fileName();
    const QString path = m_saveSessionChooser
        ? m_saveSessionChooser(sessionFolder(), preset)
        : QFileDialog::getSaveFileName(this, QStringLiteral("Save session as"), QDir(sessionFolder()).filePath(preset),
                                       QStringLiteral("KALIBRON sessions (*.json);;All Files (*)"));
    if (path.isEmpty())
        return; // cancelled
    const std::string problem = writeSessionFile(currentSession(), toName(path));
    if (!problem.empty()) {
        m_sink->show({problem});
        return;
    }
    // The run is kept where the user put it from now on.
    m_sessionPath = path;
    setNote(QStringLiteral("The session is kept in %1.").arg(path));
}

} // namespace kalibron
