#include "dialogs.h"

#include "copy_progress.h"
#include "text.h"

namespace win32 {

Dialogs::Dialogs(const runtime::Program& program, std::function<HWND()> owner)
    : m_title(widen(program.title)), m_owner(std::move(owner))
{}

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
    ::MessageBoxIndirectW(&box);
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
