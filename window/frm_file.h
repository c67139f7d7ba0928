#pragma once

#include "engine/upgrade.h"
#include "runtime/dialogs.h"
#include "runtime/failure.h"
#include "runtime/file_services.h"
#include "toolkit/actions.h"
#include "toolkit/toolkit.h"

#include <memory>
#include <string>

/// The program's one window: browse to the upgrade file, click it, confirm with "OK".
///
/// It owns the browse state for its whole life. The controls come from the toolkit it is
/// given, built from frmFileDefinition() when the window loads; files and messages go
/// through the services it is given, so tests can stand in for both. Unloading it, by "Cancel", by a
/// successful upgrade or by the title bar, ends the program.
class frmFile {
public:
    frmFile(runtime::Toolkit& toolkit, runtime::FileServices& files);
    /// The same, with `dialogs` showing the messages instead of the toolkit's own.
    frmFile(runtime::Toolkit& toolkit, runtime::FileServices& files, runtime::Dialogs& dialogs);
    frmFile(const frmFile&) = delete;
    frmFile& operator=(const frmFile&) = delete;

    /// Loads the window: runs Form_Load, which shows the warning first and then builds the
    /// window's controls. The window is not shown; call show() after. A window the system
    /// refuses to build throws, as the toolkit's createForm does.
    void load();

    /// Shows the window centred on the screen.
    void show();

    /// The window, once loaded.
    runtime::Form& form() { return *m_form; }
    const engine::BrowseState& browseState() const { return m_state; }

private:
    void build();
    void bindEvents();

    void Form_Load();
    void Drive1_Change();
    void Dir1_Change();
    void Dir1_Click();
    void FileList1_Click();
    void cmdOpenOK_Click();
    void cmdOpenBack_Click();
    void cmdOpenCancel_Click();

    /// Tells the user that the folder at `path` could not be read, and why.
    void showFolderFailure(const std::string& path, const std::string& description);
    /// After the folder `failed` could not be read, puts both lists on a folder that can
    /// be: the one the file list showed before, else the nearest folder above, else the
    /// application folder.
    void returnToReadableFolder(const std::string& failed);
    /// After a failed start, puts the lists on the application folder's drive root.
    void fallBackToDriveRoot();

    runtime::Toolkit& m_toolkit;
    runtime::FileServices& m_files;
    runtime::Dialogs& m_dialogs;
    runtime::Actions m_actions;
    std::unique_ptr<runtime::Form> m_form;
    engine::BrowseState m_state;
    bool m_returningToAppDrive{false};
    bool m_returningToReadableFolder{false};
    engine::SwapSession m_swaps;

    // The controls, from the moment the window is built.
    runtime::Label* lblHelp{nullptr};
    runtime::DriveList* Drive1{nullptr};
    runtime::FolderList* Dir1{nullptr};
    runtime::FileList* FileList1{nullptr};
    runtime::Panel* picFileOpen{nullptr};
    runtime::Label* lblOpenFileName{nullptr};
    runtime::PushButton* cmdOpenOK{nullptr};
    runtime::PushButton* cmdOpenBack{nullptr};
    runtime::PushButton* cmdOpenCancel{nullptr};
};
