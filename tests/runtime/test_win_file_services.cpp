// The Windows rules of the services, on real files: backslashes, drive letters with a
// current folder each, attributes, names that ignore letter case, renames that never replace.

#include "engine/copy_pipeline.h"
#include "engine/folder_text.h"
#include "engine/mod_no_case.h"
#include "engine/upgrade_fixture.h"
#include "runtime/errors.h"
#include "runtime/failure.h"
#include "runtime/win32/win_file_services.h"
#include "support/recording_dialogs.h"
#include "support/temp_folder.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <tuple>
#include <windows.h>

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using runtime::Failure;
using runtime::FolderEntry;
using runtime::toWide;
using testsupport::pathText;
using testsupport::readFile;
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

// The number and description of the failure `body` throws, or (0, "") when it throws none.
std::pair<int, std::string> failureOf(const std::function<void()>& body)
{
    try {
        body();
    } catch (const Failure& failure) {
        return {failure.number(), failure.description()};
    }
    return {0, ""};
}

std::pair<int, std::string> expected(int number)
{
    return {number, runtime::errorDescription(number)};
}

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

TEST(WinFolderTexts, EndInOneBackslashAndADriveRootIsThreeCharacters)
{
    EXPECT_EQ(runtime::kFolderSeparator, '\\');
    EXPECT_EQ(engine::AppFolderText("C:\\Program Files\\Orvalis"), "C:\\Program Files\\Orvalis\\");
    EXPECT_EQ(engine::AppFolderText("D:\\"), "D:\\");
    EXPECT_EQ(engine::FolderText("\\\\server\\share\\"), "\\\\server\\share\\");
}

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

TEST_F(WinServices, TheAttributeMaskFindsFilesOfEveryAttributeButNoFolder)
{
    for (const char* name : {"plain", "readonly", "hidden", "system", "archive", "all"})
        writeFile(at(name), "x");
    setAttributes("plain", FILE_ATTRIBUTE_NORMAL);
    setAttributes("readonly", FILE_ATTRIBUTE_READONLY);
    setAttributes("hidden", FILE_ATTRIBUTE_HIDDEN);
    setAttributes("system", FILE_ATTRIBUTE_SYSTEM);
    setAttributes("archive", FILE_ATTRIBUTE_ARCHIVE);
    setAttributes("all", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                             FILE_ATTRIBUTE_ARCHIVE);
    fs::create_directory(at("folder"));

    for (const char* name : {"plain", "readonly", "hidden", "system", "archive", "all"})
        EXPECT_EQ(files.dirSearch(folder + name, kFileMask), name);
    EXPECT_EQ(files.dirSearch(folder + "folder", kFileMask), "");

    // Without their bits in the mask, hidden and system files stay out of sight.
    EXPECT_EQ(files.dirSearch(folder + "readonly", runtime::kAttrNormal), "readonly");
    EXPECT_EQ(files.dirSearch(folder + "hidden", runtime::kAttrNormal), "");
    EXPECT_EQ(files.dirSearch(folder + "system", runtime::kAttrHidden), "");
    EXPECT_EQ(files.dirSearch(folder + "all", runtime::kAttrHidden), "");
    EXPECT_EQ(files.dirSearch(folder + "folder", runtime::kAttrDirectory), "folder");
}

