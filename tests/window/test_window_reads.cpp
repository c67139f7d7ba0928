// How often the window reads a folder from the disk: once per folder in each user action,
// shared by both lists, which is what keeps big folders quick to open.

#include "window_fixture.h"

#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>

using testsupport::WindowFixture;

class TestWindowReads : public QObject {
    Q_OBJECT

private slots:
    void eachActionReadsAFolderOnce();
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

void TestWindowReads::eachActionReadsAFolderOnce()
{
    WindowFixture f;
    const auto big = f.tmp.mkdir("app/big");
    for (int i = 0; i < 50; ++i)
        testsupport::writeFile(big / ("file" + std::to_string(i) + (i < 3 ? ".ugx" : ".dat")), "x");
    f.tmp.mkdir("app/big/inner");
    f.start();

    const std::size_t before = f.real.foldersRead();
    testsupport::doubleClickEntry(f.dir1(), QStringLiteral("big"));
    QCOMPARE(f.dir1()->path(), big.string());
    QCOMPARE(f.fileList1()->path(), big.string());
    QCOMPARE(
        testsupport::entries(f.fileList1()),
        QStringList({QStringLiteral("file0.ugx"), QStringLiteral("file1.ugx"), QStringLiteral("file2.ugx")}));
    QVERIFY(testsupport::rowOf(f.dir1(), QStringLiteral("inner")) >= 0);
    // A double click is two actions: its first click refreshes the file list (one read of
    // the application folder), then the open reads "big" once for both lists, the file
    // list's refresh, path and pattern included.
    QCOMPARE(f.real.foldersRead() - before, std::size_t{2});
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
