#pragma once

#include "dialogs.h"
#include "toolkit/toolkit.h"

#include <memory>
#include <vector>
#include <windows.h>

namespace win32 {

class Form;

/// The window toolkit over native Win32 controls. It registers the program's window
/// classes, with the first window, for its lifetime, which must span that of every window it
/// builds; it runs one message loop on the thread that made it.
class Toolkit : public runtime::Toolkit {
public:
    Toolkit(int& argc, char** argv, const runtime::Program& program);
    ~Toolkit() override;
    Toolkit(const Toolkit&) = delete;
    Toolkit& operator=(const Toolkit&) = delete;

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
    /// Registers the window classes the first time a window is to be made; true when every
    /// one is registered.
    bool classesReady();

    std::vector<Form*> m_loaded; ///< in the order they were shown last, latest at the back
    Dialogs m_dialogs;
    int m_iconResource;     ///< the program's icon in the executable, for the windows' classes
    bool m_comTried{false}; ///< COM started (or refused) on this thread, with the first window
    bool m_comReady{false};
    bool m_classesTried{false}; ///< registration tried, with the first window
    bool m_classesReady{false}; ///< every window class registered: windows can be made
};

} // namespace win32
