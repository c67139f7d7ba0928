// The whole program on Windows (run under Wine), as its user sees it: the real Win32 window
// with the Win32 file services, message boxes and copy progress, from the click on "OK" until
// the box "Upgrade successful." is shown, against the swap row's floor (CopyFileW,
// FlushFileBuffers, a compare 1 MiB at a time, MoveFileExW).
//
//   bench_program_win --dir PATH [--size-mib N] [--repeats N] [--warm-up N]
//                     [--against floor|engine|no-progress]
// --against engine times the program against the engine's swap alone (the swap row's tool,
// with dialogs that show nothing) instead of the floor; --against no-progress against the
// same program whose dialogs show no progress and pump no messages during the copy. Both
// only tell where the program's time goes.
// Everything is made under PATH and removed again. Each run gets a new application folder
// holding only the old executable, and a new window on it, since a successful upgrade unloads
// the window; only the application folder the services report is pointed there, everything
// else is the program's own. A Windows program cannot drop the source's pages from the cache
// of the system under Wine, so both sides read it from memory, as in the swap row.
//
// The box counts as shown when the system has made it visible: the first WM_WINDOWPOSCHANGED
// with SWP_SHOWWINDOW that its window procedure gets (its procedure is wrapped as it is
// made, found by a CBT hook), which comes after its dialog has been laid out with its text.
// The hook's own HCBT_ACTIVATE comes earlier, while the box is still hidden. The box is then
// closed as its OK button would close it.

#include "engine/upgrade.h"
#include "figures.h"
#include "resource.h"
#include "runtime/win32/win_file_services.h"
#include "services_in.h"
#include "support/recording_dialogs.h"
#include "toolkit/win32/copy_progress.h"
#include "toolkit/win32/form.h"
#include "toolkit/win32/toolkit.h"
#include "win_floor.h"
#include "window/frm_file.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>
#include <windows.h>

namespace fs = std::filesystem;

namespace {

// What the hook saw. A hook has no argument of its own; there is one watch a process.
struct Watch {
    HHOOK hook{nullptr};
    HWND form{nullptr};
    HWND box{nullptr};        ///< the box made last, until it has shown
    WNDPROC boxProc{nullptr}; ///< its own window procedure
    bool armed{false};        ///< OK has been clicked
    std::vector<std::string> texts;
    std::optional<double> successAt, progressMadeAt, boxMadeAt;
} g_watch;

// The toolkit's own dialogs, with the moments the copy reported each stage and ended.
class TimedDialogs : public runtime::Dialogs {
public:
    TimedDialogs(runtime::Dialogs& real, bool progress) : m_real(real), m_progress(progress) {}
    void msgBox(const std::string& text, runtime::MsgKind kind) override { m_real.msgBox(text, kind); }
    void msgBoxMeanwhile(const std::string& text, runtime::MsgKind kind,
                         const std::function<void()>& meanwhile) override
    {
        m_real.msgBoxMeanwhile(text, kind, meanwhile);
    }
    void copyProgress(runtime::CopyStage stage, std::uint64_t done, std::uint64_t total) override
    {
        double& at = stages[static_cast<int>(stage)];
        if (at == 0)
            at = bench::NowMs();
        if (m_progress) {
            const double before = bench::NowMs();
            m_real.copyProgress(stage, done, total);
            const double took = bench::NowMs() - before;
            inProgress += took;
            longestProgress = std::max(longestProgress, took);
            if (makingProgress == 0 && g_watch.progressMadeAt)
                makingProgress = took;
        }
    }
    void copyEnded() override
    {
        ended = bench::NowMs();
        m_real.copyEnded();
        progressGone = bench::NowMs();
    }

