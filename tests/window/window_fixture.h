#pragma once

#include "runtime/posix/posix_file_services.h"
#include "support/faulty_file_services.h"
#include "support/program.h"
#include "support/recording_dialogs.h"
#include "support/temp_folder.h"
#include "toolkit/qt/drive_list.h"
#include "toolkit/qt/file_list.h"
#include "toolkit/qt/folder_list.h"
#include "toolkit/qt/form.h"
#include "toolkit/qt/row_list.h"
#include "toolkit/qt/toolkit.h"
#include "window/frm_file.h"

#include <filesystem>
#include <memory>
#include <string>

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace testsupport {

inline const std::string kWarning = "WARNING!!! Please be sure that Orvalis has been\r\n"
                                    "shut down prior to continuing the upgrade process.";

/// An application folder "app" holding "Orvalis.exe", files the file list must or must not
/// show, and a folder "downloads" with the upgrade file; the window runs on it through the
/// stand-in services.
struct WindowFixture {
    WindowFixture()
    {
        app = tmp.mkdir("app");
        downloads = tmp.mkdir("app/downloads");
        writeFile(app / "Orvalis.exe", "old executable\n");
        writeFile(app / "readme.txt", "text\n");
        writeFile(app / "older.UGX", "an older upgrade\n");
        writeFile(app / ".hidden.ugx", "a dot file\n");
        tmp.mkdir("app/folder.ugx");
        writeFile(downloads / "Orvalis.ugx", "new executable\n");
        files.setAppFolder(app.string());
    }

    /// Makes the window, loads it and shows it, as the program's start does; returns the
    /// window's widget.
    qt::Form& start()
    {
        window = std::make_unique<frmFile>(qt, files, dialogs);
        window->load();
        window->show();
        QApplication::setActiveWindow(&form());
        if (!QTest::qWaitForWindowExposed(&form()))
            qWarning("the window was not exposed");
        return form();
    }

    qt::Form& form() const { return dynamic_cast<qt::Form&>(window->form()); }

    template <typename T> T* control(const char* name) const
    {
        return form().findChild<T*>(QString::fromLatin1(name));
    }
    qt::DriveList* drive1() const { return control<qt::DriveList>("Drive1"); }
    qt::FolderList* dir1() const { return control<qt::FolderList>("Dir1"); }
    qt::FileList* fileList1() const { return control<qt::FileList>("FileList1"); }
    QFrame* panel() const { return control<QFrame>("picFileOpen"); }
    QPushButton* pushButton(const char* name) const { return control<QPushButton>(name); }

    TempFolder tmp;
    std::filesystem::path app;
    std::filesystem::path downloads;
    runtime::PosixFileServices real;
    FaultyFileServices files{real};
    RecordingDialogs dialogs;
    qt::Toolkit qt{kProgram};
    std::unique_ptr<frmFile> window;
};

/// The row of `list` whose shown text is `text`, or -1.
inline int rowOf(const qt::RowList* list, const QString& text)
{
    for (int row = 0; row < list->count(); ++row) {
        if (list->text(row) == text)
            return row;
    }
    return -1;
}

/// A point near the left end of an entry, where the panel never covers the folder list.
inline QPoint entryPoint(const qt::RowList* list, int row)
{
    const QRect rect = list->rowRect(row);
    return QPoint(rect.left() + 12, rect.center().y());
}

inline void clickEntry(qt::RowList* list, const QString& text)
{
    const int row = rowOf(list, text);
    QVERIFY2(row >= 0, qPrintable(QStringLiteral("no entry ") + text));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, entryPoint(list, row));
}

inline void doubleClickEntry(qt::RowList* list, const QString& text)
{
    const int row = rowOf(list, text);
    QVERIFY2(row >= 0, qPrintable(QStringLiteral("no entry ") + text));
    // Press, release, press, release, as the window system delivers it: a click, then a double click.
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, entryPoint(list, row));
}

inline QStringList entries(const qt::RowList* list)
{
    QStringList texts;
    for (int row = 0; row < list->count(); ++row)
        texts << list->text(row);
    return texts;
}

} // namespace testsupport
