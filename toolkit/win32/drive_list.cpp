#include "drive_list.h"

#include "pictures.h"
#include "text.h"

#include <algorithm>
#include <cwctype>

namespace win32 {

bool DriveList::build(HWND parent, int id)
{
    const DWORD style =
        childStyle() | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS;
    // The height given is the dropped-down list's; the box itself is as high as its entries.
    if (!create(0, L"COMBOBOX", L"", style, 0, 0, 0, 0, parent,
                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id))))
        return false;
    showState();
    return true;
}

void DriveList::layout(int dpi, HFONT font)
{
    setFont(font);
    const RECT r = definedRect(dpi);
    const int entry = entryHeight(font, m_icons);
    send(CB_SETITEMHEIGHT, 0, entry);
    // The box gets the height of the definition: its field is what is left inside the edge,
    // even where that is less than an entry of the dropped-down list.
    const int wanted = r.bottom - r.top;
    send(CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), wanted - 6);
    place(r.left, r.top, r.right - r.left, wanted + entry * 10);
    RECT box;
    ::GetWindowRect(handle(), &box);
    const int off = (box.bottom - box.top) - wanted;
    if (off != 0) {
        const int field = static_cast<int>(send(CB_GETITEMHEIGHT, static_cast<WPARAM>(-1)));
        send(CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), std::max(1, field - off));
    }
}

std::wstring DriveList::entryText(int row) const
{
    if (row < 0 || static_cast<std::size_t>(row) >= m_entries.size())
        return {};
    return m_entries[static_cast<std::size_t>(row)].text;
}

void DriveList::showState()
{
    if (!exists())
        return;
    const auto& drives = m_state.drives();
    bool same = m_entries.size() == drives.size();
    for (std::size_t i = 0; same && i < drives.size(); ++i)
        same = m_entries[i].drive == drives[i];
    if (!same) {
        send(CB_RESETCONTENT);
        m_entries.clear();
        for (const auto& drive : drives) {
            m_entries.push_back(entryFor(drive));
            send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(m_entries.back().text.c_str()));
        }
    }
    send(CB_SETCURSEL, static_cast<WPARAM>(m_state.current()));
}

DriveList::Entry DriveList::entryFor(const runtime::Drive& drive)
{
    Entry entry{drive, widen(drive.name), -1};
    for (auto& c : entry.text)
        c = static_cast<wchar_t>(std::towlower(c));
    const std::wstring root = widen(drive.root);
    const UINT type = ::GetDriveTypeW(root.c_str());
    // Only fixed drives are asked for their label and picture: a removable or network
    // drive may keep the list waiting, or ask for a disk.
    const bool fixed = type == DRIVE_FIXED || type == DRIVE_RAMDISK;
    if (fixed) {
        wchar_t label[MAX_PATH + 1] = {};
        if (::GetVolumeInformationW(root.c_str(), label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr,
                                    0) &&
            label[0] != L'\0')
            entry.text += L" [" + std::wstring(label) + L"]";
    }
    // The program's own picture: the system's image list costs the start more than the
    // rest of the window together.
    m_icons = Pictures();
    entry.icon = PictureIndex(runtime::Picture::Drive);
    return entry;
}

void DriveList::onDrawItem(const DRAWITEMSTRUCT& item)
{
    // The box itself shows the current drive; the dropped-down list each of its entries.
    const int row = item.itemID == static_cast<UINT>(-1) ? m_state.current() : static_cast<int>(item.itemID);
    if (row < 0 || static_cast<std::size_t>(row) >= m_entries.size()) {
        ::FillRect(item.hDC, &item.rcItem, palette().brush(definition().back, COLOR_WINDOW));
        return;
    }
    const Entry& entry = m_entries[static_cast<std::size_t>(row)];
    drawEntry(item, 0, m_icons, entry.icon, entry.text);
}

bool DriveList::onNotification(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (message) {
    case WM_DRAWITEM:
        onDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        result = TRUE;
        return true;
    case WM_COMMAND:
        switch (HIWORD(wParam)) {
        case CBN_DROPDOWN:
            m_state.reread();
            return true;
        case CBN_SELCHANGE:
            // While the list is down the selection only follows the pointer; the choice is
            // made when it closes.
            if (send(CB_GETDROPPEDSTATE) == FALSE)
                m_state.choose(selected());
            return true;
        case CBN_CLOSEUP:
            m_state.choose(selected());
            return true;
        default:
            return false;
        }
    default:
        return false;
    }
}

} // namespace win32
