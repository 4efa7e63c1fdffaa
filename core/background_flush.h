#pragma once

#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace kalibron {

// Makes files durable on the disk (fsync of the file and of its folder) on a
// thread of its own, so that a slow disk, or a home folder on a network
// share, never holds up the window that wrote them. The caller has already
// put the file in place by an atomic replace, so a program killed afterwards
// loses nothing; the flush guards it against a power cut moments later.
// The destructor finishes what is queued.
class BackgroundFlush {
public:
    BackgroundFlush();
    ~BackgroundFlush();
    BackgroundFlush(const BackgroundFlush&) = delete;
    BackgroundFlush& operator=(const BackgroundFlush&) = delete;

    // Queues `path`; a path queued again before its turn is flushed once.
    void flush(const std::string& path);
    // Returns once everything queued so far is on the disk.
    void wait();
    // The last failure since the previous call, "" for none.
    std::string takeProblem();

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_wake, m_done;
    std::set<std::string> m_queued;
    bool m_busy = false, m_stop = false;
    std::string m_problem;
    std::thread m_thread; // last: started once the rest is made
};

} // namespace kalibron
