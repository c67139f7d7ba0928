#include "runtime/errors.h"
#include "runtime/failure.h"
#include "runtime/posix/posix_file_services.h"
#include "support/faulty_file_services.h"
#include "support/temp_folder.h"
#include "toolkit/list_contents.h"
#include "toolkit/qt/drive_list.h"
#include "toolkit/qt/file_list.h"
#include "toolkit/qt/folder_list.h"

#include <filesystem>

#include <QTest>

using testsupport::Op;

class TestListBoxes : public QObject {
    Q_OBJECT

private slots:
    void fileListShowsMatchingFilesOnly();
    void folderListIsTheTreeDownToThePath();
    void folderListClickSelectsAndDoubleClickOpens();
    void driveListShowsTheDrivesAndTheKeysChooseOne();
};

namespace {

struct Folders {
    Folders() : files(real) {}
    testsupport::TempFolder tmp;
    runtime::PosixFileServices real;
    testsupport::FaultyFileServices files;
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

void TestListBoxes::fileListShowsMatchingFilesOnly()
{
    Folders f;
    const auto dir = f.tmp.path();
    for (const char* name : {"b.ugx", "A.UGX", "c.txt", ".dot.ugx"})
        testsupport::writeFile(dir / name, "");
    f.tmp.mkdir("folder.ugx");
    std::filesystem::create_symlink(dir / "b.ugx", dir / "link.ugx");
    std::filesystem::create_symlink(dir / "missing", dir / "dangling.ugx");

    qt::FileList list(f.actions);
    QCOMPARE(list.count(), 0); // nothing is read before a path is set
    list.setPath(f.tmp.text());
    QCOMPARE(list.path(), dir.string());
    QCOMPARE(texts(list), (QStringList{"A.UGX", "b.ugx", "c.txt", "link.ugx"}));
    list.setPattern("*.ugx");
    QCOMPARE(texts(list), (QStringList{"A.UGX", "b.ugx", "link.ugx"}));

    QCOMPARE(list.fileName(), std::string());
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    int clicks = 0;
    list.onClick([&] { ++clicks; });
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, centreOf(list, 1));
    QCOMPARE(clicks, 1);
    QCOMPARE(list.fileName(), std::string("b.ugx"));
    QTest::keyClick(&list, Qt::Key_Down);
    QCOMPARE(clicks, 2);
    QCOMPARE(list.fileName(), std::string("link.ugx"));

    testsupport::writeFile(dir / "new.ugx", "");
    list.refresh();
    QCOMPARE(texts(list), (QStringList{"A.UGX", "b.ugx", "link.ugx", "new.ugx"}));
}

void TestListBoxes::folderListIsTheTreeDownToThePath()
{
    Folders f;
    for (const char* name : {"zeta", "Beta", "alpha", ".dot"})
        f.tmp.mkdir(std::string("top/") + name);
    testsupport::writeFile(f.tmp.path() / "top" / "file", "");
    const auto top = f.tmp.path() / "top";
    std::filesystem::create_directory_symlink(top / "zeta", top / "link");

    qt::FolderList list(f.actions);
    list.setPath(top.string() + "/");
    QCOMPARE(list.path(), top.string());
    QStringList expected{"/"};
    for (const auto& part : top.relative_path())
        expected << QString::fromStdString(part.string());
    const int depth = static_cast<int>(expected.size());
    expected << "alpha"
             << "Beta"
             << "link"
             << "zeta";
    QCOMPARE(texts(list), expected);
    QCOMPARE(list.currentRow(), depth - 1);
    QCOMPARE(list.entryPath(0), std::string("/"));
    QCOMPARE(list.entryPath(depth - 1), top.string());
    QCOMPARE(list.entryPath(depth), (top / "alpha").string());
    QCOMPARE(list.entryLevel(depth), depth);
    QCOMPARE(list.entryLevel(1), 1);

    list.setPath("/");
    QCOMPARE(list.path(), std::string("/"));
    QCOMPARE(list.text(0), QStringLiteral("/"));
    QCOMPARE(list.entryLevel(1), 1);
}

void TestListBoxes::folderListClickSelectsAndDoubleClickOpens()
{
    Folders f;
    f.tmp.mkdir("qa");
    f.tmp.mkdir("qb");
    const auto sub = f.tmp.mkdir("sub");
    qt::FolderList list(f.actions);
    list.resize(300, 600);
    list.setPath(f.tmp.text());
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    int changes = 0;
    list.onChange([&] { ++changes; });
    int clicks = 0;
    list.onClick([&] { ++clicks; });
    const int row = list.count() - 1;
    QCOMPARE(list.text(row), QStringLiteral("sub"));

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

    // A folder that went away cannot be opened: the list says so, stays, and drops it.
    list.setPath(f.tmp.text());
    std::filesystem::remove(sub);
    std::vector<std::pair<std::string, int>> failures;
    list.onOpenFailed([&](const std::string& path, const runtime::Failure& failure) {
        failures.emplace_back(path, failure.number());
    });
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, centreOf(list, list.count() - 1));
    QCOMPARE(int(failures.size()), 1);
    QCOMPARE(failures[0].first, sub.string());
    QCOMPARE(failures[0].second, int(runtime::kPathNotFound));
    QCOMPARE(list.path(), f.tmp.path().string());
    QCOMPARE(list.text(list.count() - 1), QStringLiteral("qb"));
    QCOMPARE(list.entryPath(list.currentRow()), f.tmp.path().string());
}

void TestListBoxes::driveListShowsTheDrivesAndTheKeysChooseOne()
{
    Folders f;
    f.files.addUnreadyDrive({"/media/card", "/media/card/"});
    qt::DriveList list(f.actions);
    QCOMPARE(list.itemText(0), QString::fromStdString(f.real.drives().front().name));
    QCOMPARE(list.itemText(list.count() - 1), QStringLiteral("/media/card"));
    int changes = 0;
    list.onChange([&] { ++changes; });
    list.setDrive("/media/card/DCIM");
    QCOMPARE(changes, 1);
    QCOMPARE(list.currentText(), QStringLiteral("/media/card"));

    // The user picks the first drive with the keys.
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QTest::keyClick(&list, Qt::Key_Home);
    QCOMPARE(changes, 2);
    QCOMPARE(list.drive(), f.real.drives().front().name);
    QCOMPARE(list.currentIndex(), 0);
}

QTEST_MAIN(TestListBoxes)
#include "test_list_boxes.moc"
