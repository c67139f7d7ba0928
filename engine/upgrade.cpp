#include "upgrade.h"

#include "mod_no_case.h"
#include "runtime/errors.h"
#include "runtime/failure.h"

namespace engine {

using modNoCase::FileExists;
using modNoCase::RemoveFile;

std::string NotRestoredMessage(const std::string& appFolder)
{
    return "The upgrade failed and the previous version could not be put back.\r\n"
           "Please rename Orvalis.old to Orvalis.exe in " +
           appFolder + "\r\nContact us if you continue to have problems upgrading the software.";
}

namespace {

// What one run has changed so far, so that a failure can put it back.
struct Done {
    bool copied{false};    // "Orvalis.ugx" was copied into the application folder
    bool keptOld{false};   // "Orvalis.old" now holds the previous executable
    bool linked{false};    // ... as a second name, so "Orvalis.exe" is still there
    bool installed{false}; // the upgrade file is "Orvalis.exe"
};

// Puts the application folder back as this run found it, as far as anything matters:
// returns false only when "Orvalis.exe" is missing afterwards.
bool undo(const Done& done, const std::string& app, runtime::FileServices& files)
{
    bool restored = true;
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
    try {
        if (!FileExists(files, app, kExeName))
            throw runtime::Failure(runtime::kFileNotFound);
        // An upgrade file already in the application folder is the one installed.
        const bool inPlace = FileExists(files, app, kUpgradeName);
        if (!inPlace && !FileExists(files, source, kUpgradeName))
            throw runtime::Failure(runtime::kFileNotFound);

        if (!inPlace) {
            if (FileExists(files, app, kPartName))
                files.deleteFile(app + kPartName); // left by a copy that a crash cut short
            files.copyFile(source + kUpgradeName, app + kUpgradeName, app + kPartName,
                           [&dialogs](runtime::CopyStage stage, std::uint64_t n, std::uint64_t total) {
                               dialogs.copyProgress(stage, n, total);
                           });
            dialogs.copyEnded();
            done.copied = true;
        }

        if (FileExists(files, app, kOldName))
            RemoveFile(files, dialogs, app, kOldName); // reports its own failure; the next step then fails

        // Keep the previous executable as "Orvalis.old" under a second name where the file
        // system allows, so that "Orvalis.exe" never goes missing; else rename it.
        done.linked = files.linkFile(app + kExeName, app + kOldName);
        if (!done.linked)
            files.renameFile(app + kExeName, app + kOldName);
        done.keptOld = true;

        files.matchPermissions(app + kOldName, app + kUpgradeName);
        if (done.linked)
            files.replaceFile(app + kUpgradeName, app + kExeName);
        else
            files.renameFile(app + kUpgradeName, app + kExeName);
        done.installed = true;

        files.flushFolder(app);
        dialogs.msgBox(kMsgSuccess);
        return SwapOutcome::Upgraded;
    } catch (const runtime::Failure&) {
        dialogs.copyEnded();
        // Once the upgrade is in place, putting the old one back would be the worse choice.
        if (!done.installed && !undo(done, app, files)) {
            dialogs.msgBox(NotRestoredMessage(app));
            return SwapOutcome::Failed;
        }
        dialogs.msgBox(kMsgFailure);
        return SwapOutcome::Failed;
    }
}

} // namespace engine
