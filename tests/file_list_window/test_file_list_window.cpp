// The file list window and the regression window driven together through
// their controls, offscreen: scan, types, standard values, Interpolate, Back
// to File List, single-cell copy, Copy and Save master file. Messages go to a
// collecting sink. With KALIBRON_SCREENSHOT_DIR set, the file list is saved
// as an image after the scan and after Back to File List.
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>
#include <utime.h>

#include <cmath>
#include <memory>

#include "analysis/table_output.h"
#include "core/file_list_state.h"
#include "core/messages.h"
#include "core/store.h"
#include "programs/program_settings.h"
#include "programs/real_time_coordinator.h"
#include "programs/startup.h"
#include "regression/linear_fit.h"
#include "tests/sequence/sequence_test_support.h"
#include "ui/file_list_window/file_list_window.h"
#include "ui/regression_window/regression_window.h"

using namespace kalibron;

namespace {

constexpr qint64 kDay = 1219795200; // 2008-08-27 00:00:00 UTC (TZ=UTC)

void makeFile(const QDir& dir, const QString& name, int secs)
{
    QFile file(dir.filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("x");
    file.close();
    const struct utimbuf times {
        static_cast<time_t>(kDay + secs), static_cast<time_t>(kDay + secs)
    };
    QCOMPARE(::utime(QFile::encodeName(dir.filePath(name)).constData(), &times), 0);
}

void saveShot(QWidget& window, const char* name)
{
    const QByteArray dir = qgetenv("KALIBRON_SCREENSHOT_DIR");
    if (!dir.isEmpty())
        window.grab().save(QDir(QString::fromLocal8Bit(dir)).filePath(QLatin1String(name)));
}

} // namespace

class TestFileListWindow : public QObject {
    Q_OBJECT

private:
    template <typename T> T* control(QWidget& window, const char* name)
    {
        T* found = window.findChild<T*>(QLatin1String(name));
        if (!found)
            qFatal("no control %s", name);
        return found;
    }

    QPoint cellCentre(QTableWidget* grid, int row, int col)
    {
        grid->scrollTo(grid->model()->index(row - 1, col - 1));
        return grid->visualRect(grid->model()->index(row - 1, col - 1)).center();
    }
    void clickCell(QTableWidget* grid, int row, int col)
    {
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cellCentre(grid, row, col));
    }
    void doubleClickCell(QTableWidget* grid, int row, int col)
    {
        // A double click: a click, then the second press reported as a double click.
        const QPoint at = cellCentre(grid, row, col);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
    }
    QString cell(QTableWidget* grid, int row, int col)
    {
        const QTableWidgetItem* item = grid->item(row - 1, col - 1);
        return item ? item->text() : QString();
    }
    void typeValue(QTableWidget* grid, QLineEdit* field, int row, const QString& text)
    {
        doubleClickCell(grid, row, 5);
        QVERIFY(field->isVisible());
        field->clear();
        QTest::keyClicks(field, text);
        QTest::keyClick(field, Qt::Key_Return);
    }

private slots:
    void wholeDay();
    void layoutHasNoOverlaps();
    void largeFolder();
    void unreadableFolderKeepsTheList();
    void tooFewStandardsSaySo();
};

