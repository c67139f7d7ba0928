#pragma once

#include "engine/upgrade.h"
#include "runtime/file_services.h"
#include "support/faulty_file_services.h"
#include "support/platform_file_services.h"
#include "support/recording_dialogs.h"
#include "support/temp_folder.h"

#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

inline const std::string kOldExe = "old executable\n";
inline const std::string kNewExe = "new executable, a little longer\n";
inline const std::string kOlderExe = "the one before\n";

// The engine's messages as the user reads them, written out once for the engine's tests.
inline const std::string kSuccess = "Upgrade successful.";
inline const std::string kContactUs =
    "\r\nContact us if you continue to have problems upgrading the software.";
inline const std::string kFailure =
    "Unable to upgrade file. Make sure the file is not write protected." + kContactUs;
inline const std::string kAlreadyInstalled = "This upgrade is already installed.";
inline const std::string kCompleted =
    "The upgrade that was interrupted last time has been completed: Orvalis.exe "
    "is the new version and Orvalis.old the previous one.";
inline const std::string kInstalledUnconfirmed =
    "The upgrade is installed, but it could not be confirmed on disk. Please do not run the upgrade again." +
    kContactUs;
inline const std::string kWarning = "WARNING!!! Please be sure that Orvalis has been\r\n"
                                    "shut down prior to continuing the upgrade process.";
inline const std::string kRestoreFailure =
    "Unable to put Orvalis.old back. Make sure the file is not write protected." + kContactUs;
inline const std::string kRestoredUnconfirmed =
    "The previous version is back as Orvalis.exe, but it could not be "
    "confirmed on disk. Please do not put it back again." +
    kContactUs;

/// An application folder "app" with "Orvalis.exe", and a download folder "saved" with
/// "Orvalis.ugx" in it, the user having clicked that file.
struct UpgradeFixture {
    explicit UpgradeFixture(PlatformFileServices::Options options = {}) : real(options), files(real)
    {
        app = tmp.mkdir("app");
        saved = tmp.mkdir("saved");
        writeFile(app / "Orvalis.exe", kOldExe);
        writeFile(saved / "Orvalis.ugx", kNewExe);
        state.strAppFolder = pathText(app) + runtime::kFolderSeparator;
        state.strBrowseFolder = pathText(saved) + runtime::kFolderSeparator;
        state.strChosenFolder = state.strBrowseFolder;
        state.strChosenFile = "Orvalis.ugx";
    }

    engine::SwapOutcome swap() { return engine::SwapExecutable(state, files, dialogs); }

    std::vector<std::string> appNames() const { return listNames(app); }
    std::string appFile(const std::string& name) const { return readFile(app / name); }

    TempFolder tmp;
    std::filesystem::path app;
    std::filesystem::path saved;
    PlatformFileServices real;
    FaultyFileServices files;
    RecordingDialogs dialogs;
    engine::BrowseState state;
};

} // namespace testsupport
