#pragma once

#include <string>
#include <windows.h>

namespace win32 {

/// One window handle and the object that owns it. The window is destroyed with the object,
/// unless it went first (with its parent); either way the handle is let go of exactly once.
/// The object hears the window's messages through a subclass, so standard controls and the
/// program's own window classes are handled alike: onMessage is the window procedure.
class HandleOwner {
public:
    HandleOwner() = default;
    virtual ~HandleOwner();
    HandleOwner(const HandleOwner&) = delete;
    HandleOwner& operator=(const HandleOwner&) = delete;

    HWND handle() const { return m_hwnd; }
    bool exists() const { return m_hwnd != nullptr; }

    /// The object behind a window made by create(), or null.
    static HandleOwner* from(HWND hwnd);

    LRESULT send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageW(m_hwnd, message, wParam, lParam);
    }
    bool isVisible() const { return m_hwnd != nullptr && ::IsWindowVisible(m_hwnd) != FALSE; }
    bool isEnabled() const { return m_hwnd != nullptr && ::IsWindowEnabled(m_hwnd) != FALSE; }
    void enable(bool enabled) { ::EnableWindow(m_hwnd, enabled ? TRUE : FALSE); }
    void setText(const std::wstring& text) { ::SetWindowTextW(m_hwnd, text.c_str()); }
    void setFont(HFONT font) { send(WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE); }
    HFONT font() const { return reinterpret_cast<HFONT>(send(WM_GETFONT)); }
    void invalidate() { ::InvalidateRect(m_hwnd, nullptr, TRUE); }
    void place(int x, int y, int width, int height)
    {
        ::SetWindowPos(m_hwnd, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    bool hasFocus() const { return m_hwnd != nullptr && ::GetFocus() == m_hwnd; }
    /// Whether the focus is on this window or on one inside it.
    bool holdsFocus() const
    {
        const HWND focus = ::GetFocus();
        return m_hwnd != nullptr && focus != nullptr && (focus == m_hwnd || ::IsChild(m_hwnd, focus));
    }

    /// Destroys the window now; the object stays, without a window.
    void destroy();

protected:
    /// Creates the window and starts hearing its messages. Returns false, leaving no
    /// window, when the system refuses.
    bool create(DWORD exStyle, const wchar_t* className, const wchar_t* text, DWORD style, int x, int y,
                int width, int height, HWND parent, HMENU menuOrId);

    /// The window procedure: handles what the class needs and passes the rest on.
    virtual LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT passOn(UINT message, WPARAM wParam, LPARAM lParam);
    /// The window is being destroyed; the handle is still valid.
    virtual void onDestroy() {}

    /// Whether the window gives its children's notifications (WM_COMMAND, WM_DRAWITEM,
    /// WM_CTLCOLOR...) to the children's objects before onMessage sees them: the windows that
    /// hold controls do. What a child's object leaves to the default reaches onMessage.
    virtual bool relaysNotifications() const { return false; }

    /// A child's notification, as its parent relays it; false to leave it to the default.
    virtual bool onNotification(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

private:
    static bool notifyChild(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    static LRESULT CALLBACK subclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                         DWORD_PTR self);
    HWND m_hwnd{nullptr};
};

} // namespace win32