void TestFileListWindow::wholeDay()
{
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    const QDir dir(temp.path());
    // Standards at positions 1, 1201, 2401; samples between; other files.
    makeFile(dir, QStringLiteral("0808_27e-S05.env"), 9 * 3600 + 2400);
    makeFile(dir, QStringLiteral("0808_27d04.env"), 9 * 3600 + 1800);
    makeFile(dir, QStringLiteral("0808_27c-S03.env"), 9 * 3600 + 1200);
    makeFile(dir, QStringLiteral("0808_27b02.env"), 9 * 3600 + 600);
    makeFile(dir, QStringLiteral("0808_27a-S01.env"), 9 * 3600);
    makeFile(dir, QStringLiteral("0808_26x.env"), 0);
    makeFile(dir, QStringLiteral("0808_27z.txt"), 0);
    QVERIFY(dir.mkdir(QStringLiteral("0808_27sub.env")));

    const ProgramProfile profile = kalibronHeVeviRavo1Profile();
    CollectingMessageSink messages;
    const auto store = startUp(profile, QCoreApplication::applicationFilePath().toLocal8Bit().constData(), messages);
    RealTimeCoordinator windows(*store, profile);
    FileListWindow& list = windows.fileList();
    RegressionWindow& reg = windows.regression();
    list.setMessageSink(&messages);
    reg.setMessageSink(&messages);
    reg.setBoxRunner([](QMessageBox&) {});
    list.show();
    QVERIFY(store->FileListShown);
    QVERIFY(!reg.isVisible());

    auto* grid = control<QTableWidget>(list, "FlexGrid2");
    auto* field = control<QLineEdit>(list, "txtInpSTDgas");
    auto* interpolate = control<QPushButton>(list, "cmdInterpolate");
    auto* copy = control<QPushButton>(list, "cmdCopy");
    auto* accept = control<QPushButton>(list, "cmdAccept");
    QVERIFY(!interpolate->isEnabled() && !copy->isEnabled() && !accept->isEnabled());

    // The scan: every plain file in the list, the day in the blue field, the
    // day listing on the clipboard.
    list.setCurrentDirectory(temp.path());
    QCOMPARE(control<QListView>(list, "List1")->model()->rowCount(), 7);
    QCOMPARE(control<QListView>(list, "List1")->model()->index(0, 0).data().toString(), QStringLiteral("0808_26x.env"));
    QCOMPARE(control<QLabel>(list, "Label1")->text().count(QLatin1Char('\n')), 4);
    QCOMPARE(QGuiApplication::clipboard()->text(), QString::fromStdString(store->fileList.DayListing));
    QVERIFY(QGuiApplication::clipboard()->text().startsWith(QStringLiteral("0808_27a-S01\t09:00:00\t0\r")));
    QVERIFY(accept->isEnabled());
    saveShot(list, "file_list_after_scan.png");

    // Edit list in table.
    QTest::mouseClick(accept, Qt::LeftButton);
    QVERIFY(!accept->isVisible() && copy->isEnabled());
    QCOMPARE(grid->horizontalHeaderItem(0)->text(), QStringLiteral("File name"));
    QCOMPARE(cell(grid, 1, 1), QStringLiteral("0808_27a-     01"));
    QCOMPARE(cell(grid, 3, 2), QStringLiteral("Std"));
    QCOMPARE(cell(grid, 5, 4), QStringLiteral("2401"));
    QCOMPARE(cell(grid, 6, 1), QString());

    // Typ toggles by double click.
    doubleClickCell(grid, 2, 2);
    QCOMPARE(cell(grid, 2, 2), QStringLiteral("Std"));
    doubleClickCell(grid, 2, 2);
    QCOMPARE(cell(grid, 2, 2), QString());

    // Standard values: a refused text keeps the field open with its text.
    typeValue(grid, field, 1, QStringLiteral("1000"));
    QCOMPARE(cell(grid, 1, 5), QStringLiteral("1000"));
    QVERIFY(!field->isVisible() && interpolate->isEnabled());
    typeValue(grid, field, 3, QStringLiteral("120,5"));
    QCOMPARE(messages.messages.size(), std::size_t{1});
    QVERIFY(QString::fromStdString(messages.messages.back().text).contains(QStringLiteral("\"120,5\"")));
    QVERIFY(field->isVisible());
    QCOMPARE(field->text(), QStringLiteral("120,5"));
    QCOMPARE(cell(grid, 3, 5), QString());
    typeValue(grid, field, 3, QStringLiteral("980"));
    typeValue(grid, field, 5, QStringLiteral("970"));
    QCOMPARE(cell(grid, 5, 5), QStringLiteral("970"));

    // Interpolate: the regression window shows the standards and offers the way back.
    QTest::mouseClick(interpolate, Qt::LeftButton);
    QVERIFY(reg.isVisible());
    QVERIFY(!list.isVisible());
    QCOMPARE(store->nPoints, 3);
    QCOMPARE(store->MaxX, 2401.0);
    auto* back = control<QPushButton>(reg, "cmdBack");
    QVERIFY(back->isVisible());
    // This program's window does not recalculate when shown; Back to File List
    // still writes the fits of the data just handed over, never older ones.

    QTest::mouseClick(back, Qt::LeftButton);
    QVERIFY(list.isVisible());
    QVERIFY(reg.isVisible());
    // "Data meas.": the three points handed over and plotted.
    QCOMPARE(control<QLabel>(reg, "lblnDataOK")->text(), QStringLiteral("3"));
    saveShot(list, "file_list_after_back.png");
    saveShot(reg, "regression_after_back.png");
    // Columns 6..8 hold the linear, logarithmic and degree-2 fits at every
    // row: the line through (1, 1000), (1201, 980), (2401, 970) has slope -1/80,
    // the parabola passes through the three standards.
    for (int r = 1; r <= 5; ++r) {
        const double x = 1 + 600.0 * (r - 1);
        const double line = 2950.0 / 3 - (x - 1201) / 80.0;
        QVERIFY2(std::abs(cell(grid, r, 6).toDouble() - line) < 1e-9, qPrintable(cell(grid, r, 6)));
        QVERIFY(cell(grid, r, 7).toDouble() > 0);
        QVERIFY(!cell(grid, r, 8).isEmpty());
        QVERIFY(cell(grid, r, 9).isEmpty());
    }
    QCOMPARE(cell(grid, 1, 8).toDouble(), 1000.0);

    // A click on a result copies the cell; on the position column nothing.
    clickCell(grid, 2, 8);
    QCOMPARE(QGuiApplication::clipboard()->text(), cell(grid, 2, 8));
    clickCell(grid, 2, 4);
    QCOMPARE(QGuiApplication::clipboard()->text(), cell(grid, 2, 8));

    QTest::mouseClick(copy, Qt::LeftButton);
    const QString table = QGuiApplication::clipboard()->text();
    QCOMPARE(table.count(QLatin1Char('\r')), 6);
    QVERIFY(table.startsWith(
        QStringLiteral("\tFile name\tTyp\tTime\tTime\tSTD c/s\tLin. Interp.\tLog. Interp.\tPoly2 Inter.\r")));
    QVERIFY(table.contains(QStringLiteral("\t0808_27c-     03\tStd\t09:20:00\t1201\t980\t") + cell(grid, 3, 6)));

    // Save master file: cancelled, written, refused with a message.
    auto* save = control<QPushButton>(list, "cmdSave");
    QVERIFY(save->isVisible() && save->isEnabled());
    QString offeredFolder, offeredName, answer;
    list.setSaveFileChooser([&](const QString& folder, const QString& name) {
        offeredFolder = folder;
        offeredName = name;
        return answer;
    });
    QTemporaryDir out;
    QTest::mouseClick(save, Qt::LeftButton);
    QCOMPARE(offeredName, QStringLiteral("0_master.csv"));
    QCOMPARE(offeredFolder, QString::fromStdString(store->gPath)); // the test's folder is writable
    QCOMPARE(QDir(out.path()).entryList(QDir::Files).size(), 0);
    answer = out.filePath(QStringLiteral("day.csv"));
    QTest::mouseClick(save, Qt::LeftButton);
    QFile master(answer);
    QVERIFY(master.open(QIODevice::ReadOnly));
    QCOMPARE(master.readAll().toStdString(), masterFileText(store->fileList));
    const std::size_t before = messages.messages.size();
    answer = out.filePath(QStringLiteral("gone/day.csv"));
    QTest::mouseClick(save, Qt::LeftButton);
    QCOMPARE(messages.messages.size(), before + 1);
    QVERIFY(QString::fromStdString(messages.messages.back().text).contains(answer));

    // "u of:" after the hand-back fills the column after this program's
    // results (6..8) with the line's u, here from its formula
    // s·√(1/n + (x − x̄)²/Sxx), s² = Σr²/(n − 2), through the three standards.
    auto* uOf = control<QComboBox>(list, "cboUncertainty");
    QCOMPARE(uOf->currentText(), QStringLiteral("none"));
    const auto choose = [&](const char* caption) {
        const int index = uOf->findText(QLatin1String(caption));
        QVERIFY(index >= 0);
        uOf->setCurrentIndex(index);
        emit uOf->activated(index);
    };
    choose("Lin.");
    QCOMPARE(grid->horizontalHeaderItem(8)->text(), QStringLiteral("u Lin."));
    const double xs[3] = {1, 1201, 2401}, ys[3] = {1000, 980, 970};
    const double xMean = (xs[0] + xs[1] + xs[2]) / 3, yMean = (ys[0] + ys[1] + ys[2]) / 3;
    double sxx = 0, sxy = 0, rss = 0;
    for (int i = 0; i < 3; ++i) {
        sxx += (xs[i] - xMean) * (xs[i] - xMean);
        sxy += (xs[i] - xMean) * (ys[i] - yMean);
    }
    for (int i = 0; i < 3; ++i)
        rss += std::pow(ys[i] - yMean - sxy / sxx * (xs[i] - xMean), 2);
    for (int r = 1; r <= 5; ++r) {
        const double x = 1 + 600.0 * (r - 1);
        const double u = std::sqrt(rss) * std::sqrt(1.0 / 3 + (x - xMean) * (x - xMean) / sxx);
        QVERIFY2(std::abs(cell(grid, r, 9).toDouble() - u) <= 1e-12 * u, qPrintable(cell(grid, r, 9)));
    }
    // Copy and the master file carry it; each copied line is the one before
    // with the u cell after it.
    QTest::mouseClick(copy, Qt::LeftButton);
    const QStringList withU = QGuiApplication::clipboard()->text().split(QLatin1Char('\r'));
    const QStringList withoutU = table.split(QLatin1Char('\r'));
    QCOMPARE(withU.size(), withoutU.size());
    for (int r = 0; r + 1 < withU.size(); ++r)
        QCOMPARE(withU[r], withoutU[r] + QLatin1Char('\t') + (r == 0 ? QStringLiteral("u Lin.") : cell(grid, r, 9)));
    answer = out.filePath(QStringLiteral("with_u.csv"));
    QTest::mouseClick(save, Qt::LeftButton);
    QFile masterWithU(answer);
    QVERIFY(masterWithU.open(QIODevice::ReadOnly));
    const QStringList records = QString::fromUtf8(masterWithU.readAll()).split(QStringLiteral("\r\n"));
    QCOMPARE(records[0].split(QLatin1Char(','))[9], QStringLiteral("\"u Lin.\""));
    for (int r = 1; r <= 5; ++r)
        QCOMPARE(records[r].split(QLatin1Char(','))[9], QLatin1Char('"') + cell(grid, r, 9) + QLatin1Char('"'));

    // Three points leave the parabola no u: the column says whose and stays
    // empty. "none" takes the column away: Copy is what it was.
    choose("Poly2");
    QCOMPARE(grid->horizontalHeaderItem(8)->text(), QStringLiteral("u Poly2"));
    for (int r = 1; r <= 5; ++r)
        QVERIFY(cell(grid, r, 9).isEmpty());
    choose("none");
    QTest::mouseClick(copy, Qt::LeftButton);
    QCOMPARE(QGuiApplication::clipboard()->text(), table);

    // A table made anew holds no results: a choice waits for the next
    // hand-back instead of writing the last one's into it.
    list.Update_Flex2();
    choose("Lin.");
    QVERIFY(grid->horizontalHeaderItem(8)->text().isEmpty());
    for (int r = 1; r <= 5; ++r)
        QVERIFY(cell(grid, r, 6).isEmpty() && cell(grid, r, 9).isEmpty());
}

