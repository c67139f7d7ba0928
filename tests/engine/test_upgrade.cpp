#include "engine/restore.h"
#include "engine/upgrade.h"
#include "support/reliability_log.h"
#include "upgrade_fixture.h"

#include <filesystem>

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using engine::SwapOutcome;
using testsupport::kFailure;
using testsupport::kNewExe;
using testsupport::kOlderExe;
using testsupport::kOldExe;
using testsupport::Op;
using testsupport::readFile;
using testsupport::UpgradeFixture;
using testsupport::writeFile;
using Names = std::vector<std::string>;

namespace {

// The three ways of keeping the old executable: a second name; trading names where the
// file system has no hard links or refuses them; two renames where it can do neither.
enum class Keep { SecondName, TradeNames, Renames };

class Swap : public ::testing::TestWithParam<Keep> {
protected:
    void SetUp() override
    {
        f.files.setNoHardLinks(GetParam() != Keep::SecondName);
        f.files.setNoExchange(GetParam() == Keep::Renames);
    }
    UpgradeFixture f;
};

INSTANTIATE_TEST_SUITE_P(Links, Swap, ::testing::Values(Keep::SecondName, Keep::TradeNames, Keep::Renames),
                         [](const auto& param) {
                             return param.param == Keep::SecondName   ? "WithHardLinks"
                                    : param.param == Keep::TradeNames ? "TradingNames"
                                                                      : "WithRenamesOnly";
                         });

} // namespace

TEST_P(Swap, CopiesTheChosenFileInAndKeepsThePreviousExecutable)
{
    writeFile(f.app / "Orvalis.old", kOlderExe);
    EXPECT_EQ(f.swap(), SwapOutcome::Upgraded);
    EXPECT_EQ(f.dialogs.messages, Names{testsupport::kSuccess});
    EXPECT_EQ(f.appNames(), (Names{"Orvalis.exe", "Orvalis.old"}));
    EXPECT_EQ(f.appFile("Orvalis.exe"), kNewExe);
    EXPECT_EQ(f.appFile("Orvalis.old"), kOldExe);
    EXPECT_EQ(readFile(f.saved / "Orvalis.ugx"), kNewExe); // the chosen file stays where it was
    EXPECT_GE(f.files.calls(Op::FlushFolder), 1);
    ASSERT_FALSE(f.dialogs.progress.empty());
    EXPECT_EQ(f.dialogs.progress.back().first, kNewExe.size());
    EXPECT_GE(f.dialogs.copyEndings, 1);
}

TEST_P(Swap, InstallsAnUpgradeFileInTheApplicationFolderWithoutCopying)
{
    fs::remove(f.saved / "Orvalis.ugx");
    writeFile(f.app / "Orvalis.ugx", kNewExe);
    f.state.strBrowseFolder = f.state.strChosenFolder = f.state.strAppFolder;
    EXPECT_EQ(f.swap(), SwapOutcome::Upgraded);
    EXPECT_EQ(f.files.calls(Op::CopyFile), 0);
    EXPECT_EQ(f.appNames(), (Names{"Orvalis.exe", "Orvalis.old"}));
    EXPECT_EQ(f.appFile("Orvalis.exe"), kNewExe);
}

TEST_P(Swap, AStaleUpgradeFileInTheApplicationFolderIsTheOneInstalled)
{
    writeFile(f.app / "Orvalis.ugx", "stale upgrade\n");
    EXPECT_EQ(f.swap(), SwapOutcome::Upgraded);
    EXPECT_EQ(f.files.calls(Op::CopyFile), 0);
    EXPECT_EQ(f.appFile("Orvalis.exe"), "stale upgrade\n");
    EXPECT_EQ(readFile(f.saved / "Orvalis.ugx"), kNewExe);
}

TEST_P(Swap, AReadOnlyHiddenOldFileIsRemovedFirst)
{
    writeFile(f.app / "Orvalis.old", kOlderExe);
    testsupport::hide(f.app / "Orvalis.old"); // where a file has a hidden attribute
    fs::permissions(f.app / "Orvalis.old", fs::perms::owner_read, fs::perm_options::replace);
    EXPECT_EQ(f.swap(), SwapOutcome::Upgraded);
    EXPECT_EQ(f.files.calls(Op::SetAttrNormal), 1);
    EXPECT_EQ(f.appFile("Orvalis.old"), kOldExe);
}

