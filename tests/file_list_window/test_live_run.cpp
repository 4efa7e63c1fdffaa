// A live run, offscreen, over a real temporary folder while files are written
// into it: Follow lists new files, the operator's marks stay with their files,
// the results follow every change, alerts, and the session file across a
// killed process and a damaged file.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <map>

#include "analysis/run_session.h"
#include "core/file_list_state.h"
#include "core/messages.h"
#include "core/store.h"
#include "programs/program_settings.h"
#include "programs/real_time_coordinator.h"
#include "programs/startup.h"
#include "tests/file_list_window/live_test_support.h"
#include "ui/file_list_window/file_list_window.h"
#include "ui/regression_window/regression_window.h"
#include "ui/regression_window/scene_painter.h"

using namespace kalibron;
using namespace kalibron::test;

namespace {

struct LiveProgram : LiveWindows {
    int position(int k) const { return std::stoi(text(rowOf(k), 4)); }
    void follow()
    {
        auto* box = list().findChild<QCheckBox*>(QStringLiteral("chkFollow"));
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2));
    }
    // Scans `folder`, puts its day in the table and follows it, as the operator does.
    void followFolder(const QString& folder)
    {
        list().setCurrentDirectory(folder);
        QTest::mouseClick(list().findChild<QPushButton*>(QStringLiteral("cmdAccept")), Qt::LeftButton);
        follow();
    }
    void chooseU(UncertaintyChoice choice)
    {
        auto* uOf = list().findChild<QComboBox*>(QStringLiteral("cboUncertainty"));
        uOf->setCurrentIndex(uOf->findData(static_cast<int>(choice)));
        list().cboUncertainty_Click();
    }
    QColor background(int row, int col)
    {
        const QTableWidgetItem* item =
            list().findChild<QTableWidget*>(QStringLiteral("FlexGrid2"))->item(row - 1, col - 1);
        return item ? item->background().color() : QColor();
    }
};

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The least-squares line through (x, y), at x0; computed here from the sums.
double lineAt(const std::vector<double>& x, const std::vector<double>& y, double x0)
{
    const double n = static_cast<double>(x.size());
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        sx += x[i];
        sy += y[i];
        sxx += x[i] * x[i];
        sxy += x[i] * y[i];
    }
    const double slope = (n * sxy - sx * sy) / (n * sxx - sx * sx);
    return (sy - slope * sx) / n + slope * x0;
}

} // namespace

class TestLiveRun : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_data.isValid());
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_data.path()));
    }
    void followKeepsMarksAndResults();
    void killedProcessRestoresAndDamagedFileIsKept();
    void operatorWorkOutlastsArrivalsAndFailures();

private:
    QTemporaryDir m_data;
};

