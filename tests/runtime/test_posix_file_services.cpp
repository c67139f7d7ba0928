#include "engine/copy_pipeline.h"
#include "runtime/errors.h"
#include "runtime/failure.h"
#include "runtime/posix/posix_file_services.h"
#include "support/failure_number.h"
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

// Every variant of the services: all kernel features, and each fallback.
std::vector<PosixFileServices::Options> allVariants()
{
    return {{true, true, true, true}, {false, false, true, true}, {false, false, false, false, true, false}};
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
}

TEST(PosixErrors, MissingFileIs53AndMissingFolderIs76)
{
    TempFolder tmp;
    PosixFileServices files;
    EXPECT_EQ(failureNumber([&] { files.deleteFile(tmp.text() + "nothing"); }), 53);
    EXPECT_EQ(failureNumber([&] { files.deleteFile(tmp.text() + "no-folder/nothing"); }), 76);
    writeFile(tmp.path() / "plain", "x");
    EXPECT_EQ(failureNumber([&] { files.deleteFile(tmp.text() + "plain/below"); }), 76);
}

TEST(PosixFileServices, AppFolderIsTheFolderOfTheRunningExecutable)
{
    PosixFileServices files;
    EXPECT_EQ(files.appFolder(), fs::read_symlink("/proc/self/exe").parent_path().string());
}

TEST(PosixFileServices, DirSearchFindsFilesAndLinksButNeverFolders)
{
    TempFolder tmp;
    PosixFileServices files;
    writeFile(tmp.path() / "plain.ugx", "a");
    writeFile(tmp.path() / "locked", "b");
    fs::permissions(tmp.path() / "locked", fs::perms::owner_read);
    writeFile(tmp.path() / ".hidden", "c");
    fs::create_directory(tmp.path() / "folder");
    fs::create_symlink(tmp.path() / "gone", tmp.path() / "dangling");
    ASSERT_EQ(::mkfifo((tmp.path() / "pipe").c_str(), 0644), 0);

    EXPECT_EQ(files.dirSearch(tmp.text() + "plain.ugx", kFileMask), "plain.ugx");
    EXPECT_EQ(files.dirSearch(tmp.text() + "locked", kFileMask), "locked");
    EXPECT_EQ(files.dirSearch(tmp.text() + ".hidden", kFileMask), ".hidden");
    EXPECT_EQ(files.dirSearch(tmp.text() + ".hidden", runtime::kAttrNormal), "");
    EXPECT_EQ(files.dirSearch(tmp.text() + "dangling", kFileMask), "dangling");
    EXPECT_EQ(files.dirSearch(tmp.text() + "folder", kFileMask), "");
    EXPECT_EQ(files.dirSearch(tmp.text() + "folder", runtime::kAttrDirectory), "folder");
    EXPECT_EQ(files.dirSearch(tmp.text() + "pipe", kFileMask), "");
    EXPECT_EQ(files.dirSearch(tmp.text() + "PLAIN.UGX", kFileMask), "");
    EXPECT_EQ(files.dirSearch(tmp.text() + "missing", kFileMask), "");
    EXPECT_EQ(files.dirSearch(tmp.text() + "missing/below", kFileMask), "");
    EXPECT_EQ(files.dirSearch(tmp.text(), kFileMask), "");
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

    EXPECT_EQ(failureNumber([&] { files.setAttrNormal(tmp.text() + "missing"); }), 53);
}

TEST(PosixFileServices, RenameNeverReplacesAnExistingFile)
{
    for (const auto& options : allVariants()) {
        TempFolder tmp;
        PosixFileServices files(options);
        writeFile(tmp.path() / "a", "old");
        writeFile(tmp.path() / "b", "taken");
        EXPECT_EQ(failureNumber([&] { files.renameFile(tmp.text() + "a", tmp.text() + "b"); }), 58);
        EXPECT_EQ(readFile(tmp.path() / "a"), "old");
        EXPECT_EQ(readFile(tmp.path() / "b"), "taken");

        files.renameFile(tmp.text() + "a", tmp.text() + "c");
        EXPECT_FALSE(fs::exists(tmp.path() / "a"));
        EXPECT_EQ(readFile(tmp.path() / "c"), "old");
        EXPECT_EQ(failureNumber([&] { files.renameFile(tmp.text() + "a", tmp.text() + "d"); }), 53);
        EXPECT_EQ(testsupport::listNames(tmp.path()), (std::vector<std::string>{"b", "c"}));
    }
}