    double stages[3] = {0, 0, 0};
    double ended{0};           ///< the copy's end
    double progressGone{0};    ///< the progress window taken down after it
    double inProgress{0};      ///< the time spent in the real dialogs' copyProgress
    double longestProgress{0}; ///< and in the longest call of it
    double makingProgress{0};  ///< and in the call that made the progress window

private:
    runtime::Dialogs& m_real;
    bool m_progress;
};

// How long each part of a run took, run by run: from the start to the copy's first report,
// each stage of the copy, and from the copy's end to the end of the run.
struct Stages {
    std::vector<double> beforeCopy, copying, saving, checking, afterCopy;

    void add(const TimedDialogs& dialogs, double started, double ended)
    {
        if (dialogs.stages[0] == 0 || dialogs.stages[2] == 0 || dialogs.ended == 0)
            return;
        beforeCopy.push_back(dialogs.stages[0] - started);
        copying.push_back(dialogs.stages[1] - dialogs.stages[0]);
        saving.push_back(dialogs.stages[2] - dialogs.stages[1]);
        checking.push_back(dialogs.ended - dialogs.stages[2]);
        afterCopy.push_back(ended - dialogs.ended);
    }

    void print(const char* what, const char* end) const
    {
        if (copying.empty())
            return;
        const auto median = [](const std::vector<double>& v) {
            return bench::QuartilesOf(v).median;
        };
        std::printf(
            "%s, medians: the start to the copy's first report %.0f ms, copying %.0f ms, saving %.0f ms, "
            "checking %.0f ms, the copy's end to %s %.0f ms.\n",
            what, median(beforeCopy), median(copying), median(saving), median(checking), end,
            median(afterCopy));
    }
};

// The kernel time spent outside what a side measures (making the folder, the window, the
// checks after the run), left out of its system CPU.
double g_setupKernelMs = 0;

double measuredKernelMs()
{
    return bench::KernelMs() - g_setupKernelMs;
}

class Setup {
public:
    Setup() : m_started(bench::KernelMs()) {}
    ~Setup() { g_setupKernelMs += bench::KernelMs() - m_started; }
    Setup(const Setup&) = delete;
    Setup& operator=(const Setup&) = delete;

private:
    double m_started;
};

bool isClass(const wchar_t* cls, const wchar_t* name)
{
    // Under the manifest the controls' classes carry their version: "6.0.2600.2982!Static".
    const wchar_t* bang = std::wcsrchr(cls, L'!');
    return ::lstrcmpiW(bang != nullptr ? bang + 1 : cls, name) == 0;
}

std::string boxText(HWND box)
{
    std::string text;
    ::EnumChildWindows(
        box,
        [](HWND child, LPARAM into) -> BOOL {
            wchar_t cls[64] = {}, shown[512] = {};
            ::GetClassNameW(child, cls, 64);
            if (isClass(cls, L"Static") && ::GetWindowTextW(child, shown, 512) > 0)
                *reinterpret_cast<std::string*>(into) = runtime::toUtf8(shown);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&text));
    return text;
}

// The box's window procedure in front of its own: the box has shown once the system has
// made it visible (WM_WINDOWPOSCHANGED with SWP_SHOWWINDOW, sent after the window is shown),
// laid out and with its text. It is then closed as its OK button would close it.
LRESULT CALLBACK watchBox(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    const WNDPROC own = g_watch.boxProc;
    if (message == WM_WINDOWPOSCHANGED && hwnd == g_watch.box &&
        (reinterpret_cast<const WINDOWPOS*>(lParam)->flags & SWP_SHOWWINDOW) != 0) {
        const double now = bench::NowMs();
        g_watch.box = nullptr;
        g_watch.texts.push_back(boxText(hwnd));
        if (g_watch.armed && !g_watch.successAt && g_watch.texts.back() == engine::kMsgSuccess)
            g_watch.successAt = now;
        ::PostMessageW(hwnd, WM_COMMAND, IDOK, 0);
        // Any other box after the click is a failure: the window is closed after it, so the
        // run ends and says so.
        if (g_watch.armed && !g_watch.successAt)
            ::PostMessageW(g_watch.form, WM_CLOSE, 0, 0);
    }
    return ::CallWindowProcW(own, hwnd, message, wParam, lParam);
}

LRESULT CALLBACK watchWindows(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND) {
        const wchar_t* cls = reinterpret_cast<const CBT_CREATEWNDW*>(lParam)->lpcs->lpszClass;
        if (cls == MAKEINTRESOURCEW(32770)) {
            g_watch.boxMadeAt = bench::NowMs();
            g_watch.box = reinterpret_cast<HWND>(wParam);
            g_watch.boxProc = reinterpret_cast<WNDPROC>(
                ::SetWindowLongPtrW(g_watch.box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&watchBox)));
        } else if (g_watch.armed && !g_watch.progressMadeAt && !IS_INTRESOURCE(cls) &&
                   std::wcscmp(cls, win32::CopyProgress::kClassName) == 0) {
            g_watch.progressMadeAt = bench::NowMs();
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

std::vector<std::wstring> rows(HWND list)
{
    std::vector<std::wstring> texts;
    const auto count = ::SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT row = 0; row < count; ++row) {
        wchar_t text[512] = {};
        ::SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(text));
        texts.emplace_back(text);
    }
    return texts;
}

