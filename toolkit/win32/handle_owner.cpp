#include "handle_owner.h"

#include <commctrl.h>

namespace win32 {

namespace {

constexpr UINT_PTR kSubclassId = 1;
// The object of a window, for its parent's notifications: a window property, as the
// subclass's own data cannot be read back with the import libraries at hand.
constexpr const wchar_t* kObjectProperty = L"OrvalisWindow";

} // namespace

HandleOwner::~HandleOwner()
{
    destroy();
}

void HandleOwner::destroy()
{
    if (m_hwnd != nullptr)
        ::DestroyWindow(m_hwnd); // WM_NCDESTROY lets go of the handle
}

HandleOwner* HandleOwner::from(HWND hwnd)
{
    if (hwnd == nullptr)
        return nullptr;
    return static_cast<HandleOwner*>(::GetPropW(hwnd, kObjectProperty));
}

bool HandleOwner::create(DWORD exStyle, const wchar_t* className, const wchar_t* text, DWORD style, int x,
                         int y, int width, int height, HWND parent, HMENU menuOrId)
{
    HWND hwnd = ::CreateWindowExW(exStyle, className, text, style, x, y, width, height, parent, menuOrId,
                                  ::GetModuleHandleW(nullptr), nullptr);
    if (hwnd == nullptr)
        return false;
    if (!::SetPropW(hwnd, kObjectProperty, this) ||
        !::SetWindowSubclass(hwnd, subclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) {
        ::RemovePropW(hwnd, kObjectProperty);
        ::DestroyWindow(hwnd);
        return false;
    }
    m_hwnd = hwnd;
    return true;
}

LRESULT HandleOwner::onMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return passOn(message, wParam, lParam);
}

LRESULT HandleOwner::passOn(UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::DefSubclassProc(m_hwnd, message, wParam, lParam);
}

bool HandleOwner::onNotification(UINT, WPARAM, LPARAM, LRESULT&)
{
    return false;
}

// Gives a child's notification to the child's object: false when the message is none of
// those, the child has no object, or its object leaves it to the default.
bool HandleOwner::notifyChild(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    HWND child = nullptr;
    switch (message) {
    case WM_COMMAND:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLOREDIT:
        child = reinterpret_cast<HWND>(lParam);
        break;
    case WM_DRAWITEM:
        child = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)->hwndItem;
        break;
    default:
        return false;
    }
    HandleOwner* target = from(child);
    return target != nullptr && target->onNotification(message, wParam, lParam, result);
}

LRESULT CALLBACK HandleOwner::subclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                           DWORD_PTR self)
{
    auto* window = reinterpret_cast<HandleOwner*>(self);
    if (message == WM_NCDESTROY) {
        window->onDestroy();
        ::RemoveWindowSubclass(hwnd, subclassProc, kSubclassId);
        ::RemovePropW(hwnd, kObjectProperty);
        window->m_hwnd = nullptr;
        return ::DefSubclassProc(hwnd, message, wParam, lParam);
    }
    LRESULT result = 0;
    if (window->relaysNotifications() && notifyChild(message, wParam, lParam, result))
        return result;
    return window->onMessage(message, wParam, lParam);
}

} // namespace win32
