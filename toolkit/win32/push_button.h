#pragma once

#include "control.h"
#include "text.h"
#include "toolkit/actions.h"
#include "toolkit/toolkit.h"

namespace win32 {

/// A push button. Never the window's default button: Enter presses it only while it has
/// the focus.
class PushButton : public Control, public runtime::PushButton {
public:
    PushButton(const runtime::ControlDefinition& definition, Palette& palette, Control* container,
               runtime::Actions& actions)
        : Control(definition, palette, container), m_click(actions)
    {}

    bool build(HWND parent, int id) override
    {
        return create(0, L"BUTTON", widen(definition().caption).c_str(),
                      childStyle() | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0, parent,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)));
    }
    bool takesFocus() const override { return true; }

    void onClick(runtime::Event handler) override { m_click.bind(std::move(handler)); }
    /// Presses it as a click does.
    void click() { send(BM_CLICK); }

protected:
    bool onNotification(UINT message, WPARAM wParam, LPARAM, LRESULT& result) override
    {
        if (message == WM_CTLCOLORBTN) {
            result = reinterpret_cast<LRESULT>(containerBrush());
            return true;
        }
        if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
            m_click.raise();
            result = 0;
            return true;
        }
        return false;
    }

private:
    runtime::UserEvent<> m_click;
};

} // namespace win32