TEST(PosixFileServices, LinkGivesASecondNameAndNeverReplaces)
{
    TempFolder tmp;
    PosixFileServices files;
    writeFile(tmp.path() / "exe", "program");
    writeFile(tmp.path() / "taken", "other");
    ASSERT_TRUE(files.linkFile(tmp.text() + "exe", tmp.text() + "old"));
    EXPECT_EQ(readFile(tmp.path() / "old"), "program");
    EXPECT_TRUE(fs::equivalent(tmp.path() / "old", tmp.path() / "exe"));
    EXPECT_EQ(failureNumber([&] { files.linkFile(tmp.text() + "exe", tmp.text() + "taken"); }), 58);
    EXPECT_EQ(readFile(tmp.path() / "taken"), "other");

    PosixFileServices noLinks({true, true, false});
    EXPECT_FALSE(noLinks.linkFile(tmp.text() + "exe", tmp.text() + "second"));
    EXPECT_FALSE(fs::exists(tmp.path() / "second"));
}

TEST(PosixFileServices, CopyIsCompleteAndLeavesNothingElse)
{
    for (const auto& options : allVariants()) {
        TempFolder tmp;
        PosixFileServices files(options);
        const auto src = tmp.mkdir("src");
        const auto app = tmp.mkdir("app");
        const std::string content =
            testsupport::patternedBytes(20u << 20); // more than one chunk of the copy loop
        writeFile(src / "Orvalis.ugx", content);

        using Stage = runtime::CopyStage;
        std::vector<std::tuple<Stage, std::uint64_t, std::uint64_t>> seen;
        engine::CopyOptions reportEveryChunk;
        reportEveryChunk.reportEvery = std::chrono::milliseconds{0};
        engine::CopyAndCheck(
            files, src.string() + "/Orvalis.ugx", app.string() + "/Orvalis.ugx", app.string() + "/.part",
            [&](Stage stage, std::uint64_t done, std::uint64_t total) {
                seen.emplace_back(stage, done, total);
            },
            reportEveryChunk);
        EXPECT_EQ(readFile(app / "Orvalis.ugx"), content);
        EXPECT_EQ(readFile(src / "Orvalis.ugx"), content);
        EXPECT_EQ(testsupport::listNames(app), std::vector<std::string>{"Orvalis.ugx"});
        // Each stage in turn from 0 up to the whole size, never going back; the copy in
        // several steps.
        std::map<Stage, int> reports;
        for (std::size_t i = 0; i < seen.size(); ++i) {
            const auto [stage, done, total] = seen[i];
            EXPECT_EQ(total, content.size());
            ++reports[stage];
            if (i == 0 || std::get<0>(seen[i - 1]) != stage) {
                EXPECT_EQ(done, 0u);
                EXPECT_TRUE(i == 0 || std::get<0>(seen[i - 1]) < stage);
                EXPECT_TRUE(i == 0 || std::get<1>(seen[i - 1]) == content.size());
            } else {
                EXPECT_LE(std::get<1>(seen[i - 1]), done);
            }
        }
        EXPECT_GE(reports[Stage::Copying], 3);
        EXPECT_GE(reports[Stage::Saving], 2);
        EXPECT_GE(reports[Stage::Checking], 2);
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen.back(), std::make_tuple(Stage::Checking, content.size(), content.size()));
    }
}

