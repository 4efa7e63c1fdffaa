#include "analysis/file_scan.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "core/file_list_state.h"
#include "core/messages.h"
#include "analysis/table_output.h"

namespace kalibron {

DirectoryListing listDirectory(const std::string& path, const std::function<bool(std::string_view name)>& needsTime)
{
    namespace fs = std::filesystem;
    DirectoryListing listing;
    std::error_code ec;
    fs::directory_iterator it(fs::path(path), fs::directory_options::skip_permission_denied, ec);
    if (ec) {
        listing.problem = ec.message();
        return listing;
    }
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) {
            listing.problem = ec.message();
            break;
        }
        const fs::directory_entry& entry = *it;
        std::string name = entry.path().filename().string();
        if (name.empty() || name.front() == '.')
            continue;
        std::error_code entryError;
        if (!entry.is_regular_file(entryError) || entryError)
            continue;
        std::int64_t seconds = 0;
        if (!needsTime || needsTime(name)) {
            const auto written = entry.last_write_time(entryError);
            if (entryError)
                continue;
            const auto sys = std::chrono::file_clock::to_sys(written);
            seconds = std::chrono::floor<std::chrono::seconds>(sys).time_since_epoch().count();
        }
        listing.files.push_back({std::move(name), seconds});
    }
    std::sort(listing.files.begin(), listing.files.end(),
              [](const FileEntry& a, const FileEntry& b) { return a.name < b.name; });
    return listing;
}

int secondsOfDay(std::int64_t time)
{
    const std::time_t t = static_cast<std::time_t>(time);
    std::tm local{};
    if (!localtime_r(&t, &local))
        return 0;
    return local.tm_hour * 3600 + local.tm_min * 60 + std::min(local.tm_sec, 59);
}

std::string timeOfDayText(int seconds)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", seconds / 3600 % 100, seconds / 60 % 60, seconds % 60);
    return text;
}

bool matchesDay(std::string_view name, std::string_view dayKey, std::string_view extension)
{
    if (dayKey.size() != 7 || extension.size() != 3 || name.size() < 7 || name.size() < 4)
        return false;
    return name.substr(0, 7) == dayKey && name[name.size() - 4] == '.' && name.substr(name.size() - 3) == extension;
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
    std::string listText;
    for (const FileEntry& file : files) {
        if (!matchesDay(file.name, state.DayKey, extension))
            continue;
        DayFile d{file.name.substr(0, file.name.size() - 4), secondsOfDay(file.lastWrite)};
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