void TestLiveRun::followKeepsMarksAndResults()
{
    QTemporaryDir temp;
    QDir dir(temp.path());
    for (int k = 20; k < 30; ++k)
        QVERIFY(writeLiveFile(dir, k));
    LiveProgram run;
    run.followFolder(temp.path());
    QVERIFY(run.list().following());

    // Marks: values of the standards 20 and 25, sample 22 made a standard
    // with a value, sample 26 made a standard without one (waiting), the
    // standard 25 rejected.
    std::map<int, std::string> typed;
    const auto type = [&](int k, double value) {
        run.type(k, value);
        typed[k] = QString::number(value, 'g', 12).toStdString();
    };
    run.list().FlexGrid2_DblClick(run.rowOf(22), 2);
    run.list().FlexGrid2_DblClick(run.rowOf(26), 2);
    type(20, standardValue(20));
    type(22, standardValue(22));
    type(25, standardValue(25));
    QTest::mouseClick(run.list().findChild<QPushButton*>(QStringLiteral("cmdInterpolate")), Qt::LeftButton);
    QTest::mouseClick(run.windows->regression().findChild<QPushButton*>(QStringLiteral("cmdBack")), Qt::LeftButton);
    QVERIFY(run.windows->interpolated());
    // A click on the standard 25 in the plot rejects it; the results follow:
    // the line through the two standards left passes through both.
    RegressionWindow& reg = run.windows->regression();
    QCoreApplication::processEvents(); // what Back started has run
    auto* plot = reg.findChild<QWidget*>(QStringLiteral("pict1"));
    QTest::mouseClick(
        plot, Qt::LeftButton, {},
        dataToPixel(reg.shownScene().scale, QSizeF(plot->size()), run.position(25), standardValue(25)).toPoint());
    QVERIFY(run.store->Rejected[static_cast<std::size_t>(run.position(25))].value() >= 1);
    QVERIFY(QTest::qWaitFor(
        [&] { return std::abs(std::atof(run.text(run.rowOf(20), 6).c_str()) - standardValue(20)) < 1e-9; }, 2000));

    // A new file is listed within 2 s of its last write.
    QElapsedTimer sinceWrite;
    QVERIFY(writeLiveFile(dir, 30));
    sinceWrite.start();
    QVERIFY(QTest::qWaitFor([&] { return run.rowOf(30) > 0; }, 2000));
    qInfo("new file listed %lld ms after its last write", sinceWrite.elapsed());
    QVERIFY(sinceWrite.elapsed() >= 1000); // not before its time stayed the same for a second
    type(30, standardValue(30));

    // 100 arrivals: every tenth earlier than all others (all positions move);
    // the standards get their values as they come, one far off the line.
    run.list().setFollowTiming(20, 100);
    int expected = run.state().nDayFiles;
    int outlier = 0;
    for (int j = 0; j < 100; ++j) {
        const int k = j % 10 == 3 ? 19 - j / 10 : 31 + j;
        QVERIFY(writeLiveFile(dir, k));
        ++expected;
        QVERIFY2(QTest::qWaitFor([&] { return run.state().nDayFiles == expected && run.rowOf(k) > 0; }, 5000),
                 qPrintable(liveFileName(k)));
        if (isStandardFile(k) && k > 31) {
            const bool far = outlier == 0 && k > 60;
            type(k, standardValue(k) + (far ? 50 : 0));
            if (far)
                outlier = k;
        }
    }
    QVERIFY(outlier > 0);

    // A removal, and a marked file that leaves and comes back.
    QVERIFY(dir.remove(liveFileName(23)));
    QVERIFY(dir.remove(liveFileName(22)));
    QVERIFY(QTest::qWaitFor([&] { return run.state().nDayFiles == expected - 2; }, 5000));
    QVERIFY(run.rowOf(22) == 0 && run.rowOf(23) == 0);
    QVERIFY2(run.list().statusText().contains(liveFileName(23)), qPrintable(run.list().statusText()));
    QVERIFY(writeLiveFile(dir, 22));
    QVERIFY(QTest::qWaitFor([&] { return run.rowOf(22) > 0; }, 5000));
    const int rows = run.state().nDayFiles;
    QCOMPARE(rows, expected - 1);

    // Every mark is on its file's row, the rejection moved with its file.
    for (const auto& [k, value] : typed)
        QCOMPARE(run.text(run.rowOf(k), 5), value);
    QCOMPARE(run.text(run.rowOf(22), 2), std::string("Std"));
    QCOMPARE(run.text(run.rowOf(26), 2), std::string("Std"));
    QCOMPARE(run.text(run.rowOf(25), 2), std::string("Std"));
    QCOMPARE(run.text(run.rowOf(21), 2), std::string());
    int waiting = 0;
    for (int r = 1; r <= rows; ++r) {
        const int position = std::stoi(run.text(r, 4));
        const bool isRejected = run.store->Rejected[static_cast<std::size_t>(position)].value() >= 1;
        QCOMPARE(isRejected, r == run.rowOf(25));
        if (run.text(r, 2) == "Std" && run.text(r, 5).empty()) {
            ++waiting;
            QCOMPARE(run.background(r, 5), QColor(224, 224, 224));
        }
    }
    QVERIFY(waiting >= 2); // 26, and the early standards 15 and 10 got no value
    QVERIFY2(run.list().statusText().contains(QStringLiteral("%1 standards waiting").arg(waiting)),
             qPrintable(run.list().statusText()));

    // The far standard alone is red, and the status line says so.
    QCOMPARE(run.list().alertedRows(), (std::set<std::string>{liveSortName(outlier).toStdString()}));
    for (int c = 1; c <= 8; ++c)
        QCOMPARE(run.background(run.rowOf(outlier), c), QColor(255, 112, 112));
    QVERIFY(run.list().statusText().contains(QStringLiteral("Alert: the standard ") + liveSortName(outlier)));

    // Column 6 is the least-squares line through the standards used, at
    // every row's position.
    std::vector<double> x, y;
    for (int r = 1; r <= rows; ++r) {
        const double value = std::atof(run.text(r, 5).c_str());
        const int position = std::stoi(run.text(r, 4));
        if (value > 0 && run.store->Rejected[static_cast<std::size_t>(position)].value() < 1) {
            x.push_back(position);
            y.push_back(value);
        }
    }
    QCOMPARE(x.size(), typed.size() - 1);
    const auto [firstUsed, lastUsed] = std::minmax_element(x.begin(), x.end());
    int extrapolated = 0;
    for (int r = 1; r <= rows; ++r) {
        const int position = std::stoi(run.text(r, 4));
        const double expectedLine = lineAt(x, y, position);
        QVERIFY2(std::abs(std::atof(run.text(r, 6).c_str()) - expectedLine) < 1e-9 * std::abs(expectedLine),
                 run.text(r, 6).c_str());
        // Grey italics and a tooltip exactly where a result lies outside the
        // standards used: rows that were the newest once have given theirs back.
        const QTableWidgetItem* result =
            run.list().findChild<QTableWidget*>(QStringLiteral("FlexGrid2"))->item(r - 1, 6 - 1);
        QVERIFY(result);
        const bool outside = position < *firstUsed || position > *lastUsed;
        QCOMPARE(result->font().italic(), outside);
        QCOMPARE(result->toolTip().contains(QStringLiteral("extrapolated")), outside);
        extrapolated += outside ? 1 : 0;
        if (r != run.rowOf(outlier) && !run.text(r, 5).empty())
            QCOMPARE(run.background(r, 5), QColor(255, 255, 128));
    }
    QVERIFY(extrapolated > 0 && extrapolated < rows / 2);

    // The result columns equal those of a fresh Interpolate and Back on the
    // same data in a program that never followed.
    LiveProgram fresh;
    fresh.list().setCurrentDirectory(temp.path());
    QCOMPARE(fresh.questions.size(), 1); // the live run's session is offered
    fresh.list().cmdAccept_Click();
    for (int r = 1; r <= rows; ++r) {
        if (run.text(r, 2) != fresh.text(r, 2))
            fresh.list().FlexGrid2_DblClick(r, 2);
        if (!run.text(r, 5).empty()) {
            fresh.list().FlexGrid2_DblClick(r, 5);
            fresh.list()
                .findChild<QLineEdit*>(QStringLiteral("txtInpSTDgas"))
                ->setText(QString::fromStdString(run.text(r, 5)));
            fresh.list().txtInpSTDgas_KeyPress(13);
        }
        fresh.store->Rejected[static_cast<std::size_t>(std::stoi(run.text(r, 4)))] =
            run.store->Rejected[static_cast<std::size_t>(std::stoi(run.text(r, 4)))];
    }
    fresh.list().cmdInterpolate_Click();
    fresh.windows->backToFileList();
    for (int r = 1; r <= rows; ++r)
        for (int c = 1; c <= 8; ++c)
            QCOMPARE(run.text(r, c), fresh.text(r, c));

    // The session file holds every mark, the one of the file that came back too.
    const SessionRead saved = readSessionFile(QFile::encodeName(run.list().sessionPath()).toStdString());
    QVERIFY2(saved.session, saved.problem.c_str());
    for (const auto& [k, value] : typed) {
        const std::string name = liveSortName(k).toStdString();
        const auto mark = std::find_if(saved.session->rows.begin(), saved.session->rows.end(),
                                       [&](const RowMark& m) { return m.name == name; });
        QVERIFY(mark != saved.session->rows.end());
        QCOMPARE(mark->standardValue, value);
        QCOMPARE(mark->rejected, k == 25);
    }
    QVERIFY(saved.session->interpolated);

    // The command-line tool makes the same master file from the session file
    // as "Save master file" writes, the u of the linear fit beside the results included.
    run.chooseU(UncertaintyChoice::Linear);
    const int uColumn = run.profile.fileListWindow.table.uncertaintyColumn();
    QCOMPARE(run.text(0, uColumn), std::string("u Lin."));
    QVERIFY(!run.text(1, uColumn).empty());
    QTemporaryDir out;
    const QString windowMaster = out.filePath(QStringLiteral("window.csv"));
    const QString toolMaster = out.filePath(QStringLiteral("tool.csv"));
    run.list().setSaveFileChooser([&](const QString&, const QString&) { return windowMaster; });
    run.list().cmdSave_Click();
    QProcess tool;
    tool.start(QStringLiteral(KALIBRON_TOOL),
               {QStringLiteral("sequence"), QStringLiteral("--program"), QStringLiteral("He-VeviRavo-1"),
                QStringLiteral("--session"), run.list().sessionPath(), QStringLiteral("--master"), toolMaster});
    QVERIFY(tool.waitForFinished(30000));
    QVERIFY2(tool.exitCode() == 0, tool.readAllStandardError().constData());
    QVERIFY(!readAll(windowMaster).isEmpty());
    QCOMPARE(readAll(toolMaster), readAll(windowMaster));
    QVERIFY(run.messages.messages.empty());
}

