#include "core/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kalibron {

namespace {

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file a path finally names: a symbolic link is followed to its target
// (a relative target read from the link's folder), so the link itself stays
// and the file it points to gets the new contents. A link to nothing yet
// names the file to create. Empty and errno set on a loop or a link that
// cannot be read.
std::string finalTarget(std::string path)
{
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return path;
        std::string link(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 4096) + 1, '\0');
        const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
        if (n < 0)
            return {};
        if (static_cast<std::size_t>(n) >= link.size()) {
            errno = ENAMETOOLONG; // the link changed while it was read
            return {};
        }
        link.resize(static_cast<std::size_t>(n));
        path = link.front() == '/' ? link : folderOf(path) + "/" + link;
    }
    errno = ELOOP;
    return {};
}

} // namespace

std::string writeFileAtomically(const std::string& path, std::string_view bytes)
{
    if (path.empty())
        return std::strerror(ENOENT);
    const std::string target = finalTarget(path);
    if (target.empty())
        return std::strerror(errno);
    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode))
        return std::strerror(EISDIR);
    // A short name of fixed length fits every folder's name limit, however
    // long the target's own name is.
    std::string temp = folderOf(target) + "/.kalibron-XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return std::strerror(errno);
    std::string problem;
    for (std::size_t written = 0; written < bytes.size() && problem.empty();) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0) {
            if (errno != EINTR)
                problem = std::strerror(errno);
        } else {
            written += static_cast<std::size_t>(n);
        }
    }
    if (problem.empty()) {
        if (exists) {
            // The replaced file keeps who may read it: its owner and group
            // where the writer may give them away (a user who may not keeps
            // the file as his own), then its mode, which a change of owner
            // may have cut.
            // Not permitted: the file becomes the writer's, as any new file.
            [[maybe_unused]] const bool owned = ::fchown(fd, existing.st_uid, existing.st_gid) == 0 ||
                ::fchown(fd, static_cast<uid_t>(-1), existing.st_gid) == 0;
            if (::fchmod(fd, existing.st_mode & 07777) != 0)
                problem = std::strerror(errno);
        } else {
            // mkstemp creates the file readable by its owner only; a new file
            // is written like any other file, subject to the umask.
            const mode_t mask = ::umask(0);
            ::umask(mask);
            if (::fchmod(fd, 0666 & ~mask) != 0)
                problem = std::strerror(errno);
        }
    }
    if (problem.empty() && ::fsync(fd) != 0)
        problem = std::strerror(errno);
    if (::close(fd) != 0 && problem.empty())
        problem = std::strerror(errno);
    if (problem.empty() && std::rename(temp.c_str(), target.c_str()) != 0)
        problem = std::strerror(errno);
    if (!problem.empty())
        ::unlink(temp.c_str());
    return problem;
}

} // namespace kalibron
