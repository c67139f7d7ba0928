// File services on Linux. Every call goes straight to the kernel; nothing is cached.

#include "runtime/errors.h"
#include "runtime/failure.h"
#include "runtime/posix/posix_file_services.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <sys/file.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <system_error>
#include <thread>
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

// A buffer that starts on a page, as the kernel copies fastest into; a plain vector of
// that size starts a few bytes into one and halves the speed of reading into it.
class PageBuffer {
public:
    static constexpr std::size_t kAlign = 4096;
    explicit PageBuffer(std::size_t size) : m_data(static_cast<char*>(std::aligned_alloc(kAlign, size)))
    {
        if (m_data == nullptr)
            throw Failure(kOutOfMemory);
    }
    ~PageBuffer() { std::free(m_data); }
    PageBuffer(const PageBuffer&) = delete;
    PageBuffer& operator=(const PageBuffer&) = delete;
    char* data() const { return m_data; }

private:
    char* m_data;
};

// Reads exactly `want` bytes at `offset` unless the file ends first; false on an error or
// an early end.
bool readAll(int fd, char* buffer, std::size_t want, std::uint64_t offset)
{
    for (std::size_t got = 0; got < want;) {
        const ssize_t n = ::pread(fd, buffer + got, want - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

// Compares a copy with its source, both read back through the page cache, on a thread of
// its own as far as the copy has been written: during the copy, each chunk as soon as the
// disk has it, while the next one is being copied and written; the rest after the final
// flush.
class Comparer {
public:
    // Without `threaded`, or when no thread can be had, allow() compares in the caller's thread.
    Comparer(int source, int copy, bool threaded) : m_source(source), m_copy(copy)
    {
        ::posix_fadvise(source, 0, 0, POSIX_FADV_SEQUENTIAL);
        ::posix_fadvise(copy, 0, 0, POSIX_FADV_SEQUENTIAL);
        try {
            if (threaded)
                m_thread = std::thread([this] { run(); });
        } catch (const std::system_error&) {
        }
    }
    ~Comparer()
    {
        if (!m_thread.joinable())
            return;
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    Comparer(const Comparer&) = delete;
    Comparer& operator=(const Comparer&) = delete;

    // The bytes up to `upTo` are written: they may be compared. Throws once a difference
    // has been found.
    void allow(std::uint64_t upTo)
    {
        if (!m_thread.joinable()) {
            compareHere(upTo);
            return;
        }
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            if (m_differs)
                throw Failure(kPathFileAccessError);
            m_allowed = std::max(m_allowed, upTo);
        }
        m_wake.notify_all();
    }

    // Waits until the bytes up to `total` are compared, reporting them as the Checking
    // stage, from what was compared during the copy, every `kReportEvery` bytes or more;
    // throws on a difference, a failed read or an early end.
    void finish(std::uint64_t total, const CopyProgress& progress)
    {
        constexpr std::uint64_t kReportEvery = 16 << 20;
        allow(total);
        std::unique_lock<std::mutex> lock(m_mutex);
        std::uint64_t reported = m_checked;
        if (progress) {
            lock.unlock();
            progress(CopyStage::Checking, reported, total);
            lock.lock();
        }
        for (;;) {
            m_wake.wait(lock, [&] {
                return m_differs || m_checked == total || m_checked >= reported + kReportEvery;
            });
            if (m_differs)
                throw Failure(kPathFileAccessError);
            reported = m_checked;
            if (progress) {
                lock.unlock();
                progress(CopyStage::Checking, reported, total);
                lock.lock();
            }
            if (reported == total)
                return;
        }
    }

private:
    void compareHere(std::uint64_t upTo)
    {
        while (m_checked < upTo) {
            const std::size_t want =
                static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, upTo - m_checked));
            if (!sameBlock(m_checked, want)) {
                m_differs = true;
                throw Failure(kPathFileAccessError);
            }
            m_checked += want;
        }
    }

    bool sameBlock(std::uint64_t at, std::size_t want)
    {
        return readAll(m_source, m_bufA.data(), want, at) && readAll(m_copy, m_bufB.data(), want, at) &&
               std::memcmp(m_bufA.data(), m_bufB.data(), want) == 0;
    }

    void run()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [&] { return m_stop || m_checked < m_allowed; });
            if (m_stop)
                return;
            const std::uint64_t at = m_checked;
            const std::size_t want =
                static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, m_allowed - at));
            lock.unlock();
            const bool same = sameBlock(at, want);
            lock.lock();
            if (!same) {
                m_differs = true;
                m_wake.notify_all();
                return;
            }
            m_checked = at + want;
            m_wake.notify_all();
        }
    }

    static constexpr std::size_t kBlock = 1 << 20;
    const int m_source;
    const int m_copy;
    const PageBuffer m_bufA{kBlock}, m_bufB{kBlock};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::uint64_t m_allowed{0}; // guarded by m_mutex, as are the three below
    std::uint64_t m_checked{0};
    bool m_differs{false};
    bool m_stop{false};
    std::thread m_thread; // last, so that it starts after everything it uses
};

