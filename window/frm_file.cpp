#include "frm_file.h"

#include "app/icon/orvalis.xpm"
#include "engine/folder_text.h"
#include "runtime/qt/display_text.h"
#include "runtime/qt/drive_list_box.h"
#include "runtime/qt/file_list_box.h"
#include "runtime/qt/folder_list_box.h"
#include "runtime/qt/name_pattern.h"

#include <QCheckBox>
#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

namespace {

const char* const kWarning = "WARNING!!! Please be sure that Orvalis has been\r\n"
                             "shut down prior to continuing the upgrade process.";
const char* const kHelpAtStart =
    "Double-Click on the Drive or Folder category to find the file you wish to open.";
const char* const kHelp = "Browse to the upgrade file that you've saved and click on it.\r\n"
                          "Once selected, click OK to start the upgrade process.";
const char* const kPattern = "*.ugx";
const char* const kCaptionAtStart = "Open Upgrade File From...";
const char* const kCaptionChosen = "Open... ";
const char* const kCaptionBack = "Open File From...";
const char* const kMsgDriveUnavailable = "This Drive is currently unavailable.";
const char* const kMsgFolderUnavailable = "This Folder is currently unavailable.";

// The layout is given in twips; 15 of them make a pixel at 96 dots per inch, and Qt scales
// pixels on other displays.
constexpr int px(int twips)
{
    return twips / 15;
}

QRect twips(int left, int top, int width, int height)
{
    return QRect(px(left), px(top), px(width), px(height));
}

QFont sansSerif(double points, QFont::Weight weight)
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setWeight(weight);
    return font;
}

// A label that sizes itself to its caption, keeping its top-left corner.
QLabel* fittedLabel(const char* caption, const QFont& font, int left, int top, QWidget* parent)
{
    auto* label = new QLabel(QString::fromLatin1(caption), parent);
    label->setFont(font);
    label->move(px(left), px(top));
    label->adjustSize();
    return label;
}

void setTextColour(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

void setWhiteBackground(QWidget* widget)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Button, Qt::white);
    widget->setPalette(palette);
}

QPushButton* button(const char* caption, const QRect& geometry, QWidget* parent)
{
    auto* push = new QPushButton(QString::fromLatin1(caption), parent);
    push->setGeometry(geometry);
    // Enter presses a button only while it has the focus; no button is the default.
    push->setAutoDefault(true);
    push->setDefault(false);
    return push;
}

} // namespace

frmFile::frmFile(runtime::FileServices& files, runtime::Dialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_files(files), m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("frmFile"));
    setWindowTitle(QString::fromLatin1(kCaptionAtStart));
    setWindowIcon(QIcon(QPixmap(orvalis_xpm)));
    setFont(sansSerif(8.25, QFont::Normal));
    setFixedSize(px(6105), px(4470));

    createHelp();
    createLists();
    createPanel();
    createHiddenControls();
    createTabOrder();
    FileList1->setFocus();
}

void frmFile::createHelp()
{
    lblHelp = new QLabel(QString::fromLatin1(kHelpAtStart), this);
    lblHelp->setObjectName(QStringLiteral("lblHelp"));
    lblHelp->setGeometry(twips(180, 0, 5475, 555));
    lblHelp->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    lblHelp->setWordWrap(true);
    lblHelp->setAutoFillBackground(true);
}