int rowOf(HWND list, const std::wstring& text)
{
    const auto all = rows(list);
    const auto at = std::find(all.begin(), all.end(), text);
    if (at == all.end())
        throw std::runtime_error("a list does not show " + runtime::toUtf8(text));
    return static_cast<int>(at - all.begin());
}

// What a mouse click on a row sends, as the window's tests do: press and release on the left
// of the row, where the panel never covers the folder list.
void clickRow(HWND list, int row, bool twice)
{
    RECT box{};
    ::SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&box));
    const LPARAM at = MAKELPARAM(box.left + 12, (box.top + box.bottom) / 2);
    ::SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::SendMessageW(list, WM_LBUTTONUP, 0, at);
    if (twice) {
        ::SendMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
        ::SendMessageW(list, WM_LBUTTONUP, 0, at);
    }
}

class ProgramBench {
public:
    ProgramBench(const fs::path& root, std::uint64_t size) : m_root(root), m_size(size)
    {
        fs::create_directories(m_source);
        bench::MakeNoiseFile(m_source / engine::kUpgradeName, m_size);
        g_watch.hook = ::SetWindowsHookExW(WH_CBT, watchWindows, nullptr, ::GetCurrentThreadId());
        bench::CheckWin32(g_watch.hook != nullptr, "SetWindowsHookExW");
    }
    ~ProgramBench()
    {
        ::UnhookWindowsHookEx(g_watch.hook);
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }
    ProgramBench(const ProgramBench&) = delete;
    ProgramBench& operator=(const ProgramBench&) = delete;

