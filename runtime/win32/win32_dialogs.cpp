#include "win32_dialogs.h"

#include "copy_progress.h"
#include "text.h"

namespace win32 {

namespace {

constexpr ULONGLONG kProgressDelayMs = 500;

} // namespace

Win32Dialogs::Win32Dialogs(std::function<HWND()> owner) : m_owner(std::move(owner)) {}

Win32Dialogs::~Win32Dialogs() = default;

void Win32Dialogs::msgBox(const std::string& text)
{
    const std::wstring wide = widen(text);
    const HWND owner = m_owner ? m_owner() : nullptr;
    MSGBOXPARAMSW box{};
    box.cbSize = sizeof box;
    box.hwndOwner = owner;
    box.hInstance = ::GetModuleHandleW(nullptr);
    box.lpszText = wide.c_str();
    box.lpszCaption = kTitle;
    box.dwStyle = MB_OK;
    // The program's own icon, where the executable has one.
    if (::FindResourceW(box.hInstance, MAKEINTRESOURCEW(1), RT_GROUP_ICON) != nullptr) {
        box.dwStyle |= MB_USERICON;
        box.lpszIcon = MAKEINTRESOURCEW(1);
    }
    // Before the window shows, the box is the program's only window: bring it to the front.
    if (owner == nullptr)
        box.dwStyle |= MB_TASKMODAL | MB_SETFOREGROUND;
    ::MessageBoxIndirectW(&box);
}

void Win32Dialogs::copyProgress(runtime::CopyStage stage, std::uint64_t done, std::uint64_t total)
{
    const ULONGLONG now = ::GetTickCount64();
    if (m_copyStarted == 0)
        m_copyStarted = now;
    if (!m_progress && now - m_copyStarted >= kProgressDelayMs)
        m_progress = std::make_unique<CopyProgress>(m_owner ? m_owner() : nullptr);
    if (m_progress)
        m_progress->update(stage, done, total);
    CopyProgress::pumpWithoutInput();
}

void Win32Dialogs::copyEnded()
{
    m_progress.reset();
    m_copyStarted = 0;
}

} // namespace win32