void TestLiveRun::killedProcessRestoresAndDamagedFileIsKept()
{
    QTemporaryDir temp;
    QDir dir(temp.path());
    for (int k = 10; k < 30; ++k)
        QVERIFY(writeLiveFile(dir, k));
    QProcess child;
    child.start(QStringLiteral(KALIBRON_LIVE_CHILD), {temp.path()});
    QVERIFY(child.waitForStarted());
    QVERIFY(QTest::qWaitFor([&] { return child.readAllStandardOutput().contains("ready"); }, 30000));
    child.kill(); // SIGKILL: no handler runs, nothing is flushed or saved on the way out
    QVERIFY(child.waitForFinished());
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);

    const QString name = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName(QLatin1String(kLiveProgram));
    LiveProgram restart;
    restart.answer = true;
    restart.list().setCurrentDirectory(temp.path());
    QCOMPARE(restart.questions.size(), 1);
    QVERIFY(restart.list().following());
    for (int k = 10; k < 30; ++k) {
        const int r = restart.rowOf(k);
        const bool typed = (isStandardFile(k) && k != 15) || k == 12;
        QCOMPARE(restart.text(r, 5), typed ? QString::number(standardValue(k), 'g', 12).toStdString() : std::string());
        QCOMPARE(restart.text(r, 2), std::string(isStandardFile(k) != (k == 12 || k == 15) ? "Std" : ""));
        QCOMPARE(restart.store->Rejected[static_cast<std::size_t>(restart.position(k))].value() >= 1, k == 20);
    }
    // Interpolated before the kill: the results are there without a click.
    QVERIFY(restart.windows->interpolated());
    const std::string line = restart.text(1, 6);
    QVERIFY(!line.empty());
    std::vector<double> x, y;
    for (int k = 10; k < 30; ++k)
        if ((isStandardFile(k) && k != 15 && k != 20) || k == 12) {
            x.push_back(restart.position(k));
            y.push_back(standardValue(k));
        }
    QVERIFY(std::abs(std::atof(line.c_str()) - lineAt(x, y, 1)) < 1e-9 * 1000);

    // The session file cut short: one message, and the file is kept as it was,
    // also while the run goes on, until the user saves elsewhere.
    const QString path = restart.list().sessionPath();
    const QByteArray whole = readAll(path);
    {
        QFile cut(path);
        QVERIFY(cut.open(QIODevice::WriteOnly));
        cut.write(whole.left(whole.size() / 2));
    }
    const QByteArray damaged = readAll(path);
    LiveProgram again;
    again.list().setCurrentDirectory(temp.path());
    QCOMPARE(again.questions.size(), 1);
    QVERIFY2(again.questions[0].contains(path), qPrintable(again.questions[0]));
    again.list().cmdAccept_Click();
    again.follow();
    again.type(10, 999);
    QCOMPARE(readAll(path), damaged);
    QTemporaryDir elsewhere;
    const QString kept = elsewhere.filePath(QStringLiteral("night.json"));
    again.list().setSaveSessionChooser([&](const QString&, const QString&) { return kept; });
    QTest::mouseClick(again.list().findChild<QPushButton*>(QStringLiteral("cmdSaveSessionAs")), Qt::LeftButton);
    QCOMPARE(readAll(path), damaged);
    const SessionRead read = readSessionFile(QFile::encodeName(kept).toStdString());
    QVERIFY2(read.session, read.problem.c_str());
    QCOMPARE(read.session->rows.size(), std::size_t{1});
    QCOMPARE(read.session->rows[0].standardValue, std::string("999"));
    // Opening the damaged file says why, once, and changes nothing.
    again.list().setOpenSessionChooser([&](const QString&) { return path; });
    QTest::mouseClick(again.list().findChild<QPushButton*>(QStringLiteral("cmdOpenSession")), Qt::LeftButton);
    QCOMPARE(again.messages.messages.size(), std::size_t{1});
    QVERIFY(QString::fromStdString(again.messages.messages[0].text).contains(path));
    QCOMPARE(again.text(again.rowOf(10), 5), std::string("999"));
    QCOMPARE(readAll(path), damaged);
    QCoreApplication::setApplicationName(name);
}

