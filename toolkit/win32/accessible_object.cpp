#include "accessible_object.h"

namespace win32 {

void AccessibleObject::detach()
{
    m_window = nullptr;
    if (m_standard != nullptr) {
        m_standard->Release();
        m_standard = nullptr;
    }
}

HRESULT STDMETHODCALLTYPE AccessibleObject::QueryInterface(REFIID iid, void** out)
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

ULONG STDMETHODCALLTYPE AccessibleObject::Release()
{
    const LONG left = ::InterlockedDecrement(&m_refs);
    if (left == 0)
        delete this;
    return static_cast<ULONG>(left);
}

HRESULT STDMETHODCALLTYPE AccessibleObject::GetTypeInfoCount(UINT* count)
{
    if (count == nullptr)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE AccessibleObject::GetWindow(HWND* out)
{
    if (out == nullptr)
        return E_POINTER;
    *out = m_window;
    return m_window != nullptr ? S_OK : RPC_E_DISCONNECTED;
}

HRESULT AccessibleObject::check() const
{
    if (m_window == nullptr || m_standard == nullptr)
        return RPC_E_DISCONNECTED;
    if (::GetWindowThreadProcessId(m_window, nullptr) != ::GetCurrentThreadId())
        return RPC_E_WRONG_THREAD;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE AccessibleObject::get_accParent(IDispatch** parent)
{
    return pass([&] { return m_standard->get_accParent(parent); });
}
HRESULT STDMETHODCALLTYPE AccessibleObject::get_accChildCount(LONG* count)
{
    return pass([&] { return m_standard->get_accChildCount(count); });
}
HRESULT STDMETHODCALLTYPE AccessibleObject::get_accChild(VARIANT child, IDispatch** object)
{
    return pass([&] { return m_standard->get_accChild(child, object); });
}
HRESULT STDMETHODCALLTYPE AccessibleObject::get_accName(VARIANT child, BSTR* name)
{
    return pass([&] { return m_standard->get_accName(child, name); });
}
HRESULT STDMETHODCALLTYPE AccessibleObject::get_accValue(VARIANT child, BSTR* value)
{
    return pass([&] { return m_standard->get_accValue(child, value); });
}
HRESULT STDMETHODCALLTYPE AccessibleObject::get_accDescription(VARIANT child, BSTR* description)
{
    return pass([&] { return m_standard->get_accDescription(child, description); });
}
HRESULT STDMETHODCALLTYPE AccessibleObject::get_accRole(VARIANT child, VARIANT* role)
{
    return pass([&] { return m_standard->get_accRole(child, role); });
}
HRESULT STDMETHODCALLTYPE AccessibleObject::get_accState(VARIANT child, VARIANT* state)
{
    return pass([&] { return m_standard->get_accState(child, state); });
}
HRESULT STDMETHODCALLTYPE AccessibleObject::get_accHelp(VARIANT child, BSTR* help)
{
    return pass([&] { return m_standard->get_accHelp(child, help); });
}
HRESULT STDMETHODCALLTYPE AccessibleObject::get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic)
{
    return pass([&] { return m_standard->get_accHelpTopic(file, child, topic); });
}
HRESULT STDMETHODCALLTYPE AccessibleObject::get_accKeyboardShortcut(VARIANT child, BSTR* shortcut)
{
    return pass([&] { return m_standard->get_accKeyboardShortcut(child, shortcut); });
}
HRESULT STDMETHODCALLTYPE AccessibleObject::get_accFocus(VARIANT* focus)
{
    return pass([&] { return m_standard->get_accFocus(focus); });
}
HRESULT STDMETHODCALLTYPE AccessibleObject::get_accSelection(VARIANT* selection)
{
    return pass([&] { return m_standard->get_accSelection(selection); });
}
HRESULT STDMETHODCALLTYPE AccessibleObject::get_accDefaultAction(VARIANT child, BSTR* action)
{
    return pass([&] { return m_standard->get_accDefaultAction(child, action); });
}
HRESULT STDMETHODCALLTYPE AccessibleObject::accSelect(LONG flags, VARIANT child)
{
    return pass([&] { return m_standard->accSelect(flags, child); });
}
HRESULT STDMETHODCALLTYPE AccessibleObject::accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                                                        VARIANT child)
{
    return pass([&] { return m_standard->accLocation(left, top, width, height, child); });
}
HRESULT STDMETHODCALLTYPE AccessibleObject::accNavigate(LONG direction, VARIANT start, VARIANT* end)
{
    return pass([&] { return m_standard->accNavigate(direction, start, end); });
}
HRESULT STDMETHODCALLTYPE AccessibleObject::accHitTest(LONG x, LONG y, VARIANT* child)
{
    return pass([&] { return m_standard->accHitTest(x, y, child); });
}
HRESULT STDMETHODCALLTYPE AccessibleObject::accDoDefaultAction(VARIANT child)
{
    return pass([&] { return m_standard->accDoDefaultAction(child); });
}

bool AccessibleSlot::answer(HWND hwnd, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (static_cast<LONG>(static_cast<DWORD>(lParam)) != OBJID_CLIENT)
        return false;
    if (m_object == nullptr) {
        IAccessible* standard = nullptr;
        if (FAILED(::CreateStdAccessibleObject(hwnd, OBJID_CLIENT, __uuidof(IAccessible),
                                               reinterpret_cast<void**>(&standard))))
            return false;
        m_object = make(hwnd, standard);
        if (m_object == nullptr) {
            standard->Release();
            return false;
        }
    }
    result = ::LresultFromObject(__uuidof(IAccessible), wParam, static_cast<IAccessible*>(m_object));
    return result > 0; // else an error, or nothing: the window's own answer
}

void AccessibleSlot::detach()
{
    if (m_object == nullptr)
        return;
    m_object->detach();
    ::CoDisconnectObject(static_cast<IAccessible*>(m_object), 0);
    m_object->Release();
    m_object = nullptr;
}

} // namespace win32
