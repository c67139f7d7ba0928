#include "runtime/errors.h"
#include "runtime/failure.h"
#include "runtime/posix/posix_file_services.h"
#include "support/failure_number.h"
#include "support/privileges.h"
#include "support/temp_folder.h"

#include <cerrno>
#include <filesystem>
#include <sys/stat.h>
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

mode_t modeOf(const fs::path& p)
{
    struct stat st {};
    EXPECT_EQ(::lstat(p.c_str(), &st), 0) << p;
    return st.st_mode & 07777;
}

// Every variant of the services: all kernel features, and each fallback.
std::vector<PosixFileServices::Options> allVariants()
{
    return {{true, true, true}, {false, false, true}, {false, false, false}};
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

        std::vector<std::pair<std::uint64_t, std::uint64_t>> seen;
        files.copyFile(src.string() + "/Orvalis.ugx", app.string() + "/Orvalis.ugx", app.string() + "/.part",
                       [&](runtime::CopyStage, std::uint64_t done, std::uint64_t total) {
                           seen.emplace_back(done, total);
                       });
        EXPECT_EQ(readFile(app / "Orvalis.ugx"), content);
        EXPECT_EQ(readFile(src / "Orvalis.ugx"), content);
        EXPECT_EQ(testsupport::listNames(app), std::vector<std::string>{"Orvalis.ugx"});
        ASSERT_GE(seen.size(), 2u);
        EXPECT_EQ(seen.front().first, 0u);
        EXPECT_EQ(seen.back().first, content.size());
        EXPECT_EQ(seen.back().second, content.size());
        for (std::size_t i = 1; i < seen.size(); ++i)
            EXPECT_LE(seen[i - 1].first, seen[i].first);
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
            return failureNumber([&] { files.copyFile(tmp.text() + from, dst, part, {}); });
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
                      files.copyFile(tmp.text() + "big", app.string() + "/out", app.string() + "/.part", {});
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
                      files.copyFile(tmp.text() + "src", app.string() + "/out", app.string() + "/.part", {});
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
    files.matchPermissions(tmp.text() + "exe", tmp.text() + "new");
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
