#pragma once
// What the live-run test and its child process share: the folder's files and
// the values the operator types for them.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <sys/types.h>
#include <utime.h>

#include <cstdint>
#include <memory>
#include <string>

#include "core/file_list_state.h"
#include "core/messages.h"
#include "core/store.h"
#include "programs/program_settings.h"
#include "programs/real_time_coordinator.h"
#include "programs/startup.h"
#include "ui/file_list_window/file_list_window.h"
#include "ui/regression_window/regression_window.h"

namespace kalibron::test {

inline constexpr std::int64_t kLiveDay = 1219795200; // 2008-08-27 00:00:00 UTC (TZ=UTC)
inline const char* const kLiveProgram = "Kalibron-He-VeviRavo-1";

// File k of the run, written at 09:00:00 + 10 k s; every fifth is a standard.
inline bool isStandardFile(int k) { return k % 5 == 0; }
inline QString liveFileName(int k)
{
    return QStringLiteral("0808_27_%1%2.env").arg(k, 3, 10, QLatin1Char('0')).arg(isStandardFile(k) ? "-S0" : "");
}
inline QString liveSortName(int k) { return liveFileName(k).chopped(4); }

// A standard's value: a slow drift with a small scatter that alternates
// between neighbouring standards, so that no three lie on one line (a line
// through three points without scatter would make every next one an outlier).
inline double standardValue(int k)
{
    const double sign = (k / 5) % 2 ? -1.0 : 1.0;
    return 1000.0 - 0.05 * k + (k % 5 == 0 ? 0.4 : -0.4) * sign;
}

// Writes file k (its time set with utime so that its day and time match).
inline bool writeLiveFile(const QDir& dir, int k)
{
    QFile file(dir.filePath(liveFileName(k)));
    if (!file.open(QIODevice::WriteOnly) || file.write("x") != 1)
        return false;
    file.close();
    const auto time = static_cast<time_t>(kLiveDay + 9 * 3600 + 10 * k);
    const struct utimbuf times {
        time, time
    };
    return ::utime(QFile::encodeName(file.fileName()).constData(), &times) == 0;
}

// Both windows of the real-time program on their own store, messages and
// questions collected (a question is answered with `answer`).
struct LiveWindows {
    ProgramProfile profile = kalibronHeVeviRavo1Profile();
    CollectingMessageSink messages;
    std::unique_ptr<Store> store;
    std::unique_ptr<RealTimeCoordinator> windows;
    QStringList questions;
    bool answer = false;

    LiveWindows()
    {
        store = startUp(profile, QCoreApplication::applicationFilePath().toLocal8Bit().constData(), messages);
        windows = std::make_unique<RealTimeCoordinator>(*store, profile);
        list().setMessageSink(&messages);
        list().setQuestionAsker([this](const QString& question) {
            questions << question;
            return answer;
        });
        windows->regression().setMessageSink(&messages);
        windows->regression().setBoxRunner([](QMessageBox&) {});
        list().show();
    }
    FileListWindow& list() { return windows->fileList(); }
    const FileListState& state() const { return store->fileList; }
    // Table row of file k; 0 when it is not listed.
    int rowOf(int k) const
    {
        for (int r = state().nDayFiles; r >= 1; --r)
            if (QString::fromStdString(state().SortName[static_cast<std::size_t>(r - 1)]) == liveSortName(k))
                return r;
        return 0;
    }
    std::string text(int row, int col) const { return state().FlexGrid2.text(row, col); }
    // Types `value` into the standard column of file k's row, as the operator does.
    void type(int k, double value)
    {
        list().FlexGrid2_DblClick(rowOf(k), 5);
        list().findChild<QLineEdit*>(QStringLiteral("txtInpSTDgas"))->setText(QString::number(value, 'g', 12));
        list().txtInpSTDgas_KeyPress(13);
    }
};

} // namespace kalibron::test