TEST_F(WinServices, NamesIgnoreLetterCaseAsTheFileSystemDoes)
{
    writeFile(at("Orvalis.OLD"), "older");
    EXPECT_EQ(files.dirSearch(folder + "Orvalis.old", kFileMask), "Orvalis.OLD");
    EXPECT_TRUE(modNoCase::FileExists(files, folder, "Orvalis.old"));

    testsupport::RecordingDialogs dialogs;
    setAttributes("Orvalis.OLD", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    modNoCase::RemoveFile(files, dialogs, folder, "Orvalis.old");
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_FALSE(fs::exists(at("Orvalis.OLD")));
}

TEST_F(WinServices, ASearchForANameThatCannotBeThereFindsNothing)
{
    writeFile(at("Orvalis.ugx"), "x");
    EXPECT_EQ(files.dirSearch(folder + "Orvalis.*", kFileMask), ""); // no patterns: one name
    EXPECT_EQ(files.dirSearch(folder + "Orvalis.ug?", kFileMask), "");
    EXPECT_EQ(files.dirSearch(folder, kFileMask), "");
    EXPECT_EQ(files.dirSearch(folder + "missing\\Orvalis.ugx", kFileMask), "");
    EXPECT_EQ(files.dirSearch(folder + "Orvalis\xff.ugx", kFileMask), ""); // not UTF-8
    EXPECT_EQ(files.dirSearch(folder + std::string("Orvalis.ugx\0.txt", 16), kFileMask), "");
    if (const char letter = unusedLetter()) {
        EXPECT_EQ(files.dirSearch(std::string(1, letter) + ":\\Orvalis.ugx", kFileMask), "");
    }
}

TEST_F(WinServices, ARenameNeverReplacesAndSaysWhy)
{
    writeFile(at("Orvalis.exe"), "current");
    writeFile(at("Orvalis.old"), "older");
    EXPECT_EQ(failureOf([&] { files.renameFile(folder + "Orvalis.exe", folder + "Orvalis.old"); }),
              expected(58));
    EXPECT_EQ(failureOf([&] { files.renameFile(folder + "Orvalis.exe", folder + "orvalis.OLD"); }),
              expected(58));
    EXPECT_EQ(readFile(at("Orvalis.exe")), "current");
    EXPECT_EQ(readFile(at("Orvalis.old")), "older");

    EXPECT_EQ(failureOf([&] { files.renameFile(folder + "Orvalis.ugx", folder + "Orvalis.exe2"); }),
              expected(53));
    EXPECT_EQ(failureOf([&] { files.renameFile(folder + "none\\Orvalis.ugx", folder + "Orvalis.exe2"); }),
              expected(76));

    files.renameFile(folder + "Orvalis.old", folder + "Orvalis.older");
    EXPECT_EQ(readFile(at("Orvalis.older")), "older");
    EXPECT_FALSE(fs::exists(at("Orvalis.old")));
}

TEST_F(WinServices, TheInstallKeepsASecondNameThenReplacesInOneStep)
{
    writeFile(at("Orvalis.exe"), "current");
    writeFile(at("Orvalis.ugx"), "upgrade");
    ASSERT_TRUE(files.linkFile(folder + "Orvalis.exe", folder + "Orvalis.old"));
    EXPECT_EQ(readFile(at("Orvalis.old")), "current");
    EXPECT_EQ(failureOf([&] { files.linkFile(folder + "Orvalis.ugx", folder + "Orvalis.OLD"); }),
              expected(58));

    // A read-only executable is replaced all the same, as a POSIX rename would.
    setAttributes("Orvalis.exe", FILE_ATTRIBUTE_READONLY);
    files.replaceFile(folder + "Orvalis.ugx", folder + "Orvalis.exe");
    EXPECT_EQ(readFile(at("Orvalis.exe")), "upgrade");
    EXPECT_EQ(readFile(at("Orvalis.old")), "current");
    EXPECT_FALSE(fs::exists(at("Orvalis.ugx")));

    EXPECT_EQ(failureOf([&] { files.replaceFile(folder + "Orvalis.ugx", folder + "Orvalis.exe"); }),
              expected(53));
    EXPECT_EQ(readFile(at("Orvalis.exe")), "upgrade");
}

TEST_F(WinServices, AttributesAreClearedAndAReadOnlyOrOpenFileIsNotDeleted)
{
    writeFile(at("Orvalis.old"), "x");
    setAttributes("Orvalis.old", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    EXPECT_EQ(failureOf([&] { files.deleteFile(folder + "Orvalis.old"); }), expected(70));
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
        EXPECT_EQ(failureOf([&] { files.deleteFile(folder + "Orvalis.old"); }), expected(70));
        ::CloseHandle(open);
    }
    EXPECT_TRUE(fs::exists(at("Orvalis.old")));
    files.deleteFile(folder + "Orvalis.old");
    EXPECT_FALSE(fs::exists(at("Orvalis.old")));
    EXPECT_EQ(failureOf([&] { files.deleteFile(folder + "Orvalis.old"); }), expected(53));
    EXPECT_EQ(failureOf([&] { files.setAttrNormal(folder + "Orvalis.old"); }), expected(53));
    EXPECT_EQ(failureOf([&] { files.deleteFile(folder + "Orvalis\xff"); }), expected(75));
}

TEST_F(WinServices, ACopyAppearsWholeWithProgressAndAsAPlainFile)
{
    const fs::path saved = tmp.mkdir("saved");
    const std::string source = pathText(saved / "Orvalis.ugx");
    std::string bytes(3 << 20, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7 + i / 4096);
    writeFile(source, bytes);
    ASSERT_TRUE(
        ::SetFileAttributesW(toWide(source).c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));

    using Stage = runtime::CopyStage;
    std::vector<std::tuple<Stage, std::uint64_t, std::uint64_t>> progress;
    engine::CopyAndCheck(files, source, folder + "Orvalis.ugx", folder + ".Orvalis.ugx.part",
                         [&](Stage stage, std::uint64_t done, std::uint64_t total) {
                             progress.emplace_back(stage, done, total);
                         });
    EXPECT_EQ(readFile(at("Orvalis.ugx")), bytes);
    EXPECT_EQ(attributes("Orvalis.ugx") & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN), 0u);
    EXPECT_EQ(testsupport::listNames(tmp.path()), (std::vector<std::string>{"Orvalis.ugx", "saved"}));
    // Copying, Saving and Checking in turn, Copying and Checking each from 0 to the whole size;
    // the flush runs while the copy is checked, so Saving shows only as it starts.
    const std::uint64_t size = bytes.size();
    ASSERT_GE(progress.size(), 5u);
    EXPECT_EQ(progress.front(), std::make_tuple(Stage::Copying, std::uint64_t{0}, size));
    EXPECT_EQ(progress.back(), std::make_tuple(Stage::Checking, size, size));
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(
        std::count(progress.begin(), progress.end(), std::make_tuple(Stage::Saving, std::uint64_t{0}, size)),
        1);
    // A stage that takes long is reported again every few hundredths of a second, moved or not.
    for (const Stage stage : {Stage::Copying, Stage::Checking}) {
        EXPECT_GE(
            std::count(progress.begin(), progress.end(), std::make_tuple(stage, std::uint64_t{0}, size)), 1);
        EXPECT_GE(std::count(progress.begin(), progress.end(), std::make_tuple(stage, size, size)), 1);
    }
}

