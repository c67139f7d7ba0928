// The command line as the program reads and runs it, on real folders, with the failures
// that cannot be made for real from outside the program.

#include "engine/command_line.h"
#include "upgrade_fixture.h"

#include <sstream>

#include <gtest/gtest.h>

using engine::CommandLine;
using testsupport::kNewExe;
using testsupport::kOldExe;
using testsupport::Op;
using Action = CommandLine::Action;
using Names = std::vector<std::string>;

TEST(CommandLine, SwitchesInAnyFormAndCaseAndWhatIsWrong)
{
    struct Row {
        Names arguments;
        Action action;
        std::string path, logFile;
        bool quiet;
    };
    const Row rows[] = {
        {{"/upgrade", "D:\\Saved", "/quiet"}, Action::Upgrade, "D:\\Saved", "", true},
        {{"/UPGRADE", "/srv/Orvalis.ugx", "/Log", "u.log"},
         Action::Upgrade,
         "/srv/Orvalis.ugx",
         "u.log",
         false},
        {{"--restore", "-QUIET", "--log", "r.log"}, Action::Restore, "", "r.log", true},
        {{"/?"}, Action::Help, "", "", false},
        {{"--help", "/quiet", "/bogus"}, Action::Help, "", "", true},
        // Usage errors; /quiet and /log still count so the error is told as asked.
        {{}, Action::Usage, "", "", false},
        {{"/quiet", "/log", "x.log"}, Action::Usage, "", "x.log", true},
        {{"/upgrade", "/quiet"}, Action::Usage, "", "", true}, // a switch is not a value
        {{"/upgrade"}, Action::Usage, "", "", false},
        {{"/upgrade", ""}, Action::Usage, "", "", false},
        {{"/upgrade", "a", "/restore"}, Action::Usage, "a", "", false},
        {{"/upgrade", "a", "/upgrade", "b"}, Action::Usage, "b", "", false},
        {{"/restore", "/frobnicate", "/quiet"}, Action::Usage, "", "", true},
        {{"/restore", "stray"}, Action::Usage, "", "", false},
        {{"/restore", "/log", "a", "/log", "b"}, Action::Usage, "", "b", false},
        {{"/", "/restore"}, Action::Usage, "", "", false},
    };
    for (const Row& row : rows) {
        std::string shown;
        for (const auto& a : row.arguments)
            shown += "[" + a + "]";
        SCOPED_TRACE(shown);
        const CommandLine command = engine::ParseCommandLine(row.arguments);
        EXPECT_EQ(command.action, row.action);
        EXPECT_EQ(command.path, row.path);
        EXPECT_EQ(command.logFile, row.logFile);
        EXPECT_EQ(command.quiet, row.quiet);
        EXPECT_EQ(command.error.empty(), row.action != Action::Usage) << command.error;
    }
}

namespace {

struct ProgramRun {
    testsupport::UpgradeFixture f;
    std::ostringstream out, err;
    std::string log() const { return testsupport::readFile(f.tmp.path() / "run.log"); }

    ProgramRun() { f.files.setAppFolder(testsupport::pathText(f.app)); }

    int operator()(Names arguments, bool boxes)
    {
        arguments.insert(arguments.end(), {"/log", testsupport::pathText(f.tmp.path() / "run.log")});
        return engine::RunCommandLine(engine::ParseCommandLine(arguments), f.files,
                                      boxes ? &f.dialogs : nullptr, out, err,
                                      [] { return std::string("T"); });
    }
};

} // namespace

TEST(CommandLine, BoxesWithoutQuietAndTheLogAndStandardErrorWithIt)
{
    ProgramRun boxed;
    EXPECT_EQ(boxed({"/upgrade", testsupport::pathText(boxed.f.saved)}, true), engine::kExitDone);
    EXPECT_EQ(boxed.f.dialogs.messages, (Names{testsupport::kWarning, testsupport::kSuccess}));
    EXPECT_EQ(boxed.err.str(), "outcome: upgraded (exit code 0)\n");
    EXPECT_EQ(boxed.f.appFile("Orvalis.exe"), kNewExe);

    ProgramRun quiet;
    quiet.f.files.failOn(Op::FlushFolder, 1, 71);
    EXPECT_EQ(quiet({"/upgrade", testsupport::pathText(quiet.f.saved / "Orvalis.ugx"), "/quiet"}, false),
              engine::kExitUnconfirmed);
    EXPECT_EQ(quiet.err.str(),
              "The upgrade is installed, but it could not be confirmed on disk. Please do not run "
              "the upgrade again.\nContact us if you continue to have problems upgrading the "
              "software.\noutcome: installed but not confirmed on disk, do not run again (exit "
              "code 9)\n");
    const std::string app = quiet.f.state.strAppFolder;
    EXPECT_EQ(quiet.log(),
              "T upgrade from " + testsupport::pathText(quiet.f.saved / "Orvalis.ugx") +
                  "\nT application folder " + app + ", upgrade file " + quiet.f.state.strChosenFolder +
                  "Orvalis.ugx\nT copying the upgrade file into the application folder, 32 "
                  "bytes\nT flushing the copy to disk\nT comparing the copy with the upgrade "
                  "file\nT message: The upgrade is installed, but it could not be confirmed on disk. "
                  "Please do not run the upgrade again. Contact us if you continue to have problems "
                  "upgrading the software.\nT outcome: installed but not confirmed on disk, do not "
                  "run again (exit code 9)\n");
}

TEST(CommandLine, EachFailureHasItsCodeAndTheLogSaysWhatToRename)
{
    {
        ProgramRun run; // the previous version cannot be given its name back
        run.f.files.setNoHardLinks(true);
        run.f.files.setNoExchange(true);
        run.f.files.failOn(Op::RenameFile, 4, 70);
        run.f.files.failOn(Op::RenameFile, 5, 71);
        EXPECT_EQ(run({"/upgrade", testsupport::pathText(run.f.saved), "/quiet"}, false),
                  engine::kExitFailedNotPutBack);
        EXPECT_NE(
            run.log().find("T message: The upgrade failed and the previous version could not be put back. "
                           "Please rename Orvalis.old to Orvalis.exe in " +
                           run.f.state.strAppFolder),
            std::string::npos)
            << run.log();
    }
    {
        ProgramRun run; // the application folder cannot be found out: nothing touched
        run.f.files.failOn(Op::AppFolder, 1, 71);
        EXPECT_EQ(run({"/restore", "/quiet"}, false), engine::kExitFailedPutBack);
        EXPECT_EQ(run.f.appFile("Orvalis.exe"), kOldExe);
    }
    {
        ProgramRun run; // a log that cannot be kept after it began: the upgrade runs on
        run.f.files.failOn(Op::AppendText, 2, 61);
        EXPECT_EQ(run({"/upgrade", testsupport::pathText(run.f.saved), "/quiet"}, false), engine::kExitDone);
        EXPECT_EQ(run.f.appFile("Orvalis.exe"), kNewExe);
        EXPECT_NE(run.err.str().find("cannot be written: Disk full"), std::string::npos);
    }
}
