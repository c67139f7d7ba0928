#pragma once

#include "control.h"
#include "text.h"

namespace win32 {

/// A check box that checks itself when clicked; nothing in the program reads it.
class CheckBox : public Control {
public:
    using Control::Control;

    bool build(HWND parent, int id) override
    {
        return create(0, L"BUTTON", widen(definition().caption).c_str(),
                      childStyle() | WS_TABSTOP | BS_AUTOCHECKBOX, 0, 0, 0, 0, parent,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)));
    }
    bool takesFocus() const override { return true; }

protected:
    bool onNotification(UINT message, WPARAM wParam, LPARAM, LRESULT& result) override
    {
        if (message != WM_CTLCOLORSTATIC && message != WM_CTLCOLORBTN)
            return false;
        ::SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        result = reinterpret_cast<LRESULT>(containerBrush());
        return true;
    }
};

} // namespace win32
