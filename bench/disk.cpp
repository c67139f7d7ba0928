#include "disk.h"

#include "figures.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;

namespace bench {

void Check(bool ok, const std::string& what)
{
    if (!ok)
        throw std::runtime_error(what + ": " + std::strerror(errno));
}

void MakeUpgradeFile(const fs::path& path, std::uint64_t size)
{
    const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0644);
    Check(fd >= 0, "cannot create " + path.string());
    std::vector<std::uint64_t> block((1 << 20) / sizeof(std::uint64_t));
    std::uint64_t state = 0x9e3779b97f4a7c15ULL;
    for (std::uint64_t written = 0; written < size;) {
        for (auto& word : block) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            word = state;
        }
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(size - written, 1 << 20));
        const ssize_t n = ::write(fd, block.data(), want);
        Check(n == static_cast<ssize_t>(want), "cannot write " + path.string());
        written += want;
    }
    Check(::fsync(fd) == 0, "cannot flush " + path.string());
    ::close(fd);
}

void WriteSmall(const fs::path& path, const std::string& text)
{
    const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0755);
    Check(fd >= 0, "cannot create " + path.string());
    Check(::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()), "cannot write");
    ::close(fd);
}

void Evict(const fs::path& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    Check(fd >= 0, "cannot open " + path.string());
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

void Quieten(const fs::path& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    Check(fd >= 0, "cannot open " + folder.string());
    ::syncfs(fd);
    ::close(fd);
}

double RunShell(const std::string& command)
{
    char* argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), const_cast<char*>(command.c_str()),
                    nullptr};
    pid_t pid = 0;
    const double started = NowMs();
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ) != 0)
        throw std::runtime_error("cannot start /bin/sh");
    int status = 0;
    waitpid(pid, &status, 0);
    const double took = NowMs() - started;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("failed: " + command);
    return took;
}

std::string Quoted(const fs::path& path)
{
    std::string text = path.string();
    text.insert(text.begin(), '\'');
    text.push_back('\'');
    return text;
}

double CopySyncCompare(const fs::path& source, const fs::path& target)
{
    return RunShell("cp " + Quoted(source) + " " + Quoted(target) + " && sync " + Quoted(target) +
                    " && cmp " + Quoted(source) + " " + Quoted(target));
}

double SystemCpuMs()
{
    double ms = 0;
    for (const int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        struct rusage usage {};
        ::getrusage(who, &usage);
        ms += static_cast<double>(usage.ru_stime.tv_sec) * 1000 +
              static_cast<double>(usage.ru_stime.tv_usec) / 1000;
    }
    return ms;
}

double ReadFromDevice(const fs::path& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECT);
    Check(fd >= 0, "cannot open " + path.string());
    constexpr std::size_t kBlock = 8u << 20;
    void* buffer = std::aligned_alloc(4096, kBlock);
    Check(buffer != nullptr, "no memory");
    const double started = NowMs();
    ssize_t n = 0;
    for (off_t at = 0; (n = ::pread(fd, buffer, kBlock, at)) > 0; at += n) {
    }
    const double took = NowMs() - started;
    std::free(buffer);
    ::close(fd);
    Check(n == 0, "cannot read " + path.string());
    return took;
}

void CheckFreeSpace(const fs::path& folder, std::uint64_t bytes)
{
    struct statvfs vfs {};
    Check(::statvfs(folder.c_str(), &vfs) == 0, "cannot read the free space");
    if (static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize < bytes + (1ULL << 30))
        throw std::runtime_error("not enough free space under " + folder.string());
}

} // namespace bench
