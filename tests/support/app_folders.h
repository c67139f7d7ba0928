#pragma once

#include "support/faulty_file_services.h"
#include "support/platform_file_services.h"
#include "support/temp_folder.h"

#include <filesystem>

namespace testsupport {

/// Where the window's tests start: an application folder "app" holding "Orvalis.exe",
/// "older.UGX" (the one file the file list shows) and entries it must not show (a text file,
/// a hidden upgrade file, a folder named like one), and its subfolder "downloads" with the
/// upgrade file; the window reaches them through the stand-in services.
struct AppFolders {
    AppFolders()
    {
        writeFile(app / "Orvalis.exe", "old executable\n");
        writeFile(app / "readme.txt", "text\n");
        writeFile(app / "older.UGX", "an older upgrade\n");
        // Hidden as each system hides a file: a dot file, or the hidden attribute on Windows.
        const std::filesystem::path hidden = app / hiddenName("hidden.ugx");
        writeFile(hidden, "a hidden file\n");
        hide(hidden);
        tmp.mkdir("app/folder.ugx");
        writeFile(downloads / "Orvalis.ugx", "new executable\n");
        files.setAppFolder(pathText(std::filesystem::path(app).make_preferred()));
    }

    TempFolder tmp;
    std::filesystem::path app = tmp.mkdir("app");
    std::filesystem::path downloads = tmp.mkdir("app/downloads");
    PlatformFileServices real;
    FaultyFileServices files{real};
};

} // namespace testsupport
