#pragma once

#include <cstdint>
#include <functional>
#include <optional>
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
    // Empty, or what could not be read and why, naming the folder or file
    // ("cannot read the directory /d: Permission denied"). A listing with a
    // problem is incomplete and must not be taken for the folder's contents.
    std::string problem;
};

// The plain files of a directory: no directories, no hidden files (names
// beginning with "."), symbolic links followed. Names in code-point order (as
// `ls` sorts under LC_ALL=C). A file that vanishes while it is listed is left
// out. Reading a write time costs a system call per file, so only files for
// which `needsTime` holds (all when it is empty) get theirs; the others
// keep lastWrite 0. A folder that cannot be opened or read to its end, an
// entry whose kind or write time cannot be read (a folder that may be read
// but not searched) are a problem.
DirectoryListing listDirectory(const std::string& path,
                               const std::function<bool(std::string_view name)>& needsTime = {});

// Seconds since local midnight of a write time (TZ is honoured); nothing when
// the time has no calendar date this system can give.
std::optional<int> secondsOfDay(std::int64_t time);

// Names are counted in characters: the Unicode code points of a name that is
// valid UTF-8, the bytes of any other name (which keeps its byte-for-byte
// handling). A text compared with a name (day key, extension, marker) is
// counted in the units of the name.
struct NameUnits {
    explicit NameUnits(std::string_view name);
    std::size_t count() const { return m_starts.size() - 1; }
    // Byte offset of character i (0..count(); count() gives the size).
    std::size_t offset(std::size_t i) const { return m_starts[i]; }
    bool utf8() const { return m_utf8; }
    // Characters of `text` in the units of this name.
    std::size_t countOf(std::string_view text) const;

private:
    std::vector<std::size_t> m_starts;
    bool m_utf8;
};
// hh:mm:ss of seconds since midnight.
std::string timeOfDayText(int seconds);

// The match test: the first 7 characters of the name equal dayKey and its
// last 4 characters equal "." & extension, exactly and case-sensitive. A day
// key of another length than 7 or an extension of another length than 3 never
// matches. Characters as NameUnits counts them.
bool matchesDay(std::string_view name, std::string_view dayKey, std::string_view extension);

// The scan (Dir1_Change without the window): lists `files` (sorted here by
// name), picks the files of state.DayKey with `extension`, takes their time
// of day, sorts them by time (stable: equal times keep name order) and builds
// DayListing. A file of the day whose write time has no local time of day is
// left out and named in a message. Replaces every scan result of `state` and
// empties the sequence table. More than kMaxListedFiles files or more than kMaxTableRows files of
// the day: the lists keep the first ones (files of the day in time order), and
// `messages` gets a message that names the limit and what is shown. Returns
// the selection text of the "blue field" (one line per file of the day, in name
// order, lines separated by CR).
std::string scanDay(FileListState& state, std::vector<FileEntry> files, std::string_view extension,
                    MessageSink& messages);

} // namespace kalibron
