#pragma once

#include "accessible_object.h"

#include <string>
#include <windows.h>

namespace win32 {

/// The rows of a list whose list box holds only their number: the list keeps their texts.
class ListRows {
public:
    virtual int rowCount() const = 0;
    /// The text of `row`, 0 <= row < rowCount(), as the row shows it.
    virtual std::wstring rowText(int row) const = 0;
    /// Whether the rows are the items of a tree (outline), each open or closed.
    virtual bool isTree() const { return false; }
    virtual bool rowOpen(int) const { return false; }
    /// What a reader says of `row` besides its text; "" for nothing.
    virtual std::wstring rowDescription(int) const { return {}; }

protected:
    ~ListRows() = default;
};

/// The row of `list`, a list box of `rows` rows of one height, under `client` (in the list's
/// coordinates); -1 for none. Worked out from the row height: LB_ITEMFROMPOINT answers in
/// 16 bits only.
int RowAtPoint(HWND list, POINT client, int rows);

/// What a screen reader reads of such a list. A list box without texts cannot tell another
/// process its rows (the system's reader of list boxes asks with LB_GETTEXT, which carries
/// only an item's data between processes), so the list answers WM_GETOBJECT with an object of
/// its own: the list itself as the system describes any list box (its name from the label
/// before it, its place, its parent and siblings), and each row, as child row + 1, with its
/// text from the list, its selection, focus and place from the list box; the rows of a tree
/// are outline items, expanded or collapsed, with their description.
class ListAccessible final : public AccessibleSlot {
public:
    explicit ListAccessible(const ListRows& rows) : m_rows(rows) {}

    /// Tells screen readers that the rows were replaced (after LB_SETCOUNT).
    static void rowsReplaced(HWND list);

private:
    AccessibleObject* make(HWND list, IAccessible* system) override;

    const ListRows& m_rows;
};

} // namespace win32
