#include "label.h"

#include "text.h"

namespace win32 {

bool Label::build(HWND parent, int id)
{
    m_caption = definition().caption;
    // No caption holds an access-key marker, so '&' is shown as it is.
    DWORD style = childStyle() | SS_NOPREFIX;
    if (definition().alignment == runtime::Alignment::Centre)
        style |= SS_CENTER;
    else if (definition().wordWrap)
        style |= SS_LEFT;
    else
        style |= SS_LEFTNOWORDWRAP; // cut off at its right edge, never wrapped
    return create(0, L"STATIC", widen(m_caption).c_str(), style, 0, 0, 0, 0, parent,
                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)));
}

void Label::layout(int dpi, HFONT font)
{
    Control::layout(dpi, font);
    if (definition().autoSize)
        fitCaption();
}

void Label::setCaption(const std::string& text)
{
    m_caption = text;
    setText(widen(text));
    if (definition().autoSize)
        fitCaption();
}

void Label::fitCaption()
{
    const std::wstring text = widen(m_caption);
    RECT fitted{0, 0, 0, 0};
    {
        const FontDc dc(handle(), font());
        ::DrawTextW(dc.get(), text.c_str(), static_cast<int>(text.size()), &fitted,
                    DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS);
    }
    ::SetWindowPos(handle(), nullptr, 0, 0, fitted.right, fitted.bottom,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool Label::onNotification(UINT message, WPARAM wParam, LPARAM, LRESULT& result)
{
    if (message != WM_CTLCOLORSTATIC)
        return false;
    HDC dc = reinterpret_cast<HDC>(wParam);
    ::SetTextColor(dc, Palette::colour(definition().fore, COLOR_BTNTEXT));
    if (definition().transparent) {
        // Its own background colour is never drawn: what lies behind it shows.
        ::SetBkMode(dc, TRANSPARENT);
        result = reinterpret_cast<LRESULT>(containerBrush());
        return true;
    }
    ::SetBkColor(dc, Palette::colour(definition().back, COLOR_BTNFACE));
    result = reinterpret_cast<LRESULT>(palette().brush(definition().back, COLOR_BTNFACE));
    return true;
}

} // namespace win32