    double program(bool progress)
    {
        std::optional<Setup> setup(std::in_place);
        newApp();
        bench::ServicesIn files(m_app);
        TimedDialogs dialogs(m_toolkit->dialogs(), progress);
        frmFile window(*m_toolkit, files, dialogs);
        g_watch.armed = false;
        g_watch.texts.clear();
        g_watch.successAt.reset();
        g_watch.progressMadeAt.reset();
        window.load(); // the warning box, closed by the hook
        window.show();
        settle();
        auto& form = dynamic_cast<win32::Form&>(window.form());
        g_watch.form = form.handle();
        if (g_watch.texts.size() != 1 || !::IsWindowVisible(form.handle()))
            throw std::runtime_error("the warning box or the window did not show");

        // From the application folder up to the folder both share, then down to the upgrade's.
        const HWND dir1 = form.handleOf("Dir1");
        clickRow(dir1, rowOf(dir1, m_app.filename().wstring()) - 1, true);
        clickRow(dir1, rowOf(dir1, m_source.filename().wstring()), true);
        const HWND fileList1 = form.handleOf("FileList1");
        clickRow(fileList1, rowOf(fileList1, runtime::toWide(engine::kUpgradeName)), false);
        settle();
        const HWND ok = form.handleOf("cmdOpenOK");
        if (!::IsWindowVisible(ok) || window.browseState().strChosenFile != engine::kUpgradeName ||
            window.browseState().strChosenFolder != m_source.string() + "\\")
            throw std::runtime_error("clicking the upgrade file did not offer the OK button");

        RECT button{};
        ::GetClientRect(ok, &button);
        const LPARAM at = MAKELPARAM(button.right / 2, button.bottom / 2);
        g_watch.armed = true;
        setup.reset();
        const double started = bench::NowMs();
        ::PostMessageW(ok, WM_LBUTTONDOWN, MK_LBUTTON, at);
        ::PostMessageW(ok, WM_LBUTTONUP, 0, at);
        m_toolkit->run(); // the program's own loop, until the window is unloaded
        setup.emplace();
        g_watch.armed = false;
        if (!g_watch.successAt)
            throw std::runtime_error("the upgrade did not succeed: " +
                                     (g_watch.texts.size() < 2 ? "no message" : g_watch.texts.back()));
        if (window.form().isLoaded() || g_watch.texts.size() != 2)
            throw std::runtime_error("the window stayed, or showed more than the success box");
        if (!bench::SameBytes(m_app / engine::kExeName, m_source / engine::kUpgradeName) ||
            fs::file_size(m_app / engine::kOldName) != kOld.size())
            throw std::runtime_error("the upgrade file was not installed, or the old executable not kept");

        const double took = *g_watch.successAt - started;
        if (progress && g_watch.progressMadeAt)
            progressShown.push_back(*g_watch.progressMadeAt - started);
        (progress ? programStages : quietStages).add(dialogs, started, *g_watch.successAt);
        if (progress && g_watch.progressMadeAt) {
            inProgress.push_back(dialogs.inProgress);
            longestProgress.push_back(dialogs.longestProgress);
            makingProgress.push_back(dialogs.makingProgress);
            progressGone.push_back(dialogs.progressGone - dialogs.ended);
        }
        if (progress && dialogs.ended > 0 && g_watch.boxMadeAt) {
            toBoxMade.push_back(*g_watch.boxMadeAt - dialogs.progressGone);
            boxShowing.push_back(*g_watch.successAt - *g_watch.boxMadeAt);
        }
        return took;
    }

    double floor()
    {
        {
            const Setup setup;
            newApp();
        }
        return bench::CopyFlushCompareMove(m_source / engine::kUpgradeName, m_app / "part",
                                           m_app / engine::kUpgradeName)
            .total();
    }

    // The swap row's tool: the engine's swap alone, on the same state the window builds.
    double engineSwap()
    {
        engine::BrowseState state;
        {
            const Setup setup;
            newApp();
            state.strAppFolder = m_app.string() + "\\";
            state.strBrowseFolder = m_source.string() + "\\";
            state.strChosenFolder = state.strBrowseFolder;
            state.strChosenFile = engine::kUpgradeName;
        }
        runtime::WinFileServices files;
        testsupport::RecordingDialogs shown;
        TimedDialogs dialogs(shown, true);
        const double started = bench::NowMs();
        const engine::SwapOutcome outcome = engine::SwapExecutable(state, files, dialogs);
        const double took = bench::NowMs() - started;
        engineStages.add(dialogs, started, started + took);
        const Setup setup;
        if (outcome != engine::SwapOutcome::Upgraded ||
            !bench::SameBytes(m_app / engine::kExeName, m_source / engine::kUpgradeName))
            throw std::runtime_error("the engine's swap failed");
        return took;
    }

    std::vector<double> progressShown, inProgress, longestProgress, makingProgress, progressGone, toBoxMade,
        boxShowing;
    Stages programStages, quietStages, engineStages;

private:
    static constexpr std::string_view kOld = "the old executable\n";

    // Hands the waiting messages to the program's handling, as its loop would.
    void settle()
    {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            m_win32.handle(msg);
    }