void TestFileListWindow::layoutHasNoOverlaps()
{
    const ProgramProfile profile = kalibronHeVeviRavo1Profile();
    CollectingMessageSink messages;
    const auto store = startUp(profile, nullptr, messages);
    FileListWindow window(*store, profile.fileListWindow);
    window.show();
    const auto widgets = window.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    QVector<QWidget*> shown;
    for (QWidget* w : widgets)
        if (w->isVisibleTo(&window) && !w->objectName().isEmpty())
            shown << w;
    QVERIFY(shown.size() > 20);
    for (int i = 0; i < shown.size(); ++i) {
        QVERIFY2(window.rect().contains(shown[i]->geometry()), qPrintable(shown[i]->objectName()));
        for (int j = i + 1; j < shown.size(); ++j)
            QVERIFY2(!shown[i]->geometry().intersects(shown[j]->geometry()),
                     qPrintable(shown[i]->objectName() + QStringLiteral(" / ") + shown[j]->objectName()));
    }
    // Every button's caption fits on one line.
    for (QPushButton* button : window.findChildren<QPushButton*>())
        if (button->isVisibleTo(&window))
            QVERIFY2(button->fontMetrics().horizontalAdvance(button->text()) + 8 <= button->width(),
                     qPrintable(button->objectName()));
}