// Copies `total` bytes from the start of `in` to `out`, by the fastest path the kernel
// offers: copy_file_range (which may share blocks or copy on the server), then sendfile,
// then plain reads and writes. Each chunk is compared by `comparer` once it is written.
void copyBytes(int in, int out, std::uint64_t total, const std::string& from, const std::string& to,
               const CopyProgress& progress, Comparer& comparer)
{
    constexpr std::size_t kChunk = 16 << 20;
    enum { kCopyRange, kSendFile, kReadWrite } path = kCopyRange;
    constexpr std::size_t kBufferSize = 1 << 20;
    std::uint64_t done = 0;
    std::optional<PageBuffer> buffer;
    // Each chunk is sent to the disk as soon as it is copied, and the one before is waited
    // for, so that the copy goes at the disk's pace and the flush at the end is short.
    // Errors here are the final flush's to report; on file systems without the call it does nothing.
    std::uint64_t sent = 0, settled = 0; // the bytes up to `sent` are on their way, up to `settled` written
    const auto writeBack = [&](std::uint64_t upTo) {
        if (sent > settled)
            ::sync_file_range(out, static_cast<off_t>(settled), static_cast<off_t>(sent - settled),
                              SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                                  SYNC_FILE_RANGE_WAIT_AFTER);
        settled = sent;
        ::sync_file_range(out, static_cast<off_t>(sent), static_cast<off_t>(upTo - sent),
                          SYNC_FILE_RANGE_WRITE);
        sent = upTo;
    };
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
            if (!buffer)
                buffer.emplace(kBufferSize);
            n = ::pread(in, buffer->data(), kBufferSize, static_cast<off_t>(done));
            if (n < 0 && errno != EINTR)
                throwErrno(errno, from);
            for (ssize_t put = 0; n > 0 && put < n;) {
                const ssize_t w = ::pwrite(out, buffer->data() + put, static_cast<std::size_t>(n - put),
                                           static_cast<off_t>(done) + put);
                if (w < 0 && errno == EINTR)
                    continue;
                if (w < 0)
                    throwErrno(errno, to);
                put += w;
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
        if (done - sent >= kChunk || done >= total) {
            writeBack(done);
            comparer.allow(settled);
        }
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
    // Deleting needs no write permission on the file here, so a file with other names is left
    // alone: its mode is theirs too.
    if (S_ISREG(st.st_mode) && st.st_nlink == 1 && !(st.st_mode & S_IWUSR))
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

bool PosixFileServices::exchangeFiles(const std::string& a, const std::string& b)
{
    if (!m_options.useExchange)
        return false;
    if (::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0)
        return true;
    if (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)
        return false; // FAT and older kernels
    const int err = errno;
    struct stat st {};
    throwErrno(err, err == ENOENT && ::lstat(a.c_str(), &st) == 0 ? b : a);
}

bool PosixFileServices::isRegularFile(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0)
        return S_ISREG(st.st_mode);
    if (errno == ENOENT || errno == ENOTDIR)
        return false;
    throwErrno(errno, path);
}

namespace {

// The identity of the entry open as `fd`, whose fstat is `st`.
FileId idOf(int fd, const struct stat& st)
{
    FileId id{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino), 0};
    struct statx sx {};
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_BTIME, &sx) == 0 && (sx.stx_mask & STATX_BTIME))
        id.born = static_cast<std::uint64_t>(sx.stx_btime.tv_sec) * 1000000000u + sx.stx_btime.tv_nsec;
    return id;
}

} // namespace

