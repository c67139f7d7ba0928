// The window's behaviour on the toolkit stand-in, the same on every platform: starting,
// browsing, choosing, upgrading, how often it reads, and every fault of the lists. The
// toolkits' own promises (drawing, keys, screen readers, dots per inch) are tested with each.

#include "support/app_folders.h"
#include "support/headless_toolkit.h"
#ifndef _WIN32
#include "support/privileges.h"
#endif
#include "support/reliability_log.h"
#include "support/temp_folder.h"
#include "window/frm_file.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include <gtest/gtest.h>

using testsupport::Op;
namespace fs = std::filesystem;

namespace {

const std::string kWarning = "WARNING!!! Please be sure that Orvalis has been\r\n"
                             "shut down prior to continuing the upgrade process.";
const std::string kFolderUnavailable = "This Folder is currently unavailable.\r\n";
const std::string kDriveUnavailable = "This Drive is currently unavailable.";
const std::string kSuccess = "Upgrade successful.";
const std::string kCannotUpgrade = "Unable to upgrade file. Make sure the file is not write protected.\r\n"
                                   "Contact us if you continue to have problems upgrading the software.";
const std::string kUnconfirmed = "The upgrade is installed, but it could not be confirmed on disk. Please do "
                                 "not run the upgrade again.\r\nContact us if you continue to have problems "
                                 "upgrading the software.";

#ifdef _WIN32
const runtime::Drive kCardReader{"Q:", "Q:\\"};
#else
const runtime::Drive kCardReader{"/media/card", "/media/card/"};
#endif

std::string sep(const std::string& folder)
{
    return folder + runtime::kFolderSeparator;
}

bool listed(const std::vector<std::string>& names, const std::string& name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

// What a user does in a short session: open the downloads, click the upgrade file, go back
// to the list, climb back to the application folder, each where the lists offer it.
void browse(testsupport::HeadlessToolkit::Form& form)
{
    auto& dirs = form.folderList("Dir1");
    auto& fileList = form.fileList("FileList1");
    if (listed(dirs.labels(), "downloads"))
        dirs.doubleClick("downloads");
    if (listed(fileList.names, "Orvalis.ugx"))
        fileList.click("Orvalis.ugx");
    if (form.panel("picFileOpen").shown)
        form.pushButton("cmdOpenBack").press();
    if (listed(dirs.labels(), "app"))
        dirs.doubleClick("app");
}

// The window on the application folder "app" (see AppFolders), through the stand-in
// services and the toolkit stand-in.
class Window : public ::testing::Test, protected testsupport::AppFolders {
protected:
    static std::string text(fs::path path) { return testsupport::pathText(path.make_preferred()); }

    void start()
    {
        window = std::make_unique<frmFile>(toolkit, files, toolkit.recorded);
        window->load();
        window->show();
    }
    void chooseUpgradeFile()
    {
        dir1().doubleClick("downloads");
        fileList1().click("Orvalis.ugx");
        ASSERT_TRUE(panel().shown);
    }

    testsupport::HeadlessToolkit::Form& form() { return toolkit.form(); }
    testsupport::HeadlessToolkit::DriveList& drive1() { return form().driveList("Drive1"); }
    testsupport::HeadlessToolkit::FolderList& dir1() { return form().folderList("Dir1"); }
    testsupport::HeadlessToolkit::FileList& fileList1() { return form().fileList("FileList1"); }
    testsupport::HeadlessToolkit::Panel& panel() { return form().panel("picFileOpen"); }
    testsupport::HeadlessToolkit::PushButton& button(const char* name) { return form().pushButton(name); }
    std::vector<std::string>& messages() { return toolkit.recorded.messages; }
    std::vector<runtime::MsgKind>& kinds() { return toolkit.recorded.kinds; }
    const engine::BrowseState& state() const { return window->browseState(); }
    bool touchesFiles() const
    {
        for (Op op : {Op::SetAttrNormal, Op::DeleteFile, Op::RenameFile, Op::LinkFile, Op::ReplaceFile,
                      Op::CopyFile, Op::MatchPermissions}) {
            if (files.calls(op) != 0)
                return true;
        }
        return false;
    }

    testsupport::HeadlessToolkit toolkit;
    std::unique_ptr<frmFile> window;
};

TEST_F(Window, StartsWithTheWarningThenShowsTheApplicationFolder)
{
    // The warning comes first, before anything of the window is even built, so that it
    // shows as soon as the program starts.
    bool builtAtWarning = true;
    toolkit.recorded.onMessage = [&](const std::string&) {
        builtAtWarning = toolkit.madeAForm();
    };
    start();
    EXPECT_EQ(messages(), std::vector<std::string>{kWarning});
    EXPECT_FALSE(builtAtWarning);
    EXPECT_TRUE(form().shown);
    EXPECT_FALSE(panel().shown);
    // What the user reads, to the letter.
    EXPECT_EQ(form().caption(), "Open Upgrade File From...");
    const std::pair<const char*, const char*> labels[] = {
        {"lblHelp", "Browse to the upgrade file that you've saved and click on it.\r\n"
                    "Once selected, click OK to start the upgrade process."},
        {"lblDrive", "Drive:"},
        {"lblDir1", "Folder:"},
        {"lblFileList1", "Upgrade File Name:"},
        {"lblPointOpen", "Upgrade with this file..."}};
    for (const auto& [name, text] : labels)
        EXPECT_EQ(form().label(name).text, text);
    const std::pair<const char*, const char*> buttons[] = {
        {"cmdOpenOK", "OK"}, {"cmdOpenCancel", "Cancel"}, {"cmdOpenBack", "Return to List"}};
    for (const auto& [name, text] : buttons)
        EXPECT_EQ(button(name).caption, text);

    EXPECT_EQ(state().strAppFolder, sep(text(app)));
    EXPECT_EQ(state().strBrowseFolder, sep(text(app)));
    EXPECT_EQ(drive1().currentDrive(), real.driveOf(text(app)));
    EXPECT_EQ(dir1().path(), text(app));
    EXPECT_EQ(fileList1().path(), text(app));
    EXPECT_EQ(fileList1().state.pattern(), "*.ugx");
    // "*.ugx" in any letter case; no folders, no dot files, nothing else.
    EXPECT_EQ(fileList1().names, std::vector<std::string>{"older.UGX"});
    // The tree from the top down to the application folder, then its subfolders.
    const auto dirs = dir1().labels();
    ASSERT_GE(dirs.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(dirs.end() - 3, dirs.end()),
              (std::vector<std::string>{"app", "downloads", "folder.ugx"}));
    EXPECT_EQ(dirs[static_cast<std::size_t>(dir1().selected)], "app");
}

TEST_F(Window, StartsAtTheRootOfTheDriveAndStaysThere)
{
    const std::string root = real.driveOf(text(app)).root;
    files.setAppFolder(root);
    start();
    EXPECT_EQ(state().strAppFolder, root);
    EXPECT_EQ(state().strBrowseFolder, root);
    EXPECT_EQ(dir1().path(), runtime::TrimSeparator(root));
    EXPECT_EQ(fileList1().path(), runtime::TrimSeparator(root));
    EXPECT_EQ(messages().size(), 1u);
}

TEST_F(Window, BrowsesWithClicksAndDoubleClicks)
{
    start();
    // A click keeps the folder and reads the files again.
    testsupport::writeFile(app / "added.ugx", "");
    dir1().click("downloads");
    EXPECT_EQ(dir1().path(), text(app));
    EXPECT_EQ(state().strBrowseFolder, sep(text(app)));
    EXPECT_EQ(fileList1().names, (std::vector<std::string>{"added.ugx", "older.UGX"}));

    // A double click opens a folder and the file list follows; and back up the tree.
    dir1().doubleClick("downloads");
    EXPECT_EQ(dir1().path(), text(downloads));
    EXPECT_EQ(state().strBrowseFolder, sep(text(downloads)));
    EXPECT_EQ(fileList1().path(), text(downloads));
    EXPECT_EQ(fileList1().names, std::vector<std::string>{"Orvalis.ugx"});
    dir1().doubleClick("app");
    EXPECT_EQ(dir1().path(), text(app));
    EXPECT_EQ(fileList1().names, (std::vector<std::string>{"added.ugx", "older.UGX"}));
    EXPECT_EQ(messages().size(), 1u);
}

TEST_F(Window, AFileClickShowsThePanelAndReturnHidesIt)
{
    start();
    fileList1().click("older.UGX");
    EXPECT_EQ(form().caption(), "Open... older.UGX");
    EXPECT_EQ(form().label("lblOpenFileName").text, "older.UGX");
    EXPECT_EQ(state().strChosenFile, "older.UGX");
    EXPECT_EQ(state().strChosenFolder, sep(text(app)));
    EXPECT_TRUE(panel().shown);

    button("cmdOpenBack").press();
    EXPECT_FALSE(panel().shown);
    EXPECT_EQ(form().caption(), "Open File From...");
    EXPECT_EQ(state().strChosenFile, "older.UGX");

    fileList1().click("older.UGX");
    EXPECT_TRUE(panel().shown);
    EXPECT_EQ(form().caption(), "Open... older.UGX");
    EXPECT_EQ(messages().size(), 1u);
}

TEST_F(Window, AnUnreadyDriveSaysSoOnceAndGoesBackToTheApplicationDrive)
{
    files.addUnreadyDrive(kCardReader);
    start();
    const runtime::Drive appDrive = real.driveOf(text(app));
    drive1().choose(kCardReader.name);
    EXPECT_EQ(messages(), (std::vector<std::string>{kWarning, kDriveUnavailable}));
    EXPECT_EQ(drive1().currentDrive(), appDrive);
    // Back on the application's drive, the folder list is on that drive's current folder.
    const std::string current = real.driveCurrentFolder(appDrive);
    EXPECT_EQ(dir1().path(), current);
    EXPECT_EQ(fileList1().path(), current);
}

TEST_F(Window, AnUnreadyDriveAndAnUnreadyWayBackSayItOnce)
{
    files.addUnreadyDrive(kCardReader);
    start();
    const int before = files.calls(Op::DriveCurrentFolder);
    files.failOn(Op::DriveCurrentFolder, before + 2, 71);
    drive1().choose(kCardReader.name);
    EXPECT_EQ(files.calls(Op::DriveCurrentFolder), before + 2);
    EXPECT_EQ(messages(), (std::vector<std::string>{kWarning, kDriveUnavailable}));
    EXPECT_EQ(dir1().path(), text(app));
    EXPECT_EQ(fileList1().path(), text(app));
}

TEST_F(Window, AFolderThatVanishedSaysWhyOnceAndTheListsMoveOn)
{
    const auto locked = tmp.mkdir("app/locked");
    start();
    fs::remove_all(downloads);
    dir1().doubleClick("downloads");
    ASSERT_EQ(messages().size(), 2u);
    EXPECT_EQ(messages()[1], kFolderUnavailable + text(downloads) + "\r\nDescription: Path not found");
    EXPECT_EQ(dir1().path(), text(app));
    EXPECT_EQ(fileList1().path(), text(app));

    // The folder both lists show vanishes: a click on it says why, once, and both lists
    // move up to the folder above, where browsing goes on.
    dir1().doubleClick("locked");
    EXPECT_EQ(fileList1().path(), text(locked));
    fs::remove(locked);
    const std::size_t shown = messages().size();
    dir1().click("locked");
    EXPECT_EQ(messages().size(), shown + 1);
    EXPECT_EQ(messages().back(), kFolderUnavailable + text(locked) + "\r\nDescription: Path not found");
    EXPECT_EQ(dir1().path(), text(app));
    EXPECT_EQ(fileList1().path(), text(app));
    EXPECT_EQ(fileList1().names, std::vector<std::string>{"older.UGX"});
    EXPECT_EQ(state().strBrowseFolder, sep(text(app)));
    dir1().doubleClick("folder.ugx");
    EXPECT_EQ(fileList1().path(), text(app / "folder.ugx"));
    EXPECT_EQ(messages().size(), shown + 1);
    testsupport::recordCase("Real faults", "a folder removed between listing and double click",
                            HasFailure() ? "CHECK FAILED"
                                         : "\"This Folder is currently unavailable.\" once with the path and "
                                           "why, both lists on the nearest readable folder",
                            "Window.AFolderThatVanishedSaysWhyOnceAndTheListsMoveOn", 1,
                            HasFailure() ? 1 : 0);
}

TEST_F(Window, AnUnreadableApplicationFolderFallsBackToTheDriveRoot)
{
    const std::string missing = text(app / "gone");
    files.setAppFolder(missing);
    start();
    ASSERT_EQ(messages().size(), 2u);
    EXPECT_EQ(messages()[1], kFolderUnavailable + missing + "\r\nDescription: Path not found");
    const runtime::Drive drive = real.driveOf(missing);
    EXPECT_EQ(dir1().path(), runtime::TrimSeparator(drive.root));
    EXPECT_EQ(fileList1().path(), runtime::TrimSeparator(drive.root));
    EXPECT_EQ(state().strBrowseFolder, drive.root);
    EXPECT_EQ(state().strAppFolder, sep(missing));
}

TEST_F(Window, NamesTravelAsBytes)
{
#ifdef _WIN32
    const std::string folder = "caf\xc3\xa9";        // UTF-8, as Windows names travel
    const std::string file = "\xe2\x82\xac\x31.ugx"; // "€1.ugx"
#else
    const std::string folder = "caf\xe9";    // Latin-1, not valid UTF-8
    const std::string file = "\xff\xfe.ugx"; // neither
#endif
    const fs::path odd = app / fs::u8path(folder);
    fs::create_directory(odd);
    testsupport::writeFile(odd / fs::u8path(file), "bytes\n");
    start();
    dir1().doubleClick(folder);
    EXPECT_EQ(dir1().path(), text(odd));
    ASSERT_EQ(fileList1().names, std::vector<std::string>{file});
    fileList1().click(file);
    EXPECT_EQ(state().strChosenFile, file);
    EXPECT_EQ(state().strChosenFolder, sep(text(odd)));
}

TEST_F(Window, UpgradesWithTheClickedFileAndUnloads)
{
    const auto other = tmp.mkdir("app/downloads/other");
    testsupport::writeFile(other / "Orvalis.ugx", "a different file\n");
    start();
    chooseUpgradeFile();
    // The panel leaves the left part of the folder list free: the user browses on, and the
    // file clicked is the one installed.
    dir1().doubleClick("other");
    EXPECT_EQ(state().strBrowseFolder, sep(text(other)));
    EXPECT_TRUE(panel().shown);
    button("cmdOpenOK").press();
    EXPECT_EQ(messages(), (std::vector<std::string>{kWarning, kSuccess}));
    EXPECT_EQ(kinds(),
              (std::vector<runtime::MsgKind>{runtime::MsgKind::Warning, runtime::MsgKind::Information}));
    EXPECT_FALSE(form().isLoaded());
    EXPECT_EQ(testsupport::readFile(app / "Orvalis.exe"), "new executable\n");
    EXPECT_EQ(testsupport::readFile(app / "Orvalis.old"), "old executable\n");
    EXPECT_TRUE(fs::exists(downloads / "Orvalis.ugx"));
}

TEST_F(Window, AFailedUpgradeKeepsTheWindowAsItWas)
{
    fs::remove(app / "Orvalis.exe");
    start();
    chooseUpgradeFile();
    button("cmdOpenOK").press();
    EXPECT_EQ(messages().back(), kCannotUpgrade);
    EXPECT_EQ(kinds().back(), runtime::MsgKind::Warning);
    EXPECT_TRUE(form().isLoaded());
    EXPECT_TRUE(panel().shown);
    EXPECT_EQ(form().caption(), "Open... Orvalis.ugx");
    EXPECT_FALSE(fs::exists(app / "Orvalis.ugx"));
}

TEST_F(Window, AnUpgradeLeftInPlaceByALateFailureIsNotSwappedAgain)
{
    files.failOn(Op::FlushFolder, 1, 70);
    start();
    chooseUpgradeFile();
    button("cmdOpenOK").press();
    EXPECT_EQ(messages().back(), kUnconfirmed);
    EXPECT_EQ(kinds().back(), runtime::MsgKind::Warning);
    EXPECT_TRUE(form().isLoaded());
    // Another swap would make the new executable "Orvalis.old" and lose the previous one.
    const int renames = files.calls(Op::RenameFile) + files.calls(Op::LinkFile);
    button("cmdOpenOK").press();
    EXPECT_EQ(messages().back().rfind("The upgrade is already in place", 0), 0u);
    EXPECT_EQ(kinds().back(), runtime::MsgKind::Information);
    EXPECT_EQ(files.calls(Op::RenameFile) + files.calls(Op::LinkFile), renames);
    EXPECT_EQ(files.calls(Op::CopyFile), 1);
    EXPECT_EQ(testsupport::readFile(app / "Orvalis.exe"), "new executable\n");
    EXPECT_EQ(testsupport::readFile(app / "Orvalis.old"), "old executable\n");
}

TEST_F(Window, AnInterruptedUpgradeIsFinishedByOkNotByTheStart)
{
    // What a crash between the two renames leaves on a drive without hard links.
    fs::rename(app / "Orvalis.exe", app / "Orvalis.old");
    testsupport::writeFile(app / "Orvalis.ugx", "new executable\n");
    start();
    EXPECT_FALSE(touchesFiles());
    fileList1().click("Orvalis.ugx");
    button("cmdOpenOK").press();
    EXPECT_EQ(messages(), (std::vector<std::string>{kWarning, engine::kMsgCompleted}));
    EXPECT_FALSE(form().isLoaded());
    EXPECT_EQ(testsupport::readFile(app / "Orvalis.exe"), "new executable\n");
    EXPECT_EQ(testsupport::readFile(app / "Orvalis.old"), "old executable\n");
}

TEST_F(Window, CancelAndTheTitleBarUnloadWithoutTouchingAFile)
{
    const auto before = testsupport::listNames(app);
    start();
    chooseUpgradeFile();
    button("cmdOpenCancel").press();
    EXPECT_FALSE(form().isLoaded());
    start();
    chooseUpgradeFile();
    form().closeByTitleBar();
    EXPECT_FALSE(form().isLoaded());
    EXPECT_FALSE(touchesFiles());
    EXPECT_EQ(testsupport::listNames(app), before);
    EXPECT_EQ(messages(), (std::vector<std::string>{kWarning, kWarning}));
}

TEST_F(Window, EachActionReadsAFolderOnceAndAsItIsNow)
{
    const auto big = tmp.mkdir("app/big");
    for (int i = 0; i < 50; ++i)
        testsupport::writeFile(big / ("file" + std::to_string(i) + (i < 3 ? ".ugx" : ".dat")), "x");
    tmp.mkdir("app/big/inner");
    // Untouched for a minute, as if nobody had changed it since: a listing kept from an
    // earlier action would still look fresh. (Where the system lets a test set a folder's time.)
    std::error_code ignored;
    fs::last_write_time(app, fs::file_time_type::clock::now() - std::chrono::minutes(1), ignored);
    start();

    const int before = files.calls(Op::ListFolder);
    dir1().doubleClick("big");
    EXPECT_EQ(dir1().path(), text(big));
    EXPECT_EQ(fileList1().names, (std::vector<std::string>{"file0.ugx", "file1.ugx", "file2.ugx"}));
    EXPECT_TRUE(listed(dir1().labels(), "inner"));
    // A double click is two actions: its click refreshes the file list (one read of the
    // application folder), then the open reads "big" once for both lists.
    EXPECT_EQ(files.calls(Op::ListFolder) - before, 2);

    dir1().doubleClick("app");
    testsupport::writeFile(app / "Orvalis.ugx", "new executable\n");
    dir1().click("app");
    EXPECT_EQ(fileList1().names, (std::vector<std::string>{"older.UGX", "Orvalis.ugx"}));
}

#ifndef _WIN32
TEST_F(Window, AVolumeUnmountedWhileTheDriveListShowsItSaysTheDriveIsUnavailable)
{
    const auto point = tmp.mkdir("USB stick");
    auto mount = std::make_unique<testsupport::TmpfsMount>(point, 1 << 20);
    if (!mount->mounted())
        GTEST_SKIP() << mount->reason();
    start();
    const runtime::Drive appDrive = drive1().currentDrive();
    mount.reset(); // pulled out while the drive list still offers it
    drive1().choose(text(point));
    EXPECT_EQ(messages(), (std::vector<std::string>{kWarning, kDriveUnavailable}));
    EXPECT_EQ(drive1().currentDrive(), appDrive);
    EXPECT_TRUE(fs::is_directory(dir1().path()));
    testsupport::recordCase("Real faults", "a volume unmounted while the drive list shows it, then chosen",
                            HasFailure() ? "CHECK FAILED"
                                         : "\"This Drive is currently unavailable.\", back on the "
                                           "application's drive",
                            "Window.AVolumeUnmountedWhileTheDriveListShowsItSaysTheDriveIsUnavailable", 1,
                            HasFailure() ? 1 : 0);
}
#endif

struct Fault {
    int number;
    const char* description;
};

TEST_F(Window, EveryListOperationFailingAtEveryCallLeavesAClearMessageAndNoFileTouched)
{
    const Op ops[] = {Op::Drives, Op::DriveOf, Op::DriveCurrentFolder, Op::ListFolder};
    const Fault faults[] = {{53, "File not found"},
                            {70, "Permission denied"},
                            {61, "Disk full"},
                            {70, "The device or resource is busy"},
                            {71, "Disk not ready"}};
    std::map<Op, int> callsInACleanSession;
    start();
    browse(form());
    ASSERT_EQ(messages(), std::vector<std::string>{kWarning});
    ASSERT_EQ(dir1().path(), text(app));
    for (const Op op : ops)
        callsInACleanSession[op] = files.calls(op);
    ASSERT_GE(callsInACleanSession[Op::ListFolder], 4);
    const auto names = testsupport::listNames(app);

    int runs = 0;
    for (const Op op : ops) {
        for (int nth = 1; nth <= callsInACleanSession[op]; ++nth) {
            for (const Fault& fault : faults) {
                SCOPED_TRACE(std::string(testsupport::opName(op)) + " #" + std::to_string(nth) +
                             " fails with " + fault.description);
                testsupport::FaultyFileServices failing{real};
                failing.setAppFolder(text(app));
                failing.failOn(op, nth, fault.number, fault.description);
                testsupport::HeadlessToolkit headless;
                {
                    frmFile session(headless, failing, headless.recorded);
                    session.load();
                    session.show();
                    browse(headless.form());
                    // The lists stay on folders that could be read.
                    for (const std::string& path : {headless.form().folderList("Dir1").path(),
                                                    headless.form().fileList("FileList1").path()})
                        EXPECT_TRUE(path.empty() || fs::is_directory(fs::u8path(path))) << path;
                }
                ++runs;
                const auto& shown = headless.recorded.messages;
                ASSERT_FALSE(shown.empty());
                EXPECT_EQ(shown.front(), kWarning);
                for (std::size_t i = 1; i < shown.size(); ++i) {
                    const std::string& m = shown[i];
                    const std::string tail = std::string("\r\nDescription: ") + fault.description;
                    const bool known = m == kDriveUnavailable ||
                                       (m.rfind(kFolderUnavailable, 0) == 0 && m.size() > tail.size() &&
                                        m.compare(m.size() - tail.size(), tail.size(), tail) == 0);
                    EXPECT_TRUE(known) << "unexpected message " << m;
                }
                // Browsing never touches a file, whatever fails.
                EXPECT_EQ(testsupport::readFile(app / "Orvalis.exe"), "old executable\n");
                EXPECT_EQ(testsupport::listNames(app), names);
            }
        }
    }
    testsupport::recordCase(
        "Fault matrix (stand-in)",
        "the lists' drives, driveOf, driveCurrentFolder and listFolder, each failing at each of "
        "its calls while starting and browsing, with not found, permission denied, disk full, "
        "busy, I/O error",
        HasFailure() ? "CHECK FAILED" : "a clear message or nothing, no file touched, lists usable",
        "Window.EveryListOperationFailingAtEveryCallLeavesAClearMessageAndNoFileTouched", runs,
        HasFailure() ? 1 : 0);
}

} // namespace
