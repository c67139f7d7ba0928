#pragma once

#include "font_handle.h"
#include "handle_owner.h"
#include "toolkit/copy_progress.h"

#include <string>

namespace win32 {

/// A small window over the program's window that shows what a copy is doing and how far
/// it has got. While it shows, the window below it takes no input.
class CopyProgress : public HandleOwner {
public:
    static constexpr const wchar_t* kClassName = L"OrvalisProgress";

    /// Shows it with the caption `title`, centred over `owner` (which it disables until it
    /// goes), or on the screen.
    CopyProgress(const std::wstring& title, HWND owner);
    ~CopyProgress() override;

    void show(const runtime::CopyProgressPolicy::View& view);

    /// Lets the windows paint and hears the system, but throws away the user's keys, mouse
    /// and requests to close.
    static void pumpWithoutInput();

protected:
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    class Part : public HandleOwner {
    public:
        using HandleOwner::create;
    };

    HWND m_owner;
    FontHandle m_font;
    Part m_text;
    Part m_bar;
    std::string m_shownText;
};

} // namespace win32
