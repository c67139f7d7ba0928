#pragma once

#include "engine/upgrade.h"
#include "runtime/dialogs.h"
#include "runtime/file_services.h"

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace engine {

/// The exit codes of the command line, one per outcome. Only a change made and confirmed
/// gives 0; 1223, which some tools read as "cancelled by the user", is never used.
enum ExitCode : int {
    kExitDone = 0,              ///< upgraded, or the previous version put back
    kExitUsage = 2,             ///< the command line was wrong, or asked for the usage text
    kExitUpgradeNotFound = 3,   ///< no upgrade file at PATH (with /restore: no "Orvalis.old")
    kExitExeNotFound = 4,       ///< no "Orvalis.exe" in the application folder
    kExitStillRunning = 5,      ///< Orvalis is running, or its executable is held open
    kExitBusy = 6,              ///< another upgrade of the folder is running
    kExitFailedPutBack = 7,     ///< failed, and everything this run did is undone
    kExitFailedNotPutBack = 8,  ///< failed, and a file must be renamed by hand (the log says which)
    kExitUnconfirmed = 9,       ///< installed, but not confirmed on disk: do not run again
    kExitAlreadyInstalled = 10, ///< "Orvalis.exe" already is the upgrade file; nothing changed
};

/// The usage text, lines separated by "\r\n".
extern const char* const kUsage;

/// What the command line asks for.
struct CommandLine {
    enum class Action { Usage, Help, Upgrade, Restore };
    Action action{Action::Usage};
    std::string path;    ///< with Upgrade: the upgrade file, or the folder holding it
    std::string logFile; ///< "" for no log
    bool quiet{false};
    std::string error; ///< with Usage: what is wrong
};

/// Reads the arguments (the program's name left out). Switches start with "/", "-" or "--"
/// and are matched without regard to letter case; anything unknown, missing or given twice
/// is a usage error. /quiet and /log count even then, so an error is told as asked.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

/// The exit code of an outcome of the swap or of putting the previous version back.
int ExitCodeFor(SwapOutcome outcome);

/// The messages of one command-line run: each goes to the log, if any, with a time stamp,
/// and to the boxes, if any, or else to `quietOut`. The copy's stages are logged as they
/// begin. A log that cannot be written after the first line is given up, so that the swap
/// runs on; `logFailed` says whether that happened.
class LogDialogs : public runtime::Dialogs {
public:
    using Clock = std::function<std::string()>;

    LogDialogs(runtime::FileServices& files, std::string logFile, runtime::Dialogs* boxes,
               std::ostream& quietOut, Clock clock = {});

    /// Writes one line to the log; throws runtime::Failure when it cannot.
    void log(const std::string& line);
    /// Writes one line to the log, unless it has failed before; a failure is told once
    /// on `quietOut` and the log is given up.
    void logQuietly(const std::string& line);
    bool logFailed() const { return m_logFailed; }

    void msgBox(const std::string& text, runtime::MsgKind kind) override;
    void copyProgress(runtime::CopyStage stage, std::uint64_t done, std::uint64_t total) override;
    void copyEnded() override;

private:
    runtime::FileServices& m_files;
    std::string m_logFile;
    runtime::Dialogs* m_boxes;
    std::ostream& m_quietOut;
    Clock m_clock;
    bool m_logFailed{false};
    bool m_copying{false};
    runtime::CopyStage m_stage{runtime::CopyStage::Copying};
};

/// The time now as the log writes it: "2026-12-09 07:04:39Z", in UTC.
std::string LogTimeStamp();

/// Runs what the command line asks for and returns its exit code. `boxes` is null with
/// /quiet; then the messages go to `err`, and the outcome always does. The usage text goes
/// to `out`, and to a box without /quiet.
int RunCommandLine(const CommandLine& command, runtime::FileServices& files, runtime::Dialogs* boxes,
                   std::ostream& out, std::ostream& err, LogDialogs::Clock clock = {});

} // namespace engine