// What the operator does while files arrive is not lost to them: a value
// being typed when every row moves, day fields typed over for the next scan,
// the note of a file that left, and results that can no longer be had.
void TestLiveRun::operatorWorkOutlastsArrivalsAndFailures()
{
    QTemporaryDir temp;
    QDir dir(temp.path());
    for (int k = 15; k < 26; ++k)
        QVERIFY(writeLiveFile(dir, k));
    LiveProgram run;
    run.followFolder(temp.path());
    run.list().setFollowTiming(20, 100);
    run.type(15, standardValue(15));
    run.type(20, standardValue(20));
    run.type(25, standardValue(25));
    run.list().cmdInterpolate_Click();
    run.windows->backToFileList();
    run.chooseU(UncertaintyChoice::Linear);
    const int uColumn = run.profile.fileListWindow.table.uncertaintyColumn();
    QVERIFY(!run.text(1, uColumn).empty());

    // The day fields typed over for the next scan: the followed table and
    // its session stay with the day scanned.
    run.list().findChild<QLineEdit*>(QStringLiteral("Text3"))->setText(QStringLiteral("28"));
    run.list().cmdTakeIt_Click();
    QVERIFY(writeLiveFile(dir, 30));
    QVERIFY(QTest::qWaitFor([&] { return run.rowOf(30) > 0; }, 5000));
    QCOMPARE(run.state().nDayFiles, 12);

    // A value typed while a file arrives before all others goes to its file.
    run.list().FlexGrid2_DblClick(run.rowOf(30), 5);
    auto* field = run.list().findChild<QLineEdit*>(QStringLiteral("txtInpSTDgas"));
    field->setText(QString::number(standardValue(30), 'g', 12));
    QVERIFY(writeLiveFile(dir, 14));
    QVERIFY(QTest::qWaitFor([&] { return run.rowOf(14) == 1; }, 5000));
    run.list().txtInpSTDgas_KeyPress(13);
    QVERIFY(field->isHidden());
    QCOMPARE(std::atof(run.text(run.rowOf(30), 5).c_str()), standardValue(30));
    const SessionRead saved = readSessionFile(QFile::encodeName(run.list().sessionPath()).toStdString());
    QVERIFY2(saved.session, saved.problem.c_str());
    QCOMPARE(saved.session->day, std::string("0808_27"));

    // A file that leaves keeps its note through the rerun; with one standard
    // left no result, and no u, stays in the table.
    for (const int k : {20, 25, 30})
        QVERIFY(dir.remove(liveFileName(k)));
    QVERIFY(QTest::qWaitFor([&] { return run.rowOf(20) == 0 && run.rowOf(25) == 0 && run.rowOf(30) == 0; }, 5000));
    const QString status = run.list().statusText();
    QVERIFY2(status.contains(liveFileName(25)) && status.contains(QStringLiteral("Too few data")),
             qPrintable(status));
    for (int r = 1; r <= run.state().nDayFiles; ++r) {
        QCOMPARE(run.text(r, 6), std::string());
        QCOMPARE(run.text(r, uColumn), std::string());
    }
}

QTEST_MAIN(TestLiveRun)
#include "test_live_run.moc"
