// The Qt lists' own promises: they draw the rows their states hold, and the mouse and the keys
// raise the events the states define. What the rows are is tested with the states
// (tests/toolkit/test_toolkit.cpp); the file list's clicks and keys in the window
// (test_qt_window.cpp).

#include "runtime/posix/posix_file_services.h"
#include "support/faulty_file_services.h"
#include "support/temp_folder.h"
#include "toolkit/qt/drive_list.h"
#include "toolkit/qt/file_list.h"
#include "toolkit/qt/folder_list.h"

#include <filesystem>

#include <QTest>

class TestListBoxes : public QObject {
    Q_OBJECT

private slots:
    void folderListDrawsTheTreeAClickSelectsAndADoubleClickOrEnterOpens();
    void driveListShowsTheDrivesAndTheKeysChooseOne();
};

namespace {

struct Folders {
    testsupport::TempFolder tmp;
    runtime::PosixFileServices real;
    testsupport::FaultyFileServices files{real};
    runtime::Actions actions{files};
};

QStringList texts(const qt::RowList& list)
{
    QStringList out;
    for (int row = 0; row < list.count(); ++row)
        out << list.text(row);
    return out;
}

QPoint centreOf(const qt::RowList& list, int row)
{
    return list.rowRect(row).center();
}

} // namespace

void TestListBoxes::folderListDrawsTheTreeAClickSelectsAndADoubleClickOrEnterOpens()
{
    Folders f;
    f.tmp.mkdir("qa");
    f.tmp.mkdir("qb");
    const auto sub = f.tmp.mkdir("sub");
    qt::FolderList list(f.actions);
    list.resize(300, 600);
    list.setPath(f.tmp.text());
    // The tree from "/" down to the folder, each part a row, then its subfolders.
    QStringList expected{"/"};
    for (const auto& part : f.tmp.path().relative_path())
        expected << QString::fromStdString(part.string());
    expected << "qa"
             << "qb"
             << "sub";
    QCOMPARE(texts(list), expected);
    QCOMPARE(list.currentRow(), int(expected.size()) - 4);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    int changes = 0;
    list.onChange([&] { ++changes; });
    int clicks = 0;
    list.onClick([&] { ++clicks; });
    const int row = list.count() - 1;

    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, centreOf(list, row));
    QCOMPARE(clicks, 1);
    QCOMPARE(changes, 0);
    QCOMPARE(list.path(), f.tmp.path().string());
    QCOMPARE(list.currentRow(), row);

    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, centreOf(list, row));
    QCOMPARE(changes, 1);
    QCOMPARE(list.path(), sub.string());

    // The keys: Up selects the folder above (a click), Enter opens it.
    QTest::keyClick(&list, Qt::Key_Up);
    QCOMPARE(clicks, 3);
    QCOMPARE(list.path(), sub.string());
    QTest::keyClick(&list, Qt::Key_Return);
    QCOMPARE(changes, 2);
    QCOMPARE(list.path(), f.tmp.path().string());
    // A letter typed again at once goes on to the next entry with it, each a click.
    QTest::keyClick(&list, Qt::Key_Q);
    QCOMPARE(list.text(list.selectedRow()), QStringLiteral("qa"));
    QTest::keyClick(&list, Qt::Key_Q);
    QCOMPARE(list.text(list.selectedRow()), QStringLiteral("qb"));
    QCOMPARE(clicks, 5);
}

void TestListBoxes::driveListShowsTheDrivesAndTheKeysChooseOne()
{
    Folders f;
    f.files.addUnreadyDrive({"/media/card", "/media/card/"});
    qt::DriveList list(f.actions);
    QCOMPARE(list.itemText(0), QString::fromStdString(f.real.drives().front().name));
    QCOMPARE(list.itemText(list.count() - 1), QStringLiteral("/media/card"));
    list.setDrive("/media/card/DCIM");
    QCOMPARE(list.currentText(), QStringLiteral("/media/card"));

    // The user picks the first drive with the keys.
    int changes = 0;
    list.onChange([&] { ++changes; });
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QTest::keyClick(&list, Qt::Key_Home);
    QCOMPARE(changes, 1);
    QCOMPARE(list.drive(), f.real.drives().front().name);
    QCOMPARE(list.currentIndex(), 0);
}

QTEST_MAIN(TestListBoxes)
#include "test_list_boxes.moc"
