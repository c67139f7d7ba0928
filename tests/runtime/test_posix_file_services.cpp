#include "engine/copy_pipeline.h"
#include "runtime/errors.h"
#include "runtime/failure.h"
#include "runtime/posix/posix_file_services.h"
#include "support/failure_number.h"
#include "support/platform_file_services.h"
#include "support/privileges.h"
#include "support/reliability_log.h"
#include "support/temp_folder.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <tuple>
#include <unistd.h>

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using runtime::Failure;
using runtime::PosixFileServices;
using testsupport::failureNumber;
using testsupport::readFile;
using testsupport::TempFolder;
using testsupport::writeFile;

namespace {

constexpr int kFileMask = 39;

runtime::FileId idOf(PosixFileServices& files, const fs::path& p)
{
    const auto info = files.fileInfo(p.string());
    EXPECT_TRUE(info.has_value()) << p;
    return info ? info->id : runtime::FileId{};
}

mode_t modeOf(const fs::path& p)
{
    struct stat st {};
    EXPECT_EQ(::lstat(p.c_str(), &st), 0) << p;
    return st.st_mode & 07777;
}

} // namespace

TEST(PosixErrors, ErrnoValuesMapToTheSharedNumbers)
{
    const std::pair<int, int> table[] = {
        {ENOENT, 53},    {EEXIST, 58},  {ENOSPC, 61}, {EDQUOT, 61}, {EACCES, 70},       {EPERM, 70},
        {EROFS, 70},     {ETXTBSY, 70}, {EBUSY, 70},  {EIO, 71},    {ENXIO, 71},        {ENODEV, 71},
        {ENOMEDIUM, 71}, {ENOTDIR, 76}, {ELOOP, 75},  {EINVAL, 75}, {ENAMETOOLONG, 75},
    };
    for (const auto& [err, number] : table)
        EXPECT_EQ(runtime::errnoNumber(err), number) << err;
    TempFolder tmp; // a file taken for a folder is a missing folder
    writeFile(tmp.path() / "plain", "x");
    PosixFileServices files;
    EXPECT_EQ(failureNumber([&] { files.deleteFile(tmp.text() + "plain/below"); }), 76);
}

TEST(PosixFileServices, AppFolderIsTheFolderOfTheRunningExecutable)
{
    PosixFileServices files;
    EXPECT_EQ(files.appFolder(), fs::read_symlink("/proc/self/exe").parent_path().string());
}

TEST(PosixFileServices, DirSearchInAFolderThatCannotBeSearchedIsAFailure)
{
    TempFolder tmp;
    const auto locked = tmp.mkdir("locked");
    writeFile(locked / "Orvalis.exe", "x");
    fs::permissions(tmp.path(), fs::perms::others_exec | fs::perms::others_read, fs::perm_options::add);
    fs::permissions(locked, fs::perms::owner_all, fs::perm_options::replace);
    const std::string path = locked.string() + "/Orvalis.exe";
    const int status = testsupport::runUnprivileged([&] {
        PosixFileServices files;
        return failureNumber([&] { files.dirSearch(path, kFileMask); });
    });
    EXPECT_EQ(status, 70);
}

TEST(PosixFileServices, SetAttrNormalClearsReadOnlyOnTheEntryNeverThroughALink)
{
    TempFolder tmp;
    PosixFileServices files;
    writeFile(tmp.path() / "locked", "a");
    fs::permissions(tmp.path() / "locked", fs::perms::owner_read | fs::perms::group_read,
                    fs::perm_options::replace);
    files.setAttrNormal(tmp.text() + "locked");
    EXPECT_EQ(modeOf(tmp.path() / "locked"), 0640u);

    writeFile(tmp.path() / "target", "b");
    fs::permissions(tmp.path() / "target", fs::perms::owner_read, fs::perm_options::replace);
    fs::create_symlink(tmp.path() / "target", tmp.path() / "link");
    files.setAttrNormal(tmp.text() + "link");
    EXPECT_EQ(modeOf(tmp.path() / "target"), 0400u);

    // A file with other names is left alone: its mode is theirs too.
    fs::create_hard_link(tmp.path() / "target", tmp.path() / "elsewhere");
    files.setAttrNormal(tmp.text() + "target");
    files.deleteFile(tmp.text() + "target");
    EXPECT_EQ(modeOf(tmp.path() / "elsewhere"), 0400u);
    files.setAttrNormal(tmp.text() + "elsewhere"); // with one name it is made writable
    EXPECT_EQ(modeOf(tmp.path() / "elsewhere"), 0600u);
}

