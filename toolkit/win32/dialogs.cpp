#include "dialogs.h"

#include "copy_progress.h"
#include "text.h"

namespace win32 {

namespace {

// The icon for the title bar of the box about to open on this thread. A hook has no
// argument of its own, and a box is modal, so one at a time a thread.
thread_local HICON t_titleIcon = nullptr;

// The system's boxes carry no icon in their title bar; the program's goes there as its
// windows have it, as soon as the box is made.
LRESULT CALLBACK giveBoxIcon(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND && t_titleIcon != nullptr) {
        const auto* create = reinterpret_cast<const CBT_CREATEWNDW*>(lParam);
        if (create->lpcs->lpszClass == MAKEINTRESOURCEW(32770)) {
            ::SendMessageW(reinterpret_cast<HWND>(wParam), WM_SETICON, ICON_SMALL,
                           reinterpret_cast<LPARAM>(t_titleIcon));
            t_titleIcon = nullptr;
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

} // namespace

Dialogs::Dialogs(const runtime::Program& program, std::function<HWND()> owner)
    : m_title(widen(program.title)), m_owner(std::move(owner))
{
    if (program.iconResource != 0)
        m_icon = static_cast<HICON>(
            ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(program.iconResource), IMAGE_ICON,
                         ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
}

Dialogs::~Dialogs() = default;

void Dialogs::msgBox(const std::string& text, runtime::MsgKind kind)
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
    HHOOK hook = nullptr;
    if (m_icon != nullptr) {
        t_titleIcon = m_icon;
        hook = ::SetWindowsHookExW(WH_CBT, giveBoxIcon, nullptr, ::GetCurrentThreadId());
    }
    ::MessageBoxIndirectW(&box);
    if (hook != nullptr)
        ::UnhookWindowsHookEx(hook);
    t_titleIcon = nullptr;
}

void Dialogs::copyProgress(runtime::CopyStage stage, std::uint64_t done, std::uint64_t total)
{
    if (const auto view = m_policy.report(stage, done, total, runtime::CopyProgressPolicy::Clock::now())) {
        if (!m_progress)
            m_progress = std::make_unique<CopyProgress>(m_title, m_owner ? m_owner() : nullptr);
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
