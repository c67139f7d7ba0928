#pragma once

#include "qt_dialogs.h"
#include "runtime/toolkit.h"

#include <memory>

class QApplication;

namespace toolkit {

/// The window toolkit on Qt Widgets.
class QtToolkit : public runtime::Toolkit {
public:
    /// Starts the application with the program's arguments, unless one runs already (as
    /// in tests, whose main starts it).
    QtToolkit(int& argc, char** argv);
    QtToolkit();
    ~QtToolkit() override;
    QtToolkit(const QtToolkit&) = delete;
    QtToolkit& operator=(const QtToolkit&) = delete;

    std::unique_ptr<runtime::Form> createForm(const runtime::FormDefinition& definition,
                                              runtime::Actions& actions) override;
    QtDialogs& dialogs() override { return *m_dialogs; }
    int run() override;

private:
    void setUp();

    std::unique_ptr<QApplication> m_app;
    std::unique_ptr<QtDialogs> m_dialogs;
};

} // namespace toolkit