TEST_P(Swap, WithoutAnExecutableOnlyAnInterruptedInstallIsFinished)
{
    // What a crash between the last two renames leaves: the previous version as "Orvalis.old"
    // and the verified upgrade file as "Orvalis.ugx". Either of them alone is not that.
    struct Row {
        bool old, upgrade;
    };
    for (const Row row : {Row{true, false}, Row{false, true}, Row{true, true}}) {
        SCOPED_TRACE(std::to_string(row.old) + std::to_string(row.upgrade));
        UpgradeFixture g;
        g.files.setNoHardLinks(GetParam() != Keep::SecondName);
        g.files.setNoExchange(GetParam() == Keep::Renames);
        fs::remove(g.app / "Orvalis.exe");
        if (row.old)
            writeFile(g.app / "Orvalis.old", kOldExe);
        if (row.upgrade)
            writeFile(g.app / "Orvalis.ugx", kNewExe);
        const Names before = g.appNames();
        if (row.old && row.upgrade) {
            EXPECT_EQ(g.swap(), SwapOutcome::Upgraded);
            EXPECT_EQ(g.dialogs.messages, Names{testsupport::kCompleted});
            EXPECT_EQ(g.appNames(), (Names{"Orvalis.exe", "Orvalis.old"}));
            EXPECT_EQ(g.appFile("Orvalis.exe"), kNewExe);
            EXPECT_EQ(g.appFile("Orvalis.old"), kOldExe);
            EXPECT_EQ(g.files.calls(Op::RenameFile), 1);
            EXPECT_GE(g.files.calls(Op::FlushFolder), 1);
        } else {
            EXPECT_EQ(g.swap(), SwapOutcome::ExeNotFound);
            EXPECT_EQ(g.dialogs.messages, Names{kFailure});
            EXPECT_EQ(g.appNames(), before);
        }
        EXPECT_EQ(g.files.calls(Op::CopyFile), 0);
    }
}

TEST_P(Swap, WithoutAnUpgradeFileNothingIsTouched)
{
    fs::remove(f.saved / "Orvalis.ugx");
    writeFile(f.app / "Orvalis.old", kOlderExe);
    EXPECT_EQ(f.swap(), SwapOutcome::UpgradeNotFound);
    EXPECT_EQ(f.dialogs.messages, Names{kFailure});
    EXPECT_EQ(f.appNames(), (Names{"Orvalis.exe", "Orvalis.old"}));
    EXPECT_EQ(f.appFile("Orvalis.exe"), kOldExe);
    EXPECT_EQ(f.appFile("Orvalis.old"), kOlderExe);
}

TEST_P(Swap, WhileOrvalisRunsNothingIsTouchedAndTheUserIsToldWhich)
{
    for (const auto& [running, message] :
         {std::pair{runtime::FileInUse{true, "Orvalis.exe", 4242},
                    "Orvalis is still running. Close it, then click OK again.\r\nIt runs as Orvalis.exe, "
                    "process 4242."},
          {runtime::FileInUse{true, "", 0}, "Orvalis is still running. Close it, then click OK again."}}) {
        f.files.setInUse(running);
        EXPECT_EQ(f.swap(), SwapOutcome::StillRunning);
        EXPECT_EQ(f.dialogs.messages.back(), message);
        EXPECT_EQ(f.appNames(), Names{"Orvalis.exe"});
        EXPECT_EQ(f.files.calls(Op::CopyFile) + f.files.calls(Op::LinkFile) + f.files.calls(Op::RenameFile),
                  0);
    }
}

