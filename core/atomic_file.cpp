#include "core/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

namespace kalibron {

std::string writeFileAtomically(const std::string& path, std::string_view bytes)
{
    namespace fs = std::filesystem;
    const fs::path target(path);
    std::error_code ec;
    if (fs::is_directory(target, ec))
        return std::strerror(EISDIR);
    fs::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";
    std::string temp = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
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
    if (problem.empty() && ::fsync(fd) != 0)
        problem = std::strerror(errno);
    // mkstemp creates the file readable by its owner only; the result is
    // written like any other file, subject to the umask.
    if (problem.empty()) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
    if (::close(fd) != 0 && problem.empty())
        problem = std::strerror(errno);
    if (problem.empty() && std::rename(temp.c_str(), path.c_str()) != 0)
        problem = std::strerror(errno);
    if (!problem.empty())
        ::unlink(temp.c_str());
    return problem;
}

} // namespace kalibron
