#include "folder_list.h"

#include "runtime/failure.h"
#include "text.h"

#include <shellapi.h>

namespace win32 {

namespace {

// The index of the folder picture in the system's small icons, and the list itself.
int folderIcon(bool open, HIMAGELIST& list)
{
    SHFILEINFOW info{};
    UINT flags = SHGFI_USEFILEATTRIBUTES | SHGFI_SYSICONINDEX | SHGFI_SMALLICON;
    if (open)
        flags |= SHGFI_OPENICON;
    // Attributes only: no folder on disk is looked at for its picture.
    const DWORD_PTR icons = ::SHGetFileInfoW(L"folder", FILE_ATTRIBUTE_DIRECTORY, &info, sizeof info, flags);
    if (icons == 0)
        return -1;
    list = reinterpret_cast<HIMAGELIST>(icons);
    return info.iIcon;
}

} // namespace

bool FolderList::build(HWND parent, int id)
{
    if (!RowList::build(parent, id))
        return false;
    m_closedIcon = folderIcon(false, m_icons);
    m_openIcon = folderIcon(true, m_icons);
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
    drawEntry(item, row.level * m_indent, m_icons, row.open ? m_openIcon : m_closedIcon, widen(row.label));
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
