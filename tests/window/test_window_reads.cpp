// How often the window reads a folder from the disk: opening a folder that has been left
// alone fills both lists from one read, which is what keeps big folders quick to open.

#include "window_fixture.h"

#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>

using testsupport::WindowFixture;

class TestWindowReads : public QObject {
    Q_OBJECT

private slots:
    void openingASettledFolderReadsItOnce();
    void aFolderChangedMeanwhileIsShownAsItIsNow();
};

namespace {

// Gives the folder a modification time a minute ago, as if nobody had touched it since.
void leaveAlone(const std::filesystem::path& folder)
{
    timespec then{};
    ::clock_gettime(CLOCK_REALTIME, &then);
    then.tv_sec -= 60;
    const timespec times[2] = {then, then};
    QCOMPARE(::utimensat(AT_FDCWD, folder.c_str(), times, 0), 0);
}

} // namespace

void TestWindowReads::openingASettledFolderReadsItOnce()
{
    WindowFixture f;
    const auto big = f.tmp.mkdir("app/big");
    for (int i = 0; i < 50; ++i)
        testsupport::writeFile(big / ("file" + std::to_string(i) + (i < 3 ? ".ugx" : ".dat")), "x");
    f.tmp.mkdir("app/big/inner");
    leaveAlone(big);
    leaveAlone(f.app);
    f.start();

    const std::size_t before = f.real.foldersRead();
    testsupport::doubleClickEntry(f.dir1(), QStringLiteral("big"));
    QCOMPARE(f.dir1()->path(), big.string());
    QCOMPARE(f.fileList1()->path(), big.string());
    QCOMPARE(
        testsupport::entries(f.fileList1()),
        QStringList({QStringLiteral("file0.ugx"), QStringLiteral("file1.ugx"), QStringLiteral("file2.ugx")}));
    QVERIFY(testsupport::rowOf(f.dir1(), QStringLiteral("inner")) >= 0);
    // The folder list's read serves the file list's path and pattern too; the application
    // folder, read at the start, is reused by the first click's refresh.
    QCOMPARE(f.real.foldersRead() - before, std::size_t{1});
}

void TestWindowReads::aFolderChangedMeanwhileIsShownAsItIsNow()
{
    WindowFixture f;
    leaveAlone(f.app);
    f.start();
    QCOMPARE(testsupport::entries(f.fileList1()), QStringList({QStringLiteral("older.UGX")}));
    testsupport::writeFile(f.app / "Orvalis.ugx", "new executable\n");
    // A click on the current folder refreshes the file list, which must not be served the
    // listing from before the file came.
    testsupport::clickEntry(f.dir1(), QStringLiteral("app"));
    QCOMPARE(testsupport::entries(f.fileList1()),
             QStringList({QStringLiteral("older.UGX"), QStringLiteral("Orvalis.ugx")}));
}

QTEST_MAIN(TestWindowReads)
#include "test_window_reads.moc"
