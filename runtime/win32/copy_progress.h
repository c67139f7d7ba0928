#pragma once

#include "font_handle.h"
#include "runtime/file_services.h"
#include "window.h"

#include <cstdint>

namespace win32 {

/// A small window over the program's window that shows what a copy is doing and how far
/// it has got. While it shows, the window below it takes no input.
class CopyProgress : public Window {
public:
    static constexpr const wchar_t* kClassName = L"OrvalisProgress";

    /// Shows it, centred over `owner` (which it disables until it goes), or on the screen.
    explicit CopyProgress(HWND owner);
    ~CopyProgress() override;

    void update(runtime::CopyStage stage, std::uint64_t done, std::uint64_t total);

    /// The text of a stage, as the window shows it.
    static const wchar_t* stageText(runtime::CopyStage stage);

    /// Lets the windows paint and hears the system, but throws away the user's keys, mouse
    /// and requests to close.
    static void pumpWithoutInput();

protected:
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    class Part : public Window {
    public:
        using Window::create;
    };

    HWND m_owner;
    FontHandle m_font;
    Part m_text;
    Part m_bar;
    int m_stage{-1};
};

} // namespace win32
