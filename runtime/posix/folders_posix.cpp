// Drives and folder listings on Linux. A "drive" is a mounted volume a file manager
// would show; the kernel's own pseudo file systems are left out.

#include "runtime/errors.h"
#include "runtime/failure.h"
#include "runtime/posix/posix_file_services.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace runtime {

namespace {

struct Mount {
    std::string point;
    std::string type;
};

// Mount points in /proc/self/mountinfo escape blanks, tabs, new lines and backslashes
// as three octal digits.
std::string unescapeMountField(const std::string& field)
{
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const auto octal = [&](std::size_t k) {
            return k < field.size() && field[k] >= '0' && field[k] <= '7';
        };
        if (field[i] == '\\' && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
            out += static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) |
                                     (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

std::vector<Mount> readMounts()
{
    std::vector<Mount> mounts;
    std::ifstream in("/proc/self/mountinfo");
    std::string line;
    while (std::getline(in, line)) {
        // id parent major:minor root mount-point options [optional...] - type source super-options
        std::istringstream fields(line);
        std::string id, parent, device, root, point;
        if (!(fields >> id >> parent >> device >> root >> point))
            continue;
        const auto dash = line.find(" - ");
        if (dash == std::string::npos)
            continue;
        std::istringstream tail(line.substr(dash + 3));
        std::string type;
        tail >> type;
        mounts.push_back({unescapeMountField(point), type});
    }
    if (mounts.empty())
        mounts.push_back({"/", "unknown"});
    return mounts;
}

bool isUnder(const std::string& path, const std::string& folder)
{
    if (folder == "/")
        return !path.empty() && path[0] == '/';
    return path.compare(0, folder.size(), folder) == 0 &&
           (path.size() == folder.size() || path[folder.size()] == '/');
}

// What a file manager would not offer: the kernel's views, container plumbing, snaps.
bool isSystemMount(const Mount& m)
{
    static const char* const kTypes[] = {
        "proc",      "sysfs",   "cgroup",          "cgroup2",     "devtmpfs",  "devpts",     "mqueue",
        "debugfs",   "tracefs", "securityfs",      "pstore",      "bpf",       "configfs",   "fusectl",
        "hugetlbfs", "autofs",  "binfmt_misc",     "efivarfs",    "nsfs",      "rpc_pipefs", "squashfs",
        "selinuxfs", "ramfs",   "fuse.gvfsd-fuse", "fuse.portal", "fuse.lxcfs"};
    if (std::find(std::begin(kTypes), std::end(kTypes), m.type) != std::end(kTypes))
        return true;
    for (const char* folder : {"/proc", "/sys", "/dev", "/snap", "/var/lib/docker", "/var/snap"}) {
        if (isUnder(m.point, folder))
            return true;
    }
    // Removable media are mounted under /run/media on some systems; the rest of /run is plumbing.
    return isUnder(m.point, "/run") && !isUnder(m.point, "/run/media");
}

Drive driveAt(const std::string& point)
{
    return Drive{point, point == "/" ? point : point + '/'};
}

std::string mountHolding(const std::vector<Mount>& mounts, const std::string& path)
{
    std::string best = "/";
    for (const Mount& m : mounts) {
        if (isUnder(path, m.point) && m.point.size() > best.size())
            best = m.point;
    }
    return best;
}

// The absolute path without "." and ".." and, where it exists, without links, so that a
// path reached through a link belongs to the volume that really holds it.
std::string resolved(const std::string& path)
{
    if (char* real = ::realpath(path.c_str(), nullptr)) {
        std::string out(real);
        ::free(real);
        return out;
    }
    return path;
}

std::string workingFolder()
{
    std::string cwd(4096, '\0');
    if (::getcwd(cwd.data(), cwd.size()) == nullptr)
        return "/";
    cwd.resize(cwd.find('\0'));
    return cwd;
}

} // namespace

PosixFileServices::PosixFileServices() : PosixFileServices(Options{}) {}

PosixFileServices::PosixFileServices(Options options) : m_options(options), m_startFolder(workingFolder()) {}

std::vector<Drive> PosixFileServices::drives()
{
    const std::vector<Mount> mounts = readMounts();
    std::vector<std::string> points{"/"};
    for (const Mount& m : mounts) {
        if (!isSystemMount(m))
            points.push_back(m.point);
    }
    // Always offer the drives of the application folder and of the starting folder,
    // even when they are of a kind left out above.
    for (const std::string& path : {appFolder(), m_startFolder})
        points.push_back(mountHolding(mounts, resolved(path)));
    std::sort(points.begin() + 1, points.end());
    points.erase(std::unique(points.begin() + 1, points.end()), points.end());
    points.erase(std::remove(points.begin() + 1, points.end(), "/"), points.end());
    std::vector<Drive> result;
    for (const std::string& p : points)
        result.push_back(driveAt(p));
    return result;
}

Drive PosixFileServices::driveOf(const std::string& path)
{
    return driveAt(mountHolding(readMounts(), resolved(path)));
}

std::string PosixFileServices::driveCurrentFolder(const Drive& drive)
{
    const std::vector<Mount> mounts = readMounts();
    // An unmounted volume leaves its empty mount point behind: that is not the drive.
    if (std::none_of(mounts.begin(), mounts.end(), [&](const Mount& m) { return m.point == drive.name; }))
        throw Failure(kDiskNotReady);
    const std::string start = resolved(m_startFolder);
    const std::string folder = mountHolding(mounts, start) == drive.name ? start : drive.name;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        throw Failure(kDiskNotReady);
    ::closedir(dir);
    return folder;
}

namespace {

// The window's two lists read the same folder within one action; a listing lives that long.
constexpr auto kReuseFor = std::chrono::seconds(2);
// Folder times tick coarsely (every 2 s on FAT), so a change in the same tick as a read
// could leave them as they were. Only folders left alone for longer than that are reused.
constexpr std::int64_t kSettledNs = 3'000'000'000;
// How many listings are kept: the folder list's and the file list's.
constexpr std::size_t kListingsKept = 2;

std::int64_t nanoseconds(const timespec& t)
{
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

} // namespace

std::vector<FolderEntry> PosixFileServices::listFolder(const std::string& folder)
{
    timespec wallClock{};
    ::clock_gettime(CLOCK_REALTIME, &wallClock);
    const auto readAt = std::chrono::steady_clock::now();
    struct stat st {};
    const bool known = ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    const unsigned user = ::geteuid();
    if (known) {
        for (const Listing& l : m_listings) {
            if (l.folder == folder && l.device == st.st_dev && l.inode == st.st_ino &&
                l.modifiedNs == nanoseconds(st.st_mtim) && l.changedNs == nanoseconds(st.st_ctim) &&
                l.user == user && readAt - l.readAt < kReuseFor)
                return l.entries;
        }
    }
    bool typesKnown = true;
    std::vector<FolderEntry> entries = readFolder(folder, typesKnown);
    ++m_foldersRead;
    std::erase_if(m_listings, [&](const Listing& l) { return l.folder == folder; });
    if (known && typesKnown && nanoseconds(st.st_mtim) < nanoseconds(wallClock) - kSettledNs) {
        m_listings.insert(m_listings.begin(), Listing{folder, st.st_dev, st.st_ino, nanoseconds(st.st_mtim),
                                                      nanoseconds(st.st_ctim), user, readAt, entries});
        if (m_listings.size() > kListingsKept)
            m_listings.pop_back();
    }
    return entries;
}

std::vector<FolderEntry> PosixFileServices::readFolder(const std::string& folder, bool& typesKnown)
{
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        if (errno == ENOENT)
            throw Failure(kPathNotFound);
        throwErrno(errno, folder);
    }
    const int dirFd = ::dirfd(dir);
    std::vector<FolderEntry> entries;
    errno = 0;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        // The entry type from readdir is enough for most entries; only links and file
        // systems that do not report a type need a look at the entry itself.
        unsigned char type = e->d_type;
        if (type == DT_LNK || type == DT_UNKNOWN) {
            typesKnown = false;
            struct stat st {};
            if (::fstatat(dirFd, e->d_name, &st, 0) != 0) {
                errno = 0;
                continue; // a dangling link leads nowhere the lists could go
            }
            type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
        }
        if (type == DT_DIR || type == DT_REG)
            entries.push_back({name, type == DT_DIR, name[0] == '.'});
        errno = 0;
    }
    const int err = errno;
    ::closedir(dir);
    if (err != 0)
        throwErrno(err, folder);
    return entries;
}

} // namespace runtime