std::optional<FileInfo> PosixFileServices::fileInfo(const std::string& path)
{
    const Fd fd(::open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.valid() && (errno == ENOENT || errno == ENOTDIR))
        return std::nullopt;
    if (!fd.valid())
        throwErrno(errno, path);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        throwErrno(errno, path);
    return FileInfo{idOf(fd.get(), st), S_ISREG(st.st_mode), static_cast<std::uint32_t>(st.st_nlink)};
}

namespace {

class FlockFolderLock : public FolderLock {
public:
    explicit FlockFolderLock(Fd fd) : m_fd(std::move(fd)) {}

private:
    Fd m_fd; // closing it lets the lock go
};

} // namespace

std::unique_ptr<FolderLock> PosixFileServices::lockFolder(const std::string& folder)
{
    // The folder itself carries the lock, so nothing new is written to it.
    Fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid())
        throwErrno(errno, folder);
    while (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        if (errno == EWOULDBLOCK)
            return nullptr;
        break; // a file system that cannot lock (some network shares): go on without
    }
    return std::make_unique<FlockFolderLock>(std::move(fd));
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
        Comparer comparer(in.get(), out.get(), m_options.compareOnThread);
        copyBytes(in.get(), out.get(), total, from, to, progress, comparer);
        if (progress)
            progress(CopyStage::Saving, 0, total);
        if (::fdatasync(out.get()) != 0)
            throwErrno(errno, to);
        if (progress)
            progress(CopyStage::Saving, total, total);
        comparer.finish(total, progress);
        // A source written to meanwhile may have been copied half old, half new, and compared
        // equal all the same: its size and times must be as they were before the copy.
        struct stat after {};
        if (::fstat(in.get(), &after) != 0)
            throwErrno(errno, from);
        if (after.st_size != st.st_size || after.st_mtim.tv_sec != st.st_mtim.tv_sec ||
            after.st_mtim.tv_nsec != st.st_mtim.tv_nsec || after.st_ctim.tv_sec != st.st_ctim.tv_sec ||
            after.st_ctim.tv_nsec != st.st_ctim.tv_nsec)
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

namespace {

constexpr const char* kAccessAcl = "system.posix_acl_access";
constexpr const char* kCapabilities = "security.capability";

// What the process may not do, or the file system cannot store: skipped, as the owner is
// when the process is not root.
bool notPermitted(int err)
{
    return err == EPERM || err == EACCES || err == EOPNOTSUPP || err == ENOSYS || err == EINVAL;
}

// The names of the extended attributes of `path` (what a link leads to) that carry
// permissions or belong to the file's users: the access ACL, user.*, security.*, trusted.*.
std::vector<std::string> carriedAttributes(const std::string& path)
{
    std::string list;
    for (;;) {
        const ssize_t size = ::listxattr(path.c_str(), nullptr, 0);
        if (size < 0 && notPermitted(errno))
            return {};
        if (size < 0)
            throwErrno(errno, path);
        list.assign(static_cast<std::size_t>(size), '\0');
        const ssize_t n = size == 0 ? 0 : ::listxattr(path.c_str(), list.data(), list.size());
        if (n >= 0) {
            list.resize(static_cast<std::size_t>(n));
            break;
        }
        if (errno != ERANGE)
            throwErrno(errno, path); // ERANGE: one was added meanwhile, ask again
    }
    std::vector<std::string> names;
    for (std::size_t at = 0; at < list.size();) {
        const std::size_t end = list.find('\0', at);
        std::string name = list.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? list.size() : end + 1;
        if (name == kAccessAcl || name.rfind("user.", 0) == 0 || name.rfind("security.", 0) == 0 ||
            name.rfind("trusted.", 0) == 0)
            names.push_back(std::move(name));
    }
    return names;
}

// The value of one attribute, or nothing when it is gone or the process may not read it.
std::optional<std::string> attributeValue(const std::string& path, const std::string& name)
{
    for (;;) {
        const ssize_t size = ::getxattr(path.c_str(), name.c_str(), nullptr, 0);
        if (size < 0 && (errno == ENODATA || notPermitted(errno)))
            return std::nullopt;
        if (size < 0)
            throwErrno(errno, path);
        std::string value(static_cast<std::size_t>(size), '\0');
        const ssize_t n = size == 0 ? 0 : ::getxattr(path.c_str(), name.c_str(), value.data(), value.size());
        if (n >= 0) {
            value.resize(static_cast<std::size_t>(n));
            return value;
        }
        if (errno == ENODATA || notPermitted(errno))
            return std::nullopt;
        if (errno != ERANGE)
            throwErrno(errno, path);
    }
}

// Sets or (with no value) removes an attribute of the entry open as `fd`, as far as the
// process may: false when it may not, or the file system cannot keep it.
bool setAttribute(int fd, const std::string& path, const std::string& name,
                  const std::optional<std::string>& value)
{
    const auto apply = [&](const std::string& where, bool follow) {
        if (value)
            return follow ? ::setxattr(where.c_str(), name.c_str(), value->data(), value->size(), 0)
                          : ::lsetxattr(where.c_str(), name.c_str(), value->data(), value->size(), 0);
        return follow ? ::removexattr(where.c_str(), name.c_str())
                      : ::lremovexattr(where.c_str(), name.c_str());
    };
    int result = apply(procFdPath(fd), true);
    if (result != 0 && errno == ENOENT)
        result = apply(path, false); // no /proc: the entry was a regular file a moment ago
    if (result == 0 || (!value && errno == ENODATA))
        return true;
    if (notPermitted(errno))
        return false;
    throwErrno(errno, path);
}

} // namespace

