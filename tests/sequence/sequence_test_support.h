#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/file_scan.h"

namespace kalibron::test {

// 2008-08-27 00:00:00 UTC; the tests pin TZ=UTC, so local time of day is
// the offset from this.
inline constexpr std::int64_t kDay = 1219795200;

inline FileEntry fileAt(std::string name, int hours, int minutes, int seconds)
{
    return {std::move(name), kDay + hours * 3600 + minutes * 60 + seconds};
}

// While it lives, the process acts as the user "nobody" towards the file
// system. The suite may run as root, whom chmod does not stop; a permission
// test is only a test as a user who lacks the permission. The real user stays
// root, so the destructor takes root's rights back. active() is false when the
// rights cannot be given up (the test then skips).
class UnprivilegedScope {
public:
    UnprivilegedScope()
    {
        if (::geteuid() != 0) {
            m_active = true; // already a user whom permissions stop
            return;
        }
        m_dropped = ::setegid(65534) == 0 && ::seteuid(65534) == 0;
        m_active = m_dropped;
    }
    ~UnprivilegedScope()
    {
        if (m_dropped) {
            [[maybe_unused]] const int user = ::seteuid(0);
            [[maybe_unused]] const int group = ::setegid(0);
        }
    }
    UnprivilegedScope(const UnprivilegedScope&) = delete;
    UnprivilegedScope& operator=(const UnprivilegedScope&) = delete;
    bool active() const { return m_active; }

private:
    bool m_dropped = false;
    bool m_active = false;
};

} // namespace kalibron::test
