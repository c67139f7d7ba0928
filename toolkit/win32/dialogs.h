#pragma once

#include "runtime/dialogs.h"
#include "toolkit/copy_progress.h"
#include "toolkit/meanwhile.h"
#include "toolkit/toolkit.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <windows.h>

namespace win32 {

class CopyProgress;

/// Message boxes and the progress of a copy, over the window shown last.
class Dialogs : public runtime::Dialogs {
public:
    /// `owner` answers the window the boxes open over, or null before one is shown. Every
    /// box has the program's title as its caption and, where the executable has it, its icon
    /// in the title bar, and the system's warning or information picture in its body.
    /// `windowsReady` is asked before the progress window is made: true once the program's
    /// window classes are registered.
    Dialogs(const runtime::Program& program, std::function<HWND()> owner, std::function<bool()> windowsReady);
    ~Dialogs() override;

    void msgBox(const std::string& text, runtime::MsgKind kind) override;
    /// Runs `meanwhile` once the box is visible and painted, from the box's own message loop.
    void msgBoxMeanwhile(const std::string& text, runtime::MsgKind kind,
                         const std::function<void()>& meanwhile) override;
    /// Shows the progress when the policy says so, and keeps the windows painting while the
    /// copy runs; the user's input meanwhile is thrown away.
    void copyProgress(runtime::CopyStage stage, std::uint64_t done, std::uint64_t total) override;
    void copyEnded() override;

private:
    /// The modal box of msgBox; `work`, when given, runs once the box shows.
    void showMessage(const std::string& text, runtime::MsgKind kind, runtime::Meanwhile* work);

    std::wstring m_title;
    HICON m_icon{nullptr}; ///< the program's small icon, shared: never freed here
    std::function<HWND()> m_owner;
    std::function<bool()> m_windowsReady;
    std::unique_ptr<CopyProgress> m_progress;
    runtime::CopyProgressPolicy m_policy;
};

} // namespace win32
