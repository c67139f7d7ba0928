#pragma once

#include "control.h"
#include "text.h"

namespace win32 {

/// A one-line text box with a sunken edge; nothing in the program reads it.
class TextBox : public Control {
public:
    using Control::Control;

    bool build(HWND parent, int id) override
    {
        return create(WS_EX_CLIENTEDGE, L"EDIT", widen(definition().caption).c_str(),
                      childStyle() | WS_TABSTOP | ES_AUTOHSCROLL, 0, 0, 0, 0, parent,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)));
    }
    bool takesFocus() const override { return true; }
};

} // namespace win32
