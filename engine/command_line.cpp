#include "command_line.h"

#include "engine/folder_text.h"
#include "engine/restore.h"
#include "runtime/failure.h"

#include <chrono>
#include <cstdio>
#include <optional>

namespace engine {

const char* const kUsage =
    "Usage: orvalis-upgrade [/upgrade PATH | /restore] [/quiet] [/log FILE]\r\n"
    "\r\n"
    "  /upgrade PATH  installs the upgrade file PATH (Orvalis.ugx, or the folder holding it)\r\n"
    "                 as Orvalis.exe in this program's folder, keeping the current one as Orvalis.old\r\n"
    "  /restore       puts Orvalis.old back as Orvalis.exe, keeping the current one as Orvalis.old\r\n"
    "  /quiet         shows no window and no message box\r\n"
    "  /log FILE      appends each step and the outcome to FILE, with the time\r\n"
    "  /?             shows this text\r\n"
    "\r\n"
    "Exit codes: 0 done, 2 wrong command line, 3 upgrade file (or Orvalis.old) not found,\r\n"
    "4 Orvalis.exe not found, 5 Orvalis still running, 6 another upgrade running,\r\n"
    "7 failed and everything put back, 8 failed and not put back (see the log),\r\n"
    "9 installed but not confirmed on disk (do not run again),\r\n"
    "10 already installed (nothing changed).\r\n"
    "Without arguments the program opens its window.";

namespace {

std::string lower(std::string text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// The switch an argument names, in lower case, or nothing for a plain argument.
std::optional<std::string> switchOf(const std::string& argument)
{
    if (argument.size() > 2 && argument.compare(0, 2, "--") == 0)
        return lower(argument.substr(2));
    if (argument.size() > 1 && (argument[0] == '/' || argument[0] == '-'))
        return lower(argument.substr(1));
    return std::nullopt;
}

bool known(const std::string& name)
{
    return name == "upgrade" || name == "restore" || name == "quiet" || name == "log" || name == "?" ||
           name == "help";
}

// `text` with each line break (CR LF) made `with`. Built anew rather than replaced in place,
// which GCC 12 at -O3 takes for an overlapping copy (-Wrestrict).
std::string withLineBreaks(const std::string& text, const char* with)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') {
            out += with;
            ++at;
        } else {
            out += text[at];
        }
    }
    return out;
}

std::string withNewlines(const std::string& text)
{
    return withLineBreaks(text, "\n");
}

std::string oneLine(const std::string& text)
{
    return withLineBreaks(text, " ");
}

const char* outcomeText(SwapOutcome outcome, bool restoring)
{
    switch (outcome) {
    case SwapOutcome::Upgraded:
        return restoring ? "put back" : "upgraded";
    case SwapOutcome::AlreadyInstalled:
        return "already installed, nothing changed";
    case SwapOutcome::NotChosen:
        return "the upgrade file is not named Orvalis.ugx";
    case SwapOutcome::UpgradeNotFound:
        return restoring ? "Orvalis.old not found" : "upgrade file not found";
    case SwapOutcome::ExeNotFound:
        return "Orvalis.exe not found";
    case SwapOutcome::StillRunning:
        return "Orvalis is still running";
    case SwapOutcome::Busy:
        return "another upgrade of this folder is running";
    case SwapOutcome::Failed:
        return "failed, everything put back";
    case SwapOutcome::NotRestored:
        return "failed and not put back, a file must be renamed as the message says";
    case SwapOutcome::InstalledButFailed:
        return "installed but not confirmed on disk, do not run again";
    }
    return "?";
}

