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
