#pragma once

#include "runtime/toolkit.h"
#include "win32_dialogs.h"

#include <memory>
#include <vector>
#include <windows.h>

namespace win32 {

class Form;

/// The window toolkit over native Win32 controls. It registers the program's window
/// classes for its lifetime, which must span that of every window it builds; it runs one
/// message loop on the thread that made it.
class Win32Toolkit : public runtime::Toolkit {
public:
    Win32Toolkit(int& argc, char** argv);
    ~Win32Toolkit() override;
    Win32Toolkit(const Win32Toolkit&) = delete;
    Win32Toolkit& operator=(const Win32Toolkit&) = delete;

    std::unique_ptr<runtime::Form> createForm(const runtime::FormDefinition& definition,
                                              runtime::Actions& actions) override;
    runtime::Dialogs& dialogs() override { return m_dialogs; }
    int run() override;

    /// Gives one message to the windows' keys and the dialog manager, or dispatches it.
    void handle(MSG& msg);

    /// The window shown last that is still loaded, which message boxes open over; or null.
    HWND lastShown() const;

    // What the windows tell the toolkit of their life.
    void formLoaded(Form* form);
    void formShown(Form* form);
    void formUnloaded(Form* form);

private:
    std::vector<Form*> m_loaded; ///< in the order they were shown last, latest at the back
    Win32Dialogs m_dialogs;
    bool m_comReady{false};
};

} // namespace win32