TEST_P(Swap, ANameDifferingOnlyInLetterCaseIsNotTheUpgradeFile)
{
    for (const char* name : {"orvalis.ugx", "Orvalis.UGX", "Other.ugx", ""}) {
        f.state.strChosenFile = name;
        EXPECT_EQ(f.swap(), SwapOutcome::NotChosen);
        EXPECT_EQ(f.dialogs.messages.back(), "Please choose the upgrade file Orvalis.ugx.");
        EXPECT_EQ(f.appNames(), Names{"Orvalis.exe"});
    }
    EXPECT_EQ(f.files.log(), Names{}); // not even looked at
}

TEST_P(Swap, ALeftOverPartialCopyIsRemovedBeforeCopying)
{
    writeFile(f.app / ".Orvalis.ugx.part", "half");
    EXPECT_EQ(f.swap(), SwapOutcome::Upgraded);
    EXPECT_EQ(f.appNames(), (Names{"Orvalis.exe", "Orvalis.old"}));
}

TEST_P(Swap, AnOldFileThatCannotBeRemovedIsReportedAndNothingIsLost)
{
    writeFile(f.app / "Orvalis.old", kOlderExe);
    f.files.failOn(Op::DeleteFile, 1, 70);
    EXPECT_EQ(f.swap(), SwapOutcome::Failed);
    EXPECT_EQ(
        f.dialogs.messages,
        (Names{"An Error occurred trying to delete the file.\r\nNumber: 70\r\nDescription: Permission denied",
               kFailure}));
    EXPECT_EQ(f.appNames(), (Names{"Orvalis.exe", "Orvalis.old"}));
    EXPECT_EQ(f.appFile("Orvalis.exe"), kOldExe);
    EXPECT_EQ(f.appFile("Orvalis.old"), kOlderExe);
}

TEST_P(Swap, PressingOkAgainAfterAFailureLosesNothing)
{
    // The step that would install the upgrade.
    if (GetParam() == Keep::SecondName)
        f.files.failOn(Op::ReplaceFile, 1, 70);
    else if (GetParam() == Keep::TradeNames)
        f.files.failOn(Op::ExchangeFiles, 1, 70);
    else
        f.files.failOn(Op::RenameFile, 4,
                       70); // after the trade was refused and put back, and the rename of .exe

    EXPECT_EQ(f.swap(), SwapOutcome::Failed);
    EXPECT_EQ(f.appNames(), Names{"Orvalis.exe"});
    EXPECT_EQ(f.appFile("Orvalis.exe"), kOldExe);
    EXPECT_EQ(f.swap(), SwapOutcome::Upgraded);
    EXPECT_EQ(f.appFile("Orvalis.exe"), kNewExe);
    EXPECT_EQ(f.appFile("Orvalis.old"), kOldExe);
}

TEST(SwapLock, ASecondSwapOfTheSameFolderIsToldAndTouchesNothing)
{
    UpgradeFixture f;
    auto held = f.real.lockFolder(f.state.strAppFolder); // as another instance would
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(f.swap(), SwapOutcome::Busy);
    EXPECT_EQ(f.dialogs.messages,
              Names{"Another upgrade of this folder is running. Wait for it to finish, then try again."});
    EXPECT_EQ(f.files.log(), Names{"lockFolder " + f.state.strAppFolder});
    EXPECT_EQ(f.appNames(), Names{"Orvalis.exe"});
    held.reset(); // the other one is done
    EXPECT_EQ(f.swap(), SwapOutcome::Upgraded);
    EXPECT_NE(f.real.lockFolder(f.state.strAppFolder), nullptr); // and the swap let go of it too
}

TEST(SwapCheck, ACopyThatDiffersFromTheSourceIsNeverInstalled)
{
    // A disk that gives back other bytes than it was given, and a source rewritten during the
    // copy where its stamp does not tell (through a shared mapping).
    for (const bool damagingDisk : {true, false}) {
        SCOPED_TRACE(damagingDisk ? "damaging disk" : "source changed unseen");
        UpgradeFixture f;
        f.files.setDamagingDisk(damagingDisk);
        f.files.setSourceChangedUnseen(!damagingDisk);
        EXPECT_EQ(f.swap(), SwapOutcome::Failed);
        EXPECT_EQ(f.dialogs.messages, Names{kFailure});
        EXPECT_EQ(f.appNames(), Names{"Orvalis.exe"});
        EXPECT_EQ(f.appFile("Orvalis.exe"), kOldExe);
        testsupport::recordCase("Fault matrix (stand-in)",
                                damagingDisk
                                    ? "a disk that gives back other bytes than it was given"
                                    : "the source changed during the copy where its stamp does not tell",
                                "refused with the failure message, nothing installed",
                                "SwapCheck.ACopyThatDiffersFromTheSourceIsNeverInstalled", 1,
                                f.appFile("Orvalis.exe") == kOldExe ? 0 : 1);
    }
}

