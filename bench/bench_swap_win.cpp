// The swap on Windows (run under Wine): the real engine with the Win32 file services and
// dialogs that show nothing, against the plainest program that could be called the same:
// CopyFileW, FlushFileBuffers, a compare of both files 1 MiB at a time, MoveFileExW.
//
//   bench_swap_win --dir PATH [--size-mib N] [--repeats N] [--warm-up N]
// Everything is made under PATH and removed again. A Windows program cannot drop the
// source's pages from the cache of the system under Wine, so both sides read it from memory.

#include "engine/upgrade.h"
#include "figures.h"
#include "runtime/win32/win_file_services.h"
#include "support/recording_dialogs.h"
#include "win_floor.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Keeps when the first progress report came, the longest gap between two, and when each
// stage of the copy was first reported.
class TimedDialogs : public testsupport::RecordingDialogs {
public:
    void copyProgress(runtime::CopyStage stage, std::uint64_t, std::uint64_t) override
    {
        const double now = bench::NowMs();
        double& at = stages[static_cast<int>(stage)];
        if (at == 0)
            at = now;
        if (last > 0)
            longestGap = std::max(longestGap, now - last);
        else
            first = now;
        last = now;
    }
    double first{0}, last{0}, longestGap{0};
    double stages[3] = {0, 0, 0};
};

class Bench {
public:
    Bench(const fs::path& root, std::uint64_t size) : m_root(root)
    {
        fs::create_directories(m_source);
        bench::MakeNoiseFile(m_source / engine::kUpgradeName, size);
    }
    ~Bench()
    {
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }
    Bench(const Bench&) = delete;
    Bench& operator=(const Bench&) = delete;

    double tool()
    {
        newApp();
        engine::BrowseState state;
        state.strAppFolder = m_app.string() + "\\";
        state.strBrowseFolder = m_source.string() + "\\";
        state.strChosenFolder = state.strBrowseFolder;
        state.strChosenFile = engine::kUpgradeName;
        runtime::WinFileServices files;
        TimedDialogs dialogs;
        const double started = bench::NowMs();
        const engine::SwapOutcome outcome = engine::SwapExecutable(state, files, dialogs);
        const double took = bench::NowMs() - started;
        if (outcome != engine::SwapOutcome::Upgraded)
            throw std::runtime_error("the swap failed");
        firstReport.push_back(dialogs.first - started);
        if (dialogs.stages[0] > 0) {
            copying.push_back(dialogs.stages[1] - dialogs.stages[0]);
            saving.push_back(dialogs.stages[2] - dialogs.stages[1]);
            checking.push_back(started + took - dialogs.stages[2]);
        }
        longestGap.push_back(dialogs.longestGap);
        return took;
    }

    double floor()
    {
        newApp();
        const bench::FloorStages stages = bench::CopyFlushCompareMove(
            m_source / engine::kUpgradeName, m_app / "part", m_app / engine::kUpgradeName);
        floorCopying.push_back(stages.copying);
        floorSaving.push_back(stages.flushing);
        floorChecking.push_back(stages.checking);
        return stages.total();
    }

    std::vector<double> firstReport, longestGap, copying, saving, checking;
    std::vector<double> floorCopying, floorSaving, floorChecking;

private:
    void newApp()
    {
        std::error_code ignored;
        fs::remove_all(m_app, ignored);
        fs::create_directories(m_app);
        std::FILE* f = std::fopen((m_app / engine::kExeName).string().c_str(), "wb");
        bench::CheckWin32(f != nullptr, "creating the old executable");
        std::fputs("the old executable\n", f);
        std::fclose(f);
    }

    fs::path m_root;
    fs::path m_source{m_root / "downloads"};
    fs::path m_app{m_root / "app"};
};

} // namespace

int main(int argc, char** argv)
{
    const std::string dir = bench::ArgText(argc, argv, "--dir", "");
    const long sizeMiB = bench::ArgNumber(argc, argv, "--size-mib", 512);
    const int repeats = static_cast<int>(bench::ArgNumber(argc, argv, "--repeats", 12));
    const int warmUp = static_cast<int>(bench::ArgNumber(argc, argv, "--warm-up", 1));
    if (dir.empty() || sizeMiB <= 0) {
        std::fprintf(stderr, "usage: bench_swap_win --dir PATH [--size-mib N] [--repeats N] [--warm-up N]\n");
        return 2;
    }
    try {
        Bench bench(fs::absolute(dir) / "swap-win", static_cast<std::uint64_t>(sizeMiB) << 20);
        const bench::Pairs pairs = bench::RunInTurns(
            warmUp, repeats, [&] { return bench.tool(); }, [&] { return bench.floor(); }, bench::KernelMs);
        std::printf("%s\n",
                    bench::PairedRow("Swap under Wine, " + std::to_string(sizeMiB) +
                                         " MiB from another folder, against CopyFileW + flush + compare",
                                     pairs, 0.8, 0)
                        .c_str());
        std::printf(
            "\nFirst progress report %.0f ms after the start (median); longest gap between two: %.0f ms.\n",
            bench::QuartilesOf(bench.firstReport).median,
            *std::max_element(bench.longestGap.begin(), bench.longestGap.end()));
        if (!bench.copying.empty())
            std::printf("Stages of the swap, medians: copying %.0f ms, saving %.0f ms, checking and renaming "
                        "%.0f ms.\n",
                        bench::QuartilesOf(bench.copying).median, bench::QuartilesOf(bench.saving).median,
                        bench::QuartilesOf(bench.checking).median);
        std::printf("The floor's, medians: CopyFileW %.0f ms, FlushFileBuffers %.0f ms, compare and rename "
                    "%.0f ms.\n",
                    bench::QuartilesOf(bench.floorCopying).median,
                    bench::QuartilesOf(bench.floorSaving).median,
                    bench::QuartilesOf(bench.floorChecking).median);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_swap_win: %s\n", e.what());
        return 1;
    }
    return 0;
}
