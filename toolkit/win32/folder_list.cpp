#include "folder_list.h"

#include "pictures.h"
#include "runtime/failure.h"
#include "text.h"

namespace win32 {

bool FolderList::build(HWND parent, int id)
{
    const DWORD style = childStyle() | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT |
                        LBS_OWNERDRAWFIXED | LBS_NODATA;
    if (!create(WS_EX_CLIENTEDGE, L"LISTBOX", L"", style, 0, 0, 0, 0, parent,
                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id))))
        return false;
    m_icons = Pictures();
    return true;
}

void FolderList::layout(int dpi, HFONT font)
{
    Control::layout(dpi, font);
    m_indent = ::MulDiv(10, dpi, 96);
    send(LB_SETITEMHEIGHT, 0, entryHeight(font, m_icons));
}

void FolderList::onDrawItem(const DRAWITEMSTRUCT& item)
{
    const auto& rows = m_state.rows();
    if (item.itemID == static_cast<UINT>(-1) || item.itemID >= rows.size())
        return;
    const runtime::FolderRow& row = rows[item.itemID];
    drawEntry(item, row.level * m_indent, m_icons,
              PictureIndex(row.open ? runtime::Picture::FolderOpen : runtime::Picture::FolderClosed),
              widen(row.label));
}

LRESULT FolderList::onMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_LBUTTONDOWN: {
        m_pressed = true;
        return passOn(message, wParam, lParam);
    }
    case WM_LBUTTONDBLCLK: {
        m_pressed = true;
        m_afterOpen = true;
        return passOn(message, wParam, lParam); // the list reports the double click: open
    }
    case WM_LBUTTONUP: {
        const bool wasPressed = m_pressed && !m_afterOpen;
        const LRESULT result = passOn(message, wParam, lParam);
        m_pressed = false;
        m_afterOpen = false;
        const int row = rowAt(lParam);
        if (wasPressed && row >= 0 && row == selected())
            raiseClick();
        return result;
    }
    case WM_GETDLGCODE: {
        // Enter belongs to the list, which opens the selected folder with it.
        const auto* msg = reinterpret_cast<const MSG*>(lParam);
        LRESULT code = passOn(message, wParam, lParam);
        if (msg != nullptr && msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN)
            code |= DLGC_WANTMESSAGE;
        return code;
    }
    case WM_KEYDOWN:
        m_pressed = false;
        if (wParam == VK_RETURN) {
            m_state.open(selected());
            return 0;
        }
        return passOn(message, wParam, lParam);
    case WM_CHAR:
        if (wParam == L'\r')
            return 0;
        [[fallthrough]];
    default: {
        LRESULT result = 0;
        return answerRowMessage(message, wParam, lParam, result) ? result : passOn(message, wParam, lParam);
    }
    }
}

bool FolderList::onNotification(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (message) {
    case WM_DRAWITEM:
        onDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        result = TRUE;
        return true;
    case WM_CTLCOLORLISTBOX:
        result = reinterpret_cast<LRESULT>(palette().brush(definition().back, COLOR_WINDOW));
        return true;
    case WM_COMMAND:
        if (HIWORD(wParam) == LBN_SELCHANGE && !m_pressed) {
            raiseClick(); // moved by the keys
            return true;
        }
        if (HIWORD(wParam) == LBN_DBLCLK) {
            m_state.open(selected());
            return true;
        }
        return false;
    default:
        return false;
    }
}

} // namespace win32
