#include "file_list.h"

#include "runtime/list_contents.h"
#include "text.h"

#include <windowsx.h>

namespace win32 {

bool FileList::build(HWND parent, int id)
{
    // LBS_NOINTEGRALHEIGHT keeps the height of the definition instead of a whole number of rows.
    const DWORD style = childStyle() | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
    return create(WS_EX_CLIENTEDGE, L"LISTBOX", L"", style, 0, 0, 0, 0, parent,
                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)));
}

void FileList::setPath(const std::string& path)
{
    m_path = runtime::TrimSeparator(path);
    markStale();
}

void FileList::setPattern(const std::string& pattern)
{
    m_pattern = pattern;
    markStale();
}

void FileList::refresh()
{
    markStale();
}

std::string FileList::fileName()
{
    if (m_stale)
        read();
    const int row = selected();
    if (row < 0 || static_cast<std::size_t>(row) >= m_names.size())
        return {};
    return m_names[static_cast<std::size_t>(row)];
}

void FileList::markStale()
{
    // Before a path is set there is nothing to read.
    if (m_path.empty())
        return;
    m_stale = true;
    m_actions.defer(this, [this] {
        if (m_stale)
            read();
    });
}

void FileList::read()
{
    m_stale = false;
    std::vector<std::string> names;
    try {
        names = runtime::FileNames(m_actions.listFolder(m_path), m_pattern);
    } catch (const runtime::Failure& failure) {
        const std::string failed = m_path;
        // Back to what it shows, which is still on the screen.
        m_path = m_shownPath;
        m_pattern = m_shownPattern;
        if (m_readFailed)
            m_readFailed(failed, failure);
        return;
    }
    m_shownPath = m_path;
    m_shownPattern = m_pattern;
    fill(std::move(names));
}

void FileList::fill(std::vector<std::string> names)
{
    // One allocation and no drawing while it fills: a folder of many files fills about as
    // fast as it is read.
    send(WM_SETREDRAW, FALSE);
    send(LB_RESETCONTENT);
    std::vector<std::wstring> shown;
    shown.reserve(names.size());
    std::size_t chars = 0;
    for (const auto& name : names) {
        shown.push_back(widen(name));
        chars += shown.back().size() + 1;
    }
    send(LB_INITSTORAGE, shown.size(), static_cast<LPARAM>(chars * sizeof(wchar_t)));
    for (const auto& text : shown)
        send(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    m_names = std::move(names);
    send(WM_SETREDRAW, TRUE);
    ::InvalidateRect(handle(), nullptr, TRUE);
}

void FileList::raiseClick()
{
    if (selected() >= 0 && m_click)
        m_click();
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
        const LRESULT hit = send(LB_ITEMFROMPOINT, 0, lParam);
        if (wasPressed && HIWORD(hit) == 0 && static_cast<int>(LOWORD(hit)) == selected())
            raiseClick();
        return result;
    }
    case WM_KEYDOWN: {
        m_pressed = false; // a release the list never saw does not hold keys up
        const LRESULT result = passOn(message, wParam, lParam);
        onKeyDown(wParam);
        return result;
    }
    default:
        return passOn(message, wParam, lParam);
    }
}

bool FileList::onNotification(UINT message, WPARAM wParam, LPARAM, LRESULT& result)
{
    if (message == WM_CTLCOLORLISTBOX) {
        ::SetBkColor(reinterpret_cast<HDC>(wParam), Palette::colour(definition().back, COLOR_WINDOW));
        result = reinterpret_cast<LRESULT>(palette().brush(definition().back, COLOR_WINDOW));
        return true;
    }
    // A selection moved by the keys is a click; one by the mouse waits for the release.
    if (message == WM_COMMAND && HIWORD(wParam) == LBN_SELCHANGE && !m_pressed) {
        raiseClick();
        result = 0;
        return true;
    }
    return false;
}

} // namespace win32
