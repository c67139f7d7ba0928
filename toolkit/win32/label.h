#pragma once

#include "control.h"
#include "toolkit/toolkit.h"

#include <string>

namespace win32 {

/// A static text. A transparent label paints only its text on what lies behind it; one
/// that sizes itself fits its caption in its font, keeping its top-left corner.
class Label : public Control, public runtime::Label {
public:
    using Control::Control;

    bool build(HWND parent, int id) override;
    void layout(int dpi, HFONT font) override;

    std::string caption() const override { return m_caption; }
    void setCaption(const std::string& text) override;

protected:
    bool onNotification(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void fitCaption();

    std::string m_caption;
};

} // namespace win32