TEST(SwapCheck, AnUpgradeAlreadyInstalledChangesNothing)
{
    // As after a crash that came after the install: swapping again would make the new
    // executable "Orvalis.old" and throw the previous version away.
    for (const bool inPlace : {false, true}) {
        SCOPED_TRACE(inPlace ? "in place" : "copied");
        UpgradeFixture f;
        writeFile(f.app / "Orvalis.exe", kNewExe);
        writeFile(f.app / "Orvalis.old", kOldExe);
        if (inPlace) {
            fs::remove(f.saved / "Orvalis.ugx");
            writeFile(f.app / "Orvalis.ugx", kNewExe);
        }
        const Names before = f.appNames();
        EXPECT_EQ(f.swap(), SwapOutcome::AlreadyInstalled);
        EXPECT_EQ(f.dialogs.messages, Names{testsupport::kAlreadyInstalled});
        EXPECT_EQ(f.appNames(), before);
        EXPECT_EQ(f.appFile("Orvalis.old"), kOldExe);
        EXPECT_EQ(f.files.calls(Op::CopyFile), 0);
        testsupport::recordCase("Fault matrix (stand-in)",
                                std::string("the upgrade already installed, run again (") +
                                    (inPlace ? "in place" : "copied") + ")",
                                "nothing changed, \"This upgrade is already installed.\"",
                                "SwapCheck.AnUpgradeAlreadyInstalledChangesNothing", 1,
                                f.appFile("Orvalis.old") == kOldExe ? 0 : 1);
    }
    // The same size is not the same file.
    UpgradeFixture f;
    std::string almost = kNewExe;
    almost.back() = '!';
    writeFile(f.app / "Orvalis.exe", almost);
    EXPECT_EQ(f.swap(), SwapOutcome::Upgraded);
    EXPECT_EQ(f.dialogs.messages, Names{testsupport::kSuccess});
    EXPECT_EQ(f.appFile("Orvalis.exe"), kNewExe);
    EXPECT_EQ(f.appFile("Orvalis.old"), almost);
}

TEST_P(Swap, PuttingTheOldFileBackKeepsAFileOfItsOwnUnderTheWaitingName)
{
    // A run cut short left a waiting name, and an upgrade came before the next run: the
    // waiting file is then not a second name of "Orvalis.exe", and not the run's to remove.
    writeFile(f.app / "Orvalis.exe", kNewExe);
    writeFile(f.app / "Orvalis.old", kOldExe);
    writeFile(f.app / engine::kRestoreName, kOlderExe);
    const SwapOutcome outcome = engine::RestoreExecutable(f.state.strAppFolder, f.files, f.dialogs);
    EXPECT_EQ(f.appFile(engine::kRestoreName), kOlderExe);
    const bool back = outcome == SwapOutcome::Upgraded; // else refused, with nothing changed
    EXPECT_TRUE(back || outcome == SwapOutcome::Failed);
    EXPECT_EQ(f.appFile("Orvalis.exe"), back ? kOldExe : kNewExe);
    EXPECT_EQ(f.appFile("Orvalis.old"), back ? kNewExe : kOldExe);
}

