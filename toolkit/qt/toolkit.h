#pragma once

#include "dialogs.h"
#include "toolkit/toolkit.h"

#include <memory>

class QApplication;

namespace qt {

/// The exit code when Qt finds no display for the window or the boxes: nothing was touched,
/// as with a wrong command line.
inline constexpr int kExitNoDisplay = 2;

/// The window toolkit on Qt Widgets.
class Toolkit : public runtime::Toolkit {
public:
    /// Starts the application with the program's arguments, unless one runs already (as
    /// in tests, whose main starts it).
    Toolkit(int& argc, char** argv, const runtime::Program& program);
    explicit Toolkit(const runtime::Program& program);
    ~Toolkit() override;
    Toolkit(const Toolkit&) = delete;
    Toolkit& operator=(const Toolkit&) = delete;

    std::unique_ptr<runtime::Form> createForm(const runtime::FormDefinition& definition,
                                              runtime::Actions& actions) override;
    Dialogs& dialogs() override { return *m_dialogs; }
    int run() override;

private:
    void setUp(const runtime::Program& program);

    std::unique_ptr<QApplication> m_app;
    std::unique_ptr<Dialogs> m_dialogs;
};

} // namespace qt