    // An application folder as a user would have it: the old executable and nothing else.
    void newApp()
    {
        std::error_code ignored;
        fs::remove_all(m_app, ignored);
        fs::create_directories(m_app);
        std::FILE* f = std::fopen((m_app / engine::kExeName).string().c_str(), "wb");
        bench::CheckWin32(f != nullptr && std::fputs(std::string(kOld).c_str(), f) >= 0 &&
                              std::fclose(f) == 0,
                          "writing the old executable");
    }

    fs::path m_root;
    fs::path m_source{m_root / "downloads"};
    fs::path m_app{m_root / "app"};
    std::uint64_t m_size;
    int m_argc{0};
    std::unique_ptr<runtime::Toolkit> m_toolkit{runtime::createToolkit(
        m_argc, nullptr, runtime::Program{ORVALIS_TITLE, ORVALIS_VERSION, nullptr, IDI_PROGRAM})};
    win32::Toolkit& m_win32{dynamic_cast<win32::Toolkit&>(*m_toolkit)};
};

} // namespace

int main(int argc, char** argv)
{
    const std::string dir = bench::ArgText(argc, argv, "--dir", "");
    const long sizeMiB = bench::ArgNumber(argc, argv, "--size-mib", 512);
    const int repeats = static_cast<int>(bench::ArgNumber(argc, argv, "--repeats", 12));
    const int warmUp = static_cast<int>(bench::ArgNumber(argc, argv, "--warm-up", 1));
    const std::string against = bench::ArgText(argc, argv, "--against", "floor");
    if (dir.empty() || sizeMiB <= 0 ||
        (against != "floor" && against != "engine" && against != "no-progress")) {
        std::fprintf(stderr, "usage: bench_program_win --dir PATH [--size-mib N] [--repeats N] [--warm-up N] "
                             "[--against floor|engine|no-progress]\n");
        return 2;
    }
    try {
        ProgramBench bench(fs::absolute(dir).make_preferred() / "program-win",
                           static_cast<std::uint64_t>(sizeMiB) << 20);
        const bench::Pairs pairs = bench::RunInTurns(
            warmUp, repeats, [&] { return bench.program(true); },
            [&] {
                return against == "engine"        ? bench.engineSwap()
                       : against == "no-progress" ? bench.program(false)
                                                  : bench.floor();
            },
            measuredKernelMs);
        const std::string floor = against == "engine"        ? "the engine's swap"
                                  : against == "no-progress" ? "the same without progress"
                                                             : "CopyFileW + flush + compare";
        std::printf("%s\n", bench::PairedRow(
                                "Program under Wine: OK clicked to \"Upgrade successful.\" shown, " +
                                    std::to_string(sizeMiB) + " MiB from another folder, against " + floor,
                                pairs, against == "floor" ? 0.8 : 1.0, 0)
                                .c_str());
        const auto median = [](const std::vector<double>& v) {
            return bench::QuartilesOf(v).median;
        };
        std::printf("\n");
        if (!bench.progressShown.empty())
            std::printf(
                "Progress window made %.0f ms after the click (median of %zu runs that showed it); in "
                "those runs, the toolkit's progress took %.1f ms in all, %.1f ms in the call that made the "
                "window, %.1f ms in its longest call (medians).\n",
                median(bench.progressShown), bench.progressShown.size(), median(bench.inProgress),
                median(bench.makingProgress), median(bench.longestProgress));
        bench.programStages.print("The program's stages",
                                  "the success box shown (the renames, the folder's flush, the box)");
        if (!bench.boxShowing.empty()) {
            std::printf("After the copy, medians: ");
            if (!bench.progressGone.empty())
                std::printf("the progress window taken down %.1f ms (where it showed), then ",
                            median(bench.progressGone));
            std::printf("until the box is made (the renames, the folder's flush) %.1f ms, the box made until "
                        "shown %.1f ms.\n",
                        median(bench.toBoxMade), median(bench.boxShowing));
        }
        bench.quietStages.print("Without progress", "the success box shown");
        bench.engineStages.print("The engine's", "the swap's end");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_program_win: %s\n", e.what());
        return 1;
    }
    return 0;
}
