#include "analysis/file_scan.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include "analysis/table_output.h"
#include "core/file_list_state.h"
#include "core/messages.h"

namespace kalibron {

namespace {

// A path or name as a message shows it: whole, but with control bytes escaped.
std::string shownName(std::string_view name) { return shownText(name, 4096); }

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

} // namespace

DirectoryListing listDirectory(const std::string& path, const std::function<bool(std::string_view name)>& needsTime)
{
    DirectoryListing listing;
    // The system's own calls: their errors are the folder's real state. A
    // folder that may be read but not searched lists its names while every
    // look at an entry fails, which must not pass for an empty day.
    const std::unique_ptr<DIR, DirCloser> dir(::opendir(path.c_str()));
    if (!dir) {
        listing.problem = "cannot read the directory " + shownName(path) + ": " + std::strerror(errno);
        return listing;
    }
    const int fd = ::dirfd(dir.get());
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir.get());
        if (!entry) {
            if (errno != 0) {
                listing.problem = "cannot read the directory " + shownName(path) + ": " + std::strerror(errno);
                listing.files.clear();
            }
            break;
        }
        std::string name = entry->d_name;
        if (name.empty() || name.front() == '.')
            continue;
        const bool timed = !needsTime || needsTime(name);
        // The entry's kind comes with the name for most file systems; a
        // symbolic link, an unknown kind and a file whose time is needed are
        // looked at.
        if (!timed && entry->d_type == DT_REG) {
            listing.files.push_back({std::move(name), 0});
            continue;
        }
        if (!timed && entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN)
            continue;
        struct stat info {};
        if (::fstatat(fd, entry->d_name, &info, 0) != 0) {
            if (errno == ENOENT || errno == ELOOP || errno == ENOTDIR)
                continue; // vanished while listed, or a link to nothing
            listing.problem = "cannot read the entry " + shownName(name) + " of the directory " + shownName(path) +
                ": " + std::strerror(errno);
            listing.files.clear();
            return listing;
        }
        if (!S_ISREG(info.st_mode))
            continue;
        listing.files.push_back({std::move(name), timed ? std::int64_t{info.st_mtim.tv_sec} : 0});
    }
    std::sort(listing.files.begin(), listing.files.end(),
              [](const FileEntry& a, const FileEntry& b) { return a.name < b.name; });
    return listing;
}

std::optional<int> secondsOfDay(std::int64_t time)
{
    if (time < std::numeric_limits<std::time_t>::min() || time > std::numeric_limits<std::time_t>::max())
        return std::nullopt;
    const std::time_t t = static_cast<std::time_t>(time);
    std::tm local{};
    if (!localtime_r(&t, &local))
        return std::nullopt;
    return local.tm_hour * 3600 + local.tm_min * 60 + std::min(local.tm_sec, 59);
}

NameUnits::NameUnits(std::string_view name) : m_utf8(isValidUtf8(name))
{
    m_starts.reserve(name.size() + 1);
    for (std::size_t pos = 0; pos < name.size(); pos += m_utf8 ? utf8SequenceLength(name, pos) : 1)
        m_starts.push_back(pos);
    m_starts.push_back(name.size());
}

std::size_t NameUnits::countOf(std::string_view text) const
{
    if (!m_utf8)
        return text.size();
    std::size_t count = 0;
    for (const char c : text)
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    return count;
}

std::string timeOfDayText(int seconds)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", seconds / 3600 % 100, seconds / 60 % 60, seconds % 60);
    return text;
}

bool matchesDay(std::string_view name, std::string_view dayKey, std::string_view extension)
{
    // Most names of a folder fail on their first bytes; count characters
    // only for those that could match.
    if (!name.starts_with(dayKey))
        return false;
    const NameUnits units(name);
    const std::size_t n = units.count();
    if (units.countOf(dayKey) != 7 || units.countOf(extension) != 3 || n < 7 || n < 4)
        return false;
    const std::size_t dot = units.offset(n - 4);
    return units.offset(7) == dayKey.size() && name[dot] == '.' && name.substr(dot + 1) == extension;
}

