#include "upgrade.h"

#include "copy_pipeline.h"
#include "mod_no_case.h"
#include "runtime/errors.h"
#include "runtime/failure.h"

#include <memory>
#include <optional>
#include <vector>

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

std::string ChangedMeanwhileMessage(const std::string& name)
{
    return "The upgrade failed, and " + name +
           " was changed by another program while the upgrade ran, so it was left as it is.\r\n"
           "Contact us if you continue to have problems upgrading the software.";
}

std::string NotKeptMessage(unsigned notKept)
{
    std::vector<const char*> what;
    if (notKept & runtime::kNotKeptOwner)
        what.push_back("owner");
    if (notKept & runtime::kNotKeptSetId)
        what.push_back("set-user-ID or set-group-ID bit");
    if (notKept & runtime::kNotKeptAcl)
        what.push_back("access control list");
    if (notKept & runtime::kNotKeptCapabilities)
        what.push_back("file capabilities");
    if (notKept & runtime::kNotKeptAttributes)
        what.push_back("extended attributes");
    if (what.empty())
        return kMsgSuccess;
    std::string list;
    for (std::size_t i = 0; i < what.size(); ++i)
        list += std::string(i == 0 ? "" : i + 1 == what.size() ? " and " : ", ") + what[i];
    return std::string(kMsgSuccess) + "\r\nThe new Orvalis.exe could not be given the previous version's " +
           list + ".";
}

