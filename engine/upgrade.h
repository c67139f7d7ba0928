#pragma once

#include "runtime/dialogs.h"
#include "runtime/file_services.h"

#include <string>

namespace engine {

inline constexpr const char* kExeName = "Orvalis.exe";
inline constexpr const char* kOldName = "Orvalis.old";
inline constexpr const char* kUpgradeName = "Orvalis.ugx";
/// Where a copy is written before it is complete, on file systems without unnamed files.
inline constexpr const char* kPartName = ".Orvalis.ugx.part";
/// What an "Orvalis.ugx" in the application folder that has names elsewhere is copied to.
inline constexpr const char* kLinkedCopyName = ".Orvalis.ugx.copy";

inline constexpr const char* kMsgSuccess = "Upgrade successful.";
inline constexpr const char* kMsgFailure =
    "Unable to upgrade file. Make sure the file is not write protected.\r\n"
    "Contact us if you continue to have problems upgrading the software.";
inline constexpr const char* kMsgChooseUpgrade = "Please choose the upgrade file Orvalis.ugx.";
inline constexpr const char* kMsgBusy =
    "Another upgrade of this folder is running. Wait for it to finish, then try again.";
inline constexpr const char* kMsgInstalledUnconfirmed =
    "The upgrade is installed, but it could not be confirmed on disk. Please do not run the upgrade "
    "again.\r\n"
    "Contact us if you continue to have problems upgrading the software.";

inline constexpr const char* kMsgCompleted =
    "The upgrade that was interrupted last time has been completed: Orvalis.exe is the new version "
    "and Orvalis.old the previous one.";

/// The message shown when a failed upgrade found `name` changed by another program, so
/// that putting it back could have thrown away a version; it was left as it is.
std::string ChangedMeanwhileMessage(const std::string& name);

/// "Upgrade successful.", and which of the previous executable's NotKept bits the new one
/// could not be given.
std::string NotKeptMessage(unsigned notKept);

/// The message shown when an upgrade failed and the previous executable could not be
/// given its name back, so the user must do it by hand in `appFolder`.
std::string NotRestoredMessage(const std::string& appFolder);

/// Where the user is and what the user picked. The window owns it.
struct BrowseState {
    std::string strAppFolder;    ///< folder text of the folder holding this program
    std::string strBrowseFolder; ///< folder text of the folder the folder list shows
    std::string strChosenFile;   ///< bare name of the file last clicked in the file list
    std::string strChosenFolder; ///< folder text of the folder that file was clicked in
};

enum class SwapOutcome {
    Upgraded,  ///< the upgrade file is "Orvalis.exe" now; the window should unload
    NotChosen, ///< the chosen file is not the upgrade file; nothing was touched
    Failed,    ///< a failure was reported; the folder is as before unless the message says otherwise
    /// The upgrade file is "Orvalis.exe" now, but a step after that failed and the message
    /// said so. Swapping again would throw the previous version away: the window must not.
    InstalledButFailed,
};

/// Installs the chosen upgrade file as "Orvalis.exe" in the application folder, keeping
/// the previous executable as "Orvalis.old", and tells the user how it went.
///
/// Nothing is touched unless "Orvalis.exe" and an upgrade file to install are there, and no
/// other swap of the same folder is running. The upgrade file is the application folder's
/// own "Orvalis.ugx" if it has one (and it is a regular file, not a link or a device), else
/// a verified copy of the one the user chose. A failure before the upgrade file has become
/// "Orvalis.exe" undoes what this run did, so the folder keeps its executable; a failure
/// after that gives InstalledButFailed.
SwapOutcome SwapExecutable(const BrowseState& state, runtime::FileServices& files, runtime::Dialogs& dialogs);

} // namespace engine