// The state the swap needs for the upgrade file at `path`: the file itself, or the folder
// holding it. A file's name is taken as the file system spells it.
BrowseState browseStateFor(const std::string& path, runtime::FileServices& files)
{
    BrowseState state;
    state.strAppFolder = AppFolderText(files.appFolder());
    state.strChosenFile = kUpgradeName;
    const std::string separators{runtime::kFolderSeparator, '/'};
    const std::size_t sep = path.find_last_of(separators);
    const bool namesAFile = sep + 1 < path.size() && // not ending in a separator
                            !files
                                 .dirSearch(path, runtime::kAttrHidden | runtime::kAttrSystem |
                                                      runtime::kAttrReadOnly | runtime::kAttrArchive)
                                 .empty();
    if (!namesAFile) {
        state.strChosenFolder = FolderText(path.empty() ? "." : path);
    } else {
        state.strChosenFolder = sep == std::string::npos ? FolderText(".") : path.substr(0, sep + 1);
        state.strChosenFile = files.dirSearch(path, runtime::kAttrHidden | runtime::kAttrSystem |
                                                        runtime::kAttrReadOnly | runtime::kAttrArchive);
    }
    state.strBrowseFolder = state.strChosenFolder;
    return state;
}

} // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments)
{
    CommandLine command;
    bool help = false, upgrade = false, restore = false;
    std::string error;
    const auto fail = [&error](std::string text) {
        if (error.empty())
            error = std::move(text);
    };
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const std::optional<std::string> name = switchOf(argument);
        if (!name || !known(*name)) {
            fail((name ? "Unknown switch: " : "Unexpected argument: ") + argument);
            continue;
        }
        const bool takesValue = *name == "upgrade" || *name == "log";
        std::optional<std::string> value;
        if (takesValue) {
            const std::optional<std::string> next =
                i + 1 < arguments.size() ? switchOf(arguments[i + 1]) : std::nullopt;
            if (i + 1 >= arguments.size() || (next && known(*next)) || arguments[i + 1].empty()) {
                fail(argument + " needs a value");
                continue;
            }
            value = arguments[++i];
        }
        const auto once = [&](bool& seen) {
            if (seen)
                fail(argument + " is given twice");
            seen = true;
        };
        if (*name == "?" || *name == "help") {
            help = true;
        } else if (*name == "quiet") {
            command.quiet = true;
        } else if (*name == "log") {
            if (!command.logFile.empty())
                fail(argument + " is given twice");
            command.logFile = *value;
        } else if (*name == "restore") {
            once(restore);
        } else {
            once(upgrade);
            command.path = *value;
        }
    }
    if (error.empty() && !help) {
        if (upgrade && restore)
            error = "/upgrade and /restore cannot be given together";
        else if (!upgrade && !restore)
            error = "Nothing to do: give /upgrade PATH or /restore";
    }
    if (help)
        command.action = CommandLine::Action::Help;
    else if (!error.empty())
        command.action = CommandLine::Action::Usage;
    else
        command.action = upgrade ? CommandLine::Action::Upgrade : CommandLine::Action::Restore;
    command.error = help ? std::string() : error;
    return command;
}

int ExitCodeFor(SwapOutcome outcome)
{
    switch (outcome) {
    case SwapOutcome::Upgraded:
        return kExitDone;
    case SwapOutcome::AlreadyInstalled:
        return kExitAlreadyInstalled;
    case SwapOutcome::NotChosen:
    case SwapOutcome::UpgradeNotFound:
        return kExitUpgradeNotFound;
    case SwapOutcome::ExeNotFound:
        return kExitExeNotFound;
    case SwapOutcome::StillRunning:
        return kExitStillRunning;
    case SwapOutcome::Busy:
        return kExitBusy;
    case SwapOutcome::Failed:
        return kExitFailedPutBack;
    case SwapOutcome::NotRestored:
        return kExitFailedNotPutBack;
    case SwapOutcome::InstalledButFailed:
        return kExitUnconfirmed;
    }
    return kExitFailedNotPutBack; // an outcome this table does not know must not look like success
}

std::string LogTimeStamp()
{
    using namespace std::chrono;
    const auto now = floor<seconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day date{day};
    const hh_mm_ss time{now - day};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return text;
}

LogDialogs::LogDialogs(runtime::FileServices& files, std::string logFile, runtime::Dialogs* boxes,
                       std::ostream& quietOut, Clock clock)
    : m_files(files), m_logFile(std::move(logFile)), m_boxes(boxes), m_quietOut(quietOut),
      m_clock(clock ? std::move(clock) : Clock(LogTimeStamp))
{}

void LogDialogs::log(const std::string& line)
{
    if (!m_logFile.empty())
        m_files.appendText(m_logFile, m_clock() + " " + line + "\n");
}