TEST(Swap, PuttingBackASecondNameOfTheExecutableIsRefusedAndKeepsTheVersion)
{
    // What a swap or a /restore cut short right after its second name leaves, the waiting
    // name with "Orvalis.old" removed since: one version under two names, nothing to put back.
    for (const std::string second : {"Orvalis.old", engine::kRestoreName}) {
        SCOPED_TRACE(second);
        UpgradeFixture f;
        fs::create_hard_link(f.app / "Orvalis.exe", f.app / second);
        EXPECT_EQ(engine::RestoreExecutable(f.state.strAppFolder, f.files, f.dialogs),
                  SwapOutcome::UpgradeNotFound);
        const bool old = second == "Orvalis.old";
        EXPECT_EQ(f.dialogs.messages, Names{old ? engine::kMsgOldIsCurrent : engine::kMsgNothingToRestore});
        EXPECT_EQ(f.appNames(), old ? (Names{"Orvalis.exe", "Orvalis.old"}) : Names{"Orvalis.exe"});
        EXPECT_EQ(f.appFile("Orvalis.exe"), kOldExe);
    }
}

TEST(Swap, TheUndoLeavesAFileAnotherProgramPutWhereTheCopyWas)
{
    // The copy is in the folder, then another program puts a file of its own under its name
    // before a later step fails: that file is not this run's to remove.
    const std::string kTheirs = "another program's upgrade file\n";
    UpgradeFixture f;
    f.files.failOn(Op::LinkFile, 1, 70);
    f.files.failOn(Op::ExchangeFiles, 1, 70);
    f.files.onCall = [&](const std::string& line) {
        if (line.rfind(testsupport::opName(Op::LinkFile), 0) == 0 ||
            line.rfind(testsupport::opName(Op::ExchangeFiles), 0) == 0) {
            fs::remove(f.app / "Orvalis.ugx");
            writeFile(f.app / "Orvalis.ugx", kTheirs);
        }
    };
    EXPECT_EQ(f.swap(), SwapOutcome::Failed);
    EXPECT_EQ(f.appFile("Orvalis.exe"), kOldExe);
    EXPECT_EQ(f.appFile("Orvalis.ugx"), kTheirs);
}

TEST(SwapLock, TheLoserOfTwoSwapsThatBothGotTheLockNeverThrowsAVersionAway)
{
    // Where a folder reached by two paths once got two locks, a second swap ran while the
    // first was paused between two of its steps. The first one's undo must then leave the
    // files as the second left them: its "Orvalis.old" may be the only previous version.
    const std::string kWinners = "the other swap's upgrade\n";
    struct Row {
        const char* what;
        bool hardLinks;
        Op pausedAt;
        const char* changed; // the file the undo finds changed first
    };
    for (const Row& row :
         {Row{"with a second name made", true, Op::MatchPermissions, "Orvalis.exe"},
          Row{"with the upgrade file named Orvalis.old", false, Op::ExchangeFiles, "Orvalis.old"}}) {
        SCOPED_TRACE(row.what);
        UpgradeFixture f;
        f.files.setNoHardLinks(!row.hardLinks);
        bool stepped = false;
        f.files.onCall = [&](const std::string& line) {
            if (stepped || line.rfind(testsupport::opName(row.pausedAt), 0) != 0)
                return;
            stepped = true; // the other swap, from start to end, with its own upgrade file
            fs::remove(f.app / "Orvalis.old");
            fs::rename(f.app / "Orvalis.exe", f.app / "Orvalis.old");
            writeFile(f.app / "Orvalis.exe", kWinners);
            fs::remove(f.app / "Orvalis.ugx");
        };
        EXPECT_EQ(f.swap(), SwapOutcome::NotRestored);
        ASSERT_TRUE(stepped);
        EXPECT_EQ(f.dialogs.messages, Names{engine::ChangedMeanwhileMessage(row.changed)});
        // Both versions the folder had are still there, under whichever name.
        const std::string exe = f.appFile("Orvalis.exe"), old = f.appFile("Orvalis.old");
        EXPECT_TRUE((exe == kWinners && old == kOldExe) || (exe == kOldExe && old == kWinners)) << exe << old;
    }
    EXPECT_EQ(engine::ChangedMeanwhileMessage("Orvalis.old"),
              "The upgrade failed, and Orvalis.old was changed by another program while the upgrade ran, so "
              "it was left as it is.\r\nContact us if you continue to have problems upgrading the software.");
}