TEST_F(WinServices, ACopyOfASourceWrittenToMeanwhileIsNotInstalled)
{
    const fs::path saved = tmp.mkdir("saved");
    const std::string source = pathText(saved / "Orvalis.ugx");
    writeFile(source, std::string(1 << 20, 'u'));
    bool changed = false;
    const auto result = failureOf([&] {
        engine::CopyAndCheck(files, source, folder + "Orvalis.ugx", folder + ".part",
                             [&](runtime::CopyStage stage, std::uint64_t done, std::uint64_t total) {
                                 if (stage != runtime::CopyStage::Checking || done != total || changed)
                                     return;
                                 changed = true;
                                 // Its last write time moves on, as a program writing it would make it.
                                 const HANDLE h =
                                     ::CreateFileW(toWide(source).c_str(), FILE_WRITE_ATTRIBUTES,
                                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                   nullptr, OPEN_EXISTING, 0, nullptr);
                                 FILETIME later{};
                                 ::GetSystemTimeAsFileTime(&later);
                                 later.dwHighDateTime += 1;
                                 ::SetFileTime(h, nullptr, nullptr, &later);
                                 ::CloseHandle(h);
                             });
    });
    EXPECT_TRUE(changed);
    EXPECT_EQ(result, expected(75));
    EXPECT_EQ(testsupport::listNames(tmp.path()), std::vector<std::string>{"saved"});
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
    EXPECT_NE(files.lockFolder(folder), nullptr); // another folder is free
    lock.reset();
    EXPECT_NE(files.lockFolder(other), nullptr);
    EXPECT_TRUE(testsupport::listNames(app).empty()); // nothing written
}

TEST_F(WinServices, OnlyAPlainFileIsARegularFileAndNamesAreNotTraded)
{
    writeFile(at("file"), "x");
    tmp.mkdir("folder");
    EXPECT_TRUE(files.isRegularFile(folder + "file"));
    EXPECT_FALSE(files.isRegularFile(folder + "folder"));
    EXPECT_FALSE(files.isRegularFile(folder + "missing"));
    const auto file = files.fileInfo(folder + "file");
    ASSERT_TRUE(file.has_value());
    EXPECT_TRUE(file->regular);
    EXPECT_EQ(file->links, 1u);
    EXPECT_FALSE(files.fileInfo(folder + "folder")->regular);
    EXPECT_NE(files.fileInfo(folder + "folder")->id, file->id);
    EXPECT_FALSE(files.fileInfo(folder + "missing").has_value());
    EXPECT_FALSE(files.exchangeFiles(folder + "file", folder + "folder"));
    EXPECT_EQ(readFile(at("file")), "x");
}

