// Makes every file operation of the swap fail in turn, in every situation the swap
// meets, and checks that the user is told and loses nothing.

#include "engine/mod_no_case.h"
#include "engine/restore.h"
#include "engine/upgrade.h"
#include "support/reliability_log.h"
#include "upgrade_fixture.h"

#include <filesystem>
#include <map>

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using engine::SwapOutcome;
using testsupport::kFailure;
using testsupport::kNewExe;
using testsupport::kOlderExe;
using testsupport::kOldExe;
using testsupport::Op;
using testsupport::UpgradeFixture;
using testsupport::writeFile;
using Names = std::vector<std::string>;

namespace {

struct Situation {
    bool inPlace;     // the upgrade file already lies in the application folder
    bool olderExists; // an "Orvalis.old" from an earlier upgrade
    bool noHardLinks;
    bool noExchange;     // nor trading names
    bool restore{false}; // puts "Orvalis.old" back instead of swapping
};

std::string describe(const Situation& s)
{
    if (s.restore)
        return std::string("putting Orvalis.old back") + (s.noHardLinks ? ", no hard links" : "") +
               (s.noExchange ? ", no trading names" : "");
    return std::string(s.inPlace ? "in place" : "copied") + (s.olderExists ? ", older .old" : "") +
           (s.noHardLinks ? ", no hard links" : "") + (s.noExchange ? ", no trading names" : "");
}

void prepare(UpgradeFixture& f, const Situation& s)
{
    f.files.setNoHardLinks(s.noHardLinks);
    f.files.setNoExchange(s.noExchange);
    if (s.restore) { // the upgrade installed, the previous version beside it
        writeFile(f.app / "Orvalis.exe", kNewExe);
        writeFile(f.app / "Orvalis.old", kOldExe);
        return;
    }
    if (s.olderExists)
        writeFile(f.app / "Orvalis.old", kOlderExe);
    if (s.inPlace) {
        fs::remove(f.saved / "Orvalis.ugx");
        writeFile(f.app / "Orvalis.ugx", kNewExe);
    }
}

SwapOutcome run(UpgradeFixture& f, const Situation& s)
{
    return s.restore ? engine::RestoreExecutable(f.state.strAppFolder, f.files, f.dialogs) : f.swap();
}

// A failed step of putting "Orvalis.old" back: undone and told, or, once the previous
// version has its name back, told what is left to do; both versions kept either way.
void checkRestoreFault(UpgradeFixture& f, Op op, SwapOutcome outcome)
{
    if (outcome == SwapOutcome::InstalledButFailed) {
        EXPECT_TRUE(op == Op::FlushFolder || op == Op::RenameFile);
        EXPECT_EQ(f.appFile("Orvalis.exe"), kOldExe);
        if (op == Op::FlushFolder) {
            EXPECT_EQ(f.dialogs.messages, Names{testsupport::kRestoredUnconfirmed});
            EXPECT_EQ(f.appFile("Orvalis.old"), kNewExe);
        } else {
            EXPECT_EQ(f.dialogs.messages, Names{engine::ReplacedNotKeptMessage(f.state.strAppFolder)});
            EXPECT_EQ(f.appFile(engine::kRestoreName), kNewExe);
        }
        return;
    }
    EXPECT_EQ(outcome, SwapOutcome::Failed);
    EXPECT_EQ(f.dialogs.messages, Names{testsupport::kRestoreFailure});
    EXPECT_EQ(f.appNames(), (Names{"Orvalis.exe", "Orvalis.old"}));
    EXPECT_EQ(f.appFile("Orvalis.exe"), kNewExe);
    EXPECT_EQ(f.appFile("Orvalis.old"), kOldExe);
}

// Each call of a clean run as (operation, n-th call of it).
std::vector<std::pair<Op, int>> callsOfACleanRun(const Situation& s)
{
    UpgradeFixture f;
    prepare(f, s);
    EXPECT_EQ(run(f, s), SwapOutcome::Upgraded);
    std::vector<std::pair<Op, int>> calls;
    std::map<std::string, int> seen;
    for (const std::string& line : f.files.log()) {
        const std::string name = line.substr(0, line.find(' '));
        for (Op op : {Op::LockFolder, Op::DirSearch, Op::IsRegularFile, Op::FileInfo, Op::SetAttrNormal,
                      Op::DeleteFile, Op::RenameFile, Op::LinkFile, Op::ReplaceFile, Op::ExchangeFiles,
                      Op::CopyFile, Op::MatchPermissions, Op::FlushFolder, Op::FileInUse}) {
            if (name == testsupport::opName(op))
                calls.emplace_back(op, ++seen[name]);
        }
    }
    return calls;
}

struct Fault {
    int number;
    const char* description;
};
const Fault kFaults[] = {
    {53, "File not found"},
    {70, "Permission denied"},
    {61, "Disk full"},
    {70, "The process cannot access the file because it is being used by another process"},
    {71, "Disk not ready"}};

} // namespace

