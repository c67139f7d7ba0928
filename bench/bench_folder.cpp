// Opening a big folder in the real window, offscreen: from the double click on the folder
// to both lists filled and drawn, against a plain opendir/readdir loop over the same
// folder in the same process.
//
//   bench_folder --dir PATH [--files N] [--matching N] [--folders N] [--repeats N] [--warm-up N]
// The folder PATH/parent/big is made once with N files (of which --matching end in
// ".ugx") and --folders subfolders, and is reused while its counts stay the same. Every
// open reads it afresh, as the first open of a folder does.

#include "figures.h"
#include "resource.h"
#include "runtime/posix/posix_file_services.h"
#include "support/recording_dialogs.h"
#include "toolkit/qt/file_list.h"
#include "toolkit/qt/folder_list.h"
#include "toolkit/qt/form.h"
#include "toolkit/qt/toolkit.h"
#include "window/frm_file.h"

#include <chrono>
#include <cstdio>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <QApplication>
#include <QTest>

namespace fs = std::filesystem;

namespace {

// Makes `big` with its files and folders unless a previous run left exactly that.
void makeFolder(const fs::path& big, long files, long matching, long folders)
{
    const std::string counts =
        std::to_string(files) + " " + std::to_string(matching) + " " + std::to_string(folders);
    const fs::path stamp = big.parent_path() / "big.counts";
    std::string found;
    if (std::ifstream in(stamp); in)
        std::getline(in, found);
    if (found == counts && fs::is_directory(big))
        return;
    fs::remove_all(big);
    fs::create_directories(big);
    for (long i = 0; i < files; ++i) {
        const char* ext = i < matching ? ".ugx" : ".dat";
        std::ofstream(big / ("file" + std::to_string(i) + ext));
    }
    for (long i = 0; i < folders; ++i)
        fs::create_directory(big / ("folder" + std::to_string(i)));
    std::ofstream(stamp) << counts << '\n';
}

// The floor: every entry's name read, as any listing must.
double readFolder(const std::string& folder, std::size_t expected)
{
    const double started = bench::NowMs();
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr)
        throw std::runtime_error("cannot open " + folder);
    while (const dirent* e = readdir(dir))
        names.emplace_back(e->d_name);
    closedir(dir);
    const double took = bench::NowMs() - started;
    if (names.size() != expected + 2)
        throw std::runtime_error("readdir found " + std::to_string(names.size()) + " entries");
    return took;
}

int rowOf(const qt::FolderList& list, const std::string& path)
{
    for (int row = 0; row < list.count(); ++row) {
        if (list.entryPath(row) == path)
            return row;
    }
    return -1;
}

void settle()
{
    // Lets the lists lay out their entries and the window draw them.
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::string dir = bench::ArgText(argc, argv, "--dir", "");
    const long files = bench::ArgNumber(argc, argv, "--files", 100000);
    const long matching = bench::ArgNumber(argc, argv, "--matching", 10);
    const long folders = bench::ArgNumber(argc, argv, "--folders", 5000);
    const int repeats = static_cast<int>(bench::ArgNumber(argc, argv, "--repeats", 10));
    const int warmUp = static_cast<int>(bench::ArgNumber(argc, argv, "--warm-up", 2));
    if (dir.empty()) {
        std::fprintf(stderr, "usage: bench_folder --dir PATH [--files N] [--folders N] [--repeats N]\n");
        return 2;
    }
    QApplication app(argc, argv);
    try {
        const fs::path parent = fs::absolute(dir) / "parent";
        const fs::path big = parent / "big";
        makeFolder(big, files, matching, folders);
        runtime::PosixFileServices services;
        testsupport::RecordingDialogs dialogs;
        qt::Toolkit qt{runtime::Program{ORVALIS_TITLE, ORVALIS_VERSION, nullptr, IDI_PROGRAM}};
        frmFile form(qt, services, dialogs);
        form.load();
        form.show();
        auto& window = dynamic_cast<qt::Form&>(form.form());
        QApplication::setActiveWindow(&window);
        if (!QTest::qWaitForWindowExposed(&window))
            throw std::runtime_error("the window was not shown");
        auto* dir1 = window.findChild<qt::FolderList*>(QStringLiteral("Dir1"));
        auto* fileList1 = window.findChild<qt::FileList*>(QStringLiteral("FileList1"));
        if (dir1 == nullptr || fileList1 == nullptr)
            throw std::runtime_error("the window has no Dir1 or FileList1");

        const auto openBig = [&] {
            dir1->setPath(parent.string());
            settle();
            const int row = rowOf(*dir1, big.string());
            if (row < 0)
                throw std::runtime_error("the folder list does not show " + big.string());
            dir1->scrollToRow(row);
            const QRect rect = dir1->rowRect(row);
            const QPoint at(rect.left() + 12, rect.center().y());
            dialogs.messages.clear();

            const double started = bench::NowMs();
            QTest::mouseDClick(dir1->viewport(), Qt::LeftButton, {}, at);
            settle();
            const double took = bench::NowMs() - started;

            if (dir1->path() != big.string() || fileList1->path() != big.string() ||
                fileList1->count() != matching || dir1->count() <= folders || !dialogs.messages.empty())
                throw std::runtime_error(
                    "the double click did not fill both lists with the big folder: the lists show " +
                    dir1->path() + " (" + std::to_string(dir1->count()) + " entries) and " +
                    fileList1->path() + " (" + std::to_string(fileList1->count()) + " entries)" +
                    (dialogs.messages.empty() ? "" : ", " + dialogs.messages[0]));
            return took;
        };
        const auto expected = static_cast<std::size_t>(files + folders);
        const bench::Pairs pairs =
            bench::RunInTurns(warmUp, repeats, openBig, [&] { return readFolder(big.string(), expected); });
        const std::string what = "Open a folder of " + std::to_string(files) + " files (" +
                                 std::to_string(matching) + " \"*.ugx\") and " + std::to_string(folders) +
                                 " subfolders";
        std::printf("%s\n", bench::TableRow(what, "ms", bench::Summarise(pairs.tool),
                                            bench::Summarise(pairs.floor), 2.0)
                                .c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_folder: %s\n", e.what());
        return 1;
    }
    return 0;
}