void frmFile::createLists()
{
    const QFont bold = sansSerif(8.25, QFont::Bold);

    lblDrive = fittedLabel("Drive:", bold, 60, 660, this);
    lblDrive->setObjectName(QStringLiteral("lblDrive"));
    setTextColour(lblDrive, Qt::black);

    Drive1 = new toolkit::DriveListBox(m_files, this);
    Drive1->setObjectName(QStringLiteral("Drive1"));
    Drive1->setGeometry(twips(0, 960, 2235, 315));
    Drive1->setAccessibleName(QStringLiteral("Drive:"));
    setWhiteBackground(Drive1);

    lblDir1 = fittedLabel("Folder:", bold, 60, 1440, this);
    lblDir1->setObjectName(QStringLiteral("lblDir1"));
    setTextColour(lblDir1, Qt::black);

    lblFileList1 = fittedLabel("Upgrade File Name:", bold, 3000, 1440, this);
    lblFileList1->setObjectName(QStringLiteral("lblFileList1"));
    setTextColour(lblFileList1, Qt::black);

    Dir1 = new toolkit::FolderListBox(m_files, this);
    Dir1->setObjectName(QStringLiteral("Dir1"));
    Dir1->setGeometry(twips(60, 1740, 2715, 2565));
    Dir1->setAccessibleName(QStringLiteral("Folder:"));
    setWhiteBackground(Dir1);

    FileList1 = new toolkit::FileListBox(m_files, this);
    FileList1->setObjectName(QStringLiteral("FileList1"));
    FileList1->setGeometry(twips(2940, 1740, 3015, 2625));
    FileList1->setAccessibleName(QStringLiteral("Upgrade File Name:"));
    setWhiteBackground(FileList1);

    connect(Drive1, &toolkit::DriveListBox::change, this, &frmFile::Drive1_Change);
    connect(Dir1, &toolkit::FolderListBox::change, this, &frmFile::Dir1_Change);
    connect(Dir1, &toolkit::FolderListBox::click, this, &frmFile::Dir1_Click);
    connect(Dir1, &toolkit::FolderListBox::openFailed, this,
            [this](const std::string& path, int, const std::string& description) {
                showFolderFailure(path, description);
            });
    connect(FileList1, &toolkit::FileListBox::click, this, &frmFile::FileList1_Click);
}

void frmFile::createPanel()
{
    picFileOpen = new QFrame(this);
    picFileOpen->setObjectName(QStringLiteral("picFileOpen"));
    picFileOpen->setGeometry(twips(1380, 1620, 3375, 1395));
    picFileOpen->setFrameStyle(QFrame::Box | QFrame::Plain);
    picFileOpen->setLineWidth(1);
    picFileOpen->setAutoFillBackground(true);
    picFileOpen->setBackgroundRole(toolkit::SystemColourRole(10));
    picFileOpen->setForegroundRole(toolkit::SystemColourRole(8));
    picFileOpen->setFocusPolicy(Qt::StrongFocus);

    lblPointOpen =
        fittedLabel("Upgrade with this file...", sansSerif(9.75, QFont::Bold), 120, 60, picFileOpen);
    lblPointOpen->setObjectName(QStringLiteral("lblPointOpen"));

    lblOpenFileName = new QLabel(QStringLiteral("lblFileName"), picFileOpen);
    lblOpenFileName->setObjectName(QStringLiteral("lblOpenFileName"));
    lblOpenFileName->setFont(sansSerif(9.75, QFont::Normal));
    lblOpenFileName->setGeometry(twips(120, 360, 2250, 240));
    lblOpenFileName->setForegroundRole(toolkit::SystemColourRole(8));

    cmdOpenOK = button("OK", twips(120, 780, 855, 255), picFileOpen);
    cmdOpenOK->setObjectName(QStringLiteral("cmdOpenOK"));
    cmdOpenCancel = button("Cancel", twips(1080, 780, 795, 255), picFileOpen);
    cmdOpenCancel->setObjectName(QStringLiteral("cmdOpenCancel"));
    cmdOpenBack = button("Return to List", twips(1980, 780, 1155, 255), picFileOpen);
    cmdOpenBack->setObjectName(QStringLiteral("cmdOpenBack"));

    connect(cmdOpenOK, &QPushButton::clicked, this, &frmFile::cmdOpenOK_Click);
    connect(cmdOpenBack, &QPushButton::clicked, this, &frmFile::cmdOpenBack_Click);
    connect(cmdOpenCancel, &QPushButton::clicked, this, &frmFile::cmdOpenCancel_Click);

    picFileOpen->hide();
    picFileOpen->raise();
}