namespace {

// What one run has changed so far, so that a failure can put it back, and which files it
// made or moved, so that it puts back only those: another program (or a second swap that
// reached the folder by another path) may have changed the folder meanwhile.
struct Done {
    std::string upgrade;                      // the name in the application folder of the file to install
    runtime::FileId exeId;                    // the previous executable
    std::optional<runtime::FileId> upgradeId; // the file to install, as checked, once known
    bool copied{false};                       // the upgrade file was copied into the application folder
    bool upgradeAsOld{false};                 // the upgrade file is named "Orvalis.old", ready to trade names
    bool keptOld{false};                      // "Orvalis.old" now holds the previous executable
    bool linked{false};                       // ... as a second name, so "Orvalis.exe" is still there
    bool replaced{false};  // "Orvalis.exe" was given to what was under the upgrade file's name
    bool installed{false}; // the upgrade file is "Orvalis.exe"
};

enum class Undone {
    Restored,    // the folder has its executable, and whatever this run left is harmless
    NotRestored, // "Orvalis.exe" is missing; the previous version is "Orvalis.old"
    LeftAlone,   // a file this run would have put back is no longer the one it made
};

// Whether `path` is the file `id`: false when it is missing or another file.
bool isFile(runtime::FileServices& files, const std::string& path, const runtime::FileId& id)
{
    const auto info = files.fileInfo(path);
    return info && info->id == id;
}

// The same for the undo, where a look that fails, or a file not yet looked at, tells
// nothing: then what this run did is all there is to go by.
bool stillFile(runtime::FileServices& files, const std::string& path,
               const std::optional<runtime::FileId>& id)
{
    try {
        return !id || isFile(files, path, *id);
    } catch (const runtime::Failure&) {
        return true;
    }
}

bool stillMissing(runtime::FileServices& files, const std::string& path)
{
    try {
        return !files.fileInfo(path);
    } catch (const runtime::Failure&) {
        return true;
    }
}

// Puts the application folder back as this run found it, as far as anything matters, and
// touches only files that are still the ones this run made or moved; `changed` names the
// one that is not.
Undone undo(const Done& done, const std::string& app, runtime::FileServices& files, std::string& changed)
{
    if (done.upgradeAsOld) {
        if (!stillFile(files, app + kOldName, done.upgradeId)) {
            changed = kOldName;
            return Undone::LeftAlone;
        }
        try {
            files.renameFile(app + kOldName, app + done.upgrade);
        } catch (const runtime::Failure&) {
            // "Orvalis.exe" is untouched; the next run removes "Orvalis.old" as it would any.
            return Undone::Restored;
        }
    }
    Undone result = Undone::Restored;
    if (done.keptOld) {
        // Another program may have given "Orvalis.exe" a file of its own meanwhile: then
        // "Orvalis.old" may be the only copy of the previous version, and stays.
        if (!stillFile(files, app + kOldName, done.exeId)) {
            changed = kOldName;
            return Undone::LeftAlone;
        }
        const bool exeAsLeft = done.replaced ? true
                               : done.linked ? stillFile(files, app + kExeName, done.exeId)
                                             : stillMissing(files, app + kExeName);
        if (!exeAsLeft) {
            changed = kExeName;
            return Undone::LeftAlone;
        }
        try {
            if (done.replaced) // what took the upgrade file's name was not the file checked
                files.replaceFile(app + kOldName, app + kExeName);
            else if (done.linked)
                files.deleteFile(app + kOldName); // a second name of the untouched executable
            else
                files.renameFile(app + kOldName, app + kExeName);
        } catch (const runtime::Failure&) {
            if (!done.linked || done.replaced)
                result = Undone::NotRestored;
        }
    }
    if (done.copied && stillFile(files, app + done.upgrade, done.upgradeId)) {
        try {
            files.deleteFile(app + done.upgrade);
        } catch (const runtime::Failure&) {
            // A verified copy of the user's file: installing it next time is what the user wants anyway.
        }
    }
    return result;
}

// Makes the upgrade file "Orvalis.exe" and the previous executable "Orvalis.old", the
// latter's name being free, so that "Orvalis.exe" never goes missing where the file system
// allows: a second name for the executable where it has hard links, else the upgrade file
// named "Orvalis.old" trading names with "Orvalis.exe" in one step (a crash in between
// leaves the executable untouched and an "Orvalis.old" the next run removes), and two
// renames only where it can do neither (a crash between those leaves no "Orvalis.exe", and
// the next run finishes the job). Returns what the permissions could not carry over.
//
// Names are looked up again at every step, so whatever another program puts under the
// upgrade file's name meanwhile is refused by matchPermissions, which works on the file it
// checks, or found under "Orvalis.exe" afterwards and put back.
unsigned install(Done& done, const std::string& app, runtime::FileServices& files)
{
    const std::string upgrade = app + done.upgrade;
    unsigned notKept = runtime::kKeptAll;
    done.linked = files.linkFile(app + kExeName, app + kOldName);
    if (done.linked) {
        done.keptOld = true;
        notKept = files.matchPermissions(app + kOldName, upgrade, *done.upgradeId);
        files.replaceFile(upgrade, app + kExeName);
        done.replaced = true;
    } else {
        notKept = files.matchPermissions(app + kExeName, upgrade, *done.upgradeId);
        files.renameFile(upgrade, app + kOldName);
        done.upgradeAsOld = true;
        if (files.exchangeFiles(app + kOldName, app + kExeName)) {
            done.upgradeAsOld = false;
            done.keptOld = done.replaced = true;
        } else {
            files.renameFile(app + kOldName, upgrade);
            done.upgradeAsOld = false;
            files.renameFile(app + kExeName, app + kOldName);
            done.keptOld = true;
            files.renameFile(upgrade, app + kExeName);
            done.replaced = true;
        }
    }
    // Only a look that shows another file undoes the install; one that fails confirms nothing
    // either way, and the upgrade stays.
    std::optional<runtime::FileInfo> installed;
    try {
        installed = files.fileInfo(app + kExeName);
    } catch (const runtime::Failure&) {
        done.installed = true;
        throw;
    }
    if (!installed || !(installed->id == *done.upgradeId))
        throw runtime::Failure(runtime::kPathFileAccessError);
    done.installed = true;
    return notKept;
}

// A crash between the last two renames, where the file system has neither hard links nor a
// way to trade names, leaves no "Orvalis.exe", the previous version as "Orvalis.old" and
// the upgrade file as "Orvalis.ugx", a name it gets in this folder only once verified.
bool interrupted(const std::string& app, runtime::FileServices& files)
{
    if (!FileExists(files, app, kOldName) || !FileExists(files, app, kUpgradeName))
        return false;
    const auto info = files.fileInfo(app + kUpgradeName);
    return info && info->regular && info->links == 1;
}

} // namespace

