// A folder listed twice in one action is read from the disk once, and only while it is
// provably unchanged.

#include "runtime/errors.h"
#include "runtime/failure.h"
#include "runtime/posix/posix_file_services.h"
#include "support/temp_folder.h"

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <thread>

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using runtime::FolderEntry;
using runtime::PosixFileServices;
using testsupport::TempFolder;
using testsupport::writeFile;

namespace {

std::vector<std::string> names(std::vector<FolderEntry> entries)
{
    std::vector<std::string> out;
    for (const auto& e : entries)
        out.push_back((e.folder ? "dir " : "file ") + e.name);
    std::sort(out.begin(), out.end());
    return out;
}

// Gives the folder the modification time `seconds` ago, as if nobody had touched it since.
timespec leaveAlone(const fs::path& folder, int seconds = 60)
{
    timespec then{};
    ::clock_gettime(CLOCK_REALTIME, &then);
    then.tv_sec -= seconds;
    const timespec times[2] = {then, then};
    EXPECT_EQ(::utimensat(AT_FDCWD, folder.c_str(), times, 0), 0);
    return then;
}

struct Folder {
    Folder()
    {
        path = tmp.mkdir("f");
        writeFile(path / "a.ugx", "a");
        tmp.mkdir("f/sub");
        text = path.string();
    }
    TempFolder tmp;
    fs::path path;
    std::string text;
    PosixFileServices files;
};

} // namespace

TEST(PosixListingReuse, FolderLeftAloneIsReadOnceForBothLists)
{
    Folder f;
    leaveAlone(f.path);
    const auto first = names(f.files.listFolder(f.text));
    EXPECT_EQ(first, (std::vector<std::string>{"dir sub", "file a.ugx"}));
    EXPECT_EQ(names(f.files.listFolder(f.text)), first);
    EXPECT_EQ(names(f.files.listFolder(f.text + "/")), first); // another spelling is read anew
    EXPECT_EQ(f.files.foldersRead(), 2u);
}

TEST(PosixListingReuse, AChangedFolderIsReadAgainAtOnce)
{
    Folder f;
    leaveAlone(f.path);
    f.files.listFolder(f.text);
    writeFile(f.path / "b.ugx", "b");
    EXPECT_EQ(names(f.files.listFolder(f.text)),
              (std::vector<std::string>{"dir sub", "file a.ugx", "file b.ugx"}));
    // Just changed: its clock may not have ticked yet, so it is not reused either.
    fs::remove(f.path / "a.ugx");
    EXPECT_EQ(names(f.files.listFolder(f.text)), (std::vector<std::string>{"dir sub", "file b.ugx"}));
    f.files.listFolder(f.text);
    EXPECT_EQ(f.files.foldersRead(), 4u);
}

TEST(PosixListingReuse, ModificationTimeSetBackDoesNotHideAChange)
{
    Folder f;
    const timespec then = leaveAlone(f.path);
    f.files.listFolder(f.text);
    writeFile(f.path / "b.ugx", "b");
    const timespec times[2] = {then, then};
    ASSERT_EQ(::utimensat(AT_FDCWD, f.path.c_str(), times, 0), 0);
    EXPECT_EQ(names(f.files.listFolder(f.text)),
              (std::vector<std::string>{"dir sub", "file a.ugx", "file b.ugx"}));
}

TEST(PosixListingReuse, AFolderPutInTheOldOnesPlaceIsReadAfresh)
{
    Folder f;
    const timespec then = leaveAlone(f.path);
    f.files.listFolder(f.text);
    fs::rename(f.path, f.tmp.path() / "f.old");
    f.tmp.mkdir("f/other");
    const timespec times[2] = {then, then};
    ASSERT_EQ(::utimensat(AT_FDCWD, f.path.c_str(), times, 0), 0);
    EXPECT_EQ(names(f.files.listFolder(f.text)), (std::vector<std::string>{"dir other"}));
}

TEST(PosixListingReuse, AFolderThatWentAwayFailsAsBefore)
{
    Folder f;
    leaveAlone(f.path);
    f.files.listFolder(f.text);
    fs::remove_all(f.path);
    try {
        f.files.listFolder(f.text);
        FAIL() << "a folder that is gone was listed";
    } catch (const runtime::Failure& failure) {
        EXPECT_EQ(failure.number(), runtime::kPathNotFound);
    }
}

TEST(PosixListingReuse, FoldersWithLinksAreAlwaysRead)
{
    // What a link leads to can change without its folder changing.
    Folder f;
    fs::create_symlink(f.path / "a.ugx", f.path / "link.ugx");
    leaveAlone(f.path);
    f.files.listFolder(f.text);
    fs::remove(f.path / "a.ugx");
    fs::create_directory(f.path / "a.ugx");
    EXPECT_EQ(names(f.files.listFolder(f.text)),
              (std::vector<std::string>{"dir a.ugx", "dir link.ugx", "dir sub"}));
    EXPECT_EQ(f.files.foldersRead(), 2u);
}

TEST(PosixListingReuse, TwoFoldersTakenInTurnsAreBothKept)
{
    Folder f;
    const auto other = f.tmp.mkdir("g");
    const auto third = f.tmp.mkdir("h");
    for (const auto& folder : {f.path, other, third})
        leaveAlone(folder);
    for (int i = 0; i < 3; ++i) {
        f.files.listFolder(f.text);
        f.files.listFolder(other.string());
    }
    EXPECT_EQ(f.files.foldersRead(), 2u);
    // A third folder pushes out the one used longest ago.
    f.files.listFolder(third.string());
    f.files.listFolder(other.string());
    f.files.listFolder(f.text);
    EXPECT_EQ(f.files.foldersRead(), 4u);
}

TEST(PosixListingReuse, AListingIsNotReusedForLong)
{
    Folder f;
    leaveAlone(f.path);
    f.files.listFolder(f.text);
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    f.files.listFolder(f.text);
    EXPECT_EQ(f.files.foldersRead(), 2u);
}