TEST_F(WinServices, AFailedCopyLeavesNothingBehind)
{
    const fs::path saved = tmp.mkdir("saved");
    const std::string source = pathText(saved / "Orvalis.ugx");
    writeFile(source, std::string(1 << 20, 'u'));
    const std::string to = folder + "Orvalis.ugx", part = folder + ".Orvalis.ugx.part";

    EXPECT_EQ(failureOf([&] { engine::CopyAndCheck(files, source + "x", to, part, nullptr); }), expected(53));
    EXPECT_EQ(failureOf([&] { engine::CopyAndCheck(files, pathText(saved), to, part, nullptr); }),
              expected(75));

    // Taken: the file there stays as it was, and the partial copy goes.
    writeFile(at("Orvalis.ugx"), "already here");
    EXPECT_EQ(failureOf([&] { engine::CopyAndCheck(files, source, to, part, nullptr); }), expected(58));
    EXPECT_EQ(readFile(at("Orvalis.ugx")), "already here");
    fs::remove(at("Orvalis.ugx"));

    // A progress report that throws stops the copy; the exception comes out unchanged.
    EXPECT_THROW(engine::CopyAndCheck(files, source, to, part,
                                      [](runtime::CopyStage, std::uint64_t done, std::uint64_t) {
                                          if (done > 0)
                                              throw std::runtime_error("stopped");
                                      }),
                 std::runtime_error);
    EXPECT_EQ(testsupport::listNames(tmp.path()), std::vector<std::string>{"saved"});

    // A partial copy another run left behind is not ours to remove.
    writeFile(at(".Orvalis.ugx.part"), "left over");
    EXPECT_EQ(failureOf([&] { engine::CopyAndCheck(files, source, to, part, nullptr); }), expected(58));
    EXPECT_EQ(readFile(at(".Orvalis.ugx.part")), "left over");
    EXPECT_FALSE(fs::exists(at("Orvalis.ugx")));
}