// A folder over the list's limit: the window lists 10000 names, says so, and
// still finds every file of the day. The time the scan and the table take is
// printed (the interface waits for both).
void TestFileListWindow::largeFolder()
{
    QTemporaryDir temp;
    const QDir dir(temp.path());
    for (int i = 0; i < 10001; ++i) {
        QFile file(dir.filePath(QStringLiteral("%1%2.env")
                                    .arg(i % 50 ? QStringLiteral("0808_26x") : QStringLiteral("0808_27s"))
                                    .arg(i, 5, 10, QLatin1Char('0'))));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const ProgramProfile profile = kalibronHeVeviRavo1Profile();
    CollectingMessageSink messages;
    const auto store = startUp(profile, nullptr, messages);
    FileListWindow window(*store, profile.fileListWindow);
    window.setMessageSink(&messages);
    window.show();
    QElapsedTimer timer;
    timer.start();
    window.setCurrentDirectory(temp.path());
    const qint64 scanned = timer.restart();
    QTest::mouseClick(control<QPushButton>(window, "cmdAccept"), Qt::LeftButton);
    const qint64 tabled = timer.elapsed();
    qInfo("scan of 10001 files: %lld ms, table of 201 rows: %lld ms", scanned, tabled);
    QCOMPARE(control<QListView>(window, "List1")->model()->rowCount(), 10000);
    QCOMPARE(store->fileList.nDayFiles, 201); // the last one lies beyond the list
    QCOMPARE(messages.messages.size(), std::size_t{1});
    QVERIFY(QString::fromStdString(messages.messages[0].text).contains(QStringLiteral("first 10000")));
    QCOMPARE(control<QTableWidget>(window, "FlexGrid2")->item(200, 0)->text(), QStringLiteral("0808_27s10     00"));
}

// A folder that cannot be read is no empty folder: one message names it and
// why, and the lists and the table of the last folder read stay.
void TestFileListWindow::unreadableFolderKeepsTheList()
{
    QTemporaryDir temp;
    const QDir dir(temp.path());
    makeFile(dir, QStringLiteral("0808_27a-S01.env"), 9 * 3600);
    makeFile(dir, QStringLiteral("0808_27b02.env"), 10 * 3600);
    const ProgramProfile profile = kalibronHeVeviRavo1Profile();
    CollectingMessageSink messages;
    const auto store = startUp(profile, nullptr, messages);
    FileListWindow window(*store, profile.fileListWindow);
    window.setMessageSink(&messages);
    window.show();
    window.setCurrentDirectory(temp.path());
    auto* names = control<QListView>(window, "List1");
    auto* selection = control<QLabel>(window, "Label1");
    QCOMPARE(names->model()->rowCount(), 2);
    const QString selected = selection->text();
    const std::string listing = store->fileList.DayListing;
    QVERIFY(messages.messages.empty());

    const auto expectKept = [&](const QString& unread, const char* reason) {
        QCOMPARE(messages.messages.size(), std::size_t{1});
        const QString text = QString::fromStdString(messages.messages[0].text);
        QVERIFY2(text.startsWith(QStringLiteral("Cannot read the ")) && text.contains(unread) &&
                     text.contains(QLatin1String(reason)),
                 qPrintable(text));
        QCOMPARE(names->model()->rowCount(), 2);
        QCOMPARE(selection->text(), selected);
        QCOMPARE(store->fileList.DayListing, listing);
        QCOMPARE(store->fileList.nDayFiles, 2);
        messages.messages.clear();
    };
    // A folder that vanished before the scan.
    const QString gone = dir.filePath(QStringLiteral("gone"));
    QVERIFY(dir.mkdir(QStringLiteral("gone")));
    QVERIFY(QDir(gone).removeRecursively());
    window.setCurrentDirectory(gone);
    expectKept(gone, "No such file or directory");

    // A folder this user may not read, and one he may read but not search.
    const QString locked = dir.filePath(QStringLiteral("locked"));
    QVERIFY(dir.mkdir(QStringLiteral("locked")));
    makeFile(QDir(locked), QStringLiteral("0808_27c03.env"), 11 * 3600);
    QFile::setPermissions(temp.path(), QFile::permissions(temp.path()) | QFileDevice::ExeOther | QFileDevice::ExeGroup);
    for (const QFileDevice::Permissions mode :
         {QFileDevice::Permissions(), QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther}) {
        QVERIFY(QFile::setPermissions(locked, mode));
        {
            test::UnprivilegedScope user;
            const int fd = ::open(QFile::encodeName(locked + QStringLiteral("/0808_27c03.env")).constData(), O_RDONLY);
            if (fd >= 0)
                ::close(fd);
            if (!user.active() || fd >= 0) {
                QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
                QSKIP("running as root and cannot act as another user: permissions would not stop reading");
            }
            window.setCurrentDirectory(locked);
        }
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        expectKept(locked, "Permission denied");
    }
}

// The program that hands any number of standards over: one standard gets the
// regression's own message.
void TestFileListWindow::tooFewStandardsSaySo()
{
    QTemporaryDir temp;
    const QDir dir(temp.path());
    makeFile(dir, QStringLiteral("0808_27a-S01.env"), 9 * 3600);
    makeFile(dir, QStringLiteral("0808_27b02.env"), 10 * 3600);
    const ProgramProfile profile = kalibronHeVeviRavo1Profile();
    CollectingMessageSink messages;
    const auto store = startUp(profile, nullptr, messages);
    RealTimeCoordinator windows(*store, profile);
    FileListWindow& list = windows.fileList();
    list.setMessageSink(&messages);
    windows.regression().setMessageSink(&messages);
    windows.regression().setBoxRunner([](QMessageBox&) {});
    list.show();
    list.setCurrentDirectory(temp.path());
    QTest::mouseClick(control<QPushButton>(list, "cmdAccept"), Qt::LeftButton);
    typeValue(control<QTableWidget>(list, "FlexGrid2"), control<QLineEdit>(list, "txtInpSTDgas"), 1,
              QStringLiteral("1000"));
    QVERIFY(messages.messages.empty());
    QTest::mouseClick(control<QPushButton>(list, "cmdInterpolate"), Qt::LeftButton);
    QCOMPARE(messages.messages.size(), std::size_t{1});
    QCOMPARE(messages.messages[0].text, std::string(kTooFewRegressionDataMessage));
}

QTEST_MAIN(TestFileListWindow)
#include "test_file_list_window.moc"
