// Kills a real swap, with the real services, at every step and inside the copy, and
// checks after each kill that the application still has a whole "Orvalis.exe" and that
// nothing the next run would install is partial.

#include "engine/restore.h"
#include "engine/upgrade.h"
#include "runtime/posix/posix_file_services.h"
#include "support/faulty_file_services.h"
#include "support/recording_dialogs.h"
#include "support/reliability_log.h"
#include "support/temp_folder.h"
#include "upgrade_fixture.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using engine::SwapOutcome;
using runtime::PosixFileServices;
using testsupport::kOlderExe;
using testsupport::kOldExe;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

// Real services that kill their own process at a chosen moment: before or after the n-th
// file operation, or before the n-th step of the copy on its files. SIGKILL gives the
// process no chance to tidy up, as with a crash or a power cut before the disk cache matters.
struct KillingServices {
    enum class When { Never, Before, After, InCopy };

    PosixFileServices real;
    testsupport::FaultyFileServices files{real};
    int operations{0};
    std::atomic<int> copySteps{0};

    KillingServices(PosixFileServices::Options options, When when, int nth) : real(options)
    {
        files.onCall = [this, when, nth](const std::string&) {
            if (++operations == nth && when == When::Before)
                ::kill(::getpid(), SIGKILL);
        };
        files.afterCall = [this, when, nth] {
            if (operations == nth && when == When::After)
                ::kill(::getpid(), SIGKILL);
        };
        files.onCopyStep = [this, when, nth] {
            if (++copySteps == nth && when == When::InCopy)
                ::kill(::getpid(), SIGKILL);
        };
    }
};

struct Situation {
    const char* name;
    PosixFileServices::Options options;
    bool inPlace;
    bool olderExists;
    bool restore{false}; // puts "Orvalis.old" back instead of swapping
};

struct Layout {
    testsupport::TempFolder tmp;
    fs::path app = tmp.mkdir("app");
    fs::path saved = tmp.mkdir("saved");
    std::string upgrade;
    engine::BrowseState state;

    Layout(const Situation& s, const std::string& bytes) : upgrade(bytes)
    {
        if (s.restore) { // the upgrade installed, the previous version beside it
            writeFile(app / "Orvalis.exe", upgrade);
            writeFile(app / "Orvalis.old", kOldExe);
            state.strAppFolder = app.string() + "/";
            return;
        }
        writeFile(app / "Orvalis.exe", kOldExe);
        if (s.olderExists)
            writeFile(app / "Orvalis.old", kOlderExe);
        writeFile((s.inPlace ? app : saved) / "Orvalis.ugx", upgrade);
        state.strAppFolder = app.string() + "/";
        state.strBrowseFolder = state.strChosenFolder = (s.inPlace ? app : saved).string() + "/";
        state.strChosenFile = "Orvalis.ugx";
    }
};

// Runs the swap in a child that kills itself as `when`/`nth` say; true when it was killed.
bool swapKilled(const Situation& s, Layout& layout, KillingServices::When when, int nth)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        KillingServices killing(s.options, when, nth);
        testsupport::RecordingDialogs dialogs;
        if (s.restore)
            engine::RestoreExecutable(layout.state.strAppFolder, killing.files, dialogs);
        else
            engine::SwapExecutable(layout.state, killing.files, dialogs);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

// After a kill while putting "Orvalis.old" back: both versions whole under the names
// "Orvalis.exe", "Orvalis.old" and the waiting name, "Orvalis.exe" missing only where the
// disk can neither trade names nor link. Returns the number of files lost.
int checkRestoreAfterKill(const Situation& s, const Layout& layout)
{
    std::vector<std::string> held;
    for (const auto& name : testsupport::listNames(layout.app)) {
        EXPECT_TRUE(name == "Orvalis.exe" || name == "Orvalis.old" || name == engine::kRestoreName)
            << "left over: " << name;
        held.push_back(readFile(layout.app / name));
    }
    if (!fs::exists(layout.app / "Orvalis.exe") && (s.options.useHardLinks || s.options.useExchange))
        ADD_FAILURE() << "no Orvalis.exe";
    int lost = 0;
    for (const std::string& version : {kOldExe, layout.upgrade}) {
        if (std::find(held.begin(), held.end(), version) == held.end()) {
            ADD_FAILURE() << "a version is gone (" << version.size() << " bytes)";
            ++lost;
        }
    }
    return lost;
}

