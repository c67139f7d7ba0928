// File services on Linux. Every call goes straight to the kernel; nothing is cached.

#include "runtime/posix/posix_file_services.h"

#include "runtime/errors.h"
#include "runtime/failure.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
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

// What O_DIRECT transfers are aligned to: the page, which covers the logical blocks of
// every disk in use.
constexpr std::size_t kDirectAlignment = 4096;

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

// A stamp of the open file `fd`, or a failure for `path`.
FileStamp stampOf(int fd, const std::string& path)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        throwErrno(errno, path);
    const auto nanoseconds = [](const timespec& t) {
        return std::int64_t{t.tv_sec} * 1000000000 + t.tv_nsec;
    };
    return {static_cast<std::uint64_t>(st.st_size), nanoseconds(st.st_mtim), nanoseconds(st.st_ctim)};
}

// An open file of a copy, read and written at offsets with O_DIRECT until the file system
// turns it down: a file system may accept the flag at the open and refuse the transfers
// (EINVAL), and then the descriptor goes on through the cache.
class DirectFile {
public:
    DirectFile(Fd fd, std::string path, bool direct) : m_fd(std::move(fd)), m_path(std::move(path))
    {
        m_direct = direct && ::fcntl(m_fd.get(), F_SETFL, O_DIRECT) == 0;
        if (!m_direct)
            ::fcntl(m_fd.get(), F_SETFL, 0);
    }

    int fd() const { return m_fd.get(); }
    bool direct() const { return m_direct; }
    const std::string& path() const { return m_path; }

    std::size_t readAt(std::uint64_t offset, char* buffer, std::size_t size)
    {
        return transfer(size, [&](std::size_t done) {
            return ::pread(m_fd.get(), buffer + done, size - done, static_cast<off_t>(offset + done));
        });
    }

    void writeAt(std::uint64_t offset, const char* data, std::size_t size)
    {
        const std::size_t put = transfer(size, [&](std::size_t done) {
            return ::pwrite(m_fd.get(), data + done, size - done, static_cast<off_t>(offset + done));
        });
        if (put < size)
            throw Failure(kDiskFull);
    }

private:
    // Moves `size` bytes with `step(done)` (a pread or pwrite of what is left), through short
    // transfers and interruptions; a transfer refused with O_DIRECT is tried again without.
    // Returns the bytes moved: fewer than `size` only where a step moved none.
    template <typename Step> std::size_t transfer(std::size_t size, Step step)
    {
        std::size_t done = 0;
        while (done < size) {
            const bool wasDirect = m_direct;
            const ssize_t n = step(done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno == EINVAL && wasDirect) {
                buffered();
                continue;
            }
            if (n < 0)
                throwErrno(errno, m_path);
            if (n == 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        return done;
    }

    // Turns O_DIRECT off, once, for every thread: a transfer refused with it is tried again
    // without, and one refused without is a real failure. The flag is cleared only once the
    // descriptor is buffered, so that no other thread takes a refusal in between for real.
    void buffered()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (m_direct) {
            ::fcntl(m_fd.get(), F_SETFL, 0);
            m_direct = false;
        }
    }

    Fd m_fd;
    std::string m_path;
    std::atomic<bool> m_direct{false};
    std::mutex m_mutex;
};

class PosixSource : public BlockFile {
public:
    PosixSource(Fd fd, const std::string& path, bool direct) : m_file(std::move(fd), path, direct) {}
    std::size_t alignment() const override { return kDirectAlignment; }
    FileStamp stamp() override { return stampOf(m_file.fd(), m_file.path()); }
    std::size_t readAt(std::uint64_t offset, char* buffer, std::size_t size) override
    {
        return m_file.readAt(offset, buffer, size);
    }

private:
    DirectFile m_file;
};

class PosixCopy : public CopyTarget {
public:
    // `partPath` empty: `fd` is an unnamed file of `to`'s folder.
    PosixCopy(PosixFileServices& services, Fd fd, std::string to, std::string partPath, bool direct)
        : m_services(services), m_file(std::move(fd), partPath.empty() ? to : partPath, direct),
          m_to(std::move(to)), m_partPath(std::move(partPath))
    {}
    ~PosixCopy() override
    {
        if (!m_partPath.empty() && !m_named)
            ::unlink(m_partPath.c_str());
    }
    PosixCopy(const PosixCopy&) = delete;
    PosixCopy& operator=(const PosixCopy&) = delete;

