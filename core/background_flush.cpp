#include "core/background_flush.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace kalibron {

namespace {

// "" on success, else what failed.
std::string syncPath(const std::string& path, int flags)
{
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0)
        return path + ": " + std::strerror(errno);
    std::string problem;
    if (::fsync(fd) != 0)
        problem = path + ": " + std::strerror(errno);
    ::close(fd);
    return problem;
}

} // namespace

BackgroundFlush::BackgroundFlush() : m_thread([this] { run(); }) {}

BackgroundFlush::~BackgroundFlush()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void BackgroundFlush::flush(const std::string& path)
{
    {
        const std::lock_guard lock(m_mutex);
        m_queued.insert(path);
    }
    m_wake.notify_one();
}

void BackgroundFlush::wait()
{
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [this] { return m_queued.empty() && !m_busy; });
}

std::string BackgroundFlush::takeProblem()
{
    const std::lock_guard lock(m_mutex);
    return std::exchange(m_problem, std::string());
}

void BackgroundFlush::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || !m_queued.empty(); });
        if (m_queued.empty())
            return; // stopped, nothing left
        const std::string path = m_queued.extract(m_queued.begin()).value();
        m_busy = true;
        lock.unlock();
        // The file's bytes, then the folder entry the replace made.
        std::string problem = syncPath(path, O_RDONLY);
        const std::size_t slash = path.find_last_of('/');
        const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
        if (problem.empty())
            problem = syncPath(folder, O_RDONLY | O_DIRECTORY);
        lock.lock();
        m_busy = false;
        if (!problem.empty())
            m_problem = std::move(problem);
        if (m_queued.empty())
            m_done.notify_all();
    }
}

} // namespace kalibron
