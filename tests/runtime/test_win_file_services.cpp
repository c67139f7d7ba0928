// The Windows rules of the services, on real files: backslashes, drive letters with a
// current folder each, attributes, names that ignore letter case, files held open.

#include "engine/copy_pipeline.h"
#include "engine/folder_text.h"
#include "engine/mod_no_case.h"
#include "engine/upgrade_fixture.h"
#include "runtime/errors.h"
#include "runtime/failure.h"
#include "runtime/win32/win_file_services.h"
#include "support/failure_number.h"
#include "support/recording_dialogs.h"
#include "support/temp_folder.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>
#include <windows.h>

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using runtime::FolderEntry;
using runtime::toWide;
using testsupport::failureOf;
using testsupport::pathText;
using testsupport::readFile;
using testsupport::tableFailure;
using testsupport::writeFile;

namespace {

constexpr int kFileMask = 39; // read-only, hidden, system and archive: any file, no folder

struct WinServices : ::testing::Test {
    testsupport::TempFolder tmp;
    runtime::WinFileServices files;
    std::string folder = tmp.text();

    fs::path at(const std::string& name) const { return tmp.path() / toWide(name); }

    void setAttributes(const std::string& name, DWORD attrs) const
    {
        ASSERT_TRUE(::SetFileAttributesW(at(name).c_str(), attrs)) << name;
    }
    DWORD attributes(const std::string& name) const { return ::GetFileAttributesW(at(name).c_str()); }
};

// A drive letter that names no drive, or 0 when every letter is taken.
char unusedLetter()
{
    const DWORD used = ::GetLogicalDrives();
    for (char letter = 'Z'; letter >= 'D'; --letter) {
        if (!(used & (1u << (letter - 'A'))))
            return letter;
    }
    return 0;
}

class CurrentFolderGuard {
public:
    CurrentFolderGuard()
    {
        wchar_t buffer[MAX_PATH] = {};
        ::GetCurrentDirectoryW(MAX_PATH, buffer);
        m_saved = buffer;
    }
    ~CurrentFolderGuard() { ::SetCurrentDirectoryW(m_saved.c_str()); }
    CurrentFolderGuard(const CurrentFolderGuard&) = delete;
    CurrentFolderGuard& operator=(const CurrentFolderGuard&) = delete;

private:
    std::wstring m_saved;
};

} // namespace