// Part of the window since its first design; nothing shows, reads or changes them.
void frmFile::createHiddenControls()
{
    txtSaveAs = new QLineEdit(this);
    txtSaveAs->setObjectName(QStringLiteral("txtSaveAs"));
    txtSaveAs->setGeometry(twips(2400, 960, 3135, 315));
    txtSaveAs->hide();

    cmdSaveAs = button("OK", twips(5640, 960, 375, 315), this);
    cmdSaveAs->setObjectName(QStringLiteral("cmdSaveAs"));
    cmdSaveAs->hide();

    lblSaveAs = fittedLabel("Save File As:", sansSerif(8.25, QFont::Bold), 2460, 720, this);
    lblSaveAs->setObjectName(QStringLiteral("lblSaveAs"));
    setTextColour(lblSaveAs, Qt::black);
    lblSaveAs->hide();

    chkProp = new QCheckBox(QStringLiteral("Ignore Associated Properties"), picFileOpen);
    chkProp->setObjectName(QStringLiteral("chkProp"));
    chkProp->setGeometry(twips(180, 1080, 2835, 255));
    chkProp->hide();

    // The panel lies above everything it overlaps, these included.
    picFileOpen->raise();
}

void frmFile::createTabOrder()
{
    QWidget* const order[] = {picFileOpen, cmdOpenOK, cmdOpenBack, cmdOpenCancel, FileList1,
                              Dir1,        Drive1,    txtSaveAs,   cmdSaveAs,     chkProp};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void frmFile::load()
{
    Form_Load();
}

void frmFile::showCentred()
{
    const QScreen* screen = this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr)
        setGeometry(
            QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen->availableGeometry()));
    show();
}

void frmFile::Form_Load()
{
    m_dialogs.msgBox(kWarning);
    lblHelp->setText(toolkit::DisplayText(kHelp));
    try {
        m_state.strAppFolder = engine::AppFolderText(m_files.appFolder());
        Drive1->setDrive(m_state.strAppFolder);
        Dir1->setPath(m_state.strAppFolder);
        m_state.strBrowseFolder = engine::FolderText(Dir1->path());
        FileList1->setPath(m_state.strAppFolder);
        FileList1->setPattern(kPattern);
        Dir1_Click();
    } catch (const runtime::Failure& failure) {
        showFolderFailure(toolkit::TrimSeparator(m_state.strAppFolder), failure.description());
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
        m_dialogs.msgBox(kMsgDriveUnavailable);
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
    std::string reading;
    try {
        m_state.strBrowseFolder = engine::FolderText(Dir1->path());
        reading = FileList1->path();
        FileList1->refresh();
        reading = Dir1->path();
        FileList1->setPath(m_state.strBrowseFolder);
        FileList1->setPattern(kPattern);
    } catch (const runtime::Failure& failure) {
        showFolderFailure(reading, failure.description());
        returnToReadableFolder();
    }
}

void frmFile::Dir1_Click()
{
    Dir1_Change();
}

void frmFile::FileList1_Click()
{
    const std::string name = FileList1->fileName();
    setWindowTitle(QString::fromLatin1(kCaptionChosen) + toolkit::DisplayText(name));
    m_state.strChosenFile = name;
    // The swap copies from the folder the file was clicked in, even if the user browses on.
    m_state.strChosenFolder = engine::FolderText(FileList1->path());
    lblOpenFileName->setText(toolkit::DisplayText(m_state.strChosenFile));
    picFileOpen->show();
}

void frmFile::cmdOpenOK_Click()
{
    if (engine::SwapExecutable(m_state, m_files, m_dialogs) == engine::SwapOutcome::Upgraded)
        close();
}

void frmFile::cmdOpenBack_Click()
{
    picFileOpen->hide();
    setWindowTitle(QString::fromLatin1(kCaptionBack));
}

void frmFile::cmdOpenCancel_Click()
{
    close();
}

void frmFile::showFolderFailure(const std::string& path, const std::string& description)
{
    m_dialogs.msgBox(std::string(kMsgFolderUnavailable) + "\r\n" + path + "\r\nDescription: " + description);
}

void frmFile::returnToReadableFolder()
{
    const std::string shown = FileList1->path();
    if (!m_returningToReadableFolder && !shown.empty() && shown != Dir1->path()) {
        m_returningToReadableFolder = true;
        try {
            Dir1->setPath(shown);
        } catch (const runtime::Failure& failure) {
            showFolderFailure(shown, failure.description());
        }
        m_returningToReadableFolder = false;
    }
    if (!shown.empty())
        m_state.strBrowseFolder = engine::FolderText(shown);
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
        showFolderFailure(toolkit::TrimSeparator(root), failure.description());
    }
}