std::string scanDay(FileListState& state, std::vector<FileEntry> files, std::string_view extension,
                    MessageSink& messages)
{
    // std::string compares bytes as unsigned char: code-point order for UTF-8.
    std::stable_sort(files.begin(), files.end(),
                     [](const FileEntry& a, const FileEntry& b) { return a.name < b.name; });

    state.FlexGrid2.clear();
    state.RowPos.clear();
    state.Extrapolated.clear();
    state.EditRow = 0;
    state.nDirectoryFiles = static_cast<int>(files.size());
    state.nAllFiles = std::min(state.nDirectoryFiles, kMaxListedFiles);
    state.AllFiles.clear();
    state.AllFiles.reserve(static_cast<std::size_t>(state.nAllFiles));
    for (int i = 0; i < state.nAllFiles; ++i)
        state.AllFiles.push_back(files[static_cast<std::size_t>(i)].name);

    struct DayFile {
        std::string name;
        int secs;
    };
    std::vector<DayFile> day;
    std::vector<std::string> unreadableTimes;
    std::string listText;
    for (const FileEntry& file : files) {
        if (!matchesDay(file.name, state.DayKey, extension))
            continue;
        const std::optional<int> secs = secondsOfDay(file.lastWrite);
        if (!secs) {
            unreadableTimes.push_back(file.name);
            continue;
        }
        const NameUnits units(file.name);
        DayFile d{file.name.substr(0, units.offset(units.count() - 4)), *secs};
        if (!listText.empty())
            listText += '\r';
        listText += d.name + "   \t" + timeOfDayText(d.secs);
        day.push_back(std::move(d));
    }

    // Time order; of files written in the same second the one first in name
    // order comes first.
    std::stable_sort(day.begin(), day.end(), [](const DayFile& a, const DayFile& b) { return a.secs < b.secs; });
    const int found = static_cast<int>(day.size());
    if (found > kMaxTableRows)
        day.resize(kMaxTableRows);

    state.nDayFiles = static_cast<int>(day.size());
    state.SortName.clear();
    state.SortTime.clear();
    state.SortSecs.clear();
    state.FirstSecs = day.empty() ? 0 : day.front().secs;
    state.DayListing.clear();
    for (const DayFile& d : day) {
        state.SortName.push_back(d.name);
        state.SortTime.push_back(timeOfDayText(d.secs));
        state.SortSecs.push_back(d.secs);
        appendLineCell(state.DayListing, d.name);
        state.DayListing += '\t' + state.SortTime.back() + '\t' + std::to_string(d.secs - state.FirstSecs) + '\r';
    }

    if (!unreadableTimes.empty()) {
        std::string names;
        for (std::size_t i = 0; i < unreadableTimes.size() && i < 10; ++i)
            names += (i ? ", " : "") + shownText(unreadableTimes[i]);
        if (unreadableTimes.size() > 10)
            names += " and " + std::to_string(unreadableTimes.size() - 10) + " more";
        messages.show(
            {"The write time of " + names + " has no date this system can give; the table leaves these files out."});
    }
    if (state.nDirectoryFiles > kMaxListedFiles)
        messages.show({"The directory holds " + std::to_string(state.nDirectoryFiles) +
                       " files; the list shows the first " + std::to_string(kMaxListedFiles) +
                       " in alphabetic order. The files of the day were picked from all of them."});
    if (found > kMaxTableRows)
        messages.show({"The directory holds " + std::to_string(found) + " files of the day " + state.DayKey +
                       "; the table has room for " + std::to_string(kMaxTableRows) + ". It shows the first " +
                       std::to_string(kMaxTableRows) + " in time order (until " + state.SortTime.back() + ")."});
    return listText;
}

} // namespace kalibron
