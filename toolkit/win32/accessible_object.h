#pragma once

#include <oleacc.h>
#include <windows.h>

namespace win32 {

/// What a screen reader reads of one of our windows: the system's object for the window (its
/// name, state, place, children and neighbours), passed through, with the references,
/// IDispatch (readers call the methods directly) and IOleWindow around it. A control's object
/// derives from it and answers differently what it tells otherwise. Every call comes through
/// the window's thread (its apartment); once detached, the object answers RPC_E_DISCONNECTED.
class AccessibleObject : public IAccessible, public IOleWindow {
public:
    AccessibleObject(HWND hwnd, IAccessible* system) : m_window(hwnd), m_standard(system) {}

    /// The window is being destroyed: the object no longer reaches it.
    void detach();

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&m_refs)); }
    ULONG STDMETHODCALLTYPE Release() override;

    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
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
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* out) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IAccessible, as the system's object answers it.
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override;
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override;
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override;
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override;
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override;
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override;
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override;
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override;
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override;
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override;
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override;
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override;
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override;
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override;
    HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override;
    HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                                          VARIANT child) override;
    HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override;
    HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* child) override;
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override;
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

protected:
    virtual ~AccessibleObject() { detach(); }

    /// S_OK while the window lives and the call comes through its thread.
    HRESULT check() const;
    /// `call()`, once check() lets it through.
    template <typename Call> HRESULT pass(Call call) const
    {
        const HRESULT ready = check();
        return FAILED(ready) ? ready : call();
    }

    HWND window() const { return m_window; }
    IAccessible* standard() const { return m_standard; }

private:
    LONG m_refs{1};
    HWND m_window;
    IAccessible* m_standard;
};

/// Keeps a window's object for screen readers, made on the first WM_GETOBJECT, until the
/// window goes.
class AccessibleSlot {
public:
    AccessibleSlot() = default;
    AccessibleSlot(const AccessibleSlot&) = delete;
    AccessibleSlot& operator=(const AccessibleSlot&) = delete;

    /// Answers WM_GETOBJECT to `hwnd`; false leaves the message to the window.
    bool answer(HWND hwnd, WPARAM wParam, LPARAM lParam, LRESULT& result);

    /// The window is being destroyed: the object no longer reaches it, also for readers in
    /// other processes that still hold it.
    void detach();

protected:
    ~AccessibleSlot() { detach(); }

    /// The object for `hwnd` around the system's own object for it; null when there is no memory.
    virtual AccessibleObject* make(HWND hwnd, IAccessible* system) = 0;

private:
    AccessibleObject* m_object{nullptr}; ///< one reference held here while the window lives
};

} // namespace win32
