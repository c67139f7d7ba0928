#include "file_list.h"

#include "text.h"

namespace win32 {

bool FileList::build(HWND parent, int id)
{
    // LBS_NOINTEGRALHEIGHT keeps the height of the definition instead of a whole number of rows.
    // LBS_NODATA: the list box keeps only the number of rows and asks for each row it draws,
    // so filling it costs nothing however many names there are.
    const DWORD style = childStyle() | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT |
                        LBS_OWNERDRAWFIXED | LBS_NODATA;
    return create(WS_EX_CLIENTEDGE, L"LISTBOX", L"", style, 0, 0, 0, 0, parent,
                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)));
}

void FileList::layout(int dpi, HFONT font)
{
    Control::layout(dpi, font);
    // An owner-drawn list keeps its row height when its font changes: a row as high as the
    // font, as a list of plain text has.
    send(LB_SETITEMHEIGHT, 0, lineHeight(font));
}

std::string FileList::fileName()
{
    m_state.readIfStale();
    const int row = selected();
    if (row < 0 || static_cast<std::size_t>(row) >= m_names.size())
        return {};
    return m_names[static_cast<std::size_t>(row)];
}

void FileList::fill(std::vector<std::string> names)
{
    m_names = std::move(names);
    showRows(m_names.size());
}

void FileList::onKeyDown(WPARAM key)
{
    // A single entry that has the caret but no selection is selected by Up or Down too,
    // and Space selects the entry with the caret; either is a click.
    const bool arrow = key == VK_UP || key == VK_DOWN;
    if ((arrow || key == VK_SPACE) && selected() < 0 && count() > 0) {
        const int row = caret() >= 0 ? caret() : 0;
        select(row);
        raiseClick();
    } else if (key == VK_SPACE && selected() >= 0) {
        raiseClick();
    }
}

void FileList::onDrawItem(const DRAWITEMSTRUCT& item)
{
    HDC dc = item.hDC;
    const RECT box = item.rcItem;
    const bool focus = (item.itemState & ODS_FOCUS) != 0 && (item.itemState & ODS_NOFOCUSRECT) == 0;
    if (item.itemID >= m_names.size()) {
        // An empty list that has the focus shows it on its first row.
        ::FillRect(dc, &box, palette().brush(definition().back, COLOR_WINDOW));
        if (focus)
            ::DrawFocusRect(dc, &box);
        return;
    }
    const bool chosen = (item.itemState & ODS_SELECTED) != 0;
    ::FillRect(dc, &box,
               chosen ? ::GetSysColorBrush(COLOR_HIGHLIGHT)
                      : palette().brush(definition().back, COLOR_WINDOW));
    HGDIOBJ oldFont = ::SelectObject(dc, font());
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, chosen ? ::GetSysColor(COLOR_HIGHLIGHTTEXT)
                              : Palette::colour(definition().fore, COLOR_WINDOWTEXT));
    RECT textBox{box.left + 2, box.top, box.right, box.bottom};
    const std::wstring shown = widen(rowLabel(static_cast<int>(item.itemID)));
    ::DrawTextW(dc, shown.c_str(), static_cast<int>(shown.size()), &textBox,
                DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    ::SelectObject(dc, oldFont);
    if (focus)
        ::DrawFocusRect(dc, &box);
}

LRESULT FileList::onMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        m_pressed = true;
        return passOn(message, wParam, lParam);
    }
    case WM_LBUTTONUP: {
        // The list may report the selection as the button comes up: still part of the press.
        const bool wasPressed = m_pressed;
        const LRESULT result = passOn(message, wParam, lParam);
        m_pressed = false;
        // The click is the release over a selected entry, also when it was selected before.
        const int row = rowAt(lParam);
        if (wasPressed && row >= 0 && row == selected())
            raiseClick();
        return result;
    }
    case WM_KEYDOWN: {
        m_pressed = false; // a release the list never saw does not hold keys up
        const LRESULT result = passOn(message, wParam, lParam);
        onKeyDown(wParam);
        return result;
    }
    default: {
        LRESULT result = 0;
        return answerRowMessage(message, wParam, lParam, result) ? result : passOn(message, wParam, lParam);
    }
    }
}

bool FileList::onNotification(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
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
        // A selection moved by the keys is a click; one by the mouse waits for the release.
        if (HIWORD(wParam) == LBN_SELCHANGE && !m_pressed) {
            raiseClick();
            result = 0;
            return true;
        }
        return false;
    default:
        return false;
    }
}

} // namespace win32