TEST(SwapFaults, EveryFailingOperationIsReportedAndLosesNothing)
{
    int runs = 0;
    std::vector<Situation> situations;
    for (bool inPlace : {false, true})
        for (bool olderExists : {false, true})
            for (const auto& [noHardLinks, noExchange] :
                 {std::pair{false, false}, {true, false}, {true, true}})
                situations.push_back({inPlace, olderExists, noHardLinks, noExchange});
    for (const auto& [noHardLinks, noExchange] : {std::pair{false, false}, {false, true}, {true, true}})
        situations.push_back({false, false, noHardLinks, noExchange, true});
    for (const Situation& s : situations) {
        const bool inPlace = s.inPlace;
        const auto calls = callsOfACleanRun(s);
        const int runsBefore = runs;
        const int failuresBefore =
            ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
        ASSERT_FALSE(calls.empty());
        for (const auto& [op, nth] : calls)
            for (const Fault& fault : kFaults) {
                SCOPED_TRACE(describe(s) + ": " + testsupport::opName(op) + " #" + std::to_string(nth) +
                             " fails with " + std::to_string(fault.number));
                UpgradeFixture f;
                prepare(f, s);
                f.files.failOn(op, nth, fault.number, fault.description);
                ++runs;
                const SwapOutcome outcome = run(f, s);
                ASSERT_FALSE(f.dialogs.messages.empty());
                if (s.restore) {
                    checkRestoreFault(f, op, outcome);
                    continue;
                }
                if (op == Op::FlushFolder || outcome == SwapOutcome::InstalledButFailed) {
                    // Failed after the upgrade was in place (the flush, or the look that
                    // confirms it): it stays, and the user is told not to swap again.
                    EXPECT_TRUE(op == Op::FlushFolder || op == Op::FileInfo);
                    EXPECT_EQ(outcome, SwapOutcome::InstalledButFailed);
                    EXPECT_EQ(f.dialogs.messages, Names{testsupport::kInstalledUnconfirmed});
                    EXPECT_EQ(f.appFile("Orvalis.exe"), kNewExe);
                    EXPECT_EQ(f.appFile("Orvalis.old"), kOldExe);
                    continue;
                }
                ASSERT_EQ(outcome, SwapOutcome::Failed);
                EXPECT_EQ(f.dialogs.messages.back(), kFailure);
                if (f.dialogs.messages.size() == 2) {
                    EXPECT_EQ(f.dialogs.messages[0],
                              modNoCase::RemoveFailedMessage(fault.number, fault.description));
                }
                EXPECT_LE(f.dialogs.messages.size(), 2u);

                if (!inPlace) {
                    EXPECT_EQ(testsupport::readFile(f.saved / "Orvalis.ugx"), kNewExe);
                }
                EXPECT_EQ(f.appFile("Orvalis.exe"), kOldExe);
                if (inPlace) { // the user's upgrade file is untouched
                    EXPECT_EQ(f.appFile("Orvalis.ugx"), kNewExe);
                }
                Names allowed{"Orvalis.exe"};
                if (inPlace)
                    allowed.push_back("Orvalis.ugx");
                if (fs::exists(f.app / "Orvalis.old")) {
                    EXPECT_EQ(f.appFile("Orvalis.old"), kOlderExe); // never a half state
                    allowed.insert(allowed.begin() + 1, "Orvalis.old");
                }
                EXPECT_EQ(f.appNames(), allowed);
            }
        const bool clean =
            ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count() ==
            failuresBefore;
        testsupport::recordCase(
            "Fault matrix (stand-in)",
            describe(s) + ": each of " + std::to_string(calls.size()) +
                " operations failing with not found, permission denied, disk full, "
                "busy, I/O error",
            clean && s.restore
                ? "failure message, both versions intact (after Orvalis.old is back as Orvalis.exe: "
                  "told what is left to do)"
            : clean ? "failure message; original Orvalis.exe and upgrade file intact (a failed final "
                      "flush: the upgrade in place, both versions kept, the user told not to swap again)"
                    : "CHECK FAILED",
            "SwapFaults.EveryFailingOperationIsReportedAndLosesNothing", runs - runsBefore, clean ? 0 : 1);
    }
    std::printf("fault runs: %d\n", runs);
}

