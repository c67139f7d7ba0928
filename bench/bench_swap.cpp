// The swap with the real engine and the real file services, flush and verification
// included, against the shell commands that do the least that could be called the same:
//   from another folder:   cp SRC DST && sync DST && cmp SRC DST
//   already in the folder: mv SRC DST && sync FOLDER
//
//   bench_swap --dir PATH [--size-mib N] [--repeats N] [--warm-up N]
// Everything is made under PATH, which must be on the disk to measure, and removed again.
// The source's pages are dropped before each run of either side, so both read it from the
// device; each pair's ratio counts, and the table gives their median and interquartile range.

#include "disk.h"
#include "engine/upgrade.h"
#include "figures.h"
#include "runtime/file_services.h"
#include "support/recording_dialogs.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class SwapBench {
public:
    SwapBench(const fs::path& root, std::uint64_t size) : m_root(root), m_size(size)
    {
        fs::create_directories(m_source);
        fs::create_directories(m_app);
        bench::MakeUpgradeFile(m_source / engine::kUpgradeName, m_size);
    }
    ~SwapBench()
    {
        std::error_code ignored;
        fs::remove_all(m_source, ignored);
        fs::remove_all(m_app, ignored);
    }
    SwapBench(const SwapBench&) = delete;
    SwapBench& operator=(const SwapBench&) = delete;

    double toolFromElsewhere()
    {
        resetApp(false);
        const double took = swap(m_source);
        checkInstalled();
        return took;
    }

    double floorFromElsewhere()
    {
        resetApp(false);
        const fs::path src = m_source / engine::kUpgradeName;
        const fs::path dst = m_app / engine::kUpgradeName;
        return bench::CopySyncCompare(src, dst);
    }

    double toolInPlace()
    {
        resetApp(true);
        const double took = swap(m_app);
        checkInstalled();
        return took;
    }

    double floorInPlace()
    {
        resetApp(true);
        const fs::path src = m_app / engine::kUpgradeName;
        return bench::RunShell("mv " + bench::Quoted(src) + " " + bench::Quoted(m_app / "Orvalis.moved") +
                               " && sync " + bench::Quoted(m_app));
    }

private:
    // The application folder as a user would have it: the old executable, and the upgrade
    // file too when `inPlace`. A big file left by the last run is renamed back, not copied.
    void resetApp(bool inPlace)
    {
        const fs::path upgrade = m_app / engine::kUpgradeName;
        for (const char* name : {engine::kExeName, "Orvalis.moved"}) {
            const fs::path big = m_app / name;
            if (fs::exists(big) && fs::file_size(big) == m_size && !fs::exists(upgrade))
                fs::rename(big, upgrade);
        }
        fs::remove(m_app / engine::kOldName);
        fs::remove(m_app / engine::kExeName);
        if (!inPlace)
            fs::remove(upgrade);
        else if (!fs::exists(upgrade))
            fs::copy_file(m_source / engine::kUpgradeName, upgrade);
        bench::WriteSmall(m_app / engine::kExeName, "the old executable\n");
        bench::Quieten(m_app);
        bench::Evict(m_source / engine::kUpgradeName);
    }

    double swap(const fs::path& from)
    {
        engine::BrowseState state;
        state.strAppFolder = m_app.string() + "/";
        state.strBrowseFolder = from.string() + "/";
        state.strChosenFolder = state.strBrowseFolder;
        state.strChosenFile = engine::kUpgradeName;
        StageClock dialogs;
        const auto files = runtime::createFileServices();
        const double started = bench::NowMs();
        const engine::SwapOutcome outcome = engine::SwapExecutable(state, *files, dialogs);
        const double took = bench::NowMs() - started;
        if (dialogs.stages[0] > 0) {
            m_copying.push_back(dialogs.stages[1] - dialogs.stages[0]);
            m_saving.push_back(dialogs.stages[2] - dialogs.stages[1]);
            m_checking.push_back(started + took - dialogs.stages[2]);
        }
        if (outcome != engine::SwapOutcome::Upgraded)
            throw std::runtime_error("the swap failed: " +
                                     (dialogs.messages.empty() ? std::string() : dialogs.messages.back()));
        return took;
    }

