#include "file_list.h"

#include "text.h"

namespace win32 {

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
    LRESULT result = 0;
    if (answerMouseMessage(message, wParam, lParam, result))
        return result;
    if (message == WM_KEYDOWN) {
        forgetPress();
        result = passOn(message, wParam, lParam);
        onKeyDown(wParam);
        return result;
    }
    return answerRowMessage(message, wParam, lParam, result) ? result : passOn(message, wParam, lParam);
}

} // namespace win32
