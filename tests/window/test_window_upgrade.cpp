#include "runtime/errors.h"
#include "window_fixture.h"

#include <functional>

#include <QTimer>
#include <QWindow>

using testsupport::Op;
using testsupport::WindowFixture;

class TestWindowUpgrade : public QObject {
    Q_OBJECT

private slots:
    void upgradeThroughTheWindowEndsTheProgram();
    void folderChangeAfterTheClickInstallsTheClickedFile();
    void failedUpgradeKeepsTheWindowOpen();
    void upgradeLeftInPlaceByALateFailureIsNotSwappedAgain();
    void interruptedUpgradeIsFinishedByOkNotByTheStart();
    void cancelTouchesNothing();
    void closingByTheTitleBarTouchesNothing();
};

namespace {

bool touchesFiles(const testsupport::FakeFileServices& files)
{
    for (Op op : {Op::SetAttrNormal, Op::DeleteFile, Op::RenameFile, Op::LinkFile, Op::ReplaceFile,
                  Op::CopyFile, Op::MatchPermissions}) {
        if (files.calls(op) != 0)
            return true;
    }
    return false;
}

// Runs the program's event loop, as its start does, with `action` as the first thing the
// user does; returns true when the loop ended because the last window closed.
bool programEndsAfter(const std::function<void()>& action)
{
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    guard.start(10'000);
    QTimer::singleShot(0, action);
    return QApplication::exec() == 0 && guard.isActive();
}

void chooseUpgradeFile(WindowFixture& f)
{
    testsupport::doubleClickEntry(f.dir1(), QStringLiteral("downloads"));
    testsupport::clickEntry(f.fileList1(), QStringLiteral("Orvalis.ugx"));
    QVERIFY(f.panel()->isVisible());
}

} // namespace

void TestWindowUpgrade::upgradeThroughTheWindowEndsTheProgram()
{
    WindowFixture f;
    f.start();
    chooseUpgradeFile(f);
    QVERIFY(programEndsAfter([&] { QTest::mouseClick(f.pushButton("cmdOpenOK"), Qt::LeftButton); }));

    QCOMPARE(f.dialogs.messages, (std::vector<std::string>{testsupport::kWarning, "Upgrade successful."}));
    QVERIFY(!f.form().isVisible());
    QCOMPARE(testsupport::readFile(f.app / "Orvalis.exe"), std::string("new executable\n"));
    QCOMPARE(testsupport::readFile(f.app / "Orvalis.old"), std::string("old executable\n"));
    QVERIFY(std::filesystem::exists(f.downloads / "Orvalis.ugx"));
}

void TestWindowUpgrade::folderChangeAfterTheClickInstallsTheClickedFile()
{
    WindowFixture f;
    const auto other = f.tmp.mkdir("app/downloads/other");
    testsupport::writeFile(other / "Orvalis.ugx", "a different file\n");
    f.start();
    chooseUpgradeFile(f);
    // The panel leaves the left part of the folder list free: the user browses on.
    testsupport::doubleClickEntry(f.dir1(), QStringLiteral("other"));
    QCOMPARE(f.dir1()->path(), other.string());
    QCOMPARE(f.window->browseState().strBrowseFolder, other.string() + "/");
    QVERIFY(f.panel()->isVisible());

    QTest::mouseClick(f.pushButton("cmdOpenOK"), Qt::LeftButton);
    QCOMPARE(f.dialogs.messages.back(), std::string("Upgrade successful."));
    QCOMPARE(testsupport::readFile(f.app / "Orvalis.exe"), std::string("new executable\n"));
}

void TestWindowUpgrade::failedUpgradeKeepsTheWindowOpen()
{
    WindowFixture f;
    std::filesystem::remove(f.app / "Orvalis.exe");
    f.start();
    chooseUpgradeFile(f);
    QTest::mouseClick(f.pushButton("cmdOpenOK"), Qt::LeftButton);
    QCOMPARE(f.dialogs.messages.back(),
             std::string("Unable to upgrade file. Make sure the file is not write "
                         "protected.\r\nContact us if you continue to have problems "
                         "upgrading the software."));
    QVERIFY(f.form().isVisible());
    QVERIFY(f.panel()->isVisible());
    QCOMPARE(f.form().windowTitle(), QStringLiteral("Open... Orvalis.ugx"));
    QVERIFY(!std::filesystem::exists(f.app / "Orvalis.ugx"));
}

void TestWindowUpgrade::upgradeLeftInPlaceByALateFailureIsNotSwappedAgain()
{
    WindowFixture f;
    f.files.failOn(Op::FlushFolder, 1, runtime::kPermissionDenied);
    f.start();
    chooseUpgradeFile(f);
    QTest::mouseClick(f.pushButton("cmdOpenOK"), Qt::LeftButton);
    QCOMPARE(f.dialogs.messages.back(), std::string(engine::kMsgInstalledUnconfirmed));
    QVERIFY(f.form().isVisible());

    // Another swap would make the new executable "Orvalis.old" and lose the previous one.
    const int renames = f.files.calls(Op::RenameFile) + f.files.calls(Op::LinkFile);
    QTest::mouseClick(f.pushButton("cmdOpenOK"), Qt::LeftButton);
    QVERIFY(f.dialogs.messages.back().starts_with("The upgrade is already in place"));
    QCOMPARE(f.files.calls(Op::RenameFile) + f.files.calls(Op::LinkFile), renames);
    QCOMPARE(f.files.calls(Op::CopyFile), 1);
    QCOMPARE(testsupport::readFile(f.app / "Orvalis.exe"), std::string("new executable\n"));
    QCOMPARE(testsupport::readFile(f.app / "Orvalis.old"), std::string("old executable\n"));
}

void TestWindowUpgrade::interruptedUpgradeIsFinishedByOkNotByTheStart()
{
    // What a crash between the two renames leaves on a drive without hard links.
    WindowFixture f;
    std::filesystem::rename(f.app / "Orvalis.exe", f.app / "Orvalis.old");
    testsupport::writeFile(f.app / "Orvalis.ugx", "new executable\n");
    f.start();
    QVERIFY(!touchesFiles(f.files));
    testsupport::clickEntry(f.fileList1(), QStringLiteral("Orvalis.ugx"));
    QVERIFY(programEndsAfter([&] { QTest::mouseClick(f.pushButton("cmdOpenOK"), Qt::LeftButton); }));
    QCOMPARE(f.dialogs.messages, (std::vector<std::string>{testsupport::kWarning, engine::kMsgCompleted}));
    QCOMPARE(testsupport::readFile(f.app / "Orvalis.exe"), std::string("new executable\n"));
    QCOMPARE(testsupport::readFile(f.app / "Orvalis.old"), std::string("old executable\n"));
}

void TestWindowUpgrade::cancelTouchesNothing()
{
    WindowFixture f;
    const auto before = testsupport::listNames(f.app);
    f.start();
    chooseUpgradeFile(f);
    QVERIFY(programEndsAfter([&] { QTest::mouseClick(f.pushButton("cmdOpenCancel"), Qt::LeftButton); }));
    QVERIFY(!f.form().isVisible());
    QVERIFY(!touchesFiles(f.files));
    QCOMPARE(testsupport::listNames(f.app), before);
    QCOMPARE(f.dialogs.messages.size(), std::size_t{1});
}

void TestWindowUpgrade::closingByTheTitleBarTouchesNothing()
{
    WindowFixture f;
    const auto before = testsupport::listNames(f.app);
    f.start();
    chooseUpgradeFile(f);
    // What the title bar's button does: the window system asks the window to close.
    QVERIFY(programEndsAfter([&] { f.form().windowHandle()->close(); }));
    QVERIFY(!f.form().isVisible());
    QVERIFY(!touchesFiles(f.files));
    QCOMPARE(testsupport::listNames(f.app), before);
}

QTEST_MAIN(TestWindowUpgrade)
#include "test_window_upgrade.moc"