// The state a kill may leave behind; returns the number of files lost (0 when all is well).
int checkAfterKill(const Situation& s, const Layout& layout)
{
    if (s.restore)
        return checkRestoreAfterKill(s, layout);
    int lost = 0;
    const fs::path exe = layout.app / "Orvalis.exe";
    if (!fs::exists(exe)) {
        // Without hard links or trading names the previous executable is renamed before the
        // new one takes its name; a kill between the two leaves both whole, under their other names.
        if (s.options.useHardLinks || s.options.useExchange) {
            ADD_FAILURE() << "no Orvalis.exe";
            return 1;
        }
        const bool whole =
            fs::exists(layout.app / "Orvalis.old") && readFile(layout.app / "Orvalis.old") == kOldExe &&
            fs::exists(layout.app / "Orvalis.ugx") && readFile(layout.app / "Orvalis.ugx") == layout.upgrade;
        EXPECT_TRUE(whole) << "without Orvalis.exe, Orvalis.old and Orvalis.ugx must both be whole";
        return whole ? 0 : 1;
    }
    const std::string exeBytes = readFile(exe);
    // Without hard links the upgrade file is "Orvalis.old" for a moment before it trades names
    // with the untouched executable (or is given its name back where it cannot); the next
    // run removes it like any "Orvalis.old".
    if (!s.options.useHardLinks && exeBytes == kOldExe && !fs::exists(layout.app / "Orvalis.ugx") &&
        fs::exists(layout.app / "Orvalis.old") && readFile(layout.app / "Orvalis.old") == layout.upgrade)
        return 0;
    if (exeBytes != kOldExe && exeBytes != layout.upgrade) {
        ADD_FAILURE() << "Orvalis.exe is neither the old nor the new one (" << exeBytes.size() << " bytes)";
        ++lost;
    }
    if (fs::exists(layout.app / "Orvalis.ugx") && readFile(layout.app / "Orvalis.ugx") != layout.upgrade) {
        ADD_FAILURE() << "a partial Orvalis.ugx would be installed next time";
        ++lost;
    }
    if (fs::exists(layout.app / "Orvalis.old")) {
        const std::string old = readFile(layout.app / "Orvalis.old");
        EXPECT_TRUE(old == kOldExe || (s.olderExists && old == kOlderExe))
            << "Orvalis.old is " << old.size() << " bytes";
    }
    if (!s.inPlace) {
        EXPECT_EQ(readFile(layout.saved / "Orvalis.ugx"), layout.upgrade)
            << "the user's upgrade file changed";
    }
    for (const auto& name : testsupport::listNames(layout.app)) {
        const bool expected = name == "Orvalis.exe" || name == "Orvalis.old" || name == "Orvalis.ugx" ||
                              (name == engine::kPartName && !s.options.useTmpFile);
        EXPECT_TRUE(expected) << "left over: " << name;
    }
    return lost;
}

// After a kill, running the swap again completes or fails cleanly; a kill that left no
// "Orvalis.exe" is finished with one rename, and the user told so.
void checkSecondRun(const Situation& s, const Layout& layout)
{
    const fs::path exePath = layout.app / "Orvalis.exe";
    const bool installed = fs::exists(exePath) && readFile(exePath) == layout.upgrade;
    const bool interrupted = !fs::exists(layout.app / "Orvalis.exe");
    PosixFileServices files(s.options);
    testsupport::RecordingDialogs dialogs;
    if (s.restore) {
        // Finishes or puts back what the kill cut short, then trades the two versions (or
        // has traded them already): both whole, under the two names only.
        EXPECT_EQ(engine::RestoreExecutable(layout.state.strAppFolder, files, dialogs),
                  SwapOutcome::Upgraded);
        EXPECT_EQ(testsupport::listNames(layout.app),
                  (std::vector<std::string>{"Orvalis.exe", "Orvalis.old"}));
        const std::string exe = readFile(layout.app / "Orvalis.exe"),
                          old = readFile(layout.app / "Orvalis.old");
        EXPECT_TRUE((exe == kOldExe && old == layout.upgrade) || (exe == layout.upgrade && old == kOldExe));
        return;
    }
    const SwapOutcome outcome = engine::SwapExecutable(layout.state, files, dialogs);
    ASSERT_FALSE(dialogs.messages.empty());
    if (interrupted) {
        EXPECT_EQ(outcome, SwapOutcome::Upgraded);
        EXPECT_EQ(dialogs.messages, std::vector<std::string>{testsupport::kCompleted});
        EXPECT_EQ(readFile(layout.app / "Orvalis.exe"), layout.upgrade);
        EXPECT_EQ(readFile(layout.app / "Orvalis.old"), kOldExe);
        return;
    }
    if (outcome == SwapOutcome::AlreadyInstalled) {
        EXPECT_TRUE(installed);
        // Swapping again would have thrown the previous version away.
        EXPECT_EQ(dialogs.messages.back(), testsupport::kAlreadyInstalled);
        EXPECT_EQ(readFile(layout.app / "Orvalis.old"), kOldExe);
    } else if (outcome == SwapOutcome::Upgraded) {
        EXPECT_EQ(dialogs.messages.back(), testsupport::kSuccess);
        EXPECT_EQ(readFile(layout.app / "Orvalis.exe"), layout.upgrade);
    } else {
        // Only an upgrade file that the first run already installed, or was about to trade
        // names with the executable, can be missing now.
        EXPECT_EQ(dialogs.messages.back(), testsupport::kFailure);
        EXPECT_TRUE(s.inPlace);
        const std::string exe = readFile(layout.app / "Orvalis.exe");
        EXPECT_TRUE(exe == layout.upgrade || (!s.options.useHardLinks && exe == kOldExe &&
                                              readFile(layout.app / "Orvalis.old") == layout.upgrade));
    }
    EXPECT_FALSE(fs::exists(layout.app / engine::kPartName));
}