public:
    // How long each stage of the copies from another folder took, in milliseconds.
    std::vector<double> m_copying, m_saving, m_checking;

    // Reading the source once more, from the device: what the check's second look at it costs.
    double rereadSource()
    {
        bench::Evict(m_source / engine::kUpgradeName);
        return bench::ReadFromDevice(m_source / engine::kUpgradeName);
    }

private:
    // Keeps when each stage of the copy was first reported.
    class StageClock : public testsupport::RecordingDialogs {
    public:
        void copyProgress(runtime::CopyStage stage, std::uint64_t, std::uint64_t) override
        {
            double& at = stages[static_cast<int>(stage)];
            if (at == 0)
                at = bench::NowMs();
        }
        double stages[3] = {0, 0, 0};
    };

    void checkInstalled()
    {
        if (fs::file_size(m_app / engine::kExeName) != m_size || !fs::exists(m_app / engine::kOldName))
            throw std::runtime_error("the swap did not install the upgrade file");
    }

    fs::path m_root;
    fs::path m_source{m_root / "downloads"};
    fs::path m_app{m_root / "app"};
    std::uint64_t m_size;
};

} // namespace

int main(int argc, char** argv)
{
    const std::string dir = bench::ArgText(argc, argv, "--dir", "");
    const long sizeMiB = bench::ArgNumber(argc, argv, "--size-mib", 1024);
    const int repeats = static_cast<int>(bench::ArgNumber(argc, argv, "--repeats", 12));
    const int warmUp = static_cast<int>(bench::ArgNumber(argc, argv, "--warm-up", 1));
    if (dir.empty() || sizeMiB <= 0) {
        std::fprintf(stderr, "usage: bench_swap --dir PATH [--size-mib N] [--repeats N] [--warm-up N]\n");
        return 2;
    }
    try {
        const fs::path root = fs::absolute(dir) / "swap";
        fs::create_directories(root);
        const auto size = static_cast<std::uint64_t>(sizeMiB) << 20;
        // The upgrade file, one copy of it and room to spare for everyone else.
        bench::CheckFreeSpace(root, 3 * size);

        {
            SwapBench bench(root, size);
            const std::string mib = std::to_string(sizeMiB) + " MiB";
            const bench::Pairs copy = bench::RunInTurns(
                warmUp, repeats, [&] { return bench.toolFromElsewhere(); },
                [&] { return bench.floorFromElsewhere(); }, bench::SystemCpuMs);
            std::printf("%s\n", bench::PairedRow("Swap, " + mib + " upgrade file from another folder", copy,
                                                 0.55, 0.3)
                                    .c_str());
            std::fflush(stdout);
            const bench::Pairs inPlace = bench::RunInTurns(
                warmUp, repeats, [&] { return bench.toolInPlace(); }, [&] { return bench.floorInPlace(); },
                bench::SystemCpuMs);
            std::printf("%s\n", bench::PairedRow("Swap, " + mib + " upgrade file already in the folder",
                                                 inPlace, 2.0, 0)
                                    .c_str());
            std::vector<double> reread;
            for (int i = 0; i < std::max(3, repeats / 2); ++i)
                reread.push_back(bench.rereadSource());
            // Beside the table, not in it.
            std::fprintf(
                stderr,
                "Stages of the copy from another folder, medians: copying %.0f ms, saving %.0f ms, "
                "checking %.0f ms (the copy and the source read back side by side). Reading the source "
                "once more from the device alone: %.0f ms.\n",
                bench::QuartilesOf(bench.m_copying).median, bench::QuartilesOf(bench.m_saving).median,
                bench::QuartilesOf(bench.m_checking).median, bench::QuartilesOf(reread).median);
        }
        fs::remove(root);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_swap: %s\n", e.what());
        return 1;
    }
    return 0;
}
