#include "frm_file.h"

#include "engine/folder_text.h"
#include "frm_file_definition.h"
#include "toolkit/list_contents.h"

namespace {

const char* const kHelp = "Browse to the upgrade file that you've saved and click on it.\r\n"
                          "Once selected, click OK to start the upgrade process.";
const char* const kPattern = "*.ugx";
const char* const kCaptionChosen = "Open... ";
const char* const kCaptionBack = "Open File From...";
const char* const kMsgDriveUnavailable = "This Drive is currently unavailable.";
const char* const kMsgFolderUnavailable = "This Folder is currently unavailable.";

// The folder above `path`, or "" at a root.
std::string parentOf(const std::string& path)
{
    const std::string trimmed = runtime::TrimSeparator(path);
    const std::size_t sep = trimmed.find_last_of(runtime::kFolderSeparator);
    if (sep == std::string::npos || trimmed.size() <= sep + 1)
        return {};
    return runtime::TrimSeparator(trimmed.substr(0, sep + 1));
}

} // namespace

frmFile::frmFile(runtime::Toolkit& toolkit, runtime::FileServices& files)
    : frmFile(toolkit, files, toolkit.dialogs())
{}

frmFile::frmFile(runtime::Toolkit& toolkit, runtime::FileServices& files, runtime::Dialogs& dialogs)
    : m_toolkit(toolkit), m_files(files), m_dialogs(dialogs), m_actions(files)
{}

void frmFile::build()
{
    m_form = m_toolkit.createForm(frmFileDefinition(), m_actions);
    lblHelp = &m_form->label("lblHelp");
    Drive1 = &m_form->driveList("Drive1");
    Dir1 = &m_form->folderList("Dir1");
    FileList1 = &m_form->fileList("FileList1");
    picFileOpen = &m_form->panel("picFileOpen");
    lblOpenFileName = &m_form->label("lblOpenFileName");
    cmdOpenOK = &m_form->pushButton("cmdOpenOK");
    cmdOpenBack = &m_form->pushButton("cmdOpenBack");
    cmdOpenCancel = &m_form->pushButton("cmdOpenCancel");
    bindEvents();
}

void frmFile::bindEvents()
{
    Drive1->onChange([this] { Drive1_Change(); });
    Dir1->onChange([this] { Dir1_Change(); });
    Dir1->onClick([this] { Dir1_Click(); });
    Dir1->onOpenFailed([this](const std::string& path, const runtime::Failure& failure) {
        showFolderFailure(path, failure.description());
    });
    FileList1->onClick([this] { FileList1_Click(); });
    FileList1->onReadFailed([this](const std::string& path, const runtime::Failure& failure) {
        showFolderFailure(path, failure.description());
        returnToReadableFolder(path);
    });
    cmdOpenOK->onClick([this] { cmdOpenOK_Click(); });
    cmdOpenBack->onClick([this] { cmdOpenBack_Click(); });
    cmdOpenCancel->onClick([this] { cmdOpenCancel_Click(); });
}

void frmFile::load()
{
    Form_Load();
}

void frmFile::show()
{
    if (m_form)
        m_form->showCentred();
}

void frmFile::Form_Load()
{
    // Loading is one action, as each event the toolkit delivers is.
    runtime::Actions::Scope action(m_actions);
    // The box shows as soon as the program starts; the window, which shows only after it, is
    // built while the user reads it.
    m_dialogs.msgBoxMeanwhile(engine::kMsgWarning, runtime::MsgKind::Warning, [this] { build(); });
    lblHelp->setCaption(kHelp);
    try {
        m_state.strAppFolder = engine::AppFolderText(m_files.appFolder());
        Drive1->setDrive(m_state.strAppFolder);
        Dir1->setPath(m_state.strAppFolder);
        m_state.strBrowseFolder = engine::FolderText(Dir1->path());
        FileList1->setPath(m_state.strAppFolder);
        FileList1->setPattern(kPattern);
        Dir1_Click();
    } catch (const runtime::Failure& failure) {
        showFolderFailure(runtime::TrimSeparator(m_state.strAppFolder), failure.description());
        fallBackToDriveRoot();
    }
}