TEST(PosixFileServices, WithoutLinksOrTradesNothingChanges)
{
    TempFolder tmp;
    writeFile(tmp.path() / "a", "first");
    writeFile(tmp.path() / "b", "second");
    PosixFileServices fat({false, false, false, false});
    EXPECT_FALSE(fat.linkFile(tmp.text() + "a", tmp.text() + "c"));
    EXPECT_FALSE(fat.exchangeFiles(tmp.text() + "a", tmp.text() + "b"));
    EXPECT_EQ(testsupport::listNames(tmp.path()), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(readFile(tmp.path() / "a"), "first");
    PosixFileServices files;
    EXPECT_EQ(failureNumber([&] { files.exchangeFiles(tmp.text() + "a", tmp.text() + "missing"); }), 53);
}

namespace {

// Copies `from` to `to` with the real pipeline, the partial copy beside `to`; the failure's number.
int copyNumber(PosixFileServices& files, const fs::path& from, const fs::path& to,
               const runtime::CopyProgress& progress = nullptr)
{
    return failureNumber([&] {
        engine::CopyAndCheck(files, from.string(), to.string(), (to.parent_path() / ".part").string(),
                             progress);
    });
}

} // namespace

TEST(PosixFileServices, ACopyThatCannotBeMadeSaysWhyAndLeavesNothing)
{
    // From a pipe (without waiting on it), to a full disk, to a read-only mount.
    TempFolder tmp;
    ASSERT_EQ(::mkfifo((tmp.path() / "pipe").c_str(), 0644), 0);
    writeFile(tmp.path() / "big", testsupport::patternedBytes(3u << 20));
    const auto app = tmp.mkdir("app");
    for (const auto& options : testsupport::allVariants()) {
        PosixFileServices files(options);
        EXPECT_EQ(copyNumber(files, tmp.path() / "pipe", tmp.path() / "out"), 75);
    }
    testsupport::TmpfsMount mount(app, 1 << 20);
    if (!mount.mounted())
        GTEST_SKIP() << mount.reason();
    for (const bool readOnly : {false, true}) {
        if (readOnly) {
            ASSERT_TRUE(mount.remountReadOnly());
        }
        for (const auto& options : testsupport::allVariants()) {
            PosixFileServices files(options);
            EXPECT_EQ(copyNumber(files, tmp.path() / "big", app / "out"), readOnly ? 70 : 61);
            EXPECT_TRUE(fs::is_empty(app));
        }
    }
    EXPECT_EQ(testsupport::listNames(tmp.path()), (std::vector<std::string>{"app", "big", "pipe"}));
}

TEST(PosixFileServices, ACopyThatDiffersFromTheSourceIsNeverInstalled)
{
    // What only the check can find: the source rewritten after it was compared, its size and
    // modification time put back (its change time tells); the copy changed once written,
    // before the flush or after it, the source untouched (only reading it back tells).
    const std::size_t size = 40u << 20; // a few chunks of the copy loop
    const auto damage = [](std::uint64_t at) {
        return [at](const fs::path& tmp) {
            const int fd = ::open((tmp / "app" / ".part").c_str(), O_WRONLY);
            ASSERT_GE(fd, 0);
            ASSERT_EQ(::pwrite(fd, "!", 1, static_cast<off_t>(at)), 1);
            ::close(fd);
        };
    };
    struct Row {
        const char* what;
        runtime::CopyStage when;
        bool namedCopy; // the copy must be reachable by its name
        std::function<void(const fs::path&)> meddle;
    };
    const Row rows[] = {
        {"source rewritten, modification time put back", runtime::CopyStage::Checking, false,
         [](const fs::path& tmp) {
             const fs::path p = tmp / "src";
             struct stat st {};
             ::stat(p.c_str(), &st);
             writeFile(p, std::string(static_cast<std::size_t>(st.st_size), 'x'));
             const timespec times[2] = {st.st_atim, st.st_mtim};
             ::utimensat(AT_FDCWD, p.c_str(), times, 0);
         }},
        {"first byte of the copy, once the whole copy is written", runtime::CopyStage::Copying, true,
         damage(0)},
        {"last byte of the copy, once flushed", runtime::CopyStage::Saving, true, damage(size - 1)},
    };
    for (const auto& options : testsupport::allVariants())
        for (const Row& row : rows) {
            if (row.namedCopy && options.useTmpFile)
                continue;
            SCOPED_TRACE(row.what);
            TempFolder tmp;
            PosixFileServices files(options);
            const auto app = tmp.mkdir("app");
            writeFile(tmp.path() / "src", testsupport::patternedBytes(size));
            bool meddled = false;
            EXPECT_EQ(copyNumber(files, tmp.path() / "src", app / "out",
                                 [&](runtime::CopyStage stage, std::uint64_t done, std::uint64_t total) {
                                     if (!meddled && stage == row.when && done == total) {
                                         meddled = true;
                                         row.meddle(tmp.path());
                                     }
                                 }),
                      75);
            EXPECT_TRUE(meddled);
            EXPECT_TRUE(fs::is_empty(app));
        }
}

TEST(PosixFileServices, ASourceWrittenThroughASharedMappingDuringTheCopyIsNotInstalled)
{
    // A writer that maps the source and rewrites part of it once the copy is written: a page
    // it has written before changes no stamp, on tmpfs always and on a disk until write-back.
    const std::size_t size = 8u << 20;
    TempFolder tmp;
    testsupport::TmpfsMount memory(tmp.mkdir("tmpfs"), 2 * size);
    std::vector<fs::path> places = {tmp.mkdir("disk")};
    if (memory.mounted())
        places.push_back(tmp.path() / "tmpfs");
    int runs = 0, lost = 0;
    for (const auto& place : places)
        for (const auto& options : testsupport::allVariants()) {
            SCOPED_TRACE(place.filename().string());
            const auto app = tmp.mkdir("app");
            writeFile(place / "src", testsupport::patternedBytes(size));
            const int fd = ::open((place / "src").c_str(), O_RDWR);
            ASSERT_GE(fd, 0);
            void* mapped = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
            ::close(fd);
            ASSERT_NE(mapped, MAP_FAILED);
            volatile char* bytes = static_cast<char*>(mapped);
            const std::size_t at = size - 100;
            bytes[at] = bytes[at]; // the page written once, before the copy looks at the stamp
            PosixFileServices files(options);
            bool rewritten = false;
            const int number = failureNumber([&] {
                engine::CopyAndCheck(files, (place / "src").string(), app.string() + "/out",
                                     app.string() + "/.part",
                                     [&](runtime::CopyStage stage, std::uint64_t, std::uint64_t) {
                                         if (stage == runtime::CopyStage::Saving && !rewritten) {
                                             rewritten = true;
                                             bytes[at] = static_cast<char>(bytes[at] ^ 0x55);
                                         }
                                     });
            });
            ::munmap(mapped, size);
            EXPECT_TRUE(rewritten);
            EXPECT_EQ(number, 75);
            EXPECT_TRUE(fs::is_empty(app));
            fs::remove_all(app);
            ++runs;
            lost += number == 75 ? 0 : 1;
        }
    testsupport::recordCase(
        "Real faults",
        memory.mounted() ? "source rewritten through a shared mapping during the copy (ext4, tmpfs)"
                         : "source rewritten through a shared mapping during the copy (ext4)",
        "refused, nothing installed",
        "PosixFileServices.ASourceWrittenThroughASharedMappingDuringTheCopyIsNotInstalled", runs, lost);
}

TEST(PosixFileServices, ALinkPipeOrDeviceIsNoRegularFileAndOnlyLinksAreFound)
{
    TempFolder tmp;
    PosixFileServices files;
    writeFile(tmp.path() / "file", "x");
    fs::create_symlink(tmp.path() / "file", tmp.path() / "link");
    fs::create_symlink("/dev/zero", tmp.path() / "zero");
    fs::create_symlink(tmp.path() / "nowhere", tmp.path() / "dangling");
    ASSERT_EQ(::mkfifo((tmp.path() / "pipe").c_str(), 0644), 0);
    for (const char* name : {"link", "zero", "dangling", "pipe", "file/below"})
        EXPECT_FALSE(files.isRegularFile(tmp.text() + name)) << name;
    // fileInfo: the entry itself, never what a link leads to.
    const auto file = files.fileInfo(tmp.text() + "file");
    ASSERT_TRUE(file.has_value());
    for (const char* name : {"link", "zero", "dangling", "pipe"}) {
        const auto other = files.fileInfo(tmp.text() + name);
        ASSERT_TRUE(other.has_value()) << name;
        EXPECT_FALSE(other->regular) << name;
        EXPECT_NE(other->id, file->id) << name;
    }
    EXPECT_EQ(files.fileInfo(tmp.text() + "file/below"), std::nullopt);
    // dirSearch finds files and links, even dangling ones, never a pipe; names compare exactly.
    EXPECT_EQ(files.dirSearch(tmp.text() + "dangling", kFileMask), "dangling");
    EXPECT_EQ(files.dirSearch(tmp.text() + "pipe", kFileMask), "");
    EXPECT_EQ(files.dirSearch(tmp.text() + "FILE", kFileMask), "");
}

TEST(PosixFileServices, AFolderIsLockedOnceAtATimeAcrossProcesses)
{
    TempFolder tmp;
    PosixFileServices files;
    auto lock = files.lockFolder(tmp.text());
    ASSERT_NE(lock, nullptr);
    // A second process is refused while this one holds it, and gets it once it is let go.
    const auto otherProcessGetsIt = [&] {
        const pid_t pid = ::fork();
        if (pid == 0) {
            PosixFileServices other;
            ::_exit(other.lockFolder(tmp.text()) != nullptr ? 1 : 0);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 1;
    };
    EXPECT_FALSE(otherProcessGetsIt());
    lock.reset();
    EXPECT_TRUE(otherProcessGetsIt());
    EXPECT_EQ(failureNumber([&] { files.lockFolder(tmp.text() + "missing/"); }), 76);
}

namespace {

std::optional<std::string> attribute(const fs::path& p, const char* name)
{
    char value[256];
    const ssize_t n = ::getxattr(p.c_str(), name, value, sizeof value);
    if (n < 0)
        return std::nullopt;
    return std::string(value, static_cast<std::size_t>(n));
}

// An access ACL in the kernel's form: owner rw, user 65534 r, group r, mask r, others none.
std::string accessAcl(std::uint16_t namedUserPerm)
{
    std::string acl;
    const auto put = [&](std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            acl.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
    };
    put(2, 4);
    for (const auto& [tag, perm, id] : {std::tuple<std::uint16_t, std::uint16_t, std::uint32_t>{1, 6, ~0u},
                                        {2, namedUserPerm, 65534},
                                        {4, 4, ~0u},
                                        {0x10, 4, ~0u},
                                        {0x20, 0, ~0u}}) {
        put(tag, 2);
        put(perm, 2);
        put(id, 4);
    }
    return acl;
}

} // namespace

TEST(PosixFileServices, MatchPermissionsCarriesTheAclAttributesAndCapabilities)
{
    TempFolder tmp;
    PosixFileServices files;
    const fs::path exe = tmp.path() / "exe", next = tmp.path() / "new";
    writeFile(exe, "old");
    writeFile(next, "new");
    const std::string acl = accessAcl(4);
    if (::setxattr(exe.c_str(), "user.origin", "vendor", 6, 0) != 0 ||
        ::setxattr(exe.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) != 0)
        GTEST_SKIP() << "no extended attributes or ACLs here: " << std::strerror(errno);
    // The new file has an ACL of its own, as a folder's default ACL would give it.
    const std::string other = accessAcl(6);
    ASSERT_EQ(::setxattr(next.c_str(), "system.posix_acl_access", other.data(), other.size(), 0), 0);
    // Capabilities, version 2: effective, permitted cap_net_bind_service.
    const std::string caps{"\x01\x00\x00\x02\x00\x04\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00",
                           20};
    const bool root = testsupport::runningAsRoot();
    if (root) {
        ASSERT_EQ(::chown(exe.c_str(), 65534, 65534), 0);
        ASSERT_EQ(::setxattr(exe.c_str(), "security.capability", caps.data(), caps.size(), 0), 0);
    }
    const runtime::FileId id = idOf(files, next);
    EXPECT_EQ(files.matchPermissions(exe.string(), next.string(), id),
              root ? 0u : unsigned{runtime::kNotKeptOwner});
    EXPECT_EQ(attribute(next, "user.origin"), "vendor");
    EXPECT_EQ(attribute(next, "system.posix_acl_access"), acl);
    EXPECT_EQ(modeOf(next), modeOf(exe));
    if (root) {
        EXPECT_EQ(attribute(next, "security.capability"), caps); // set after the owner, which clears them
    }
    // An old file without an ACL: the new one loses the ACL its folder gave it.
    ASSERT_EQ(::removexattr(exe.c_str(), "system.posix_acl_access"), 0);
    files.matchPermissions(exe.string(), next.string(), id);
    EXPECT_EQ(attribute(next, "system.posix_acl_access"), std::nullopt);
    EXPECT_EQ(modeOf(next), modeOf(exe));
}