TEST(PosixFileServices, CopyRefusesWhatItCannotCopyAndLeavesNothing)
{
    for (const auto& options : allVariants()) {
        TempFolder tmp;
        PosixFileServices files(options);
        writeFile(tmp.path() / "src", "new");
        writeFile(tmp.path() / "dst", "existing");
        ASSERT_EQ(::mkfifo((tmp.path() / "pipe").c_str(), 0644), 0);
        const auto copy = [&](const std::string& from, const std::string& to) {
            const std::string dst = tmp.text() + to;
            const std::string part = dst.substr(0, dst.rfind('/') + 1) + ".part";
            return failureNumber([&] { engine::CopyAndCheck(files, tmp.text() + from, dst, part, {}); });
        };
        EXPECT_EQ(copy("src", "dst"), 58);
        EXPECT_EQ(readFile(tmp.path() / "dst"), "existing");
        EXPECT_EQ(copy("missing", "out"), 53);
        EXPECT_EQ(copy("pipe", "out"), 75); // and does not hang on the pipe
        EXPECT_EQ(copy("src", "no-folder/out"), 76);
        EXPECT_EQ(testsupport::listNames(tmp.path()), (std::vector<std::string>{"dst", "pipe", "src"}));
    }
}

TEST(PosixFileServices, CopyToAFullDiskFailsWithDiskFullAndLeavesNothing)
{
    for (const auto& options : allVariants()) {
        TempFolder tmp;
        const auto app = tmp.mkdir("app");
        testsupport::TmpfsMount mount(app, 1 << 20);
        if (!mount.mounted())
            GTEST_SKIP() << mount.reason();
        writeFile(tmp.path() / "big", testsupport::patternedBytes(3u << 20));
        PosixFileServices files(options);
        EXPECT_EQ(failureNumber([&] {
                      engine::CopyAndCheck(files, tmp.text() + "big", app.string() + "/out",
                                           app.string() + "/.part", {});
                  }),
                  61);
        EXPECT_TRUE(fs::is_empty(app));
    }
}

TEST(PosixFileServices, CopyToAReadOnlyMountIsPermissionDenied)
{
    TempFolder tmp;
    const auto app = tmp.mkdir("app");
    testsupport::TmpfsMount mount(app, 1 << 20);
    if (!mount.mounted())
        GTEST_SKIP() << mount.reason();
    ASSERT_TRUE(mount.remountReadOnly());
    writeFile(tmp.path() / "src", "new");
    for (const auto& options : allVariants()) {
        PosixFileServices files(options);
        EXPECT_EQ(failureNumber([&] {
                      engine::CopyAndCheck(files, tmp.text() + "src", app.string() + "/out",
                                           app.string() + "/.part", {});
                  }),
                  70);
    }
}