TEST(SwapFaults, WhenPuttingTheOldExecutableBackFailsTheUserIsToldWhatToDo)
{
    UpgradeFixture f;
    f.files.setNoHardLinks(true);
    f.files.setNoExchange(true);
    // Renames: the upgrade to "Orvalis.old" for a trade that is refused, back, "Orvalis.exe"
    // to "Orvalis.old", then the upgrade to "Orvalis.exe", which fails, and back.
    f.files.failOn(Op::RenameFile, 4, 70);
    f.files.failOn(Op::RenameFile, 5, 71);
    EXPECT_EQ(f.swap(), SwapOutcome::NotRestored);
    EXPECT_EQ(f.dialogs.messages,
              Names{"The upgrade failed and the previous version could not be put back.\r\n"
                    "Please rename Orvalis.old to Orvalis.exe in " +
                    f.state.strAppFolder + testsupport::kContactUs});
    EXPECT_EQ(f.appFile("Orvalis.old"), kOldExe);
    EXPECT_FALSE(fs::exists(f.app / "Orvalis.exe"));
}

TEST(SwapFaults, WithASecondNameTheExecutableIsNeverMissingSoAFailedUndoNeedsNoHelp)
{
    UpgradeFixture f;
    f.files.failOn(Op::ReplaceFile, 1, 70);
    f.files.failOn(Op::DeleteFile, 1, 70); // the second name stays behind
    EXPECT_EQ(f.swap(), SwapOutcome::Failed);
    EXPECT_EQ(f.dialogs.messages, Names{kFailure});
    EXPECT_EQ(f.appFile("Orvalis.exe"), kOldExe);
}

TEST(SwapFaults, WhenTheUpgradeCannotTakeBackItsNameAfterAFailedTradeTheExecutableStays)
{
    UpgradeFixture f;
    f.files.setNoHardLinks(true);
    f.files.failOn(Op::ExchangeFiles, 1, 71);
    f.files.failOn(Op::RenameFile, 2, 71); // "Orvalis.old" back to "Orvalis.ugx"
    EXPECT_EQ(f.swap(), SwapOutcome::Failed);
    EXPECT_EQ(f.dialogs.messages, Names{kFailure});
    EXPECT_EQ(f.appFile("Orvalis.exe"), kOldExe);
    EXPECT_EQ(f.appFile("Orvalis.old"), kNewExe); // the verified copy, which the next run removes
    EXPECT_EQ(f.swap(), SwapOutcome::Upgraded);
    EXPECT_EQ(f.appFile("Orvalis.exe"), kNewExe);
    EXPECT_EQ(f.appFile("Orvalis.old"), kOldExe);
}
