#include "privileges.h"

#include <cerrno>
#include <cstring>
#include <grp.h>
#include <string>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

bool runningAsRoot()
{
    return ::geteuid() == 0;
}

int runUnprivileged(const std::function<int()>& body)
{
    const pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        if (::geteuid() == 0) {
            constexpr uid_t kNobody = 65534;
            if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
                ::_exit(99);
        }
        ::_exit(body());
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
}

TmpfsMount::TmpfsMount(const std::filesystem::path& where, std::size_t bytes) : m_where(where)
{
    if (!runningAsRoot()) {
        m_reason = "mounting a tmpfs needs root";
        return;
    }
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    if (::mount("tmpfs", where.c_str(), "tmpfs", 0, options.c_str()) != 0) {
        m_reason = std::string("mount failed: ") + std::strerror(errno);
        return;
    }
    m_mounted = true;
}

TmpfsMount::~TmpfsMount()
{
    if (m_mounted)
        ::umount2(m_where.c_str(), MNT_DETACH);
}

bool TmpfsMount::remountReadOnly()
{
    return m_mounted && ::mount("tmpfs", m_where.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}

} // namespace testsupport
