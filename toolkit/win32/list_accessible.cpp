#include "list_accessible.h"

#include <new>

namespace win32 {

namespace {

void setChild(VARIANT* out, LONG child)
{
    out->vt = VT_I4;
    out->lVal = child;
}

void setEmpty(VARIANT* out)
{
    out->vt = VT_EMPTY;
}

HRESULT giveText(const std::wstring& text, BSTR* out)
{
    *out = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

/// The list as the system's object describes it, and its rows as simple elements: child
/// `row + 1` is the row `row`.
class ListObject final : public AccessibleObject {
public:
    ListObject(HWND list, const ListRows& rows, IAccessible* system)
        : AccessibleObject(list, system), m_rows(rows)
    {}

    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override
    {
        if (count == nullptr)
            return E_POINTER;
        return pass([&] {
            *count = rows();
            return S_OK;
        });
    }

    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override
    {
        if (object == nullptr)
            return E_POINTER;
        *object = nullptr;
        return byRow(
            child, [&] { return standard()->get_accChild(child, object); },
            [](int) { return S_FALSE; }); // rows are simple elements
    }

    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override
    {
        if (name == nullptr)
            return E_POINTER;
        *name = nullptr;
        return byRow(
            child, [&] { return standard()->get_accName(child, name); },
            [&](int row) { return giveText(m_rows.rowText(row), name); });
    }

    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override
    {
        return text(child, value, &IAccessible::get_accValue);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override
    {
        if (description == nullptr)
            return E_POINTER;
        *description = nullptr;
        const auto ofList = [&] {
            return standard()->get_accDescription(child, description);
        };
        return byRow(child, ofList, [&](int row) {
            const std::wstring said = m_rows.rowDescription(row);
            return said.empty() ? DISP_E_MEMBERNOTFOUND : giveText(said, description);
        });
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override
    {
        return text(child, help, &IAccessible::get_accHelp);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override
    {
        return text(child, shortcut, &IAccessible::get_accKeyboardShortcut);
    }

    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override
    {
        if (file == nullptr || topic == nullptr)
            return E_POINTER;
        *file = nullptr;
        *topic = 0;
        return byRow(
            child, [&] { return standard()->get_accHelpTopic(file, child, topic); },
            [](int) { return DISP_E_MEMBERNOTFOUND; });
    }

    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override
    {
        if (role == nullptr)
            return E_POINTER;
        setEmpty(role);
        int row = 0;
        const HRESULT found = rowOf(child, row);
        if (FAILED(found))
            return found;
        // The list is a list (or a tree) whatever the system makes of a list box without texts.
        if (m_rows.isTree())
            setChild(role, row < 0 ? ROLE_SYSTEM_OUTLINE : ROLE_SYSTEM_OUTLINEITEM);
        else
            setChild(role, row < 0 ? ROLE_SYSTEM_LIST : ROLE_SYSTEM_LISTITEM);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override
    {
        if (state == nullptr)
            return E_POINTER;
        setEmpty(state);
        return byRow(
            child, [&] { return standard()->get_accState(child, state); },
            [&](int row) {
                LONG bits = STATE_SYSTEM_SELECTABLE | STATE_SYSTEM_FOCUSABLE;
                if (row == selected())
                    bits |= STATE_SYSTEM_SELECTED;
                if (row == caret() && ::GetFocus() == window())
                    bits |= STATE_SYSTEM_FOCUSED;
                if (!inView(row))
                    bits |= STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_OFFSCREEN;
                if (m_rows.isTree())
                    bits |= m_rows.rowOpen(row) ? STATE_SYSTEM_EXPANDED : STATE_SYSTEM_COLLAPSED;
                setChild(state, bits);
                return S_OK;
            });
    }

    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override
    {
        if (focus == nullptr)
            return E_POINTER;
        setEmpty(focus);
        return pass([&] {
            if (::GetFocus() != window())
                return S_FALSE;
            // The row with the caret; an empty list has the focus itself.
            const int row = caret();
            setChild(focus, row >= 0 && row < rows() ? row + 1 : CHILDID_SELF);
            return S_OK;
        });
    }

    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override
    {
        if (selection == nullptr)
            return E_POINTER;
        setEmpty(selection);
        return pass([&] {
            const int row = selected();
            if (row < 0 || row >= rows())
                return S_FALSE;
            setChild(selection, row + 1);
            return S_OK;
        });
    }

    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override
    {
        if (action == nullptr)
            return E_POINTER;
        *action = nullptr;
        // What the system calls the action of a list box's rows.
        return byRow(
            child, [&] { return standard()->get_accDefaultAction(child, action); },
            [&](int) { return giveText(L"Double Click", action); });
    }

    HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override
    {
        return byRow(
            child, [&] { return standard()->accSelect(flags, child); },
            [&](int row) {
                // One row at most is selected: taking the selection is all there is to do with it.
                if ((flags & ~(SELFLAG_TAKEFOCUS | SELFLAG_TAKESELECTION)) != 0)
                    return E_INVALIDARG;
                if ((flags & SELFLAG_TAKEFOCUS) != 0)
                    ::SetFocus(window());
                if ((flags & SELFLAG_TAKESELECTION) != 0)
                    select(row);
                return S_OK;
            });
    }

    HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                                          VARIANT child) override
    {
        if (left == nullptr || top == nullptr || width == nullptr || height == nullptr)
            return E_POINTER;
        *left = *top = *width = *height = 0;
        return byRow(
            child, [&] { return standard()->accLocation(left, top, width, height, child); },
            [&](int row) {
                RECT box{};
                if (::SendMessageW(window(), LB_GETITEMRECT, static_cast<WPARAM>(row),
                                   reinterpret_cast<LPARAM>(&box)) == LB_ERR)
                    return E_FAIL;
                ::MapWindowPoints(window(), nullptr, reinterpret_cast<POINT*>(&box), 2);
                *left = box.left;
                *top = box.top;
                *width = box.right - box.left;
                *height = box.bottom - box.top;
                return S_OK;
            });
    }

    HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override
    {
        if (end == nullptr)
            return E_POINTER;
        setEmpty(end);
        int row = 0;
        const HRESULT found = rowOf(start, row);
        if (FAILED(found))
            return found;
        const int count = rows();
        int to = -1;
        if (row < 0) {
            if (direction != NAVDIR_FIRSTCHILD && direction != NAVDIR_LASTCHILD)
                return standard()->accNavigate(direction, start, end); // the list's siblings
            to = direction == NAVDIR_FIRSTCHILD ? 0 : count - 1;
        } else if (direction == NAVDIR_NEXT || direction == NAVDIR_DOWN) {
            to = row + 1;
        } else if (direction == NAVDIR_PREVIOUS || direction == NAVDIR_UP) {
            to = row - 1;
        } else if (direction != NAVDIR_LEFT && direction != NAVDIR_RIGHT && direction != NAVDIR_FIRSTCHILD &&
                   direction != NAVDIR_LASTCHILD) {
            return E_INVALIDARG;
        }
        if (to < 0 || to >= count)
            return S_FALSE;
        setChild(end, to + 1);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* child) override
    {
        if (child == nullptr)
            return E_POINTER;
        setEmpty(child);
        return pass([&] {
            POINT at{x, y};
            RECT client{};
            ::GetClientRect(window(), &client);
            ::ScreenToClient(window(), &at);
            if (!::PtInRect(&client, at))
                return standard()->accHitTest(x, y, child); // the border and scroll bar, or outside
            const int row = RowAtPoint(window(), at, rows());
            setChild(child, row >= 0 ? row + 1 : CHILDID_SELF);
            return S_OK;
        });
    }

    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override
    {
        return byRow(
            child, [&] { return standard()->accDoDefaultAction(child); },
            [&](int row) {
                // As a double click on the row: the list takes the focus, selects the row and
                // reports the double click, after this call returns.
                ::SetFocus(window());
                select(row);
                notify(LBN_DBLCLK);
                return S_OK;
            });
    }

private:
    /// The row that `child` names, or -1 for the list itself.
    HRESULT rowOf(const VARIANT& child, int& row) const
    {
        const HRESULT ready = check();
        if (FAILED(ready))
            return ready;
        if (child.vt != VT_I4 || child.lVal < CHILDID_SELF || child.lVal > rows())
            return E_INVALIDARG;
        row = static_cast<int>(child.lVal) - 1;
        return S_OK;
    }

    /// `ofList()` when `child` is the list itself, `ofRow(row)` when it is a row.
    template <typename OfList, typename OfRow> HRESULT byRow(const VARIANT& child, OfList ofList, OfRow ofRow)
    {
        int row = 0;
        const HRESULT found = rowOf(child, row);
        if (FAILED(found))
            return found;
        return row < 0 ? ofList() : ofRow(row);
    }

    /// The texts rows have none of, or those the system gives the list.
    HRESULT text(VARIANT child, BSTR* out, HRESULT (STDMETHODCALLTYPE IAccessible::*ofList)(VARIANT, BSTR*))
    {
        if (out == nullptr)
            return E_POINTER;
        *out = nullptr;
        return byRow(
            child, [&] { return (standard()->*ofList)(child, out); },
            [](int) { return DISP_E_MEMBERNOTFOUND; });
    }

    int rows() const { return m_rows.rowCount(); }
    int selected() const { return static_cast<int>(::SendMessageW(window(), LB_GETCURSEL, 0, 0)); }
    int caret() const { return static_cast<int>(::SendMessageW(window(), LB_GETCARETINDEX, 0, 0)); }

    /// Whether any of the row shows in the list's client area.
    bool inView(int row) const
    {
        if (!::IsWindowVisible(window()))
            return false;
        RECT box{};
        RECT client{};
        RECT shown{};
        ::GetClientRect(window(), &client);
        return ::SendMessageW(window(), LB_GETITEMRECT, static_cast<WPARAM>(row),
                              reinterpret_cast<LPARAM>(&box)) != LB_ERR &&
               ::IntersectRect(&shown, &box, &client) != FALSE;
    }

    /// Selects `row` as the user does, so the list's handlers hear of it.
    void select(int row)
    {
        if (row == selected())
            return;
        ::SendMessageW(window(), LB_SETCURSEL, static_cast<WPARAM>(row), 0);
        notify(LBN_SELCHANGE);
    }

    /// Reports `code` to the list's parent as the list box does, once the reader's call has
    /// returned: what the program does next (a folder read, a message box) must not hold it.
    void notify(WORD code)
    {
        const auto id = static_cast<WORD>(::GetDlgCtrlID(window()));
        ::PostMessageW(::GetParent(window()), WM_COMMAND, MAKEWPARAM(id, code),
                       reinterpret_cast<LPARAM>(window()));
    }

    const ListRows& m_rows;
};

} // namespace

AccessibleObject* ListAccessible::make(HWND list, IAccessible* system)
{
    return new (std::nothrow) ListObject(list, m_rows, system);
}

int RowAtPoint(HWND list, POINT client, int rows)
{
    RECT area{};
    ::GetClientRect(list, &area);
    const int height = static_cast<int>(::SendMessageW(list, LB_GETITEMHEIGHT, 0, 0));
    if (!::PtInRect(&area, client) || height <= 0)
        return -1;
    const int row = static_cast<int>(::SendMessageW(list, LB_GETTOPINDEX, 0, 0)) + client.y / height;
    return row < rows ? row : -1;
}

void ListAccessible::rowsReplaced(HWND list)
{
    ::NotifyWinEvent(EVENT_OBJECT_REORDER, list, OBJID_CLIENT, CHILDID_SELF);
}

} // namespace win32
