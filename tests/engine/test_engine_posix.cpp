// The engine's cases that only POSIX systems can show: dot files, links, case-sensitive
// names, permission bits, owners and mounts.

#include "engine/mod_no_case.h"
#include "engine/upgrade.h"
#include "support/privileges.h"
#include "support/reliability_log.h"
#include "upgrade_fixture.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using engine::SwapOutcome;
using modNoCase::FileExists;
using testsupport::kFailure;
using testsupport::kNewExe;
using testsupport::kOlderExe;
using testsupport::kOldExe;
using testsupport::UpgradeFixture;
using testsupport::writeFile;
using Names = std::vector<std::string>;

TEST(ModNoCasePosix, FileExistsFindsEveryKindOfFileButNoFolder)
{
    testsupport::TempFolder tmp;
    testsupport::PlatformFileServices real;
    testsupport::FaultyFileServices files{real};
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
    // Copied in, or already in the folder as a second name of a file elsewhere: that one is
    // copied too, and keeps its own owner and mode.
    for (const bool linkedInPlace : {false, true})
        for (const bool noHardLinks : {false, true}) {
            SCOPED_TRACE(std::string(noHardLinks ? "without hard links" : "with hard links") +
                         (linkedInPlace ? ", Orvalis.ugx linked to a file elsewhere" : ""));
            UpgradeFixture f;
            f.files.setNoHardLinks(noHardLinks);
            ::chmod((f.saved / "Orvalis.ugx").c_str(), 0600);
            if (linkedInPlace)
                fs::create_hard_link(f.saved / "Orvalis.ugx", f.app / "Orvalis.ugx");
            const bool root = testsupport::runningAsRoot();
            if (root) {
                ASSERT_EQ(::chown((f.app / "Orvalis.exe").c_str(), 65534, 65534), 0);
            }
            ::chmod((f.app / "Orvalis.exe").c_str(), 04751); // after the owner, which clears it
            EXPECT_EQ(f.swap(), SwapOutcome::Upgraded);
            EXPECT_EQ(f.appFile("Orvalis.exe"), kNewExe);
            struct stat st {
            }, outside{};
            ASSERT_EQ(::stat((f.app / "Orvalis.exe").c_str(), &st), 0);
            ASSERT_EQ(::stat((f.saved / "Orvalis.ugx").c_str(), &outside), 0);
            EXPECT_EQ(st.st_mode & 07777, root ? 04751u : 0751u);
            EXPECT_EQ(outside.st_mode & 07777, 0600u);
            EXPECT_EQ(outside.st_uid, ::geteuid());
            EXPECT_NE(st.st_ino, outside.st_ino);
            if (root) {
                EXPECT_EQ(st.st_uid, 65534u);
                EXPECT_EQ(st.st_gid, 65534u);
            }
            EXPECT_FALSE(fs::exists(f.app / engine::kLinkedCopyName));
        }
}

TEST(SwapPosix, AnEntryPutUnderTheUpgradeFilesNameAfterItWasCheckedIsNeverInstalled)
{
    testsupport::TempFolder elsewhere;
    const fs::path outside = elsewhere.path() / "program";
    const std::vector<std::pair<const char*, std::function<void(const fs::path&)>>> swaps = {
        {"a link to a file elsewhere",
         [&](const fs::path& at) {
             fs::create_symlink(outside, at);
         }},
        {"a second name of a file elsewhere",
         [&](const fs::path& at) {
             fs::create_hard_link(outside, at);
         }},
        {"another file",
         [&](const fs::path& at) {
             writeFile(at, "another file\n");
         }},
    };
    int runs = 0;
    for (const auto& [what, put] : swaps)
        for (const bool noHardLinks : {false, true})
            for (const char* step : {"linkFile", "matchPermissions", "replaceFile", "renameFile"}) {
                SCOPED_TRACE(std::string(what) + (noHardLinks ? ", no hard links" : "") + ", before " + step);
                writeFile(outside, "a program elsewhere\n");
                ::chmod(outside.c_str(), 0600);
                UpgradeFixture f;
                f.files.setNoHardLinks(noHardLinks);
                writeFile(f.app / "Orvalis.ugx", kNewExe);
                ::chmod((f.app / "Orvalis.exe").c_str(), 04755);
                bool swapped = false;
                f.files.onCall = [&](const std::string& line) {
                    if (swapped || line.rfind(step, 0) != 0 || line.find("Orvalis.ugx") == std::string::npos)
                        return;
                    swapped = true;
                    fs::remove(f.app / "Orvalis.ugx");
                    put(f.app / "Orvalis.ugx");
                };
                const SwapOutcome outcome = f.swap();
                if (!swapped)
                    continue; // this way of swapping does not take that step
                ++runs;
                EXPECT_EQ(outcome, SwapOutcome::Failed);
                EXPECT_EQ(f.dialogs.messages, Names{kFailure});
                EXPECT_FALSE(fs::is_symlink(f.app / "Orvalis.exe"));
                EXPECT_EQ(f.appFile("Orvalis.exe"), kOldExe);
                struct stat st {};
                ASSERT_EQ(::stat(outside.c_str(), &st), 0);
                EXPECT_EQ(st.st_mode & 07777, 0600u); // never given the executable's mode
                fs::remove(outside);
            }
    EXPECT_GE(runs, 9);
    testsupport::recordChecked(
        "Races held open (stand-in)",
        "Orvalis.ugx in the folder swapped for a link, a second name of a file elsewhere or "
        "another file after its check, before each later step",
        "failure message, the previous Orvalis.exe in place, the file "
        "elsewhere not given the executable's mode",
        runs);
}

