#pragma once
// What the live-run test and its child process share: the folder's files and
// the values the operator types for them.

#include <QDir>
#include <QFile>
#include <QString>

#include <sys/types.h>
#include <utime.h>

#include <cstdint>

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

} // namespace kalibron::test
