#include "list_accessible.h"

#include <new>
#include <oleacc.h>

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

} // namespace

/// The list as the system's object describes it, and its rows as simple elements: child
/// `row + 1` is the row `row`. Every call comes through the list's thread (its apartment).
class ListAccessible::Object final : public IAccessible, public IOleWindow {
public:
    Object(HWND list, const ListRows& rows, IAccessible* standard)
        : m_list(list), m_rows(&rows), m_standard(standard)
    {}

    void detach()
    {
        m_list = nullptr;
        m_rows = nullptr;
        if (m_standard != nullptr) {
            m_standard->Release();
            m_standard = nullptr;
        }
    }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (out == nullptr)
            return E_POINTER;
        if (iid == __uuidof(IUnknown) || iid == __uuidof(IDispatch) || iid == __uuidof(IAccessible)) {
            *out = static_cast<IAccessible*>(this);
        } else if (iid == __uuidof(IOleWindow)) {
            *out = static_cast<IOleWindow*>(this);
        } else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&m_refs)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG left = ::InterlockedDecrement(&m_refs);
        if (left == 0)
            delete this;
        return static_cast<ULONG>(left);
    }

    // IDispatch: screen readers call the methods directly.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        if (count == nullptr)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override
    {
        return E_NOTIMPL;
    }

    // IOleWindow: the window behind the object, for WindowFromAccessibleObject.
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override
    {
        if (window == nullptr)
            return E_POINTER;
        *window = m_list;
        return m_list != nullptr ? S_OK : RPC_E_DISCONNECTED;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IAccessible
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override
    {
        const HRESULT ready = check();
        return FAILED(ready) ? ready : m_standard->get_accParent(parent);
    }

    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override
    {
        if (count == nullptr)
            return E_POINTER;
        const HRESULT ready = check();
        if (FAILED(ready))
            return ready;
        *count = rows();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override
    {
        if (object == nullptr)
            return E_POINTER;
        *object = nullptr;
        int row = 0;
        const HRESULT found = rowOf(child, row);
        if (FAILED(found))
            return found;
        return row < 0 ? m_standard->get_accChild(child, object) : S_FALSE; // rows are simple elements
    }

    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override
    {
        if (name == nullptr)
            return E_POINTER;
        *name = nullptr;
        int row = 0;
        const HRESULT found = rowOf(child, row);
        if (FAILED(found))
            return found;
        if (row < 0)
            return m_standard->get_accName(child, name);
        const std::wstring text = m_rows->rowText(row);
        *name = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return *name != nullptr ? S_OK : E_OUTOFMEMORY;
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
        int row = 0;
        const HRESULT found = rowOf(child, row);
        if (FAILED(found))
            return found;
        const std::wstring said = row < 0 ? std::wstring() : m_rows->rowDescription(row);
        if (said.empty())
            return text(child, description, &IAccessible::get_accDescription);
        *description = ::SysAllocStringLen(said.data(), static_cast<UINT>(said.size()));
        return *description != nullptr ? S_OK : E_OUTOFMEMORY;
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
        int row = 0;
        const HRESULT found = rowOf(child, row);
        if (FAILED(found))
            return found;
        return row < 0 ? m_standard->get_accHelpTopic(file, child, topic) : DISP_E_MEMBERNOTFOUND;
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
        if (m_rows->isTree())
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
        int row = 0;
        const HRESULT found = rowOf(child, row);
        if (FAILED(found))
            return found;
        if (row < 0)
            return m_standard->get_accState(child, state);
        LONG bits = STATE_SYSTEM_SELECTABLE | STATE_SYSTEM_FOCUSABLE;
        if (row == selected())
            bits |= STATE_SYSTEM_SELECTED;
        if (row == caret() && ::GetFocus() == m_list)
            bits |= STATE_SYSTEM_FOCUSED;
        if (!inView(row))
            bits |= STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_OFFSCREEN;
        if (m_rows->isTree())
            bits |= m_rows->rowOpen(row) ? STATE_SYSTEM_EXPANDED : STATE_SYSTEM_COLLAPSED;
        setChild(state, bits);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override
    {
        if (focus == nullptr)
            return E_POINTER;
        setEmpty(focus);
        const HRESULT ready = check();
        if (FAILED(ready))
            return ready;
        if (::GetFocus() != m_list)
            return S_FALSE;
        // The row with the caret; an empty list has the focus itself.
        const int row = caret();
        setChild(focus, row >= 0 && row < rows() ? row + 1 : CHILDID_SELF);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override
    {
        if (selection == nullptr)
            return E_POINTER;
        setEmpty(selection);
        const HRESULT ready = check();
        if (FAILED(ready))
            return ready;
        const int row = selected();
        if (row < 0 || row >= rows())
            return S_FALSE;
        setChild(selection, row + 1);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override
    {
        if (action == nullptr)
            return E_POINTER;
        *action = nullptr;
        int row = 0;
        const HRESULT found = rowOf(child, row);
        if (FAILED(found))
            return found;
        if (row < 0)
            return m_standard->get_accDefaultAction(child, action);
        // What the system calls the action of a list box's rows.
        *action = ::SysAllocString(L"Double Click");
        return *action != nullptr ? S_OK : E_OUTOFMEMORY;
    }

    HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override
    {
        int row = 0;
        const HRESULT found = rowOf(child, row);
        if (FAILED(found))
            return found;
        if (row < 0)
            return m_standard->accSelect(flags, child);
        // One row at most is selected: taking the selection is all there is to do with it.
        if ((flags & ~(SELFLAG_TAKEFOCUS | SELFLAG_TAKESELECTION)) != 0)
            return E_INVALIDARG;
        if ((flags & SELFLAG_TAKEFOCUS) != 0)
            ::SetFocus(m_list);
        if ((flags & SELFLAG_TAKESELECTION) != 0)
            select(row);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                                          VARIANT child) override
    {
        if (left == nullptr || top == nullptr || width == nullptr || height == nullptr)
            return E_POINTER;
        *left = *top = *width = *height = 0;
        int row = 0;
        const HRESULT found = rowOf(child, row);
        if (FAILED(found))
            return found;
        if (row < 0)
            return m_standard->accLocation(left, top, width, height, child);
        RECT box{};
        if (::SendMessageW(m_list, LB_GETITEMRECT, static_cast<WPARAM>(row),
                           reinterpret_cast<LPARAM>(&box)) == LB_ERR)
            return E_FAIL;
        ::MapWindowPoints(m_list, nullptr, reinterpret_cast<POINT*>(&box), 2);
        *left = box.left;
        *top = box.top;
        *width = box.right - box.left;
        *height = box.bottom - box.top;
        return S_OK;
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
                return m_standard->accNavigate(direction, start, end); // the list's siblings
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
        const HRESULT ready = check();
        if (FAILED(ready))
            return ready;
        POINT at{x, y};
        RECT client{};
        ::GetClientRect(m_list, &client);
        ::ScreenToClient(m_list, &at);
        if (!::PtInRect(&client, at))
            return m_standard->accHitTest(x, y, child); // the border and scroll bar, or outside
        const int row = RowAtPoint(m_list, at, rows());
        setChild(child, row >= 0 ? row + 1 : CHILDID_SELF);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override
    {
        int row = 0;
        const HRESULT found = rowOf(child, row);
        if (FAILED(found))
            return found;
        if (row < 0)
            return m_standard->accDoDefaultAction(child);
        // As a double click on the row: the list takes the focus, selects the row and
        // reports the double click, after this call returns.
        ::SetFocus(m_list);
        select(row);
        notify(LBN_DBLCLK);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

private:
    ~Object() { detach(); }

    /// S_OK while the list's window lives and the call comes through its thread.
    HRESULT check() const
    {
        if (m_rows == nullptr || m_list == nullptr)
            return RPC_E_DISCONNECTED;
        if (::GetWindowThreadProcessId(m_list, nullptr) != ::GetCurrentThreadId())
            return RPC_E_WRONG_THREAD;
        return S_OK;
    }

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

    /// The texts rows have none of, or those the system gives the list.
    HRESULT text(VARIANT child, BSTR* out, HRESULT (STDMETHODCALLTYPE IAccessible::*ofList)(VARIANT, BSTR*))
    {
        if (out == nullptr)
            return E_POINTER;
        *out = nullptr;
        int row = 0;
        const HRESULT found = rowOf(child, row);
        if (FAILED(found))
            return found;
        return row < 0 ? (m_standard->*ofList)(child, out) : DISP_E_MEMBERNOTFOUND;
    }

    int rows() const { return m_rows->rowCount(); }
    int selected() const { return static_cast<int>(::SendMessageW(m_list, LB_GETCURSEL, 0, 0)); }
    int caret() const { return static_cast<int>(::SendMessageW(m_list, LB_GETCARETINDEX, 0, 0)); }

    /// Whether any of the row shows in the list's client area.
    bool inView(int row) const
    {
        if (!::IsWindowVisible(m_list))
            return false;
        RECT box{};
        RECT client{};
        RECT shown{};
        ::GetClientRect(m_list, &client);
        return ::SendMessageW(m_list, LB_GETITEMRECT, static_cast<WPARAM>(row),
                              reinterpret_cast<LPARAM>(&box)) != LB_ERR &&
               ::IntersectRect(&shown, &box, &client) != FALSE;
    }

    /// Selects `row` as the user does, so the list's handlers hear of it.
    void select(int row)
    {
        if (row == selected())
            return;
        ::SendMessageW(m_list, LB_SETCURSEL, static_cast<WPARAM>(row), 0);
        notify(LBN_SELCHANGE);
    }

    /// Reports `code` to the list's parent as the list box does, once the reader's call has
    /// returned: what the program does next (a folder read, a message box) must not hold it.
    void notify(WORD code)
    {
        const auto id = static_cast<WORD>(::GetDlgCtrlID(m_list));
        ::PostMessageW(::GetParent(m_list), WM_COMMAND, MAKEWPARAM(id, code),
                       reinterpret_cast<LPARAM>(m_list));
    }

    LONG m_refs{1};
    HWND m_list;
    const ListRows* m_rows;
    IAccessible* m_standard;
};

bool ListAccessible::answer(HWND list, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (static_cast<LONG>(static_cast<DWORD>(lParam)) != OBJID_CLIENT)
        return false;
    if (m_object == nullptr) {
        IAccessible* standard = nullptr;
        if (FAILED(::CreateStdAccessibleObject(list, OBJID_CLIENT, __uuidof(IAccessible),
                                               reinterpret_cast<void**>(&standard))))
            return false;
        m_object = new (std::nothrow) Object(list, m_rows, standard);
        if (m_object == nullptr) {
            standard->Release();
            return false;
        }
    }
    result = ::LresultFromObject(__uuidof(IAccessible), wParam, static_cast<IAccessible*>(m_object));
    return result > 0; // else an error, or nothing: the list box's own answer
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

void ListAccessible::detach()
{
    if (m_object == nullptr)
        return;
    m_object->detach();
    // Readers in other processes that still hold it reach nothing from now on.
    ::CoDisconnectObject(static_cast<IAccessible*>(m_object), 0);
    m_object->Release();
    m_object = nullptr;
}

} // namespace win32
