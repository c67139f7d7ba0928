// The engine's cases that only POSIX systems can show: dot files, links, case-sensitive
// names, permission bits, owners and mounts.

#include "engine/folder_text.h"
#include "engine/mod_no_case.h"
#include "engine/upgrade.h"
#include "support/privileges.h"
#include "support/reliability_log.h"
#include "upgrade_fixture.h"

#include <filesystem>
#include <sys/stat.h>

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using engine::SwapOutcome;
using modNoCase::FileExists;
using testsupport::kOlderExe;
using testsupport::kOldExe;
using testsupport::UpgradeFixture;
using testsupport::writeFile;
using Names = std::vector<std::string>;

namespace {

const std::string kFailure = engine::kMsgFailure;

} // namespace

TEST(FolderText, EndsInExactlyOneSeparator)
{
    EXPECT_EQ(engine::AppFolderText("/opt/orvalis"), "/opt/orvalis/");
    EXPECT_EQ(engine::AppFolderText("/"), "/");
    EXPECT_EQ(engine::FolderText("/media/usb/"), "/media/usb/");
}

TEST(ModNoCasePosix, FileExistsFindsEveryKindOfFileButNoFolder)
{
    testsupport::TempFolder tmp;
    testsupport::PlatformFileServices real;
    testsupport::FakeFileServices files{real};
    const std::string folder = tmp.text();
    testsupport::writeFile(tmp.path() / "Orvalis.old", "x");
    fs::permissions(tmp.path() / "Orvalis.old", fs::perms::owner_read, fs::perm_options::replace);
    testsupport::writeFile(tmp.path() / ".Orvalis.ugx.part", "x");
    fs::create_directory(tmp.path() / "Orvalis.exe");
    fs::create_symlink(tmp.path() / "nowhere", tmp.path() / "Orvalis.ugx");

    EXPECT_TRUE(FileExists(files, folder, "Orvalis.old"));
    EXPECT_TRUE(FileExists(files, folder, ".Orvalis.ugx.part"));
    EXPECT_TRUE(FileExists(files, folder, "Orvalis.ugx"));
    EXPECT_FALSE(FileExists(files, folder, "Orvalis.exe"));
    EXPECT_FALSE(FileExists(files, folder, "Orvalis.OLD"));
    EXPECT_FALSE(FileExists(files, folder + "missing/", "Orvalis.old"));
    EXPECT_EQ(files.log().back(), "dirSearch " + folder + "missing/Orvalis.old");
}

