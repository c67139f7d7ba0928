#include "folder_list.h"

#include "pictures.h"
#include "runtime/failure.h"
#include "text.h"

namespace win32 {

bool FolderList::build(HWND parent, int id)
{
    if (!RowList::build(parent, id))
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

std::wstring FolderList::rowDescription(int row) const
{
    return widen(runtime::FolderRowDescription(m_state.rows()[static_cast<std::size_t>(row)]));
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
    LRESULT result = 0;
    if (answerMouseMessage(message, wParam, lParam, result))
        return result; // the list box reports a double click, which opens
    switch (message) {
    case WM_GETDLGCODE: {
        // Enter belongs to the list, which opens the selected folder with it.
        const auto* msg = reinterpret_cast<const MSG*>(lParam);
        LRESULT code = passOn(message, wParam, lParam);
        if (msg != nullptr && msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN)
            code |= DLGC_WANTMESSAGE;
        return code;
    }
    case WM_KEYDOWN:
        forgetPress();
        if (wParam == VK_RETURN) {
            m_state.open(selected());
            return 0;
        }
        return passOn(message, wParam, lParam);
    case WM_CHAR:
        if (wParam == L'\r')
            return 0;
        [[fallthrough]];
    default:
        return answerRowMessage(message, wParam, lParam, result) ? result : passOn(message, wParam, lParam);
    }
}

bool FolderList::onNotification(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (message == WM_COMMAND && HIWORD(wParam) == LBN_DBLCLK) {
        m_state.open(selected());
        return true;
    }
    return RowList::onNotification(message, wParam, lParam, result);
}

} // namespace win32
