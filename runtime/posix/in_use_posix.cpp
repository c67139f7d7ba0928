// Which process runs a program file, the log's appends, and the program's arguments, on Linux.

#include "runtime/arguments.h"
#include "runtime/failure.h"
#include "runtime/posix/posix_file_services.h"

#include <cctype>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace runtime {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

// The short name the kernel keeps for a process ("comm"), or "" when it is gone.
std::string processName(const std::string& pid)
{
    const int fd = ::open(("/proc/" + pid + "/comm").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    char buffer[64];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    std::string name(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
    while (!name.empty() && name.back() == '\n')
        name.pop_back();
    return name;
}

} // namespace

FileInUse PosixFileServices::fileInUse(const std::string& path)
{
    struct stat file {};
    if (::stat(path.c_str(), &file) != 0) {
        if (errno == ENOENT)
            return {};
        throwErrno(errno, path);
    }
    // A running program can be renamed here, so the question is whether a process runs this
    // very file: its /proc/PID/exe leads to the same file, by device and inode.
    const std::unique_ptr<DIR, DirCloser> proc(::opendir("/proc"));
    if (!proc)
        throwErrno(errno, "/proc/");
    while (const dirent* entry = ::readdir(proc.get())) {
        const std::string pid = entry->d_name;
        if (pid.empty() || !std::isdigit(static_cast<unsigned char>(pid[0])))
            continue;
        struct stat exe {};
        // Processes of other users, and those just ended, cannot be looked at: they are not
        // the ones this user could close anyway, and the rename would still work for them.
        if (::stat(("/proc/" + pid + "/exe").c_str(), &exe) != 0)
            continue;
        if (exe.st_dev == file.st_dev && exe.st_ino == file.st_ino)
            return FileInUse{true, processName(pid), std::stoul(pid)};
    }
    return {};
}

void PosixFileServices::appendText(const std::string& path, const std::string& text)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd < 0)
        throwErrno(errno, path);
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int err = n < 0 ? errno : EIO;
            ::close(fd);
            throwErrno(err, path);
        }
        written += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0 && errno != EINTR)
        throwErrno(errno, path);
}

std::vector<std::string> programArguments(int argc, char** argv)
{
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.emplace_back(argv[i]);
    return arguments;
}

} // namespace runtime
