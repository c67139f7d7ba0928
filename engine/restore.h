#pragma once

#include "engine/upgrade.h"
#include "runtime/dialogs.h"
#include "runtime/file_services.h"

#include <string>

namespace engine {

/// Where the executable being put aside waits for its new name while "Orvalis.old" takes
/// "Orvalis.exe", on file systems that cannot trade two names in one step.
inline constexpr const char* kRestoreName = ".Orvalis.restore";

inline constexpr const char* kMsgRestored =
    "The previous version is back as Orvalis.exe; the one it replaced is kept as Orvalis.old.";
inline constexpr const char* kMsgNothingToRestore = "There is no Orvalis.old to put back.";
inline constexpr const char* kMsgOldIsCurrent =
    "Orvalis.old is another name of the current Orvalis.exe, not a previous version: there is nothing to "
    "put back.";
inline constexpr const char* kMsgRestoreFailure =
    "Unable to put Orvalis.old back. Make sure the file is not write protected.\r\n"
    "Contact us if you continue to have problems upgrading the software.";
inline constexpr const char* kMsgRestoredUnconfirmed =
    "The previous version is back as Orvalis.exe, but it could not be confirmed on disk. Please do not "
    "put it back again.\r\n"
    "Contact us if you continue to have problems upgrading the software.";

/// The message when the previous version is back but the one it replaced kept only its
/// waiting name: the user renames it in `appFolder`.
std::string ReplacedNotKeptMessage(const std::string& appFolder);

/// The message when putting the previous version back failed and "Orvalis.exe" could not
/// be given its name back either.
std::string RestoreNotUndoneMessage(const std::string& appFolder);

/// Puts "Orvalis.old" back as "Orvalis.exe" in `appFolder` (a folder text), keeping the
/// current executable as "Orvalis.old", and tells the user how it went.
///
/// The same lock and checks as the swap: nothing is touched unless both files are there,
/// "Orvalis.exe" is not running and no other swap of the folder runs. "Orvalis.exe" is
/// there at every moment where the file system can trade names or has hard links; the
/// folder is flushed before success is told. What a run cut short left behind is finished
/// or put back first. Upgraded means the previous version is "Orvalis.exe" now;
/// UpgradeNotFound that there is no "Orvalis.old", or only a second name of "Orvalis.exe".
SwapOutcome RestoreExecutable(const std::string& appFolder, runtime::FileServices& files,
                              runtime::Dialogs& dialogs);

} // namespace engine
