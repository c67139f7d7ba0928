#pragma once

#include "control.h"
#include "group_accessible.h"
#include "toolkit/toolkit.h"

#include <functional>

namespace win32 {

/// A picture box used as a panel: a child window that holds other controls, in its own
/// background colour with a flat single-line border. It takes the focus itself, shows it
/// with a focus rectangle, and is shown and hidden with everything in it. Screen readers see
/// it as a group named by its caption, which they hear appear when it is shown.
class Panel : public Control, public runtime::Panel {
public:
    static constexpr const wchar_t* kClassName = L"OrvalisPanel";

    using Control::Control;

    bool build(HWND parent, int id) override;
    bool takesFocus() const override { return true; }
    HBRUSH backgroundBrush() override;

    bool isShown() const override { return isVisible(); }
    void show() override { ::ShowWindow(handle(), SW_SHOWNA); }
    void hide() override;

    /// Runs when hiding the panel takes the focus away with it, to put the focus elsewhere.
    void onFocusLost(std::function<void()> handler) { m_focusLost = std::move(handler); }

protected:
    bool relaysNotifications() const override { return true; }
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void onDestroy() override { m_accessible.detach(); }
    void onPaint();
    void fillBackground(HDC dc);

    std::function<void()> m_focusLost;
    GroupAccessible m_accessible;
};

} // namespace win32
