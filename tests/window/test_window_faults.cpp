// Every operation the lists perform on the file system, failing in turn at each of its
// calls while a user starts the program and browses, with each kind of fault; and real
// faults: a volume unmounted while the drive list shows it.

#include "runtime/errors.h"
#include "support/privileges.h"
#include "support/reliability_log.h"
#include "window_fixture.h"

using testsupport::Op;
using testsupport::WindowFixture;

class TestWindowFaults : public QObject {
    Q_OBJECT

private slots:
    void everyListOperationFailingAtEveryCall();
    void volumeUnmountedWhileTheDriveListShowsIt();
};

namespace {

const std::string kFolderUnavailable = "This Folder is currently unavailable.\r\n";
const std::string kDriveUnavailable = "This Drive is currently unavailable.";

struct Fault {
    int number;
    const char* description;
};
const Fault kFaults[] = {{53, "File not found"},
                         {70, "Permission denied"},
                         {61, "Disk full"},
                         {70, "The device or resource is busy"},
                         {71, "Disk not ready"}};

void doubleClickIfListed(qt::RowList* list, const QString& text)
{
    const int row = testsupport::rowOf(list, text);
    if (row >= 0)
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, testsupport::entryPoint(list, row));
}

void clickIfListed(qt::RowList* list, const QString& text)
{
    const int row = testsupport::rowOf(list, text);
    if (row >= 0)
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, testsupport::entryPoint(list, row));
}

// What a user does in a short session: start, open the downloads, click the upgrade
// file, go back to the list, climb back to the application folder.
void browse(WindowFixture& f)
{
    f.start();
    doubleClickIfListed(f.dir1(), QStringLiteral("downloads"));
    clickIfListed(f.fileList1(), QStringLiteral("Orvalis.ugx"));
    if (f.panel()->isVisible())
        QTest::mouseClick(f.pushButton("cmdOpenBack"), Qt::LeftButton);
    doubleClickIfListed(f.dir1(), QStringLiteral("app"));
}

bool endsWith(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

} // namespace

void TestWindowFaults::everyListOperationFailingAtEveryCall()
{
    const Op ops[] = {Op::Drives, Op::DriveOf, Op::DriveCurrentFolder, Op::ListFolder};
    std::map<Op, int> callsInACleanSession;
    {
        WindowFixture f;
        browse(f);
        QCOMPARE(f.dialogs.messages, std::vector<std::string>{testsupport::kWarning});
        QCOMPARE(f.dir1()->path(), f.app.string());
        for (const Op op : ops)
            callsInACleanSession[op] = f.files.calls(op);
        QVERIFY(callsInACleanSession[Op::ListFolder] >= 4);
    }
    int runs = 0;
    for (const Op op : ops) {
        for (int nth = 1; nth <= callsInACleanSession[op]; ++nth) {
            for (const Fault& fault : kFaults) {
                const QByteArray where = QByteArray(testsupport::opName(op)) + " #" +
                                         QByteArray::number(nth) + " fails with " + fault.description;
                WindowFixture f;
                f.files.failOn(op, nth, fault.number, fault.description);
                browse(f);
                ++runs;
                QVERIFY2(!f.dialogs.messages.empty(), where.constData());
                QCOMPARE(f.dialogs.messages.front(), testsupport::kWarning);
                for (std::size_t i = 1; i < f.dialogs.messages.size(); ++i) {
                    const std::string& m = f.dialogs.messages[i];
                    const bool known = m == kDriveUnavailable ||
                                       (m.rfind(kFolderUnavailable, 0) == 0 &&
                                        endsWith(m, std::string("\r\nDescription: ") + fault.description));
                    QVERIFY2(known,
                             (where + ": unexpected message " + QByteArray::fromStdString(m)).constData());
                }
                // Browsing never touches a file, whatever fails.
                QCOMPARE(testsupport::readFile(f.app / "Orvalis.exe"), std::string("old executable\n"));
                QCOMPARE(testsupport::listNames(f.app),
                         (std::vector<std::string>{".hidden.ugx", "Orvalis.exe", "downloads", "folder.ugx",
                                                   "older.UGX", "readme.txt"}));
                // The lists stay on folders that could be read, and the window still answers.
                QVERIFY2(f.dir1()->path().empty() || std::filesystem::is_directory(f.dir1()->path()),
                         where.constData());
                QVERIFY2(f.fileList1()->path().empty() ||
                             std::filesystem::is_directory(f.fileList1()->path()),
                         where.constData());
                QTest::mouseClick(f.pushButton("cmdOpenCancel"), Qt::LeftButton); // hidden: does nothing
                QVERIFY(f.form().close());
                QVERIFY(!f.form().isVisible());
            }
        }
    }
    testsupport::recordCase(
        "Fault matrix (stand-in)",
        "the lists' drives, driveOf, driveCurrentFolder and listFolder, each failing at each of "
        "its calls while starting and browsing, with not found, permission denied, disk full, "
        "busy, I/O error",
        QTest::currentTestFailed() ? "CHECK FAILED"
                                   : "a clear message or nothing, no file touched, lists usable",
        "TestWindowFaults::everyListOperationFailingAtEveryCall", runs, QTest::currentTestFailed() ? 1 : 0);
}

void TestWindowFaults::volumeUnmountedWhileTheDriveListShowsIt()
{
    WindowFixture f;
    const auto point = f.tmp.mkdir("USB stick");
    auto mount = std::make_unique<testsupport::TmpfsMount>(point, 1 << 20);
    if (!mount->mounted())
        QSKIP(mount->reason().c_str());
    f.start();
    const std::string appDrive = f.drive1()->drive();
    mount.reset(); // pulled out while the drive list still offers it
    f.drive1()->setFocus();
    for (int i = 0; i < f.drive1()->count() && f.dialogs.messages.size() == 1; ++i)
        QTest::keyClick(f.drive1(), Qt::Key_Down);
    QCOMPARE(f.dialogs.messages, (std::vector<std::string>{testsupport::kWarning, kDriveUnavailable}));
    QCOMPARE(f.drive1()->drive(), appDrive);
    QVERIFY(std::filesystem::is_directory(f.dir1()->path()));
    testsupport::recordCase(
        "Real faults", "a volume unmounted while the drive list shows it, then chosen",
        QTest::currentTestFailed() ? "CHECK FAILED"
                                   : "\"This Drive is currently unavailable.\", back on the "
                                     "application's drive",
        "TestWindowFaults::volumeUnmountedWhileTheDriveListShowsIt", 1, QTest::currentTestFailed() ? 1 : 0);
}

QTEST_MAIN(TestWindowFaults)
#include "test_window_faults.moc"