const Situation kSituations[] = {
    {"copy into a folder with unnamed files", {true, true, true, true}, false, true},
    {"copy with a named partial file", {false, true, true, true}, false, false},
    {"copy with hard links refused, trading names", {true, true, false, true}, false, true},
    {"copy without hard links or trading names", {false, false, false, false}, false, true},
    {"upgrade file already in place", {true, true, true, true}, true, true},
    {"in place with hard links refused, trading names", {true, true, false, true}, true, false},
    {"in place without hard links or trading names", {true, false, false, false}, true, false},
    {"putting Orvalis.old back, trading names", {true, true, true, true}, false, false, true},
    {"putting Orvalis.old back with a second name", {true, true, true, false}, false, false, true},
    {"putting Orvalis.old back without hard links or trading names",
     {true, true, false, false},
     false,
     false,
     true},
};

} // namespace

TEST(Crash, KilledBeforeAndAfterEveryStepAndInsideTheCopy)
{
    const std::string bytes = testsupport::patternedBytes(17u << 20); // two chunks of the copy
    int totalKills = 0, totalLost = 0;
    for (const Situation& s : kSituations) {
        SCOPED_TRACE(s.name);
        // A clean run tells how many steps and progress reports there are.
        int steps = 0, reports = 0;
        {
            Layout layout(s, bytes);
            KillingServices counter(s.options, KillingServices::When::Never, 0);
            testsupport::RecordingDialogs dialogs;
            ASSERT_EQ(s.restore ? engine::RestoreExecutable(layout.state.strAppFolder, counter.files, dialogs)
                                : engine::SwapExecutable(layout.state, counter.files, dialogs),
                      SwapOutcome::Upgraded);
            steps = counter.operations;
            reports = counter.copySteps;
        }
        int kills = 0, lost = 0;
        const auto tryKill = [&](KillingServices::When when, int nth) {
            SCOPED_TRACE(std::to_string(static_cast<int>(when)) + " #" + std::to_string(nth));
            Layout layout(s, bytes);
            ASSERT_TRUE(swapKilled(s, layout, when, nth));
            ++kills;
            lost += checkAfterKill(s, layout);
            checkSecondRun(s, layout);
        };
        for (int n = 1; n <= steps; ++n) {
            tryKill(KillingServices::When::Before, n);
            tryKill(KillingServices::When::After, n);
        }
        for (int n = 1; n <= reports; ++n)
            tryKill(KillingServices::When::InCopy, n);
        const char* kept =
            s.restore                ? (s.options.useHardLinks || s.options.useExchange
                                            ? "whole Orvalis.exe (old or new) after every kill, both versions kept, second "
                                              "run completes"
                                            : "both versions whole after every kill, second run completes")
            : s.options.useHardLinks ? "whole Orvalis.exe (old or new) after every kill, second run completes"
            : s.options.useExchange
                ? "whole Orvalis.exe (old or new) after every kill, at most the upgrade file as Orvalis.old"
                : "whole Orvalis.exe, or between the two renames whole Orvalis.old and Orvalis.ugx, "
                  "which the next run installs with one rename";
        testsupport::recordCase("Crash (SIGKILL)", s.name, lost == 0 ? kept : "FILES LOST",
                                "Crash.KilledBeforeAndAfterEveryStepAndInsideTheCopy", kills, lost);
        totalKills += kills;
        totalLost += lost;
    }
    std::printf("kill points: %d, files lost: %d\n", totalKills, totalLost);
}

TEST(Crash, KilledFromOutsideAtRandomMoments)
{
    // The kills above land between calls; these land wherever the kernel happens to be.
    const std::string bytes = testsupport::patternedBytes(32u << 20);
    int kills = 0, lost = 0;
    for (const Situation& s : {kSituations[0], kSituations[1], kSituations[2], kSituations[3]}) {
        SCOPED_TRACE(s.name);
        for (int i = 0; i < 12; ++i) {
            Layout layout(s, bytes);
            const pid_t pid = ::fork();
            if (pid == 0) {
                PosixFileServices files(s.options);
                testsupport::RecordingDialogs dialogs;
                engine::SwapExecutable(layout.state, files, dialogs);
                ::_exit(0);
            }
            std::this_thread::sleep_for(std::chrono::microseconds(500 + i * 2500));
            ::kill(pid, SIGKILL);
            int status = 0;
            ::waitpid(pid, &status, 0);
            ++kills;
            lost += checkAfterKill(s, layout);
            checkSecondRun(s, layout);
        }
    }
    testsupport::recordCase("Crash (SIGKILL)",
                            "killed from outside at spread moments during a 32 MiB upgrade",
                            lost == 0 ? "whole Orvalis.exe after every kill" : "FILES LOST",
                            "Crash.KilledFromOutsideAtRandomMoments", kills, lost);
}
