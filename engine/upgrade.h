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
inline constexpr const char* kMsgAlreadyInstalled = "This upgrade is already installed.";
inline constexpr const char* kMsgChooseUpgrade = "Please choose the upgrade file Orvalis.ugx.";
inline constexpr const char* kMsgBusy =
    "Another upgrade of this folder is running. Wait for it to finish, then try again.";
inline constexpr const char* kMsgWarning = "WARNING!!! Please be sure that Orvalis has been\r\n"
                                           "shut down prior to continuing the upgrade process.";
inline constexpr const char* kMsgStillRunning = "Orvalis is still running. Close it, then click OK again.";
inline constexpr const char* kMsgInstalledUnconfirmed =
    "The upgrade is installed, but it could not be confirmed on disk. Please do not run the upgrade "
    "again.\r\n"
    "Contact us if you continue to have problems upgrading the software.";

inline constexpr const char* kMsgAlreadyInPlace =
    "The upgrade is already in place as Orvalis.exe; Orvalis.old holds the "
    "previous version.\r\nClose this window and start Orvalis.";

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

/// The message shown when "Orvalis.exe" is running: the fixed text, and the process that
/// runs it where the system can tell.
std::string StillRunningMessage(const runtime::FileInUse& running);

/// Where the user is and what the user picked. The window owns it.
struct BrowseState {
    std::string strAppFolder;    ///< folder text of the folder holding this program
    std::string strBrowseFolder; ///< folder text of the folder the folder list shows
    std::string strChosenFile;   ///< bare name of the file last clicked in the file list
    std::string strChosenFolder; ///< folder text of the folder that file was clicked in
};

/// How a swap ended. Every outcome but Upgraded has shown its message; only Upgraded,
/// NotRestored and InstalledButFailed leave the folder other than it was.
enum class SwapOutcome {
    Upgraded, ///< the upgrade file is "Orvalis.exe" now; the window should unload
    /// "Orvalis.exe" already held the upgrade file's bytes, so nothing was touched; the
    /// window unloads as after an upgrade.
    AlreadyInstalled,
    NotChosen,       ///< the chosen file is not the upgrade file; nothing was touched
    UpgradeNotFound, ///< no upgrade file where it was chosen; nothing was touched
    ExeNotFound,     ///< no "Orvalis.exe" in the application folder; nothing was touched
    StillRunning,    ///< "Orvalis.exe" runs or is held open; nothing was touched
    Busy,            ///< another swap of the folder is running; nothing was touched
    Failed,          ///< a step failed and what this run did is undone
    /// A step failed and the previous executable could not be given its name back; the
    /// message says which file to rename.
    NotRestored,
    /// The upgrade file is "Orvalis.exe" now, but a step after that failed and the message
    /// said so. Swapping again would throw the previous version away: SwapSession refuses to.
    InstalledButFailed,
};

/// Installs the chosen upgrade file as "Orvalis.exe" in the application folder, keeping
/// the previous executable as "Orvalis.old", and tells the user how it went.
///
/// Nothing is touched unless "Orvalis.exe" and an upgrade file to install are there, and no
/// other swap of the same folder is running, and nothing is changed when "Orvalis.exe"
/// already holds the upgrade file's bytes ("This upgrade is already installed."). The upgrade file is the
/// application folder's own "Orvalis.ugx" if it has one (and it is a regular file, not a link or a device),
/// else a verified copy of the one the user chose. A failure before the upgrade file has become "Orvalis.exe"
/// undoes what this run did, so the folder keeps its executable; a failure after that gives
/// InstalledButFailed.
SwapOutcome SwapExecutable(const BrowseState& state, runtime::FileServices& files, runtime::Dialogs& dialogs);

/// The swaps of one run of the program. Once a swap has put the upgrade in place but could
/// not finish (InstalledButFailed), every later one touches nothing, says kMsgAlreadyInPlace
/// and gives InstalledButFailed again: another swap would make the new executable
/// "Orvalis.old" and throw the previous version away.
class SwapSession {
public:
    SwapOutcome swap(const BrowseState& state, runtime::FileServices& files, runtime::Dialogs& dialogs);

private:
    bool m_upgradeInPlace{false};
};

} // namespace engine
