#include "copy_progress.h"

#include "win32_dialogs.h"

#include <commctrl.h>

namespace win32 {

namespace {

constexpr int kBarRange = 1000;

bool isInput(const MSG& msg)
{
    const UINT m = msg.message;
    return (m >= WM_KEYFIRST && m <= WM_KEYLAST) || (m >= WM_MOUSEFIRST && m <= WM_MOUSELAST) ||
           (m >= WM_NCMOUSEMOVE && m <= WM_NCXBUTTONDBLCLK) || m == WM_NCMOUSEHOVER || m == WM_NCMOUSELEAVE ||
           m == WM_MOUSEHOVER || m == WM_MOUSELEAVE || m == WM_INPUT || m == WM_SYSCOMMAND || m == WM_CLOSE;
}

} // namespace

CopyProgress::CopyProgress(HWND owner) : m_owner(owner)
{
    const UINT dpi = owner != nullptr ? ::GetDpiForWindow(owner) : ::GetDpiForSystem();
    const auto px = [dpi](int at96) {
        return ::MulDiv(at96, static_cast<int>(dpi), 96);
    };
    const DWORD style = WS_POPUP | WS_CAPTION | WS_BORDER;
    RECT frame{0, 0, px(300), px(76)};
    ::AdjustWindowRectExForDpi(&frame, style, FALSE, 0, dpi);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    RECT over{};
    if (owner != nullptr)
        ::GetWindowRect(owner, &over);
    else
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &over, 0);
    const int x = over.left + (over.right - over.left - width) / 2;
    const int y = over.top + (over.bottom - over.top - height) / 2;
    if (!create(0, kClassName, Win32Dialogs::kTitle, style, x, y, width, height, owner, nullptr))
        return;
    LOGFONTW logFont{};
    ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof logFont, &logFont);
    logFont.lfHeight = -::MulDiv(8, static_cast<int>(dpi), 72);
    m_font = FontHandle(logFont);
    m_text.create(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX, px(12), px(12),
                  px(276), px(16), handle(), nullptr);
    m_text.setFont(m_font.get());
    m_bar.create(0, PROGRESS_CLASS, L"", WS_CHILD | WS_VISIBLE, px(12), px(38), px(276), px(20), handle(),
                 nullptr);
    m_bar.send(PBM_SETRANGE32, 0, kBarRange);
    if (owner != nullptr)
        ::EnableWindow(owner, FALSE);
    ::ShowWindow(handle(), SW_SHOWNA);
    ::UpdateWindow(handle());
}

CopyProgress::~CopyProgress()
{
    // The window below takes input again before this one goes, so it becomes active again.
    if (m_owner != nullptr)
        ::EnableWindow(m_owner, TRUE);
    destroy();
}

const wchar_t* CopyProgress::stageText(runtime::CopyStage stage)
{
    switch (stage) {
    case runtime::CopyStage::Copying:
        return L"Copying the upgrade file...";
    case runtime::CopyStage::Saving:
        return L"Saving the upgrade file...";
    case runtime::CopyStage::Checking:
        return L"Checking the copy...";
    }
    return L"";
}

void CopyProgress::update(runtime::CopyStage stage, std::uint64_t done, std::uint64_t total)
{
    if (!exists())
        return;
    if (static_cast<int>(stage) != m_stage) {
        m_stage = static_cast<int>(stage);
        m_text.setText(stageText(stage));
    }
    const auto at =
        total == 0 ? kBarRange : static_cast<int>((done > total ? total : done) * kBarRange / total);
    m_bar.send(PBM_SETPOS, static_cast<WPARAM>(at));
}

void CopyProgress::pumpWithoutInput()
{
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(msg.wParam)); // for the loop that runs the program
            return;
        }
        if (isInput(msg))
            continue;
        ::DispatchMessageW(&msg);
    }
}

LRESULT CopyProgress::onMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE)
        return 0; // a copy is not broken off half way
    return passOn(message, wParam, lParam);
}

} // namespace win32