TEST_F(WinServices, TheNewExecutableTakesTheReadOnlyAttributeOfTheOldOne)
{
    writeFile(at("Orvalis.old"), "old");
    writeFile(at("Orvalis.ugx"), "new");
    setAttributes("Orvalis.old", FILE_ATTRIBUTE_READONLY);
    const runtime::FileId id = files.fileInfo(folder + "Orvalis.ugx")->id;
    EXPECT_EQ(files.matchPermissions(folder + "Orvalis.old", folder + "Orvalis.ugx", id), runtime::kKeptAll);
    EXPECT_TRUE(attributes("Orvalis.ugx") & FILE_ATTRIBUTE_READONLY);
    setAttributes("Orvalis.old", FILE_ATTRIBUTE_NORMAL);
    files.matchPermissions(folder + "Orvalis.old", folder + "Orvalis.ugx", id);
    EXPECT_FALSE(attributes("Orvalis.ugx") & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(failureOf([&] { files.matchPermissions(folder + "none", folder + "Orvalis.ugx", id); }),
              expected(53));
    // Only the file checked, with no other name: not a second name of a file elsewhere, not
    // another file put under the name since.
    setAttributes("Orvalis.old", FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(::CreateHardLinkW(toWide(folder + "Linked").c_str(), toWide(folder + "Orvalis.ugx").c_str(),
                                  nullptr));
    EXPECT_EQ(failureOf([&] { files.matchPermissions(folder + "Orvalis.old", folder + "Linked", id); }),
              expected(75));
    fs::remove(at("Linked"));
    fs::remove(at("Orvalis.ugx"));
    writeFile(at("Orvalis.ugx"), "another");
    EXPECT_EQ(failureOf([&] { files.matchPermissions(folder + "Orvalis.old", folder + "Orvalis.ugx", id); }),
              expected(75));
    EXPECT_FALSE(attributes("Orvalis.ugx") & FILE_ATTRIBUTE_READONLY);
}

TEST_F(WinServices, FoldersAreFlushedAndAMissingOneFails)
{
    EXPECT_NO_THROW(files.flushFolder(folder));
    EXPECT_NO_THROW(files.flushFolder(pathText(tmp.path())));
    EXPECT_NE(failureOf([&] { files.flushFolder(folder + "missing\\"); }).first, 0);
}

TEST_F(WinServices, UnicodeNamesTravelAsUtf8)
{
    const std::string name = "\xce\xa9rvalis \xc3\xa9t\xc3\xa9.ugx"; // "Ωrvalis été.ugx"
    writeFile(at("plain"), "bytes");
    engine::CopyAndCheck(files, folder + "plain", folder + name, folder + ".part", nullptr);
    EXPECT_EQ(readFile(at(name)), "bytes");
    EXPECT_EQ(files.dirSearch(folder + name, kFileMask), name);
    EXPECT_EQ(testsupport::listNames(tmp.path()), (std::vector<std::string>{"plain", name}));
    const auto entries = files.listFolder(folder);
    EXPECT_TRUE(
        std::any_of(entries.begin(), entries.end(), [&](const FolderEntry& e) { return e.name == name; }));
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
    files.deleteFile(deep + "Orvalis.exe");
    EXPECT_TRUE(files.listFolder(deep).empty());
    // The C++ library cannot remove folders this deep; take them down one by one.
    while (deep.size() > folder.size()) {
        EXPECT_TRUE(::RemoveDirectoryW((L"\\\\?\\" + toWide(deep)).c_str())) << deep;
        deep.erase(deep.find_last_of('\\', deep.size() - 2) + 1);
    }
}

TEST_F(WinServices, AFolderListsItsFoldersAndFilesWithTheirHiddenFlag)
{
    fs::create_directory(at("sub"));
    fs::create_directory(at("secret"));
    writeFile(at("Orvalis.ugx"), "x");
    writeFile(at("hidden.ugx"), "x");
    writeFile(at("system.ugx"), "x");
    setAttributes("secret", FILE_ATTRIBUTE_HIDDEN);
    setAttributes("hidden.ugx", FILE_ATTRIBUTE_HIDDEN);
    setAttributes("system.ugx", FILE_ATTRIBUTE_SYSTEM);

    for (const std::string& asked : {folder, pathText(tmp.path())}) {
        auto entries = files.listFolder(asked);
        std::sort(entries.begin(), entries.end(),
                  [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
        ASSERT_EQ(entries.size(), 5u) << asked;
        const std::tuple<const char*, bool, bool> want[] = {{"Orvalis.ugx", false, false},
                                                            {"hidden.ugx", false, true},
                                                            {"secret", true, true},
                                                            {"sub", true, false},
                                                            {"system.ugx", false, true}};
        for (std::size_t i = 0; i < entries.size(); ++i) {
            EXPECT_EQ(entries[i].name, std::get<0>(want[i]));
            EXPECT_EQ(entries[i].folder, std::get<1>(want[i])) << entries[i].name;
            EXPECT_EQ(entries[i].hidden, std::get<2>(want[i])) << entries[i].name;
        }
    }
    EXPECT_TRUE(files.listFolder(folder + "sub").empty());
    EXPECT_EQ(failureOf([&] { files.listFolder(folder + "missing"); }), expected(76));
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
    EXPECT_EQ(failureOf([&] { files.driveCurrentFolder(gone); }), expected(71));
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

TEST(WinSwap, ReplacesAReadOnlyExecutableAndAnOldFileSpelledInOtherCase)
{
    testsupport::UpgradeFixture f;
    writeFile(f.app / "ORVALIS.OLD", testsupport::kOlderExe);
    const auto setAttributes = [](const fs::path& file, DWORD attrs) {
        ASSERT_TRUE(::SetFileAttributesW(file.c_str(), attrs)) << pathText(file);
    };
    setAttributes(f.app / "ORVALIS.OLD",
                  FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    setAttributes(f.app / "Orvalis.exe", FILE_ATTRIBUTE_READONLY);

    EXPECT_EQ(f.swap(), engine::SwapOutcome::Upgraded);
    EXPECT_EQ(f.dialogs.messages, std::vector<std::string>{"Upgrade successful."});
    EXPECT_EQ(f.appNames(), (std::vector<std::string>{"Orvalis.exe", "Orvalis.old"}));
    EXPECT_EQ(f.appFile("Orvalis.exe"), testsupport::kNewExe);
    EXPECT_EQ(f.appFile("Orvalis.old"), testsupport::kOldExe);
    EXPECT_TRUE(::GetFileAttributesW((f.app / "Orvalis.exe").c_str()) & FILE_ATTRIBUTE_READONLY)
        << "the new executable is read-only like the one it replaced";
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
