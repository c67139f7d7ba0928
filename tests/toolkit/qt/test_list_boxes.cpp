#include "runtime/errors.h"
#include "runtime/failure.h"
#include "runtime/posix/posix_file_services.h"
#include "support/fake_file_services.h"
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
    void patternsIgnoreLetterCase();
    void namesSortWithoutRegardToCase();
    void fileListShowsMatchingFilesOnly();
    void fileListKeepsItsFolderWhenAReadFails();
    void folderListIsTheTreeDownToThePath();
    void folderListRaisesChangeOnlyWhenThePathChanges();
    void folderListClickSelectsAndDoubleClickOpens();
    void folderListGoesToADrivesCurrentFolder();
    void driveListTakesTheDriveAtTheStartOfAPath();
};

namespace {

struct Folders {
    Folders() : files(real) {}
    testsupport::TempFolder tmp;
    runtime::PosixFileServices real;
    testsupport::FakeFileServices files;
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

void TestListBoxes::patternsIgnoreLetterCase()
{
    using runtime::MatchesPattern;
    QVERIFY(MatchesPattern("Orvalis.ugx", "*.ugx"));
    QVERIFY(MatchesPattern("ORVALIS.UGX", "*.ugx"));
    QVERIFY(MatchesPattern(".ugx", "*.ugx"));
    QVERIFY(!MatchesPattern("Orvalis.ugx.bak", "*.ugx"));
    QVERIFY(!MatchesPattern("Orvalis_ugx", "*.ugx"));
    QVERIFY(!MatchesPattern("ugx", "*.ugx"));
    QVERIFY(MatchesPattern("a.b.ugx", "*.ugx"));
    QVERIFY(MatchesPattern("x.ugx", "?.UGX"));
    QVERIFY(!MatchesPattern("xy.ugx", "?.ugx"));
    QVERIFY(MatchesPattern("", "*"));
    QVERIFY(MatchesPattern("\xff.ugx", "*.ugx"));
    QVERIFY(!MatchesPattern("\xff.ugx", "\xdf.ugx")); // only ASCII letters fold
}

void TestListBoxes::namesSortWithoutRegardToCase()
{
    std::vector<std::string> names{"beta", "Alpha", "alpha", "Gamma", "b"};
    std::sort(names.begin(), names.end(), runtime::NameLess);
    QCOMPARE(names, (std::vector<std::string>{"Alpha", "alpha", "b", "beta", "Gamma"}));
    // Both lists sort in that order, also for bytes above 0x7f, prefixes and case twins.
    std::vector<std::string> many{"b_", "B", "a\xe9", "A\x7f", "[x", "Zz", "zZ", "a", "", "ab", "AB", "\xff"};
    std::vector<runtime::FolderEntry> files, folders;
    for (const auto& name : many) {
        files.push_back({name, false, false});
        folders.push_back({name, true, false});
    }
    std::sort(many.begin(), many.end(), runtime::NameLess);
    QCOMPARE(runtime::FileNames(files, "*"), many);
    const auto rows = runtime::FolderRows("/", folders);
    std::vector<std::string> labels;
    for (std::size_t i = 1; i < rows.size(); ++i)
        labels.push_back(rows[i].label);
    QCOMPARE(labels, many);
    QCOMPARE(runtime::TrimSeparator("/a/b//"), std::string("/a/b"));
    QCOMPARE(runtime::TrimSeparator("/"), std::string("/"));
}

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

void TestListBoxes::fileListKeepsItsFolderWhenAReadFails()
{
    Folders f;
    testsupport::writeFile(f.tmp.path() / "a.ugx", "");
    const auto other = f.tmp.mkdir("other");
    qt::FileList list(f.actions);
    list.setPath(f.tmp.text());
    f.files.failOnPath(Op::ListFolder, other.string(), runtime::kPermissionDenied);
    std::vector<std::pair<std::string, int>> failures;
    list.onReadFailed([&](const std::string& path, const runtime::Failure& failure) {
        failures.emplace_back(path, failure.number());
    });
    list.setPath(other.string());
    QCOMPARE(int(failures.size()), 1);
    QCOMPARE(failures[0].first, other.string());
    QCOMPARE(failures[0].second, int(runtime::kPermissionDenied));
    QCOMPARE(list.path(), f.tmp.path().string());
    QCOMPARE(list.shownPath(), f.tmp.path().string());
    QCOMPARE(texts(list), QStringList{"a.ugx"});
    list.setPath(f.tmp.text() + "missing");
    QCOMPARE(int(failures.size()), 2);
    QCOMPARE(list.path(), f.tmp.path().string());

    // Within one action the list reads its folder once, at the end, whatever it was told.
    const auto reads = f.files.calls(Op::ListFolder);
    {
        runtime::Actions::Scope action(f.actions);
        list.refresh();
        list.setPath(other.string() + "/../");
        list.setPattern("*.ugx");
        QCOMPARE(f.files.calls(Op::ListFolder), reads);
    }
    QCOMPARE(f.files.calls(Op::ListFolder), reads + 1);
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

void TestListBoxes::folderListRaisesChangeOnlyWhenThePathChanges()
{
    Folders f;
    const auto sub = f.tmp.mkdir("sub");
    qt::FolderList list(f.actions);
    int changes = 0;
    std::string seen;
    list.onChange([&] {
        ++changes;
        seen = list.path();
    });
    list.setPath(f.tmp.text());
    QCOMPARE(changes, 1);
    QCOMPARE(seen, f.tmp.path().string()); // raised once the new path can be read back
    list.setPath(f.tmp.path().string());
    QCOMPARE(changes, 1);
    list.setPath(sub.string());
    QCOMPARE(changes, 2);

    QVERIFY_THROWS_EXCEPTION(runtime::Failure, list.setPath(f.tmp.text() + "missing"));
    QCOMPARE(changes, 2);
    QCOMPARE(list.path(), sub.string());
}

void TestListBoxes::folderListClickSelectsAndDoubleClickOpens()
{
    Folders f;
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

    // A folder that went away cannot be opened: the list says so and stays.
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
}

void TestListBoxes::folderListGoesToADrivesCurrentFolder()
{
    Folders f;
    const runtime::Drive card{"/media/card", "/media/card/"};
    f.files.addUnreadyDrive(card);
    qt::FolderList list(f.actions);
    list.setPath(f.tmp.text());
    try {
        list.goToDrive(card);
        QFAIL("an unready drive was entered");
    } catch (const runtime::Failure& failure) {
        QCOMPARE(failure.number(), int(runtime::kDiskNotReady));
    }
    QCOMPARE(list.path(), f.tmp.path().string());

    const runtime::Drive here = f.real.driveOf(f.tmp.text());
    list.goToDrive(here);
    QCOMPARE(list.path(), f.real.driveCurrentFolder(here));
}

void TestListBoxes::driveListTakesTheDriveAtTheStartOfAPath()
{
    Folders f;
    f.files.addUnreadyDrive({"/media/card", "/media/card/"});
    qt::DriveList list(f.actions);
    // It starts on the drive of the folder the program was started in.
    QCOMPARE(list.drive(), f.real.driveOf(std::filesystem::current_path().string()).name);
    QCOMPARE(list.itemText(0), QString::fromStdString(f.real.drives().front().name));
    QCOMPARE(list.itemText(list.count() - 1), QStringLiteral("/media/card"));

    int changes = 0;
    list.onChange([&] { ++changes; });
    list.setDrive(list.drive());
    QCOMPARE(changes, 0);
    list.setDrive("/media/card/DCIM");
    QCOMPARE(changes, 1);
    QCOMPARE(list.drive(), std::string("/media/card"));

    const runtime::Drive here = f.real.driveOf(f.tmp.text());
    list.setDrive(f.tmp.text() + "some/deeper/file");
    QCOMPARE(changes, 2);
    QCOMPARE(list.drive(), here.name);
    QCOMPARE(list.currentText(), QString::fromStdString(here.name));
    list.setDrive(f.tmp.text());
    QCOMPARE(changes, 2);
    list.setDrive("/media/card");
    QCOMPARE(changes, 3);

    // The user picks the first drive with the keys.
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QTest::keyClick(&list, Qt::Key_Home);
    QCOMPARE(changes, 4);
    QCOMPARE(list.drive(), f.real.drives().front().name);
}

QTEST_MAIN(TestListBoxes)
#include "test_list_boxes.moc"