TEST(SwapPosix, TheNewExecutableKeepsThePermissionsOfTheOldOne)
{
    for (const bool noHardLinks : {false, true}) {
        SCOPED_TRACE(noHardLinks ? "without hard links" : "with hard links");
        UpgradeFixture f;
        f.files.setNoHardLinks(noHardLinks);
        ::chmod((f.app / "Orvalis.exe").c_str(), 0751);
        ::chmod((f.saved / "Orvalis.ugx").c_str(), 0600);
        if (testsupport::runningAsRoot()) {
            ASSERT_EQ(::chown((f.app / "Orvalis.exe").c_str(), 65534, 65534), 0);
        }
        EXPECT_EQ(f.swap(), SwapOutcome::Upgraded);
        struct stat st {};
        ASSERT_EQ(::stat((f.app / "Orvalis.exe").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0751u);
        if (testsupport::runningAsRoot()) {
            EXPECT_EQ(st.st_uid, 65534u);
        }
    }
}

TEST(SwapOnARealDisk, AnUpgradeLargerThanTheDiskLeavesTheApplicationAsItWas)
{
    UpgradeFixture f;
    testsupport::TmpfsMount mount(f.app, 256 << 10);
    if (!mount.mounted())
        GTEST_SKIP() << mount.reason();
    writeFile(f.app / "Orvalis.exe", kOldExe);
    writeFile(f.saved / "Orvalis.ugx", std::string(1 << 20, 'u'));
    EXPECT_EQ(f.swap(), SwapOutcome::Failed);
    EXPECT_EQ(f.dialogs.messages, Names{kFailure});
    EXPECT_EQ(f.appNames(), Names{"Orvalis.exe"});
    EXPECT_EQ(f.appFile("Orvalis.exe"), kOldExe);
    testsupport::recordCase(
        "Real faults", "full tmpfs as the application folder (1 MiB upgrade, 256 KiB disk)",
        HasFailure() ? "CHECK FAILED" : "failure message, Orvalis.exe intact, nothing left over",
        "SwapOnARealDisk.AnUpgradeLargerThanTheDiskLeavesTheApplicationAsItWas", 1, HasFailure() ? 1 : 0);
}

TEST(SwapOnARealDisk, AReadOnlyApplicationFolderIsReportedAndUntouched)
{
    UpgradeFixture f;
    testsupport::TmpfsMount mount(f.app, 256 << 10);
    if (!mount.mounted())
        GTEST_SKIP() << mount.reason();
    writeFile(f.app / "Orvalis.exe", kOldExe);
    writeFile(f.app / "Orvalis.old", kOlderExe);
    ASSERT_TRUE(mount.remountReadOnly());
    EXPECT_EQ(f.swap(), SwapOutcome::Failed);
    EXPECT_EQ(f.dialogs.messages, Names{kFailure});
    EXPECT_EQ(f.appFile("Orvalis.exe"), kOldExe);
    EXPECT_EQ(f.appFile("Orvalis.old"), kOlderExe);
    testsupport::recordCase("Real faults", "read-only mount as the application folder",
                            HasFailure() ? "CHECK FAILED" : "failure message, nothing touched",
                            "SwapOnARealDisk.AReadOnlyApplicationFolderIsReportedAndUntouched", 1,
                            HasFailure() ? 1 : 0);
}

TEST(SwapOnARealDisk, AFolderTheUserMayNotWriteIsReportedAndUntouched)
{
    UpgradeFixture f;
    fs::permissions(f.tmp.path(), fs::perms::others_exec, fs::perm_options::add);
    fs::permissions(f.saved, fs::perms::others_exec, fs::perm_options::add);
    fs::permissions(f.saved / "Orvalis.ugx", fs::perms::others_read, fs::perm_options::add);
    fs::permissions(f.app, fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec,
                    fs::perm_options::replace);
    const int status = testsupport::runUnprivileged([&] {
        engine::SwapOutcome outcome = f.swap();
        return outcome == SwapOutcome::Failed && f.dialogs.messages == Names{kFailure} ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(f.appNames(), Names{"Orvalis.exe"});
    EXPECT_EQ(f.appFile("Orvalis.exe"), kOldExe);
    testsupport::recordCase("Real faults", "application folder the (unprivileged) user may not write",
                            HasFailure() ? "CHECK FAILED" : "failure message, nothing touched",
                            "SwapOnARealDisk.AFolderTheUserMayNotWriteIsReportedAndUntouched", 1,
                            HasFailure() ? 1 : 0);
}

TEST(SwapPosix, AnUpgradeFileInTheFolderThatIsNotAFileOfItsOwnIsNotInstalled)
{
    testsupport::TempFolder elsewhere;
    writeFile(elsewhere.path() / "Orvalis.ugx", testsupport::kNewExe);
    const std::vector<std::pair<const char*, fs::path>> links = {
        {"a dangling link", elsewhere.path() / "nowhere"},
        {"a link to /dev/zero", "/dev/zero"},
        {"a link to a file elsewhere", elsewhere.path() / "Orvalis.ugx"},
    };
    for (const auto& [what, target] : links) {
        SCOPED_TRACE(what);
        UpgradeFixture f;
        fs::create_symlink(target, f.app / "Orvalis.ugx");
        EXPECT_EQ(f.swap(), SwapOutcome::Failed);
        EXPECT_EQ(f.dialogs.messages, Names{kFailure});
        EXPECT_EQ(f.appNames(), (Names{"Orvalis.exe", "Orvalis.ugx"}));
        EXPECT_EQ(f.appFile("Orvalis.exe"), kOldExe);
        EXPECT_TRUE(fs::is_symlink(f.app / "Orvalis.ugx"));
        EXPECT_EQ(f.files.calls(testsupport::Op::CopyFile), 0);
        testsupport::recordCase("Strange names and places",
                                std::string("Orvalis.ugx in the application folder is ") + what,
                                HasFailure() ? "CHECK FAILED" : "failure message, nothing touched",
                                "SwapPosix.AnUpgradeFileInTheFolderThatIsNotAFileOfItsOwnIsNotInstalled", 1,
                                HasFailure() ? 1 : 0);
    }
}

TEST(SwapPosix, WhereHardLinksAreRefusedTheNamesAreTradedInOneStep)
{
    if (!testsupport::runningAsRoot())
        GTEST_SKIP() << "needs a file owned by another user";
    // An executable owned by root that the user may run but not write: the kernel refuses
    // the user a hard link to it (fs.protected_hardlinks), in a folder the user may write.
    UpgradeFixture f;
    fs::permissions(f.tmp.path(), fs::perms::others_exec, fs::perm_options::add);
    fs::permissions(f.saved, fs::perms::others_exec, fs::perm_options::add);
    fs::permissions(f.saved / "Orvalis.ugx", fs::perms::others_read, fs::perm_options::add);
    ::chmod((f.app / "Orvalis.exe").c_str(), 0755);
    ASSERT_EQ(::chown(f.app.c_str(), 65534, 65534), 0);
    const int status = testsupport::runUnprivileged([&] {
        if (::link((f.app / "Orvalis.exe").c_str(), (f.app / "probe").c_str()) == 0) {
            ::unlink((f.app / "probe").c_str());
            return 2; // hard links allowed after all: nothing to show here
        }
        // Watch the folder at every step the swap takes: "Orvalis.exe" is always there.
        bool alwaysThere = true;
        f.files.onCall = [&](const std::string&) {
            alwaysThere = alwaysThere && fs::exists(f.app / "Orvalis.exe");
        };
        const bool upgraded =
            f.swap() == SwapOutcome::Upgraded && f.dialogs.messages == Names{engine::kMsgSuccess};
        return upgraded && alwaysThere && f.files.calls(testsupport::Op::ExchangeFiles) == 1 ? 0 : 1;
    });
    if (status == 2)
        GTEST_SKIP() << "hard links are not protected here";
    EXPECT_EQ(status, 0);
    EXPECT_EQ(f.appNames(), (Names{"Orvalis.exe", "Orvalis.old"}));
    EXPECT_EQ(f.appFile("Orvalis.exe"), testsupport::kNewExe);
    EXPECT_EQ(f.appFile("Orvalis.old"), kOldExe);
    testsupport::recordCase(
        "Real faults", "hard link to Orvalis.exe refused (another user's file, protected hard links)",
        HasFailure() ? "CHECK FAILED" : "upgraded by trading names, Orvalis.exe there at every step",
        "SwapPosix.WhereHardLinksAreRefusedTheNamesAreTradedInOneStep", 1, HasFailure() ? 1 : 0);
}