TEST_F(WinServices, TheApplicationFolderHoldsTheRunningProgram)
{
    const std::string app = files.appFolder();
    ASSERT_GE(app.size(), 3u);
    EXPECT_EQ(app.find('/'), std::string::npos) << app;
    EXPECT_NE(app.back(), '\\') << "only a drive root ends in a backslash: " << app;
    wchar_t exe[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    const std::string name = runtime::toUtf8(fs::path(exe).filename().wstring());
    EXPECT_EQ(files.dirSearch(engine::AppFolderText(app) + name, kFileMask), name);
}

TEST_F(WinServices, TheAttributeMaskFindsFilesOfEveryAttributeAndNamesAreNoPatterns)
{
    for (const char* name : {"system", "archive", "all"})
        writeFile(at(name), "x");
    setAttributes("system", FILE_ATTRIBUTE_SYSTEM);
    setAttributes("archive", FILE_ATTRIBUTE_ARCHIVE);
    setAttributes("all", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                             FILE_ATTRIBUTE_ARCHIVE);
    for (const char* name : {"system", "archive", "all"})
        EXPECT_EQ(files.dirSearch(folder + name, kFileMask), name);
    // Without its bit in the mask, a system file stays out of sight.
    EXPECT_EQ(files.dirSearch(folder + "system", runtime::kAttrHidden), "");
    EXPECT_EQ(files.dirSearch(folder + "all", runtime::kAttrHidden), "");

    writeFile(at("Orvalis.ugx"), "x");
    EXPECT_EQ(files.dirSearch(folder + "Orvalis.*", kFileMask), ""); // no patterns: one name
    EXPECT_EQ(files.dirSearch(folder + "Orvalis.ug?", kFileMask), "");
    EXPECT_EQ(files.dirSearch(folder + "Orvalis\xff.ugx", kFileMask), ""); // not UTF-8
    EXPECT_EQ(files.dirSearch(folder + std::string("Orvalis.ugx\0.txt", 16), kFileMask), "");
    if (const char letter = unusedLetter()) {
        EXPECT_EQ(files.dirSearch(std::string(1, letter) + ":\\Orvalis.ugx", kFileMask), "");
    }
}

TEST_F(WinServices, NamesIgnoreLetterCaseAsTheFileSystemDoes)
{
    writeFile(at("Orvalis.OLD"), "older");
    EXPECT_EQ(files.dirSearch(folder + "Orvalis.old", kFileMask), "Orvalis.OLD");
    EXPECT_TRUE(modNoCase::FileExists(files, folder, "Orvalis.old"));

    writeFile(at("Orvalis.exe"), "current");
    EXPECT_EQ(failureOf([&] { files.renameFile(folder + "Orvalis.exe", folder + "orvalis.old"); }),
              tableFailure(58));
    EXPECT_EQ(failureOf([&] { files.linkFile(folder + "Orvalis.exe", folder + "ORVALIS.old"); }),
              tableFailure(58));
    EXPECT_EQ(readFile(at("Orvalis.OLD")), "older");

    testsupport::RecordingDialogs dialogs;
    setAttributes("Orvalis.OLD", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    modNoCase::RemoveFile(files, dialogs, folder, "Orvalis.old");
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_FALSE(fs::exists(at("Orvalis.OLD")));
}

TEST_F(WinServices, AttributesAreClearedAndAReadOnlyOrOpenFileIsNotDeleted)
{
    writeFile(at("Orvalis.old"), "x");
    setAttributes("Orvalis.old", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    EXPECT_EQ(failureOf([&] { files.deleteFile(folder + "Orvalis.old"); }), tableFailure(70));
    files.setAttrNormal(folder + "Orvalis.old");
    // Wine reports every file as archived, whatever was set; the others are what matter here.
    EXPECT_EQ(attributes("Orvalis.old") &
                  (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
              0u);

    {
        // Another program holds it open without letting anyone delete it.
        const HANDLE open = ::CreateFileW(at("Orvalis.old").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(open, INVALID_HANDLE_VALUE);
        EXPECT_EQ(failureOf([&] { files.deleteFile(folder + "Orvalis.old"); }), tableFailure(70));
        ::CloseHandle(open);
    }
    EXPECT_TRUE(fs::exists(at("Orvalis.old")));
    EXPECT_EQ(failureOf([&] { files.deleteFile(folder + "Orvalis\xff"); }), tableFailure(75));
}

TEST_F(WinServices, AFolderIsLockedOnceWhateverItsSpelling)
{
    const fs::path app = tmp.mkdir("App");
    auto lock = files.lockFolder(pathText(app) + "\\");
    ASSERT_NE(lock, nullptr);
    std::string other = pathText(app);
    std::transform(other.begin(), other.end(), other.begin(), [](char c) {
        return c == '\\' ? '/' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    });
    EXPECT_EQ(runtime::folderLockName(other), runtime::folderLockName(pathText(app) + "\\"));
    EXPECT_EQ(files.lockFolder(other), nullptr);
    // The same folder on another drive letter: under Wine its path from the root drive Z:,
    // on Windows a letter given to it for the test.
    using UnixName = char*(CDECL*)(const wchar_t*);
    const auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    std::string drive;
    if (unixName != nullptr) {
        char* name = unixName(app.c_str());
        ASSERT_NE(name, nullptr);
        drive = std::string("Z:") + name;
        ::HeapFree(::GetProcessHeap(), 0, name);
        std::replace(drive.begin(), drive.end(), '/', '\\');
    } else if (::DefineDosDeviceW(0, L"Q:", app.c_str())) {
        drive = "Q:\\";
    }
    if (!drive.empty()) {
        EXPECT_EQ(files.lockFolder(drive), nullptr) << drive;
        if (unixName == nullptr)
            ::DefineDosDeviceW(DDD_REMOVE_DEFINITION, L"Q:", nullptr);
    }
    lock.reset();
    EXPECT_NE(files.lockFolder(other), nullptr);
}

TEST_F(WinServices, PathsLongerThanTheOldLimitWork)
{
    std::string deep = folder;
    while (deep.size() < 300) {
        deep += std::string(40, 'd') + "\\";
        ASSERT_TRUE(::CreateDirectoryW((L"\\\\?\\" + toWide(deep)).c_str(), nullptr));
    }
    writeFile(at("plain"), "deep");
    engine::CopyAndCheck(files, folder + "plain", deep + "Orvalis.ugx", deep + ".part", nullptr);
    EXPECT_EQ(files.dirSearch(deep + "Orvalis.ugx", kFileMask), "Orvalis.ugx");
    files.renameFile(deep + "Orvalis.ugx", deep + "Orvalis.exe");
    EXPECT_EQ(files.listFolder(deep).size(), 1u);
    {
        // Still running: held open without leave to delete it, which the check must see
        // there as well as anywhere.
        const HANDLE running =
            ::CreateFileW((L"\\\\?\\" + toWide(deep + "Orvalis.exe")).c_str(), GENERIC_READ, FILE_SHARE_READ,
                          nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(running, INVALID_HANDLE_VALUE);
        EXPECT_TRUE(files.fileInUse(deep + "Orvalis.exe").inUse);
        ::CloseHandle(running);
    }
    files.deleteFile(deep + "Orvalis.exe");
    EXPECT_TRUE(files.listFolder(deep).empty());
    // The C++ library cannot remove folders this deep; take them down one by one.
    while (deep.size() > folder.size()) {
        EXPECT_TRUE(::RemoveDirectoryW((L"\\\\?\\" + toWide(deep)).c_str())) << deep;
        deep.erase(deep.find_last_of('\\', deep.size() - 2) + 1);
    }
}

TEST_F(WinServices, ASystemFileIsListedAsHidden)
{
    writeFile(at("system.ugx"), "x");
    setAttributes("system.ugx", FILE_ATTRIBUTE_SYSTEM);
    const auto entries = files.listFolder(folder);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "system.ugx");
    EXPECT_TRUE(entries[0].hidden);
}

TEST(WinDrives, ADriveIsALetterAndItsThreeCharacterRoot)
{
    runtime::WinFileServices files;
    EXPECT_EQ(files.driveOf("c:\\orvalis\\Orvalis.exe"), (runtime::Drive{"C:", "C:\\"}));
    EXPECT_EQ(files.driveOf("D:"), (runtime::Drive{"D:", "D:\\"}));
    EXPECT_EQ(files.driveOf("\\\\server\\share\\orvalis"),
              (runtime::Drive{"\\\\server\\share", "\\\\server\\share\\"}));

    wchar_t cwd[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, cwd);
    EXPECT_EQ(files.driveOf("relative\\Orvalis.ugx"), files.driveOf(runtime::toUtf8(cwd)));

    const auto drives = files.drives();
    ASSERT_FALSE(drives.empty());
    wchar_t windows[MAX_PATH] = {};
    ::GetSystemWindowsDirectoryW(windows, MAX_PATH);
    EXPECT_EQ(drives.front(), files.driveOf(runtime::toUtf8(windows))) << "the system's drive comes first";
    for (const auto& drive : drives) {
        ASSERT_EQ(drive.root.size(), 3u) << drive.name;
        EXPECT_EQ(drive.root, drive.name + "\\");
        EXPECT_TRUE(::GetLogicalDrives() & (1u << (drive.name[0] - 'A'))) << drive.name;
    }
    EXPECT_NE(std::find(drives.begin(), drives.end(), files.driveOf(files.appFolder())), drives.end());
}

TEST(WinDrives, EachDriveHasItsOwnCurrentFolder)
{
    testsupport::TempFolder tmp;
    const CurrentFolderGuard guard; // after the folder, so that it is left before it is removed
    runtime::WinFileServices files;
    const std::string here = pathText(tmp.path());
    const runtime::Drive hereDrive = files.driveOf(here);
    ASSERT_TRUE(::SetCurrentDirectoryW(toWide(here).c_str()));
    EXPECT_EQ(files.driveCurrentFolder(hereDrive), here);

    // Another drive's current folder is the one Windows keeps for it, or its root when
    // that folder is gone.
    std::optional<runtime::Drive> other;
    for (const auto& drive : files.drives()) {
        if (drive != hereDrive && ::GetDriveTypeW(toWide(drive.root).c_str()) == DRIVE_FIXED)
            other = drive;
    }
    if (!other)
        GTEST_SKIP() << "only one fixed drive";
    const auto subfolders = files.listFolder(other->root);
    const auto sub =
        std::find_if(subfolders.begin(), subfolders.end(), [](const FolderEntry& e) { return e.folder; });
    ASSERT_NE(sub, subfolders.end());
    const std::string otherFolder = other->root + sub->name;
    const std::wstring variable = L"=" + toWide(other->name);
    ASSERT_TRUE(::SetEnvironmentVariableW(variable.c_str(), toWide(otherFolder).c_str()));
    EXPECT_EQ(files.driveCurrentFolder(*other), otherFolder);
    ASSERT_TRUE(::SetEnvironmentVariableW(variable.c_str(), toWide(other->root + "no such folder").c_str()));
    EXPECT_EQ(files.driveCurrentFolder(*other), other->root);
    ::SetEnvironmentVariableW(variable.c_str(), nullptr);
    EXPECT_EQ(files.driveCurrentFolder(hereDrive), here); // untouched by the other drive
}

TEST(WinDrives, ADriveThatIsGoneIsNotReady)
{
    runtime::WinFileServices files;
    const char letter = unusedLetter();
    if (letter == 0)
        GTEST_SKIP() << "every drive letter is taken";
    const runtime::Drive gone{std::string(1, letter) + ":", std::string(1, letter) + ":\\"};
    EXPECT_EQ(failureOf([&] { files.driveCurrentFolder(gone); }), tableFailure(71));
    EXPECT_NE(failureOf([&] { files.listFolder(gone.root); }).first, 0);
}

TEST(WinErrors, Win32CodesMapToTheSharedNumbers)
{
    // Codes as Windows numbers them: 2 "file not found", 3 "path not found", 80 and 183
    // "exists", 39 and 112 "disk full", 5, 19, 32 and 33 access, write protection, sharing
    // and lock violations, 21 "not ready"; 1, 17 and 87 stand for anything else.
    const std::pair<unsigned long, int> table[] = {
        {2, 53},  {3, 76},  {80, 58}, {183, 58}, {39, 61}, {112, 61}, {5, 70},
        {19, 70}, {32, 70}, {33, 70}, {21, 71},  {1, 75},  {17, 75},  {87, 75},
    };
    for (const auto& [code, number] : table)
        EXPECT_EQ(runtime::win32ErrorNumber(code), number) << code;
}

TEST(WinSwap, AnExecutableHeldOpenByTheApplicationIsReportedAndKept)
{
    testsupport::UpgradeFixture f;
    // The application still running: its file open, no one allowed to delete or replace it.
    const HANDLE running = ::CreateFileW((f.app / "Orvalis.exe").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                         nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(running, INVALID_HANDLE_VALUE);
    const engine::SwapOutcome outcome = f.swap();
    ::CloseHandle(running);

    EXPECT_EQ(outcome, engine::SwapOutcome::StillRunning);
    ASSERT_EQ(f.dialogs.messages.size(), 1u);
    EXPECT_EQ(f.dialogs.messages[0].rfind(engine::kMsgStillRunning, 0), 0u) << f.dialogs.messages[0];
    EXPECT_EQ(f.appNames(), std::vector<std::string>{"Orvalis.exe"}) << "no copy made, no second name left";
    EXPECT_EQ(f.appFile("Orvalis.exe"), testsupport::kOldExe);
    EXPECT_EQ(readFile(f.saved / "Orvalis.ugx"), testsupport::kNewExe);

    EXPECT_EQ(f.swap(), engine::SwapOutcome::Upgraded) << "once the application is closed";
    EXPECT_EQ(f.appFile("Orvalis.exe"), testsupport::kNewExe);
    EXPECT_EQ(f.appFile("Orvalis.old"), testsupport::kOldExe);
}