TEST(PosixFileServices, MatchPermissionsCopiesModeAndOwnerWhenRoot)
{
    TempFolder tmp;
    PosixFileServices files;
    writeFile(tmp.path() / "exe", "old");
    writeFile(tmp.path() / "new", "new");
    ::chmod((tmp.path() / "exe").c_str(), 0750);
    ::chmod((tmp.path() / "new").c_str(), 0600);
    if (testsupport::runningAsRoot()) {
        ASSERT_EQ(::chown((tmp.path() / "exe").c_str(), 65534, 65534), 0);
    }
    // Refused, changing nothing, for any entry but the file checked with no other name: a
    // link to it, a second name of it elsewhere, another file put there meanwhile.
    const fs::path outside = tmp.path() / "outside";
    writeFile(outside, "x");
    ::chmod(outside.c_str(), 0640);
    fs::create_hard_link(outside, tmp.path() / "linked");
    fs::create_symlink(tmp.path() / "new", tmp.path() / "symlink");
    const runtime::FileId id = idOf(files, tmp.path() / "new");
    for (const auto& [name, expected] :
         {std::pair{"linked", idOf(files, outside)}, {"symlink", id}, {"new", idOf(files, outside)}}) {
        EXPECT_EQ(
            failureNumber([&] { files.matchPermissions(tmp.text() + "exe", tmp.text() + name, expected); }),
            75)
            << name;
    }
    EXPECT_EQ(modeOf(outside), 0640u);
    EXPECT_EQ(modeOf(tmp.path() / "new"), 0600u);
    EXPECT_EQ(files.matchPermissions(tmp.text() + "exe", tmp.text() + "new", id),
              testsupport::runningAsRoot() ? runtime::kKeptAll : runtime::kNotKeptOwner);
    EXPECT_EQ(modeOf(tmp.path() / "new"), 0750u);
    if (testsupport::runningAsRoot()) {
        struct stat st {};
        ASSERT_EQ(::stat((tmp.path() / "new").c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(st.st_gid, 65534u);
    }
}

TEST(PosixFileServices, FlushFolderNeedsAFolder)
{
    TempFolder tmp;
    PosixFileServices files;
    EXPECT_NO_THROW(files.flushFolder(tmp.text()));
    EXPECT_EQ(failureNumber([&] { files.flushFolder(tmp.text() + "missing/"); }), 76);
}

TEST(PosixFileServices, ASourceChangedDuringTheCopyIsNotInstalled)
{
    // Changed after the check compared it: each of size, modification time and change time
    // tells on its own.
    const std::vector<std::pair<const char*, std::function<void(const fs::path&)>>> changes = {
        {"rewritten, same size, modification time put back",
         [](const fs::path& p) {
             struct stat st {};
             ::stat(p.c_str(), &st);
             writeFile(p, std::string(static_cast<std::size_t>(st.st_size), 'x'));
             const timespec times[2] = {st.st_atim, st.st_mtim};
             ::utimensat(AT_FDCWD, p.c_str(), times, 0); // only the change time tells
         }},
        {"touched",
         [](const fs::path& p) {
             ::utimensat(AT_FDCWD, p.c_str(), nullptr, 0);
         }},
        {"grown",
         [](const fs::path& p) {
             const int fd = ::open(p.c_str(), O_WRONLY | O_APPEND);
             ASSERT_EQ(::write(fd, "more", 4), 4);
             ::close(fd);
         }},
    };
    for (const auto& options : allVariants())
        for (const auto& [what, change] : changes) {
            SCOPED_TRACE(what);
            TempFolder tmp;
            PosixFileServices files(options);
            const auto app = tmp.mkdir("app");
            writeFile(tmp.path() / "src", testsupport::patternedBytes(1 << 20));
            bool changed = false;
            const int number = failureNumber([&] {
                engine::CopyAndCheck(
                    files, tmp.text() + "src", app.string() + "/out", app.string() + "/.part",
                    [&](runtime::CopyStage stage, std::uint64_t done, std::uint64_t total) {
                        if (stage == runtime::CopyStage::Checking && done == total && !changed) {
                            changed = true;
                            change(tmp.path() / "src");
                        }
                    });
            });
            EXPECT_EQ(number, 75);
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
        for (const auto& options : allVariants()) {
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

TEST(PosixFileServices, ADamagedCopyIsNeverInstalled)
{
    // The copy changed after it was written, the source untouched: only reading it back
    // from the disk and comparing can tell, before the flush as after it.
    const std::size_t size = 40u << 20; // a few chunks of the copy loop
    const std::vector<std::tuple<const char*, runtime::CopyStage, std::uint64_t>> damages = {
        {"first byte, once the whole copy is written", runtime::CopyStage::Copying, 0},
        {"last byte, once flushed", runtime::CopyStage::Saving, size - 1},
    };
    for (const auto& options : allVariants()) {
        if (options.useTmpFile)
            continue; // the copy must be reachable by its name
        for (const auto& [what, when, at] : damages) {
            SCOPED_TRACE(what);
            TempFolder tmp;
            PosixFileServices files(options);
            const auto app = tmp.mkdir("app");
            writeFile(tmp.path() / "src", testsupport::patternedBytes(size));
            bool damaged = false;
            const int number = failureNumber([&] {
                engine::CopyAndCheck(files, tmp.text() + "src", app.string() + "/out",
                                     app.string() + "/.part",
                                     [&, when = when, at = at](runtime::CopyStage stage, std::uint64_t done,
                                                               std::uint64_t total) {
                                         if (damaged || stage != when || done != total)
                                             return;
                                         damaged = true;
                                         const int fd = ::open((app / ".part").c_str(), O_WRONLY);
                                         ASSERT_GE(fd, 0);
                                         ASSERT_EQ(::pwrite(fd, "!", 1, static_cast<off_t>(at)), 1);
                                         ::close(fd);
                                     });
            });
            EXPECT_TRUE(damaged);
            EXPECT_EQ(number, 75);
            EXPECT_TRUE(fs::is_empty(app));
        }
    }
}

TEST(PosixFileServices, ExchangeTradesTwoNamesOrSaysItCannot)
{
    TempFolder tmp;
    writeFile(tmp.path() / "a", "first");
    writeFile(tmp.path() / "b", "second");
    PosixFileServices files;
    EXPECT_TRUE(files.exchangeFiles(tmp.text() + "a", tmp.text() + "b"));
    EXPECT_EQ(readFile(tmp.path() / "a"), "second");
    EXPECT_EQ(readFile(tmp.path() / "b"), "first");
    EXPECT_EQ(failureNumber([&] { files.exchangeFiles(tmp.text() + "a", tmp.text() + "missing"); }), 53);
    PosixFileServices fat({false, false, false, false});
    EXPECT_FALSE(fat.exchangeFiles(tmp.text() + "a", tmp.text() + "b"));
    EXPECT_EQ(readFile(tmp.path() / "a"), "second");
}

TEST(PosixFileServices, OnlyARegularFileItselfIsARegularFile)
{
    TempFolder tmp;
    PosixFileServices files;
    writeFile(tmp.path() / "file", "x");
    fs::create_symlink(tmp.path() / "file", tmp.path() / "link");
    fs::create_symlink("/dev/zero", tmp.path() / "zero");
    fs::create_symlink(tmp.path() / "nowhere", tmp.path() / "dangling");
    ASSERT_EQ(::mkfifo((tmp.path() / "pipe").c_str(), 0644), 0);
    fs::create_hard_link(tmp.path() / "file", tmp.path() / "second");
    EXPECT_TRUE(files.isRegularFile(tmp.text() + "file"));
    for (const char* name : {"link", "zero", "dangling", "pipe", "missing", "file/below"})
        EXPECT_FALSE(files.isRegularFile(tmp.text() + name)) << name;
    EXPECT_FALSE(files.isRegularFile(tmp.text()));
    // fileInfo: the entry itself, its links, and one identity for all its names.
    const auto file = files.fileInfo(tmp.text() + "file");
    ASSERT_TRUE(file.has_value());
    EXPECT_TRUE(file->regular);
    EXPECT_EQ(file->links, 2u);
    EXPECT_EQ(files.fileInfo(tmp.text() + "second")->id, file->id);
    for (const char* name : {"link", "zero", "dangling", "pipe"}) {
        const auto other = files.fileInfo(tmp.text() + name);
        ASSERT_TRUE(other.has_value()) << name;
        EXPECT_FALSE(other->regular) << name;
        EXPECT_NE(other->id, file->id) << name;
    }
    EXPECT_EQ(files.fileInfo(tmp.text() + "missing"), std::nullopt);
    EXPECT_EQ(files.fileInfo(tmp.text() + "file/below"), std::nullopt);
}

TEST(PosixFileServices, AFolderIsLockedOnceAtATimeAcrossProcesses)
{
    TempFolder tmp;
    PosixFileServices files;
    auto lock = files.lockFolder(tmp.text());
    ASSERT_NE(lock, nullptr);
    EXPECT_EQ(files.lockFolder(tmp.path().string()), nullptr); // another spelling, the same folder
    EXPECT_TRUE(testsupport::listNames(tmp.path()).empty());   // nothing written
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

TEST(PosixFileServices, SetAttrNormalLeavesAFileWithOtherNamesAlone)
{
    TempFolder tmp;
    PosixFileServices files;
    writeFile(tmp.path() / "Orvalis.old", "shared");
    ::chmod((tmp.path() / "Orvalis.old").c_str(), 0444);
    fs::create_hard_link(tmp.path() / "Orvalis.old", tmp.path() / "elsewhere");
    files.setAttrNormal(tmp.text() + "Orvalis.old");
    files.deleteFile(tmp.text() + "Orvalis.old");
    EXPECT_EQ(modeOf(tmp.path() / "elsewhere"), 0444u);
    EXPECT_EQ(readFile(tmp.path() / "elsewhere"), "shared");
    // With one name it is made writable, as before.
    files.setAttrNormal(tmp.text() + "elsewhere");
    EXPECT_EQ(modeOf(tmp.path() / "elsewhere"), 0644u);
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