TEST(SwapOnARealDisk, AFullReadOnlyOrForbiddenApplicationFolderIsReportedAndUntouched)
{
    enum class Disk { Full, ReadOnly, Forbidden };
    const std::pair<Disk, const char*> disks[] = {
        {Disk::Forbidden,
         "application folder the (unprivileged) user may not write"}, // first: needs no mount
        {Disk::Full, "full tmpfs as the application folder (1 MiB upgrade, 256 KiB disk)"},
        {Disk::ReadOnly, "read-only mount as the application folder"},
    };
    for (const auto& [disk, what] : disks) {
        SCOPED_TRACE(what);
        UpgradeFixture f;
        std::optional<testsupport::TmpfsMount> mount;
        if (disk != Disk::Forbidden) {
            mount.emplace(f.app, 256 << 10);
            if (!mount->mounted())
                GTEST_SKIP() << mount->reason();
            writeFile(f.app / "Orvalis.exe", kOldExe);
            writeFile(f.app / "Orvalis.old", kOlderExe);
        }
        const Names before = f.appNames();
        bool failed = false;
        if (disk == Disk::Full) {
            writeFile(f.saved / "Orvalis.ugx", std::string(1 << 20, 'u'));
            failed = f.swap() == SwapOutcome::Failed && f.dialogs.messages == Names{kFailure};
        } else if (disk == Disk::ReadOnly) {
            ASSERT_TRUE(mount->remountReadOnly());
            failed = f.swap() == SwapOutcome::Failed && f.dialogs.messages == Names{kFailure};
        } else {
            fs::permissions(f.tmp.path(), fs::perms::others_exec, fs::perm_options::add);
            fs::permissions(f.saved, fs::perms::others_exec, fs::perm_options::add);
            fs::permissions(f.saved / "Orvalis.ugx", fs::perms::others_read, fs::perm_options::add);
            fs::permissions(f.app, fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec,
                            fs::perm_options::replace);
            failed =
                testsupport::runUnprivileged([&] {
                    return f.swap() == SwapOutcome::Failed && f.dialogs.messages == Names{kFailure} ? 0 : 1;
                }) == 0;
        }
        EXPECT_TRUE(failed) << "the failure message";
        EXPECT_EQ(f.appNames(), before);
        EXPECT_EQ(f.appFile("Orvalis.exe"), kOldExe);
        testsupport::recordChecked("Real faults", what,
                                   disk == Disk::Full
                                       ? "failure message, Orvalis.exe intact, nothing left over"
                                       : "failure message, nothing touched");
    }
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
        testsupport::recordChecked("Strange names and places",
                                   std::string("Orvalis.ugx in the application folder is ") + what,
                                   "failure message, nothing touched");
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
    // Set-user-ID root, with a capability: neither may pass to a file the user owns.
    ::chmod((f.app / "Orvalis.exe").c_str(), 04755);
    const std::string caps{"\x01\x00\x00\x02\x00\x04\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00",
                           20};
    const bool withCaps =
        ::setxattr((f.app / "Orvalis.exe").c_str(), "security.capability", caps.data(), caps.size(), 0) == 0;
    ASSERT_EQ(::chown(f.app.c_str(), 65534, 65534), 0);
    const std::string told = engine::NotKeptMessage(runtime::kNotKeptOwner | runtime::kNotKeptSetId |
                                                    (withCaps ? runtime::kNotKeptCapabilities : 0u));
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
        // Installed, with something lost: a warning, not the information of a plain success.
        const bool upgraded = f.swap() == SwapOutcome::Upgraded && f.dialogs.messages == Names{told} &&
                              f.dialogs.kinds == std::vector<runtime::MsgKind>{runtime::MsgKind::Warning};
        return upgraded && alwaysThere && f.files.calls(testsupport::Op::ExchangeFiles) == 1 ? 0 : 1;
    });
    if (status == 2)
        GTEST_SKIP() << "hard links are not protected here";
    EXPECT_EQ(status, 0);
    EXPECT_EQ(f.appNames(), (Names{"Orvalis.exe", "Orvalis.old"}));
    EXPECT_EQ(f.appFile("Orvalis.exe"), testsupport::kNewExe);
    EXPECT_EQ(f.appFile("Orvalis.old"), kOldExe);
    struct stat st {};
    ASSERT_EQ(::stat((f.app / "Orvalis.exe").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_LT(::getxattr((f.app / "Orvalis.exe").c_str(), "security.capability", nullptr, 0), 0);
    if (withCaps) {
        EXPECT_EQ(told,
                  "Upgrade successful.\r\nThe new Orvalis.exe could not be given the previous version's "
                  "owner, set-user-ID or set-group-ID bit and file capabilities.");
    }
    // The two kinds this file system keeps here, as the user would be told of them.
    EXPECT_EQ(engine::NotKeptMessage(runtime::kNotKeptAcl | runtime::kNotKeptAttributes),
              "Upgrade successful.\r\nThe new Orvalis.exe could not be given the previous version's "
              "access control list and extended attributes.");
    testsupport::recordChecked(
        "Real faults",
        "hard link to Orvalis.exe refused (set-user-ID root file with a capability, upgraded by another "
        "user)",
        "upgraded by trading names, Orvalis.exe there at every step, no set-user-ID bit on the "
        "user's file, the user told owner, set-user-ID bit and capabilities were not kept");
}