void frmFile::Drive1_Change()
{
    try {
        Dir1->goToDrive(Drive1->currentDrive());
    } catch (const runtime::Failure&) {
        // Going back to the application's drive failed as well: the message has been shown
        // once, and the lists stay where they are.
        if (m_returningToAppDrive)
            return;
        m_dialogs.msgBox(kMsgDriveUnavailable, runtime::MsgKind::Warning);
        m_returningToAppDrive = true;
        try {
            Drive1->setDrive(m_state.strAppFolder);
        } catch (const runtime::Failure&) {
            // The drive list keeps the drive that failed; the folder list never left its folder.
        }
        m_returningToAppDrive = false;
    }
}

void frmFile::Dir1_Change()
{
    // The file list reads the folder once, when the action that led here has ended.
    m_state.strBrowseFolder = engine::FolderText(Dir1->path());
    FileList1->refresh();
    FileList1->setPath(m_state.strBrowseFolder);
    FileList1->setPattern(kPattern);
}

void frmFile::Dir1_Click()
{
    Dir1_Change();
}

void frmFile::FileList1_Click()
{
    const std::string name = FileList1->fileName();
    m_form->setCaption(kCaptionChosen + name);
    m_state.strChosenFile = name;
    // The swap copies from the folder the file was clicked in, even if the user browses on.
    m_state.strChosenFolder = engine::FolderText(FileList1->shownPath());
    lblOpenFileName->setCaption(m_state.strChosenFile);
    picFileOpen->show();
}

void frmFile::cmdOpenOK_Click()
{
    switch (m_swaps.swap(m_state, m_files, m_dialogs)) {
    case engine::SwapOutcome::Upgraded:
    case engine::SwapOutcome::AlreadyInstalled:
        m_form->unload();
        break;
    case engine::SwapOutcome::InstalledButFailed:
    case engine::SwapOutcome::NotChosen:
    case engine::SwapOutcome::UpgradeNotFound:
    case engine::SwapOutcome::ExeNotFound:
    case engine::SwapOutcome::StillRunning:
    case engine::SwapOutcome::Busy:
    case engine::SwapOutcome::Failed:
    case engine::SwapOutcome::NotRestored:
        break;
    }
}

void frmFile::cmdOpenBack_Click()
{
    picFileOpen->hide();
    m_form->setCaption(kCaptionBack);
}

void frmFile::cmdOpenCancel_Click()
{
    m_form->unload();
}

void frmFile::showFolderFailure(const std::string& path, const std::string& description)
{
    m_dialogs.msgBox(std::string(kMsgFolderUnavailable) + "\r\n" + path + "\r\nDescription: " + description,
                     runtime::MsgKind::Warning);
}

void frmFile::returnToReadableFolder(const std::string& failed)
{
    if (m_returningToReadableFolder)
        return;
    m_returningToReadableFolder = true;
    std::vector<std::string> candidates;
    if (const std::string shown = FileList1->shownPath(); !shown.empty() && shown != failed)
        candidates.push_back(shown);
    for (std::string up = parentOf(failed); !up.empty(); up = parentOf(up))
        candidates.push_back(up);
    candidates.push_back(runtime::TrimSeparator(m_state.strAppFolder));
    for (const std::string& folder : candidates) {
        if (folder == failed)
            continue;
        try {
            if (folder == Dir1->path()) {
                Dir1_Change(); // the folder list is there already, so it raises no change
            } else {
                Dir1->setPath(folder);
            }
            break;
        } catch (const runtime::Failure&) {
            // Try the next folder up; the message for the first one has been shown.
        }
    }
    m_returningToReadableFolder = false;
}

void frmFile::fallBackToDriveRoot()
{
    const std::string root = Drive1->currentDrive().root;
    if (root.empty())
        return;
    try {
        Dir1->setPath(root);
        if (FileList1->path() != Dir1->path())
            Dir1_Change(); // the folder list was there already, so it raised no change
    } catch (const runtime::Failure& failure) {
        showFolderFailure(runtime::TrimSeparator(root), failure.description());
    }
}