unsigned PosixFileServices::matchPermissions(const std::string& reference, const std::string& target,
                                             const FileId& expected)
{
    struct stat ref {};
    if (::stat(reference.c_str(), &ref) != 0)
        throwErrno(errno, reference);
    const Fd fd = openEntry(target);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        throwErrno(errno, target);
    // Never through a link, never a file that has names elsewhere (they would get the
    // executable's owner and mode too), and only the file the caller checked: another entry
    // put under the name meanwhile is refused.
    if (!S_ISREG(st.st_mode) || st.st_nlink != 1 || !(idOf(fd.get(), st) == expected))
        throw Failure(kPathFileAccessError);
    unsigned notKept = kKeptAll;
    // Owner first: changing it clears set-user-ID bits that the mode below puts back, and
    // file capabilities, which come last. Without root the group may still be one of ours.
    if (st.st_uid != ref.st_uid || st.st_gid != ref.st_gid) {
        const std::string self = procFdPath(fd.get());
        if (::chown(self.c_str(), ref.st_uid, ref.st_gid) != 0) {
            if (!notPermitted(errno))
                throwErrno(errno, target);
            if (st.st_gid != ref.st_gid && ::chown(self.c_str(), static_cast<uid_t>(-1), ref.st_gid) != 0 &&
                !notPermitted(errno))
                throwErrno(errno, target);
        }
        if (::fstat(fd.get(), &st) != 0)
            throwErrno(errno, target);
        if (st.st_uid != ref.st_uid || st.st_gid != ref.st_gid)
            notKept |= kNotKeptOwner;
    }
    const std::vector<std::string> names = carriedAttributes(reference);
    // A new file may have been given an ACL by its folder that the old one did not have.
    if (std::find(names.begin(), names.end(), kAccessAcl) == names.end())
        setAttribute(fd.get(), target, kAccessAcl, std::nullopt);
    for (const std::string& name : names) {
        if (name == kCapabilities)
            continue;
        const auto value = attributeValue(reference, name);
        if (value && !setAttribute(fd.get(), target, name, value))
            notKept |= name == kAccessAcl ? kNotKeptAcl : kNotKeptAttributes;
    }
    // The mode after the ACL, which may have dropped the set-group-ID bit. A set-ID bit runs
    // the program as its file's owner or group: on any other owner it would hand the
    // privilege to whoever that is, so it is left off.
    mode_t mode = ref.st_mode & 07777;
    if ((mode & S_ISUID) && st.st_uid != ref.st_uid)
        mode &= ~static_cast<mode_t>(S_ISUID);
    if ((mode & S_ISGID) && st.st_gid != ref.st_gid)
        mode &= ~static_cast<mode_t>(S_ISGID);
    if (mode != (ref.st_mode & 07777))
        notKept |= kNotKeptSetId;
    chmodEntry(fd.get(), target, mode);
    if (std::find(names.begin(), names.end(), kCapabilities) != names.end()) {
        const auto caps = attributeValue(reference, kCapabilities);
        if (caps && !setAttribute(fd.get(), target, kCapabilities, caps))
            notKept |= kNotKeptCapabilities;
    }
    return notKept;
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