SwapOutcome SwapExecutable(const BrowseState& state, runtime::FileServices& files, runtime::Dialogs& dialogs)
{
    if (state.strChosenFile != kUpgradeName) {
        dialogs.msgBox(kMsgChooseUpgrade, runtime::MsgKind::Warning);
        return SwapOutcome::NotChosen;
    }
    const std::string& app = state.strAppFolder;
    const std::string& source = state.strChosenFolder.empty() ? state.strBrowseFolder : state.strChosenFolder;
    Done done;
    done.upgrade = kUpgradeName;
    std::unique_ptr<runtime::FolderLock> lock; // held until the failure, if any, is dealt with
    try {
        lock = files.lockFolder(app);
        if (!lock) {
            dialogs.msgBox(kMsgBusy, runtime::MsgKind::Warning);
            return SwapOutcome::Busy;
        }
        if (!FileExists(files, app, kExeName)) {
            if (!interrupted(app, files)) {
                dialogs.msgBox(kMsgFailure, runtime::MsgKind::Warning);
                return SwapOutcome::ExeNotFound;
            }
            // Under the lock, so this is no other swap halfway through; the upgrade file was
            // given the permissions before the renames.
            files.renameFile(app + kUpgradeName, app + kExeName);
            done.installed = true;
            files.flushFolder(app);
            dialogs.msgBox(kMsgCompleted, runtime::MsgKind::Information);
            return SwapOutcome::Upgraded;
        }
        const auto exe = files.fileInfo(app + kExeName);
        if (!exe)
            throw runtime::Failure(runtime::kFileNotFound);
        done.exeId = exe->id;
        // An upgrade file already in the application folder is the one installed, provided
        // it is a file of its own: a link would make "Orvalis.exe" lead wherever it leads.
        // One with names elsewhere is copied, so that the file outside keeps its own owner
        // and mode.
        const auto inFolder =
            FileExists(files, app, kUpgradeName) ? files.fileInfo(app + kUpgradeName) : std::nullopt;
        if (inFolder && !inFolder->regular)
            throw runtime::Failure(runtime::kPathFileAccessError);
        const bool inPlace = inFolder && inFolder->links == 1;
        const std::string from = inFolder ? app + kUpgradeName : source + kUpgradeName;
        if (!inFolder && !FileExists(files, source, kUpgradeName)) {
            dialogs.msgBox(kMsgFailure, runtime::MsgKind::Warning);
            return SwapOutcome::UpgradeNotFound;
        }
        // Before anything is made: a running "Orvalis.exe" would refuse the last step, and a
        // refused undo could leave a second name behind.
        if (const runtime::FileInUse running = files.fileInUse(app + kExeName); running.inUse) {
            dialogs.msgBox(StillRunningMessage(running), runtime::MsgKind::Warning);
            return SwapOutcome::StillRunning;
        }
        // Run again after a crash that came after the install, swapping would keep the new
        // executable as "Orvalis.old" and throw the previous version away.
        if (SameContents(files, app + kExeName, from)) {
            dialogs.msgBox(kMsgAlreadyInstalled, runtime::MsgKind::Information);
            return SwapOutcome::AlreadyInstalled;
        }
        if (inFolder && !inPlace) {
            done.upgrade = kLinkedCopyName;
            if (FileExists(files, app, kLinkedCopyName))
                files.deleteFile(app + kLinkedCopyName); // left by a crash
        }

        if (!inPlace) {
            if (FileExists(files, app, kPartName))
                files.deleteFile(app + kPartName); // left by a copy that a crash cut short
            CopyAndCheck(files, from, app + done.upgrade, app + kPartName,
                         [&dialogs](runtime::CopyStage stage, std::uint64_t n, std::uint64_t total) {
                             dialogs.copyProgress(stage, n, total);
                         });
            dialogs.copyEnded();
            done.copied = true;
        }
        if (inPlace) {
            done.upgradeId = inFolder->id;
        } else {
            const auto copy = files.fileInfo(app + done.upgrade);
            if (!copy)
                throw runtime::Failure(runtime::kFileNotFound);
            done.upgradeId = copy->id;
        }

        if (FileExists(files, app, kOldName))
            RemoveFile(files, dialogs, app, kOldName); // reports its own failure; the next step then fails

        const unsigned notKept = install(done, app, files);

        files.flushFolder(app);
        // Installed, but with something of the previous version's lost: worth a warning.
        dialogs.msgBox(NotKeptMessage(notKept),
                       notKept == 0 ? runtime::MsgKind::Information : runtime::MsgKind::Warning);
        return SwapOutcome::Upgraded;
    } catch (const runtime::Failure&) {
        dialogs.copyEnded();
        // Once the upgrade is in place, putting the old one back would be the worse choice,
        // and swapping again would throw the previous version away: the user is told so.
        if (done.installed) {
            dialogs.msgBox(kMsgInstalledUnconfirmed, runtime::MsgKind::Warning);
            return SwapOutcome::InstalledButFailed;
        }
        std::string changed;
        switch (undo(done, app, files, changed)) {
        case Undone::NotRestored:
            dialogs.msgBox(NotRestoredMessage(app), runtime::MsgKind::Warning);
            return SwapOutcome::NotRestored;
        case Undone::LeftAlone:
            dialogs.msgBox(ChangedMeanwhileMessage(changed), runtime::MsgKind::Warning);
            return SwapOutcome::NotRestored;
        case Undone::Restored:
            dialogs.msgBox(kMsgFailure, runtime::MsgKind::Warning);
            break;
        }
        return SwapOutcome::Failed;
    }
}

SwapOutcome SwapSession::swap(const BrowseState& state, runtime::FileServices& files,
                              runtime::Dialogs& dialogs)
{
    if (m_upgradeInPlace) {
        dialogs.msgBox(kMsgAlreadyInPlace, runtime::MsgKind::Information);
        return SwapOutcome::InstalledButFailed;
    }
    const SwapOutcome outcome = SwapExecutable(state, files, dialogs);
    m_upgradeInPlace = outcome == SwapOutcome::InstalledButFailed;
    return outcome;
}

} // namespace engine
