// File services on Linux. Every call goes straight to the kernel; nothing is cached.

#include "runtime/errors.h"
#include "runtime/failure.h"
#include "runtime/posix/posix_file_services.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace runtime {

const char kFolderSeparator = '/';

namespace {

class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(Fd&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd& operator=(Fd&&) = delete;
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }

private:
    int m_fd;
};

std::string parentOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string procFdPath(int fd)
{
    return "/proc/self/fd/" + std::to_string(fd);
}

// Opens the entry itself, never what a link points to, for looking at and changing it.
Fd openEntry(const std::string& path)
{
    Fd fd(::open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.valid())
        throwErrno(errno, path);
    return fd;
}

// chmod on an O_PATH descriptor goes through /proc, since fchmod refuses such descriptors.
void chmodEntry(int fd, const std::string& path, mode_t mode)
{
    if (::chmod(procFdPath(fd).c_str(), mode) == 0)
        return;
    if (errno != ENOENT)
        throwErrno(errno, path);
    // No /proc: the entry was a regular file a moment ago, so the path is good enough.
    if (::chmod(path.c_str(), mode) != 0)
        throwErrno(errno, path);
}

bool sameBytes(int a, int b, std::uint64_t size)
{
    constexpr std::size_t kBlock = 1 << 20;
    std::vector<char> bufA(kBlock), bufB(kBlock);
    ::posix_fadvise(a, 0, 0, POSIX_FADV_SEQUENTIAL);
    ::posix_fadvise(b, 0, 0, POSIX_FADV_SEQUENTIAL);
    std::uint64_t offset = 0;
    while (offset < size) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, size - offset));
        for (std::size_t got = 0; got < want;) {
            const auto off = static_cast<off_t>(offset + got);
            const ssize_t ra = ::pread(a, bufA.data() + got, want - got, off);
            if (ra < 0 && errno == EINTR)
                continue;
            if (ra <= 0)
                return false;
            std::size_t gotB = 0;
            while (gotB < static_cast<std::size_t>(ra)) {
                const ssize_t rb = ::pread(b, bufB.data() + got + gotB, static_cast<std::size_t>(ra) - gotB,
                                           off + static_cast<off_t>(gotB));
                if (rb < 0 && errno == EINTR)
                    continue;
                if (rb <= 0)
                    return false;
                gotB += static_cast<std::size_t>(rb);
            }
            got += static_cast<std::size_t>(ra);
        }
        if (std::memcmp(bufA.data(), bufB.data(), want) != 0)
            return false;
        offset += want;
    }
    return true;
}

// Copies `total` bytes from the start of `in` to `out`, by the fastest path the kernel
// offers: copy_file_range (which may share blocks or copy on the server), then sendfile,
// then plain reads and writes.
void copyBytes(int in, int out, std::uint64_t total, const std::string& from, const std::string& to,
               const CopyProgress& progress)
{
    constexpr std::size_t kChunk = 16 << 20;
    enum { kCopyRange, kSendFile, kReadWrite } path = kCopyRange;
    std::uint64_t done = 0;
    std::vector<char> buffer;
    if (progress)
        progress(CopyStage::Copying, 0, total);
    for (;;) {
        const std::size_t want = kChunk;
        ssize_t n = -1;
        if (path == kCopyRange) {
            loff_t inOff = static_cast<loff_t>(done), outOff = static_cast<loff_t>(done);
            n = ::copy_file_range(in, &inOff, out, &outOff, want, 0);
            if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
                          errno == EBADF)) {
                path = kSendFile;
                continue;
            }
        } else if (path == kSendFile) {
            off_t inOff = static_cast<off_t>(done);
            if (::lseek(out, static_cast<off_t>(done), SEEK_SET) < 0)
                throwErrno(errno, to);
            n = ::sendfile(out, in, &inOff, want);
            if (n < 0 && (errno == EINVAL || errno == ENOSYS)) {
                path = kReadWrite;
                continue;
            }
        } else {
            if (buffer.empty())
                buffer.resize(1 << 20);
            n = ::pread(in, buffer.data(), buffer.size(), static_cast<off_t>(done));
            if (n < 0 && errno != EINTR)
                throwErrno(errno, from);
            for (ssize_t written = 0; n > 0 && written < n;) {
                const ssize_t w =
                    ::pwrite(out, buffer.data() + written, static_cast<std::size_t>(n - written),
                             static_cast<off_t>(done) + written);
                if (w < 0 && errno == EINTR)
                    continue;
                if (w < 0)
                    throwErrno(errno, to);
                written += w;
            }
        }
        if (n < 0) {
            if (errno == EINTR)
                continue;
            // copy_file_range and sendfile do not say which side failed; ask the source.
            const int err = errno;
            struct stat st {};
            throwErrno(err, ::fstat(in, &st) == 0 ? to : from);
        }
        if (n == 0)
            break;
        done += static_cast<std::uint64_t>(n);
        if (progress)
            progress(CopyStage::Copying, std::min(done, total), total);
    }
    if (done != total)
        throw Failure(kPathFileAccessError); // the source changed size while it was copied
}

} // namespace

int errnoNumber(int err)
{
    switch (err) {
    case ENOENT:
        return kFileNotFound;
    case ENOTDIR:
        return kPathNotFound;
    case EEXIST:
        return kFileAlreadyExists;
    case ENOSPC:
    case EDQUOT:
        return kDiskFull;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
    case EBUSY:
        return kPermissionDenied;
    case EIO:
    case ENXIO:
    case ENODEV:
    case ENOMEDIUM:
        return kDiskNotReady;
    default:
        return kPathFileAccessError;
    }
}

