#pragma once

#include "runtime/dialogs.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <windows.h>

namespace win32 {

class CopyProgress;

/// Message boxes and the progress of a copy, over the window shown last.
class Win32Dialogs : public runtime::Dialogs {
public:
    /// The caption of every box: the application's title.
    static constexpr const wchar_t* kTitle = L"Orvalis Upgrade";

    /// `owner` answers the window the boxes open over, or null before one is shown.
    explicit Win32Dialogs(std::function<HWND()> owner);
    ~Win32Dialogs() override;

    void msgBox(const std::string& text) override;
    /// Shows the progress once the copy has run for half a second, and keeps the windows
    /// painting while it runs; the user's input meanwhile is thrown away.
    void copyProgress(runtime::CopyStage stage, std::uint64_t done, std::uint64_t total) override;
    void copyEnded() override;

private:
    std::function<HWND()> m_owner;
    std::unique_ptr<CopyProgress> m_progress;
    ULONGLONG m_copyStarted{0};
};

} // namespace win32
