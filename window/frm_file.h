#pragma once

#include "engine/upgrade.h"
#include "runtime/dialogs.h"
#include "runtime/failure.h"
#include "runtime/file_services.h"

#include <string>

#include <QWidget>

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace toolkit {
class DriveListBox;
class FileListBox;
class FolderListBox;
} // namespace toolkit

/// The program's one window: browse to the upgrade file, click it, confirm with "OK".
///
/// It owns the browse state for its whole life. Files and messages go through the services
/// it is given, so tests can stand in for both. Closing it, by "Cancel", by a successful
/// upgrade or by the title bar, ends the program when it is the last window.
class frmFile : public QWidget {
    Q_OBJECT

public:
    frmFile(runtime::FileServices& files, runtime::Dialogs& dialogs, QWidget* parent = nullptr);

    /// Loads the window: runs Form_Load, which shows the warning first. The window is not
    /// shown; call showCentred() after.
    void load();

    /// Shows the window centred on the screen it is on.
    void showCentred();

    const engine::BrowseState& browseState() const { return m_state; }

private:
    void createHelp();
    void createLists();
    void createPanel();
    void createHiddenControls();
    void createTabOrder();

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
    /// After a failed read, moves the folder list back to the folder the file list still
    /// shows, so the two lists agree on a folder that could be read.
    void returnToReadableFolder();
    /// After a failed start, puts the lists on the application folder's drive root.
    void fallBackToDriveRoot();

    runtime::FileServices& m_files;
    runtime::Dialogs& m_dialogs;
    engine::BrowseState m_state;
    bool m_returningToAppDrive{false};
    bool m_returningToReadableFolder{false};

    QLabel* lblHelp{nullptr};
    QLabel* lblDrive{nullptr};
    toolkit::DriveListBox* Drive1{nullptr};
    QLabel* lblDir1{nullptr};
    QLabel* lblFileList1{nullptr};
    toolkit::FolderListBox* Dir1{nullptr};
    toolkit::FileListBox* FileList1{nullptr};
    QFrame* picFileOpen{nullptr};
    QLabel* lblPointOpen{nullptr};
    QLabel* lblOpenFileName{nullptr};
    QPushButton* cmdOpenOK{nullptr};
    QPushButton* cmdOpenCancel{nullptr};
    QPushButton* cmdOpenBack{nullptr};
    QLineEdit* txtSaveAs{nullptr};
    QPushButton* cmdSaveAs{nullptr};
    QLabel* lblSaveAs{nullptr};
    QCheckBox* chkProp{nullptr};
};
