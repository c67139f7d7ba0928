#include "copy_progress.h"

#include "text.h"

#include <commctrl.h>

namespace win32 {

namespace {

bool isInput(const MSG& msg)
{
    const UINT m = msg.message;
    return (m >= WM_KEYFIRST && m <= WM_KEYLAST) || (m >= WM_MOUSEFIRST && m <= WM_MOUSELAST) ||
           (m >= WM_NCMOUSEMOVE && m <= WM_NCXBUTTONDBLCLK) || m == WM_NCMOUSEHOVER || m == WM_NCMOUSELEAVE ||
           m == WM_MOUSEHOVER || m == WM_MOUSELEAVE || m == WM_INPUT || m == WM_SYSCOMMAND || m == WM_CLOSE;
}

} // namespace

CopyProgress::CopyProgress(const std::wstring& title, HWND owner) : m_owner(owner)
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
    if (!create(0, kClassName, title.c_str(), style, x, y, width, height, owner, nullptr))
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
    m_bar.send(PBM_SETRANGE32, 0, runtime::CopyProgressPolicy::kBarEnd);
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

void CopyProgress::show(const runtime::CopyProgressPolicy::View& view)
{
    if (!exists())
        return;
    if (m_shownText != view.text) {
        m_shownText = view.text;
        m_text.setText(widen(m_shownText));
        m_bar.setText(widen(m_shownText)); // what a reader calls the bar, which has no label of its own there
    }
    m_bar.send(PBM_SETPOS, static_cast<WPARAM>(view.bar));
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
