#include "runtime/errors.h"
#include "runtime/failure.h"
#include "runtime/posix/posix_file_services.h"
#include "support/failure_number.h"
#include "support/privileges.h"
#include "support/temp_folder.h"

#include <algorithm>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using runtime::Drive;
using runtime::FolderEntry;
using runtime::PosixFileServices;
using testsupport::failureNumber;
using testsupport::TempFolder;
using testsupport::writeFile;

namespace {

std::vector<std::string> describe(std::vector<FolderEntry> entries)
{
    std::vector<std::string> out;
    for (const auto& e : entries)
        out.push_back((e.folder ? "dir " : "file ") + e.name + (e.hidden ? " hidden" : ""));
    std::sort(out.begin(), out.end());
    return out;
}

bool offers(const std::vector<Drive>& drives, const std::string& name)
{
    return std::any_of(drives.begin(), drives.end(), [&](const Drive& d) { return d.name == name; });
}

} // namespace

TEST(PosixFolders, ListsFoldersAndFilesOnlyFollowingLinks)
{
    TempFolder tmp;
    PosixFileServices files;
    tmp.mkdir("Sub");
    writeFile(tmp.path() / "Orvalis.ugx", "u");
    const std::string odd = "caf\xe9 \xff\n.ugx"; // not UTF-8, with a new line
    writeFile(tmp.path() / odd, "o");
    fs::create_symlink(tmp.path() / "Sub", tmp.path() / "to-sub");
    fs::create_symlink(tmp.path() / "Orvalis.ugx", tmp.path() / "to-file.ugx");
    fs::create_symlink(tmp.path() / "gone", tmp.path() / "dangling.ugx");
    ASSERT_EQ(::mkfifo((tmp.path() / "pipe.ugx").c_str(), 0644), 0);

    EXPECT_EQ(describe(files.listFolder(tmp.text())),
              (std::vector<std::string>{"dir Sub", "dir to-sub", "file Orvalis.ugx", "file " + odd,
                                        "file to-file.ugx"}));
}

TEST(PosixFolders, AFolderTheUserMayNotReadIsAFailure)
{
    TempFolder tmp;
    const auto locked = tmp.mkdir("locked");
    fs::permissions(tmp.path(), fs::perms::others_exec, fs::perm_options::add);
    fs::permissions(locked, fs::perms::owner_all, fs::perm_options::replace);
    const std::string path = locked.string() + "/";
    EXPECT_EQ(testsupport::runUnprivileged([&] {
                  PosixFileServices mine;
                  return failureNumber([&] { mine.listFolder(path); });
              }),
              70);
}

TEST(PosixFolders, TheRootDriveComesFirstAndEveryPathHasADrive)
{
    PosixFileServices files;
    const auto drives = files.drives();
    ASSERT_FALSE(drives.empty());
    EXPECT_EQ(drives.front(), (Drive{"/", "/"}));
    EXPECT_FALSE(offers(drives, "/proc"));
    EXPECT_FALSE(offers(drives, "/sys"));
    EXPECT_TRUE(offers(drives, files.driveOf(files.appFolder()).name));
    EXPECT_TRUE(offers(drives, files.driveOf(fs::current_path().string()).name));
    EXPECT_EQ(files.driveOf("/proc/self/status").name, "/proc");
    EXPECT_EQ(files.driveOf("/no/such/folder/anywhere").name, "/");
}

TEST(PosixFolders, AMountedVolumeIsADriveWithItsOwnRootUntilItGoesAway)
{
    TempFolder tmp;
    const auto point = tmp.mkdir("USB stick");
    const Drive usb{point.string(), point.string() + "/"};
    {
        testsupport::TmpfsMount mount(point, 1 << 20);
        if (!mount.mounted())
            GTEST_SKIP() << mount.reason();
        fs::create_directory(point / "inner");
        PosixFileServices files;
        EXPECT_TRUE(offers(files.drives(), usb.name)); // the blank in its name is unescaped
        EXPECT_EQ(files.driveOf(point.string() + "/inner/Orvalis.ugx"), usb);
        EXPECT_EQ(files.driveCurrentFolder(usb), usb.name);
    }
    PosixFileServices files;
    EXPECT_EQ(failureNumber([&] { files.driveCurrentFolder(usb); }), 71); // its empty mount point is left
    fs::remove(point);
    EXPECT_EQ(failureNumber([&] { files.driveCurrentFolder(usb); }), 71);
}

TEST(PosixFolders, TheStartingFolderIsTheCurrentFolderOfItsDrive)
{
    TempFolder tmp;
    const auto start = tmp.mkdir("start here");
    const auto before = fs::current_path();
    fs::current_path(start);
    PosixFileServices files;
    fs::current_path(before);
    EXPECT_EQ(files.driveCurrentFolder(files.driveOf(start.string())), fs::canonical(start).string());
}

TEST(PosixFolders, EveryListingReadsTheFolderAnew)
{
    // Even a folder whose times say nobody touched it: a change can hide from them.
    TempFolder tmp;
    const auto folder = tmp.mkdir("f");
    writeFile(folder / "a.ugx", "a");
    timespec then{};
    ::clock_gettime(CLOCK_REALTIME, &then);
    then.tv_sec -= 60;
    const timespec times[2] = {then, then};
    ASSERT_EQ(::utimensat(AT_FDCWD, folder.c_str(), times, 0), 0);
    PosixFileServices files;
    EXPECT_EQ(describe(files.listFolder(folder.string())), std::vector<std::string>{"file a.ugx"});
    writeFile(folder / "b.ugx", "b");
    ASSERT_EQ(::utimensat(AT_FDCWD, folder.c_str(), times, 0), 0);
    EXPECT_EQ(describe(files.listFolder(folder.string())),
              (std::vector<std::string>{"file a.ugx", "file b.ugx"}));
    EXPECT_EQ(files.foldersRead(), 2u);
}

TEST(PosixFolders, AFileSystemThatDoesNotTellEntryKindsListsTheSame)
{
    // Enough entries that the look at each is shared out between threads.
    TempFolder tmp;
    const auto folder = tmp.mkdir("f");
    for (int i = 0; i < 400; ++i)
        writeFile(folder / ("file" + std::to_string(i) + (i % 7 == 0 ? ".ugx" : "")), "x");
    for (int i = 0; i < 40; ++i)
        fs::create_directory(folder / ("sub" + std::to_string(i)));
    writeFile(folder / ".hidden", "x");
    fs::create_symlink(folder / "file1", folder / "to-file");
    fs::create_symlink(folder / "sub1", folder / "to-folder");
    fs::create_symlink(folder / "nowhere", folder / "dangling");
    fs::create_symlink("/dev/null", folder / "to-device");
    ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0644), 0);

    PosixFileServices told;
    PosixFileServices::Options options;
    options.useEntryTypes = false;
    PosixFileServices untold(options);
    const auto expected = told.listFolder(folder.string());
    ASSERT_EQ(expected.size(), 400u + 40u + 1u + 2u);
    const auto got = untold.listFolder(folder.string());
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) { // the same entries in the same order
        EXPECT_EQ(got[i].name, expected[i].name);
        EXPECT_EQ(got[i].folder, expected[i].folder) << got[i].name;
        EXPECT_EQ(got[i].hidden, expected[i].hidden) << got[i].name;
    }
}