    std::size_t alignment() const override { return kDirectAlignment; }
    FileStamp stamp() override { return stampOf(m_file.fd(), m_file.path()); }
    std::size_t readAt(std::uint64_t offset, char* buffer, std::size_t size) override
    {
        return m_file.readAt(offset, buffer, size);
    }
    void writeAt(std::uint64_t offset, const char* data, std::size_t size) override
    {
        m_file.writeAt(offset, data, size);
        // Through the cache, each chunk is sent to the disk at once, so that the copy goes at
        // the disk's pace and the flush at the end is short. Its errors are the flush's to report.
        if (!m_file.direct())
            ::sync_file_range(m_file.fd(), static_cast<off_t>(offset), static_cast<off_t>(size),
                              SYNC_FILE_RANGE_WRITE);
    }
    void setLength(std::uint64_t length) override
    {
        if (::ftruncate(m_file.fd(), static_cast<off_t>(length)) != 0)
            throwErrno(errno, m_file.path());
    }
    void flush() override
    {
        if (::fdatasync(m_file.fd()) != 0)
            throwErrno(errno, m_file.path());
    }
    void dropCache() override
    {
        // Flushed pages are clean, and clean pages are dropped; on tmpfs they are the file.
        ::posix_fadvise(m_file.fd(), 0, 0, POSIX_FADV_DONTNEED);
    }
    void name() override
    {
        if (!m_partPath.empty()) {
            m_services.PosixFileServices::renameFile(m_partPath, m_to); // this class's own, whatever wraps it
            m_named = true;
            return;
        }
        if (::linkat(AT_FDCWD, procFdPath(m_file.fd()).c_str(), AT_FDCWD, m_to.c_str(), AT_SYMLINK_FOLLOW) ==
            0)
            return;
        const int err = errno;
        if (err != ENOENT ||
            ::linkat(m_file.fd(), "", AT_FDCWD, m_to.c_str(), AT_EMPTY_PATH) != 0) // no /proc mounted
            throwErrno(err, m_to);
    }

private:
    PosixFileServices& m_services;
    DirectFile m_file;
    std::string m_to;
    std::string m_partPath;
    bool m_named{false};
};

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

std::unique_ptr<BlockFile> PosixFileServices::openToCopy(const std::string& path)
{
    // O_NONBLOCK so that a named pipe under the source's name cannot hang the open.
    Fd in(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!in.valid())
        throwErrno(errno, path);
    struct stat st {};
    if (::fstat(in.get(), &st) != 0)
        throwErrno(errno, path);
    if (!S_ISREG(st.st_mode))
        throw Failure(kPathFileAccessError);
    return std::make_unique<PosixSource>(std::move(in), path, m_options.useDirectIo);
}

std::unique_ptr<CopyTarget> PosixFileServices::createCopy(const std::string& to, const std::string& partPath)
{
    int outFd = -1;
    if (m_options.useTmpFile)
        outFd = ::open(parentOf(to).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0644);
    if (outFd >= 0)
        return std::make_unique<PosixCopy>(*this, Fd(outFd), to, std::string(), m_options.useDirectIo);
    if (m_options.useTmpFile && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
        throwErrno(errno, to);
    Fd out(::open(partPath.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (!out.valid())
        throwErrno(errno, partPath);
    return std::make_unique<PosixCopy>(*this, std::move(out), to, partPath, m_options.useDirectIo);
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
