// Drives and folder listings on Linux. A "drive" is a mounted volume a file manager
// would show; the kernel's own pseudo file systems are left out.

#include "runtime/errors.h"
#include "runtime/failure.h"
#include "runtime/posix/posix_file_services.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fstream>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace runtime {

namespace {

// A folder open for reading its entries, closed when it goes.
using OpenFolder = std::unique_ptr<DIR, decltype([](DIR* dir) { ::closedir(dir); })>;

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

std::unique_ptr<FileServices> createFileServices()
{
    return std::make_unique<PosixFileServices>();
}

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
    if (!OpenFolder(::opendir(folder.c_str())))
        throw Failure(kDiskNotReady);
    return folder;
}

namespace {

// What a look at an entry found: a folder, a regular file, or neither (left out).
enum class Kind : unsigned char { Folder, File, Neither };

// Below this many entries to look at, starting threads costs more than it saves.
constexpr std::size_t kStatsPerThread = 64;
constexpr std::size_t kMostThreads = 4;

// Gives each link, and each entry whose kind readdir did not tell, the kind of what it
// leads to. One look per entry; on network and FUSE file systems each look waits for a
// reply, so a few threads take slices of them.
std::vector<Kind> resolveKinds(int dirFd, const std::vector<FolderEntry>& entries,
                               const std::vector<std::size_t>& unknown)
{
    std::vector<Kind> kinds(unknown.size(), Kind::Neither);
    const auto look = [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i) {
            struct stat st {};
            // A dangling link leads nowhere the lists could go: it stays Neither.
            if (::fstatat(dirFd, entries[unknown[i]].name.c_str(), &st, 0) == 0)
                kinds[i] = S_ISDIR(st.st_mode)   ? Kind::Folder
                           : S_ISREG(st.st_mode) ? Kind::File
                                                 : Kind::Neither;
        }
    };
    const std::size_t threads = std::min(kMostThreads, unknown.size() / kStatsPerThread);
    std::vector<std::jthread> helpers; // joined on the way out, however it is left
    std::size_t done = 0;
    if (threads > 1) {
        const std::size_t slice = unknown.size() / threads;
        try {
            for (std::size_t t = 0; t + 1 < threads; ++t, done += slice)
                helpers.emplace_back(look, done, done + slice);
        } catch (const std::system_error&) {
            // No more threads to be had: this one does the rest.
        }
    }
    look(done, unknown.size());
    return kinds;
}

} // namespace

std::vector<FolderEntry> PosixFileServices::listFolder(const std::string& folder)
{
    std::vector<FolderEntry> entries = readFolder(folder);
    ++m_foldersRead;
    return entries;
}

std::vector<FolderEntry> PosixFileServices::readFolder(const std::string& folder)
{
    const OpenFolder dir(::opendir(folder.c_str()));
    if (!dir) {
        if (errno == ENOENT)
            throw Failure(kPathNotFound);
        throwErrno(errno, folder);
    }
    // Each entry goes straight into the result, made once: a folder of many thousands spends
    // most of its time on the memory its names take.
    std::vector<FolderEntry> entries;
    std::vector<std::size_t> unknown; // links, and entries of a kind readdir did not report
    errno = 0;
    while (const dirent* e = ::readdir(dir.get())) {
        const char* name = e->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) {
            errno = 0;
            continue;
        }
        // The entry type from readdir is enough for most entries; only links and file
        // systems that do not report a type need a look at the entry itself.
        const unsigned char type =
            m_options.useEntryTypes ? e->d_type : static_cast<unsigned char>(DT_UNKNOWN);
        if (type == DT_LNK || type == DT_UNKNOWN)
            unknown.push_back(entries.size());
        else if (type != DT_DIR && type != DT_REG) {
            errno = 0;
            continue;
        }
        entries.push_back({name, type == DT_DIR, name[0] == '.'});
        errno = 0;
    }
    const int err = errno;
    if (err != 0)
        throwErrno(err, folder);
    if (unknown.empty())
        return entries;
    const std::vector<Kind> kinds = resolveKinds(::dirfd(dir.get()), entries, unknown);
    // Those that lead to neither a folder nor a regular file go; the rest keep their order.
    std::vector<bool> neither(entries.size(), false);
    for (std::size_t i = 0; i < unknown.size(); ++i) {
        entries[unknown[i]].folder = kinds[i] == Kind::Folder;
        neither[unknown[i]] = kinds[i] == Kind::Neither;
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (neither[i])
            continue;
        if (kept != i)
            entries[kept] = std::move(entries[i]);
        ++kept;
    }
    entries.resize(kept);
    return entries;
}

} // namespace runtime
