#pragma once

#include "control.h"
#include "font_handle.h"
#include "handle_owner.h"
#include "palette.h"
#include "toolkit/actions.h"
#include "toolkit/toolkit.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace win32 {

class Toolkit;

/// A top-level window built from a definition: fixed single border, no minimise or
/// maximise box, the program's icon, its client area the definition's twips at the
/// monitor's dots per inch. Its controls lie in the z order of their tab indexes, which is
/// the order Tab visits them; a caption label lies just before the list it names, which is
/// how screen readers tie them.
///
/// Keys: Tab and Shift+Tab go through the controls that take the focus by tab index, into
/// and out of panels; Enter presses only a push button that has the focus (or goes to a
/// control that asks for it), and Escape presses nothing.
class Form : public HandleOwner, public runtime::Form {
public:
    static constexpr const wchar_t* kClassName = L"OrvalisForm";

    Form(Toolkit& toolkit, const runtime::FormDefinition& definition, runtime::Actions& actions);
    ~Form() override;

    std::string caption() const override { return m_caption; }
    void setCaption(const std::string& text) override;

    runtime::Label& label(const char* name) override;
    runtime::PushButton& pushButton(const char* name) override;
    runtime::Panel& panel(const char* name) override;
    runtime::DriveList& driveList(const char* name) override;
    runtime::FolderList& folderList(const char* name) override;
    runtime::FileList& fileList(const char* name) override;

    void showCentred() override;
    void unload() override { destroy(); }
    bool isLoaded() const override { return exists(); }

    /// The window of a control by its name; throws std::out_of_range for a name the
    /// definition does not give.
    HWND handleOf(const char* name) const;
    int dpi() const { return m_dpi; }

    /// Handles the keys the window decides on itself, before the dialog manager sees them.
    /// Returns true when the message has been dealt with.
    bool handleKey(const MSG& msg);

    /// Moves the focus to the next (or previous) control that takes it, by tab index.
    void focusNext(bool backwards);
    /// Puts the focus on the visible control with the lowest tab index that takes it.
    void focusFirst();

protected:
    bool relaysNotifications() const override { return true; }
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void onDestroy() override;

private:
    struct Named {
        runtime::ControlKind kind;
        Control* control;
    };

    void build();
    void applyZOrder();
    void layout(int dpi);
    HFONT fontFor(const runtime::Font& font);
    std::vector<Control*> focusOrder() const;
    Control* focusedControl() const;
    template <typename T> T& find(const char* name, runtime::ControlKind kind);
    void onActivate(bool active);
    void onDpiChanged(int dpi, const RECT& suggested);

    Toolkit& m_toolkit;
    const runtime::FormDefinition& m_definition;
    runtime::Actions& m_actions;
    Palette m_palette;
    std::string m_caption;
    int m_dpi{96};
    std::vector<std::unique_ptr<Control>> m_controls; ///< in the definition's order
    std::map<std::string, Named> m_byName;
    /// Fonts at the current dots per inch, by face, size and weight; "" is the window's.
    std::map<std::string, FontHandle> m_fonts;
    HWND m_lastFocus{nullptr};
};

} // namespace win32
