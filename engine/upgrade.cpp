#include "upgrade.h"

#include "copy_pipeline.h"
#include "mod_no_case.h"
#include "runtime/errors.h"
#include "runtime/failure.h"

#include <memory>

namespace engine {

using modNoCase::FileExists;
using modNoCase::RemoveFile;

std::string NotRestoredMessage(const std::string& appFolder)
{
    return "The upgrade failed and the previous version could not be put back.\r\n"
           "Please rename Orvalis.old to Orvalis.exe in " +
           appFolder + "\r\nContact us if you continue to have problems upgrading the software.";
}

std::string StillRunningMessage(const runtime::FileInUse& running)
{
    std::string text = kMsgStillRunning;
    if (!running.process.empty())
        text += "\r\nIt runs as " + running.process;
    if (running.processId != 0)
        text += (running.process.empty() ? "\r\nIt runs as process " : ", process ") +
                std::to_string(running.processId);
    if (!running.process.empty() || running.processId != 0)
        text += ".";
    return text;
}

namespace {

// What one run has changed so far, so that a failure can put it back.
struct Done {
    bool copied{false};       // "Orvalis.ugx" was copied into the application folder
    bool upgradeAsOld{false}; // the upgrade file is named "Orvalis.old", ready to trade names
    bool keptOld{false};      // "Orvalis.old" now holds the previous executable
    bool linked{false};       // ... as a second name, so "Orvalis.exe" is still there
    bool installed{false};    // the upgrade file is "Orvalis.exe"
};

// Puts the application folder back as this run found it, as far as anything matters:
// returns false only when "Orvalis.exe" is missing afterwards.
bool undo(const Done& done, const std::string& app, runtime::FileServices& files)
{
    bool restored = true;
    if (done.upgradeAsOld) {
        try {
            files.renameFile(app + kOldName, app + kUpgradeName);
        } catch (const runtime::Failure&) {
            // "Orvalis.exe" is untouched; the next run removes "Orvalis.old" as it would any.
            return true;
        }
    }
    if (done.keptOld) {
        try {
            if (done.linked)
                files.deleteFile(app + kOldName); // a second name of the untouched executable
            else
                files.renameFile(app + kOldName, app + kExeName);
        } catch (const runtime::Failure&) {
            restored = done.linked;
        }
    }
    if (done.copied) {
        try {
            files.deleteFile(app + kUpgradeName);
        } catch (const runtime::Failure&) {
            // A verified copy of the user's file: installing it next time is what the user wants anyway.
        }
    }
    return restored;
}

// Makes the upgrade file "Orvalis.exe" and the previous executable "Orvalis.old", the
// latter's name being free, so that "Orvalis.exe" never goes missing where the file system
// allows: a second name for the executable where it has hard links, else the upgrade file
// named "Orvalis.old" trading names with "Orvalis.exe" in one step (a crash in between
// leaves the executable untouched and an "Orvalis.old" the next run removes), and two
// renames only where it can do neither.
void install(Done& done, const std::string& app, runtime::FileServices& files)
{
    done.linked = files.linkFile(app + kExeName, app + kOldName);
    if (done.linked) {
        done.keptOld = true;
        files.matchPermissions(app + kOldName, app + kUpgradeName);
        files.replaceFile(app + kUpgradeName, app + kExeName);
        done.installed = true;
        return;
    }
    files.matchPermissions(app + kExeName, app + kUpgradeName);
    files.renameFile(app + kUpgradeName, app + kOldName);
    done.upgradeAsOld = true;
    if (files.exchangeFiles(app + kOldName, app + kExeName)) {
        done.upgradeAsOld = false;
        done.keptOld = done.installed = true;
        return;
    }
    files.renameFile(app + kOldName, app + kUpgradeName);
    done.upgradeAsOld = false;
    files.renameFile(app + kExeName, app + kOldName);
    done.keptOld = true;
    files.renameFile(app + kUpgradeName, app + kExeName);
    done.installed = true;
}

} // namespace

SwapOutcome SwapExecutable(const BrowseState& state, runtime::FileServices& files, runtime::Dialogs& dialogs)
{
    if (state.strChosenFile != kUpgradeName) {
        dialogs.msgBox(kMsgChooseUpgrade);
        return SwapOutcome::NotChosen;
    }
    const std::string& app = state.strAppFolder;
    const std::string& source = state.strChosenFolder.empty() ? state.strBrowseFolder : state.strChosenFolder;
    Done done;
    std::unique_ptr<runtime::FolderLock> lock; // held until the failure, if any, is dealt with
    try {
        lock = files.lockFolder(app);
        if (!lock) {
            dialogs.msgBox(kMsgBusy);
            return SwapOutcome::Busy;
        }
        if (!FileExists(files, app, kExeName)) {
            dialogs.msgBox(kMsgFailure);
            return SwapOutcome::ExeNotFound;
        }
        // An upgrade file already in the application folder is the one installed, provided
        // it is a file of its own: a link would make "Orvalis.exe" lead wherever it leads.
        const bool inPlace = FileExists(files, app, kUpgradeName);
        if (inPlace && !files.isRegularFile(app + kUpgradeName))
            throw runtime::Failure(runtime::kPathFileAccessError);
        if (!inPlace && !FileExists(files, source, kUpgradeName)) {
            dialogs.msgBox(kMsgFailure);
            return SwapOutcome::UpgradeNotFound;
        }
        // Before anything is made: a running "Orvalis.exe" would refuse the last step, and a
        // refused undo could leave a second name behind.
        if (const runtime::FileInUse running = files.fileInUse(app + kExeName); running.inUse) {
            dialogs.msgBox(StillRunningMessage(running));
            return SwapOutcome::StillRunning;
        }

        // Run again after a crash that came after the install, swapping would keep the new
        // executable as "Orvalis.old" and throw the previous version away.
        if (SameContents(files, app + kExeName, (inPlace ? app : source) + kUpgradeName)) {
            dialogs.msgBox(kMsgAlreadyInstalled);
            return SwapOutcome::AlreadyInstalled;
        }

        if (!inPlace) {
            if (FileExists(files, app, kPartName))
                files.deleteFile(app + kPartName); // left by a copy that a crash cut short
            CopyAndCheck(files, source + kUpgradeName, app + kUpgradeName, app + kPartName,
                         [&dialogs](runtime::CopyStage stage, std::uint64_t n, std::uint64_t total) {
                             dialogs.copyProgress(stage, n, total);
                         });
            dialogs.copyEnded();
            done.copied = true;
        }

        if (FileExists(files, app, kOldName))
            RemoveFile(files, dialogs, app, kOldName); // reports its own failure; the next step then fails

        install(done, app, files);

        files.flushFolder(app);
        dialogs.msgBox(kMsgSuccess);
        return SwapOutcome::Upgraded;
    } catch (const runtime::Failure&) {
        dialogs.copyEnded();
        // Once the upgrade is in place, putting the old one back would be the worse choice,
        // and swapping again would throw the previous version away: the user is told so.
        if (done.installed) {
            dialogs.msgBox(kMsgInstalledUnconfirmed);
            return SwapOutcome::InstalledButFailed;
        }
        if (!undo(done, app, files)) {
            dialogs.msgBox(NotRestoredMessage(app));
            return SwapOutcome::NotRestored;
        }
        dialogs.msgBox(kMsgFailure);
        return SwapOutcome::Failed;
    }
}

} // namespace engine