void LogDialogs::logQuietly(const std::string& line)
{
    if (m_logFailed)
        return;
    try {
        log(line);
    } catch (const runtime::Failure& failure) {
        m_logFailed = true;
        m_quietOut << "The log " << m_logFile << " cannot be written: " << failure.description() << "\n";
    }
}

void LogDialogs::msgBox(const std::string& text, runtime::MsgKind kind)
{
    logQuietly("message: " + oneLine(text));
    if (m_boxes)
        m_boxes->msgBox(text, kind);
    else
        m_quietOut << withNewlines(text) << "\n";
}

void LogDialogs::copyProgress(runtime::CopyStage stage, std::uint64_t done, std::uint64_t total)
{
    if (!m_copying || stage != m_stage) {
        m_copying = true;
        m_stage = stage;
        const std::string size = std::to_string(total) + " bytes";
        switch (stage) {
        case runtime::CopyStage::Copying:
            logQuietly("copying the upgrade file into the application folder, " + size);
            break;
        case runtime::CopyStage::Saving:
            logQuietly("flushing the copy to disk");
            break;
        case runtime::CopyStage::Checking:
            logQuietly("comparing the copy with the upgrade file");
            break;
        }
    }
    if (m_boxes)
        m_boxes->copyProgress(stage, done, total);
}

void LogDialogs::copyEnded()
{
    m_copying = false;
    if (m_boxes)
        m_boxes->copyEnded();
}

int RunCommandLine(const CommandLine& command, runtime::FileServices& files, runtime::Dialogs* boxes,
                   std::ostream& out, std::ostream& err, LogDialogs::Clock clock)
{
    LogDialogs dialogs(files, command.logFile, boxes, err, std::move(clock));
    const bool restoring = command.action == CommandLine::Action::Restore;
    try {
        dialogs.log(command.action == CommandLine::Action::Upgrade ? "upgrade from " + command.path
                    : restoring                                    ? std::string("restore")
                                                                   : std::string("command line not run"));
    } catch (const runtime::Failure& failure) {
        // Asked for a log and none can be kept: nothing is touched.
        err << "The log " << command.logFile << " cannot be written: " << failure.description() << "\n";
        return kExitUsage;
    }
    switch (command.action) {
    case CommandLine::Action::Help:
        out << withNewlines(kUsage) << "\n";
        if (boxes)
            boxes->msgBox(kUsage, runtime::MsgKind::Information);
        return kExitUsage;
    case CommandLine::Action::Usage:
        err << command.error << "\n" << withNewlines(kUsage) << "\n";
        dialogs.logQuietly("usage error: " + command.error + " (exit code " + std::to_string(kExitUsage) +
                           ")");
        if (boxes)
            boxes->msgBox(command.error + "\r\n\r\n" + kUsage, runtime::MsgKind::Warning);
        return kExitUsage;
    case CommandLine::Action::Upgrade:
    case CommandLine::Action::Restore:
        break;
    }
    if (boxes)
        boxes->msgBox(kMsgWarning, runtime::MsgKind::Warning);
    SwapOutcome outcome = SwapOutcome::Failed;
    try {
        if (restoring) {
            const std::string app = AppFolderText(files.appFolder());
            dialogs.logQuietly("application folder " + app);
            outcome = RestoreExecutable(app, files, dialogs);
        } else {
            const BrowseState state = browseStateFor(command.path, files);
            dialogs.logQuietly("application folder " + state.strAppFolder + ", upgrade file " +
                               state.strChosenFolder + state.strChosenFile);
            outcome = SwapExecutable(state, files, dialogs);
        }
    } catch (const runtime::Failure& failure) {
        // Finding the folders failed, before the swap touched anything.
        dialogs.msgBox(std::string(restoring ? kMsgRestoreFailure : kMsgFailure) + "\r\nNumber: " +
                           std::to_string(failure.number()) + "\r\nDescription: " + failure.description(),
                       runtime::MsgKind::Warning);
    }
    const int code = ExitCodeFor(outcome);
    const std::string line = std::string("outcome: ") + outcomeText(outcome, restoring) + " (exit code " +
                             std::to_string(code) + ")";
    dialogs.logQuietly(line);
    err << line << "\n";
    return code;
}

} // namespace engine
