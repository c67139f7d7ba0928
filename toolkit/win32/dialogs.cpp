#include "dialogs.h"

#include "copy_progress.h"
#include "text.h"

#include <utility>

namespace win32 {

namespace {

// The icon for the title bar of the box about to open on this thread. A hook has no
// argument of its own, and a box is modal, so one at a time a thread.
thread_local HICON t_titleIcon = nullptr;
// The box about to open, or open, on this thread, and the work to run once it shows.
thread_local HWND t_box = nullptr;
thread_local runtime::Meanwhile* t_work = nullptr;
// The hook that finds the box, until it has found it.
thread_local HHOOK t_hook = nullptr;

// The system's boxes carry no icon in their title bar; the program's goes there as its
// windows have it, as soon as the box is made. Then the hook goes: every window made on the
// thread would call it (the box's controls, the window built while the box shows), and under
// Wine each call is a round trip to its server.
LRESULT CALLBACK watchBox(int code, WPARAM wParam, LPARAM lParam)
{
    bool found = false;
    if (code == HCBT_CREATEWND && t_box == nullptr) {
        const auto* create = reinterpret_cast<const CBT_CREATEWNDW*>(lParam);
        if (create->lpcs->lpszClass == MAKEINTRESOURCEW(32770)) {
            t_box = reinterpret_cast<HWND>(wParam);
            found = true;
            if (t_titleIcon != nullptr)
                ::SendMessageW(t_box, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(t_titleIcon));
        }
    }
    const LRESULT result = ::CallNextHookEx(nullptr, code, wParam, lParam);
    if (found && t_hook != nullptr)
        ::UnhookWindowsHookEx(std::exchange(t_hook, nullptr));
    return result;
}

thread_local bool t_boxSeen = false;

// A timer's message comes only when no paint is due: once the box is visible, it has been
// drawn. The work waits one more tick, so that the thread has waited for messages once in
// between, which is when Wine hands what it drew to the X server; then it may take the thread.
void CALLBACK runOnceTheBoxShows(HWND, UINT, UINT_PTR timer, DWORD)
{
    if (t_work == nullptr || t_box == nullptr || !::IsWindowVisible(t_box))
        return;
    if (!std::exchange(t_boxSeen, true))
        return;
    ::KillTimer(nullptr, timer);
    std::exchange(t_work, nullptr)->run();
}

} // namespace

Dialogs::Dialogs(const runtime::Program& program, std::function<HWND()> owner,
                 std::function<bool()> windowsReady)
    : m_title(widen(program.title)), m_owner(std::move(owner)), m_windowsReady(std::move(windowsReady))
{
    if (program.iconResource != 0)
        m_icon = static_cast<HICON>(
            ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(program.iconResource), IMAGE_ICON,
                         ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
}

Dialogs::~Dialogs() = default;

void Dialogs::msgBox(const std::string& text, runtime::MsgKind kind)
{
    showMessage(text, kind, nullptr);
}

void Dialogs::msgBoxMeanwhile(const std::string& text, runtime::MsgKind kind,
                              const std::function<void()>& meanwhile)
{
    runtime::Meanwhile work(meanwhile);
    showMessage(text, kind, &work);
    work.finish();
}

void Dialogs::showMessage(const std::string& text, runtime::MsgKind kind, runtime::Meanwhile* work)
{
    const std::wstring wide = widen(text);
    const HWND owner = m_owner ? m_owner() : nullptr;
    MSGBOXPARAMSW box{};
    box.cbSize = sizeof box;
    box.hwndOwner = owner;
    box.hInstance = ::GetModuleHandleW(nullptr);
    box.lpszText = wide.c_str();
    box.lpszCaption = m_title.c_str();
    box.dwStyle = MB_OK | (kind == runtime::MsgKind::Warning ? MB_ICONWARNING : MB_ICONINFORMATION);
    // Before the window shows, the box is the program's only window: bring it to the front.
    if (owner == nullptr)
        box.dwStyle |= MB_TASKMODAL | MB_SETFOREGROUND;
    t_titleIcon = m_icon;
    t_box = nullptr;
    t_boxSeen = false;
    t_work = work;
    if (m_icon != nullptr || work != nullptr)
        t_hook = ::SetWindowsHookExW(WH_CBT, watchBox, nullptr, ::GetCurrentThreadId());
    UINT_PTR timer = 0;
    if (work != nullptr)
        timer = ::SetTimer(nullptr, 0, USER_TIMER_MINIMUM, runOnceTheBoxShows);
    ::MessageBoxIndirectW(&box);
    if (timer != 0)
        ::KillTimer(nullptr, timer);
    if (t_hook != nullptr) // no box was made
        ::UnhookWindowsHookEx(std::exchange(t_hook, nullptr));
    t_titleIcon = nullptr;
    t_box = nullptr;
    t_work = nullptr;
}

void Dialogs::copyProgress(runtime::CopyStage stage, std::uint64_t done, std::uint64_t total)
{
    if (const auto view = m_policy.report(stage, done, total, runtime::CopyProgressPolicy::Clock::now())) {
        if (!m_progress && m_windowsReady())
            m_progress = std::make_unique<CopyProgress>(m_title, m_owner ? m_owner() : nullptr);
        if (m_progress)
            m_progress->show(*view);
    }
    CopyProgress::pumpWithoutInput();
}

void Dialogs::copyEnded()
{
    m_progress.reset();
    m_policy.ended();
}

} // namespace win32
