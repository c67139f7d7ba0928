// The whole program, as its user sees it: the real window (offscreen) with the real file
// services, message boxes and copy progress, from the click on "OK" until the box "Upgrade
// successful." is shown, against cp SRC DST && sync DST && cmp SRC DST.
//
//   bench_program --dir PATH [--size-mib N] [--repeats N] [--warm-up N]
// Everything is made under PATH, which must be on the disk to measure, and removed again.
// Each run gets a new application folder holding only the old executable, and a new window
// on it, since a successful upgrade unloads the window; only the application folder the
// services report is pointed there, everything else is the program's own.

#include "disk.h"
#include "engine/upgrade.h"
#include "figures.h"
#include "resource.h"
#include "services_in.h"
#include "toolkit/qt/file_list.h"
#include "toolkit/qt/folder_list.h"
#include "toolkit/qt/form.h"
#include "toolkit/qt/toolkit.h"
#include "window/frm_file.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

namespace fs = std::filesystem;

namespace {

// Sees every message box the moment it is shown, keeps its text and when the success box
// appeared, and closes it as the user's click on its OK button would.
class BoxWatcher : public QObject {
public:
    BoxWatcher() { QCoreApplication::instance()->installEventFilter(this); }
    ~BoxWatcher() override { QCoreApplication::instance()->removeEventFilter(this); }
    BoxWatcher(const BoxWatcher&) = delete;
    BoxWatcher& operator=(const BoxWatcher&) = delete;

    std::vector<std::string> texts;
    std::optional<double> successAt;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show) {
            if (auto* box = qobject_cast<QMessageBox*>(watched)) {
                const double now = bench::NowMs();
                texts.push_back(box->text().toStdString());
                if (texts.back() == engine::kMsgSuccess && !successAt)
                    successAt = now;
                QMetaObject::invokeMethod(box, &QDialog::accept, Qt::QueuedConnection);
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

void settle()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

QPoint pointOf(const qt::RowList& list, const QString& text)
{
    for (int row = 0; row < list.count(); ++row) {
        if (list.text(row) == text) {
            const QRect rect = list.rowRect(row);
            return {rect.left() + 12, rect.center().y()};
        }
    }
    throw std::runtime_error("the list does not show " + text.toStdString());
}

class ProgramBench {
public:
    ProgramBench(const fs::path& root, std::uint64_t size) : m_root(root), m_size(size)
    {
        fs::create_directories(m_source);
        bench::MakeUpgradeFile(m_source / engine::kUpgradeName, m_size);
    }
    ~ProgramBench()
    {
        std::error_code ignored;
        fs::remove_all(m_source, ignored);
        fs::remove_all(m_app, ignored);
    }
    ProgramBench(const ProgramBench&) = delete;
    ProgramBench& operator=(const ProgramBench&) = delete;

    double program()
    {
        newApp();
        bench::ServicesIn files(m_app);
        frmFile window(m_qt, files);
        window.load(); // the warning box, closed by the watcher
        window.show();
        auto& form = dynamic_cast<qt::Form&>(window.form());
        QApplication::setActiveWindow(&form);
        if (!QTest::qWaitForWindowExposed(&form))
            throw std::runtime_error("the window was not shown");
        auto* dir1 = form.findChild<qt::FolderList*>(QStringLiteral("Dir1"));
        auto* fileList1 = form.findChild<qt::FileList*>(QStringLiteral("FileList1"));
        auto* ok = form.findChild<QPushButton*>(QStringLiteral("cmdOpenOK"));
        if (dir1 == nullptr || fileList1 == nullptr || ok == nullptr)
            throw std::runtime_error("the window has no Dir1, FileList1 or cmdOpenOK");
        dir1->setPath(m_source.string());
        settle();
        QTest::mouseClick(fileList1->viewport(), Qt::LeftButton, {},
                          pointOf(*fileList1, QString::fromUtf8(engine::kUpgradeName)));
        settle();
        if (!ok->isVisible() || window.browseState().strChosenFile != engine::kUpgradeName)
            throw std::runtime_error("clicking the upgrade file did not offer the OK button");

        m_watcher.texts.clear();
        m_watcher.successAt.reset();
        const double started = bench::NowMs();
        QTest::mouseClick(ok, Qt::LeftButton);
        // The click runs the whole swap; should the platform deliver it later, wait for it.
        for (int i = 0; i < 600 && m_watcher.texts.empty(); ++i)
            QTest::qWait(100);
        if (!m_watcher.successAt)
            throw std::runtime_error("the upgrade did not succeed: " +
                                     (m_watcher.texts.empty() ? "no message" : m_watcher.texts.back()));
        const double took = *m_watcher.successAt - started;
        settle();
        if (form.isVisible() || m_watcher.texts.size() != 1)
            throw std::runtime_error("the window stayed, or showed more than the success box");
        if (fs::file_size(m_app / engine::kExeName) != m_size || !fs::exists(m_app / engine::kOldName))
            throw std::runtime_error("the upgrade file was not installed");
        return took;
    }

    double floor()
    {
        newApp();
        return bench::CopySyncCompare(m_source / engine::kUpgradeName, m_app / engine::kUpgradeName);
    }

private:
    // An application folder as a user would have it: the old executable and nothing else.
    void newApp()
    {
        fs::remove_all(m_app);
        fs::create_directories(m_app);
        bench::WriteSmall(m_app / engine::kExeName, "the old executable\n");
        bench::Quieten(m_root);
        bench::Evict(m_source / engine::kUpgradeName);
    }

    fs::path m_root;
    fs::path m_source{m_root / "downloads"};
    fs::path m_app{m_root / "app"};
    std::uint64_t m_size;
    qt::Toolkit m_qt{runtime::Program{ORVALIS_TITLE, ORVALIS_VERSION, nullptr, IDI_PROGRAM}};
    BoxWatcher m_watcher;
};

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::string dir = bench::ArgText(argc, argv, "--dir", "");
    const long sizeMiB = bench::ArgNumber(argc, argv, "--size-mib", 1024);
    const int repeats = static_cast<int>(bench::ArgNumber(argc, argv, "--repeats", 12));
    const int warmUp = static_cast<int>(bench::ArgNumber(argc, argv, "--warm-up", 1));
    if (dir.empty() || sizeMiB <= 0) {
        std::fprintf(stderr, "usage: bench_program --dir PATH [--size-mib N] [--repeats N] [--warm-up N]\n");
        return 2;
    }
    QApplication app(argc, argv);
    try {
        const fs::path root = fs::absolute(dir) / "program";
        fs::create_directories(root);
        const auto size = static_cast<std::uint64_t>(sizeMiB) << 20;
        bench::CheckFreeSpace(root, 3 * size);
        {
            ProgramBench bench(root, size);
            const bench::Pairs pairs = bench::RunInTurns(
                warmUp, repeats, [&] { return bench.program(); }, [&] { return bench.floor(); },
                bench::SystemCpuMs);
            std::printf("%s\n", bench::PairedRow("Program: OK clicked to \"Upgrade successful.\" shown, " +
                                                     std::to_string(sizeMiB) + " MiB from another folder",
                                                 pairs, 0.65, 0)
                                    .c_str());
        }
        fs::remove(root);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_program: %s\n", e.what());
        return 1;
    }
    return 0;
}
