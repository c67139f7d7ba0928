#include "restore.h"

#include "mod_no_case.h"
#include "runtime/failure.h"

#include <memory>
#include <optional>

namespace engine {

using modNoCase::FileExists;

std::string ReplacedNotKeptMessage(const std::string& appFolder)
{
    return "The previous version is back as Orvalis.exe, but the one it replaced could not be named "
           "Orvalis.old.\r\nPlease rename " +
           std::string(kRestoreName) + " to Orvalis.old in " + appFolder +
           "\r\nContact us if you continue to have problems upgrading the software.";
}

std::string RestoreNotUndoneMessage(const std::string& appFolder)
{
    return "Orvalis.old could not be put back, and the current version could not be given its name back.\r\n"
           "Please rename " +
           std::string(kRestoreName) + " to Orvalis.exe in " + appFolder +
           "\r\nContact us if you continue to have problems upgrading the software.";
}

namespace {

enum class Step { None, AsideLinked, AsideRenamed, Back, Kept };

// Whether the two names lead to one file: then neither is a version the other could replace.
bool sameFile(runtime::FileServices& files, const std::string& a, const std::string& b)
{
    const std::optional<runtime::FileInfo> first = files.fileInfo(a);
    const std::optional<runtime::FileInfo> second = files.fileInfo(b);
    return first && second && first->id == second->id;
}

// A run cut short between its steps left the current executable under the waiting name.
// Returns true when that run had already put the previous version back, so that only the
// name of the one it replaced was missing and is given now.
bool finishInterrupted(const std::string& app, runtime::FileServices& files)
{
    if (!FileExists(files, app, kRestoreName))
        return false;
    if (!FileExists(files, app, kExeName)) {
        files.renameFile(app + kRestoreName, app + kExeName); // cut short before the previous one came back
        return false;
    }
    // A second name of "Orvalis.exe", made just before the cut, goes: it is no version the
    // previous one replaced, whether "Orvalis.old" is still there or not.
    if (sameFile(files, app + kRestoreName, app + kExeName)) {
        files.deleteFile(app + kRestoreName);
        return false;
    }
    if (!FileExists(files, app, kOldName)) {
        files.renameFile(app + kRestoreName, app + kOldName);
        return true;
    }
    // Any other file under the waiting name (an upgrade came between the two runs) is not
    // this run's: it stays.
    return false;
}

} // namespace

SwapOutcome RestoreExecutable(const std::string& appFolder, runtime::FileServices& files,
                              runtime::Dialogs& dialogs)
{
    const std::string& app = appFolder;
    Step done = Step::None;
    std::unique_ptr<runtime::FolderLock> lock; // held until the failure, if any, is dealt with
    try {
        lock = files.lockFolder(app);
        if (!lock) {
            dialogs.msgBox(kMsgBusy, runtime::MsgKind::Warning);
            return SwapOutcome::Busy;
        }
        if (const runtime::FileInUse running = files.fileInUse(app + kExeName); running.inUse) {
            dialogs.msgBox(StillRunningMessage(running), runtime::MsgKind::Warning);
            return SwapOutcome::StillRunning;
        }
        if (finishInterrupted(app, files)) {
            done = Step::Kept;
        } else {
            if (!FileExists(files, app, kExeName)) {
                dialogs.msgBox(kMsgRestoreFailure, runtime::MsgKind::Warning);
                return SwapOutcome::ExeNotFound;
            }
            if (!FileExists(files, app, kOldName)) {
                dialogs.msgBox(kMsgNothingToRestore, runtime::MsgKind::Warning);
                return SwapOutcome::UpgradeNotFound;
            }
            // As a swap cut short after its second name leaves it: trading the two names
            // would change nothing and be told as done.
            if (sameFile(files, app + kOldName, app + kExeName)) {
                dialogs.msgBox(kMsgOldIsCurrent, runtime::MsgKind::Warning);
                return SwapOutcome::UpgradeNotFound;
            }
            if (files.exchangeFiles(app + kOldName, app + kExeName)) {
                done = Step::Kept;
            } else {
                // The current one gets a waiting name first: a second name where the disk
                // has hard links, so "Orvalis.exe" stays; else a rename, the one moment without.
                if (files.linkFile(app + kExeName, app + kRestoreName)) {
                    done = Step::AsideLinked;
                    files.replaceFile(app + kOldName, app + kExeName);
                } else {
                    files.renameFile(app + kExeName, app + kRestoreName);
                    done = Step::AsideRenamed;
                    files.renameFile(app + kOldName, app + kExeName);
                }
                done = Step::Back;
                files.renameFile(app + kRestoreName, app + kOldName);
                done = Step::Kept;
            }
        }
        files.flushFolder(app);
        dialogs.msgBox(kMsgRestored, runtime::MsgKind::Information);
        return SwapOutcome::Upgraded;
    } catch (const runtime::Failure&) {
        switch (done) {
        case Step::None:
            break;
        case Step::AsideLinked:
            try {
                files.deleteFile(app + kRestoreName);
            } catch (const runtime::Failure&) {
                // A second name of the untouched executable; the next run removes it.
            }
            break;
        case Step::AsideRenamed:
            try {
                files.renameFile(app + kRestoreName, app + kExeName);
            } catch (const runtime::Failure&) {
                dialogs.msgBox(RestoreNotUndoneMessage(app), runtime::MsgKind::Warning);
                return SwapOutcome::NotRestored;
            }
            break;
        case Step::Back:
            dialogs.msgBox(ReplacedNotKeptMessage(app), runtime::MsgKind::Warning);
            return SwapOutcome::InstalledButFailed;
        case Step::Kept:
            dialogs.msgBox(kMsgRestoredUnconfirmed, runtime::MsgKind::Warning);
            return SwapOutcome::InstalledButFailed;
        }
        dialogs.msgBox(kMsgRestoreFailure, runtime::MsgKind::Warning);
        return SwapOutcome::Failed;
    }
}

} // namespace engine
