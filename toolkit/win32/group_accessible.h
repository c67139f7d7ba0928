#pragma once

#include <windows.h>

namespace win32 {

/// What a screen reader reads of a window that holds other controls as one group: the
/// system's object for the window (its name, state, place, children and neighbours) with
/// the role of a group, which a plain child window does not have. Readers say a group's
/// name as they reach what is in it, and hear it appear when it is shown. The object lives
/// in the window's thread; once the window is gone it answers RPC_E_DISCONNECTED.
class GroupAccessible {
public:
    GroupAccessible() = default;
    ~GroupAccessible() { detach(); }
    GroupAccessible(const GroupAccessible&) = delete;
    GroupAccessible& operator=(const GroupAccessible&) = delete;

    /// Answers WM_GETOBJECT to `window`; false leaves the message to the window.
    bool answer(HWND window, WPARAM wParam, LPARAM lParam, LRESULT& result);

    /// The window is being destroyed: the object no longer reaches it.
    void detach();

private:
    class Object;
    Object* m_object{nullptr}; ///< one reference held here while the window lives
};

} // namespace win32
