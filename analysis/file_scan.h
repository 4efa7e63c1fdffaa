#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kalibron {

class MessageSink;
struct FileListState;

// Limits of the file list: the directory listing shows at most
// kMaxListedFiles names; the sequence table has rows 1..kMaxTableRows.
inline constexpr int kMaxListedFiles = 10000;
inline constexpr int kMaxTableRows = 999;

// A plain file of a directory: its name and the time of its last write
// (seconds since 1970-01-01 UTC).
struct FileEntry {
    std::string name;
    std::int64_t lastWrite = 0;
};

struct DirectoryListing {
    std::vector<FileEntry> files; // in code-point order of the names
    std::string problem;          // empty, or why the folder cannot be read
};

// The plain files of a directory: no directories, no hidden files (names
// beginning with "."), symbolic links followed. Names in code-point order (as
// `ls` sorts under LC_ALL=C). A file that vanishes while it is listed is left
// out. Reading a write time costs a system call per file, so only files for
// which `needsTime` holds (all when it is empty) get theirs; the others
// keep lastWrite 0.
DirectoryListing listDirectory(const std::string& path,
                               const std::function<bool(std::string_view name)>& needsTime = {});

// Seconds since local midnight of a write time (TZ is honoured).
int secondsOfDay(std::int64_t time);
// hh:mm:ss of seconds since midnight.
std::string timeOfDayText(int seconds);

// The match test: the first 7 characters of the name equal dayKey and its
// last 4 characters equal "." & extension, exactly and case-sensitive. A day
// key of another length than 7 or an extension of another length than 3 never
// matches.
bool matchesDay(std::string_view name, std::string_view dayKey, std::string_view extension);

// The scan (Dir1_Change without the window): lists `files` (sorted here by
// name), picks the files of state.DayKey with `extension`, takes their time
// of day, sorts them by time (stable: equal times keep name order) and builds
// DayListing. Replaces every scan result of `state` and empties the sequence
// table. More than kMaxListedFiles files or more than kMaxTableRows files of
// the day: the lists keep the first ones (files of the day in time order), and
// `messages` gets a message that names the limit and what is shown. Returns
// the selection text of the "blue field" (one line per file of the day, in name
// order, lines separated by CR).
std::string scanDay(FileListState& state, std::vector<FileEntry> files, std::string_view extension,
                    MessageSink& messages);

} // namespace kalibron