void throwErrno(int err, const std::string& path)
{
    if (err == ENOENT) {
        struct stat st {};
        const std::string parent = parentOf(path);
        if (::stat(parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            throw Failure(kPathNotFound);
    }
    throw Failure(errnoNumber(err));
}

std::string PosixFileServices::appFolder()
{
    std::string exe(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", exe.data(), exe.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= exe.size())
        throw Failure(kPathNotFound);
    exe.resize(static_cast<std::size_t>(n));
    return parentOf(exe);
}

std::string PosixFileServices::dirSearch(const std::string& path, int attrMask)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return {};
        throwErrno(errno, path);
    }
    const auto slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty())
        return {};
    if (S_ISDIR(st.st_mode))
        return (attrMask & kAttrDirectory) ? name : std::string();
    if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
        return {}; // pipes, sockets and devices are not files here
    if (name[0] == '.' && !(attrMask & kAttrHidden))
        return {};
    return name;
}

void PosixFileServices::setAttrNormal(const std::string& path)
{
    const Fd fd = openEntry(path);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        throwErrno(errno, path);
    if (S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR))
        chmodEntry(fd.get(), path, (st.st_mode & 07777) | S_IWUSR);
}

void PosixFileServices::deleteFile(const std::string& path)
{
    if (::unlink(path.c_str()) != 0)
        throwErrno(errno, path);
}

void PosixFileServices::renameFile(const std::string& from, const std::string& to)
{
    if (m_options.useRenameNoReplace) {
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
            return;
        if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
            throwErrno(errno, errno == EEXIST ? to : from);
    }
    // No RENAME_NOREPLACE here: a second name, then drop the first, never replaces either.
    if (m_options.useHardLinks && ::link(from.c_str(), to.c_str()) == 0) {
        if (::unlink(from.c_str()) != 0) {
            const int err = errno;
            ::unlink(to.c_str());
            throwErrno(err, from);
        }
        return;
    }
    if (m_options.useHardLinks && errno != EPERM && errno != EOPNOTSUPP && errno != EMLINK)
        throwErrno(errno, errno == EEXIST ? to : from);
    // No hard links either (FAT): check, then rename. Only another program racing us
    // in the same folder could slip in between.
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0)
        throw Failure(kFileAlreadyExists);
    if (::rename(from.c_str(), to.c_str()) != 0)
        throwErrno(errno, from);
}

bool PosixFileServices::linkFile(const std::string& from, const std::string& to)
{
    if (!m_options.useHardLinks)
        return false;
    if (::link(from.c_str(), to.c_str()) == 0)
        return true;
    if (errno == EPERM || errno == EOPNOTSUPP || errno == ENOSYS || errno == EMLINK)
        return false;
    throwErrno(errno, errno == EEXIST ? to : from);
}

void PosixFileServices::replaceFile(const std::string& from, const std::string& to)
{
    if (::rename(from.c_str(), to.c_str()) != 0)
        throwErrno(errno, from);
}

void PosixFileServices::copyFile(const std::string& from, const std::string& to, const std::string& partPath,
                                 const CopyProgress& progress)
{
    // O_NONBLOCK so that a named pipe under the source's name cannot hang the open.
    const Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!in.valid())
        throwErrno(errno, from);
    struct stat st {};
    if (::fstat(in.get(), &st) != 0)
        throwErrno(errno, from);
    if (!S_ISREG(st.st_mode))
        throw Failure(kPathFileAccessError);
    ::fcntl(in.get(), F_SETFL, 0);

    const std::string folder = parentOf(to);
    bool named = false;
    int outFd = -1;
    if (m_options.useTmpFile)
        outFd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0644);
    if (outFd < 0) {
        if (m_options.useTmpFile && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            throwErrno(errno, to);
        outFd = ::open(partPath.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (outFd < 0)
            throwErrno(errno, partPath);
        named = true;
    }
    const Fd out(outFd);
    try {
        const auto total = static_cast<std::uint64_t>(st.st_size);
        copyBytes(in.get(), out.get(), total, from, to, progress);
        if (::fsync(out.get()) != 0)
            throwErrno(errno, to);
        if (!sameBytes(in.get(), out.get(), total))
            throw Failure(kPathFileAccessError);
        if (named) {
            PosixFileServices::renameFile(partPath, to); // this class's own, whatever wraps it
            return;
        }
        if (::linkat(AT_FDCWD, procFdPath(out.get()).c_str(), AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return;
        const int err = errno;
        if (err != ENOENT ||
            ::linkat(out.get(), "", AT_FDCWD, to.c_str(), AT_EMPTY_PATH) != 0) // no /proc mounted
            throwErrno(err, to);
    } catch (...) {
        if (named)
            ::unlink(partPath.c_str());
        throw;
    }
}

void PosixFileServices::matchPermissions(const std::string& reference, const std::string& target)
{
    struct stat ref {};
    if (::stat(reference.c_str(), &ref) != 0)
        throwErrno(errno, reference);
    const Fd fd = openEntry(target);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        throwErrno(errno, target);
    if (!S_ISREG(st.st_mode))
        return; // never through a link
    // Owner first: changing it clears set-user-ID bits that the mode below puts back.
    if (::geteuid() == 0 && (st.st_uid != ref.st_uid || st.st_gid != ref.st_gid) &&
        ::chown(procFdPath(fd.get()).c_str(), ref.st_uid, ref.st_gid) != 0)
        throwErrno(errno, target);
    chmodEntry(fd.get(), target, ref.st_mode & 07777);
}

void PosixFileServices::flushFolder(const std::string& folder)
{
    const Fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid())
        throwErrno(errno, folder);
    if (::fsync(fd.get()) != 0 && errno != EINVAL)
        throwErrno(errno, folder);
}

} // namespace runtime
