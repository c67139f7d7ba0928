#include "panel.h"

namespace win32 {

bool Panel::build(HWND parent, int id)
{
    // WS_BORDER is the flat one-pixel line; the client area inside it is what the panel's
    // controls are placed in.
    DWORD style = childStyle() | WS_CLIPCHILDREN | WS_TABSTOP;
    if (definition().border)
        style |= WS_BORDER;
    const DWORD exStyle = definition().flat || !definition().border ? 0 : WS_EX_CLIENTEDGE;
    return create(exStyle, kClassName, L"", style, 0, 0, 0, 0, parent,
                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)));
}

HBRUSH Panel::backgroundBrush()
{
    return palette().brush(definition().back, COLOR_BTNFACE);
}

void Panel::hide()
{
    const bool hadFocus = holdsFocus();
    ::ShowWindow(handle(), SW_HIDE);
    if (hadFocus && m_focusLost)
        m_focusLost();
}

void Panel::fillBackground(HDC dc)
{
    RECT client;
    ::GetClientRect(handle(), &client);
    ::FillRect(dc, &client, backgroundBrush());
}

void Panel::onPaint()
{
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(handle(), &ps);
    if (hasFocus()) {
        RECT client;
        ::GetClientRect(handle(), &client);
        ::InflateRect(&client, -1, -1);
        ::DrawFocusRect(dc, &client);
    }
    ::EndPaint(handle(), &ps);
}

LRESULT Panel::onMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ERASEBKGND:
        fillBackground(reinterpret_cast<HDC>(wParam));
        return 1;
    case WM_PRINTCLIENT: // themed buttons draw their corners from what lies behind them
        fillBackground(reinterpret_cast<HDC>(wParam));
        return 0;
    case WM_PAINT:
        onPaint();
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        invalidate();
        return 0;
    case WM_LBUTTONDOWN:
        ::SetFocus(handle());
        return 0;
    case WM_GETOBJECT: {
        LRESULT result = 0;
        return m_accessible.answer(handle(), wParam, lParam, result) ? result
                                                                     : passOn(message, wParam, lParam);
    }
    default:
        return passOn(message, wParam, lParam);
    }
}

} // namespace win32
