#include "row_list.h"

#include "palette.h"
#include "text.h"

#include <windowsx.h>

namespace win32 {

void RowList::showRows(std::size_t rows, int current)
{
    send(WM_SETREDRAW, FALSE);
    send(LB_RESETCONTENT);
    send(LB_SETCOUNT, rows);
    if (current >= 0)
        select(current);
    send(WM_SETREDRAW, TRUE);
    ::InvalidateRect(handle(), nullptr, TRUE);
    ListAccessible::rowsReplaced(handle());
}

int RowList::rowAt(LPARAM point) const
{
    return RowAtPoint(handle(), POINT{GET_X_LPARAM(point), GET_Y_LPARAM(point)}, count());
}

bool RowList::build(HWND parent, int id)
{
    const DWORD style = childStyle() | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT |
                        LBS_OWNERDRAWFIXED | LBS_NODATA;
    return create(WS_EX_CLIENTEDGE, L"LISTBOX", L"", style, 0, 0, 0, 0, parent,
                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)));
}

bool RowList::answerMouseMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        m_pressed = true;
        m_afterOpen = message == WM_LBUTTONDBLCLK && m_doubleClickOpens;
        result = passOn(message, wParam, lParam);
        return true;
    case WM_LBUTTONUP: {
        // The list may report the selection as the button comes up: still part of the press.
        const bool wasPressed = m_pressed && !m_afterOpen;
        result = passOn(message, wParam, lParam);
        m_pressed = false;
        m_afterOpen = false;
        const int row = rowAt(lParam);
        if (wasPressed && row >= 0 && row == selected())
            raiseClick();
        return true;
    }
    default:
        return false;
    }
}

bool RowList::selectionChanged()
{
    if (m_pressed)
        return false;
    raiseClick();
    return true;
}

bool RowList::onNotification(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (message) {
    case WM_DRAWITEM:
        onDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        result = TRUE;
        return true;
    case WM_CTLCOLORLISTBOX:
        ::SetBkColor(reinterpret_cast<HDC>(wParam), Palette::colour(definition().back, COLOR_WINDOW));
        result = reinterpret_cast<LRESULT>(palette().brush(definition().back, COLOR_WINDOW));
        return true;
    case WM_COMMAND:
        result = 0;
        return HIWORD(wParam) == LBN_SELCHANGE && selectionChanged();
    default:
        return false;
    }
}

void RowList::raiseClick()
{
    if (selected() >= 0 && m_click != nullptr)
        m_click->raise();
}

bool RowList::answerRowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (message) {
    case WM_CHAR: {
        if (wParam <= L' ')
            return false;
        const int row = nextStartingWith(static_cast<wchar_t>(wParam), caret(), rowCount(),
                                         [this](int r) -> const std::string& { return rowLabel(r); });
        if (row >= 0) {
            select(row);
            raiseClick();
        }
        result = 0;
        return true;
    }
    case WM_GETOBJECT:
        return m_accessible.answer(handle(), wParam, lParam, result);
    case LB_GETTEXTLEN:
    case LB_GETTEXT:
        // From another thread, perhaps another process, the answer is that of any list without
        // texts: carried between processes, the buffer only has room for an item's data.
        if (::InSendMessage())
            return false;
        result = text(wParam, message == LB_GETTEXT ? reinterpret_cast<wchar_t*>(lParam) : nullptr);
        return true;
    default:
        return false;
    }
}

std::wstring RowList::rowText(int row) const
{
    return widen(rowLabel(row));
}

LRESULT RowList::text(WPARAM row, wchar_t* buffer) const
{
    // What the list box would answer if it held the texts.
    if (row >= static_cast<WPARAM>(rowCount()))
        return LB_ERR;
    const std::wstring shown = rowText(static_cast<int>(row));
    if (buffer != nullptr) {
        shown.copy(buffer, shown.size());
        buffer[shown.size()] = L'\0';
    }
    return static_cast<LRESULT>(shown.size());
}

} // namespace win32
