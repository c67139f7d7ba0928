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
