#include "win32_toolkit.h"

#include "copy_progress.h"
#include "form.h"
#include "panel.h"

#include <algorithm>
#include <commctrl.h>
#include <objbase.h>

namespace win32 {

namespace {

// The program's icon, resource 1 of the executable; the system's when it has none (tests).
HICON programIcon(int size)
{
    auto* icon = static_cast<HICON>(
        ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON, size, size, LR_SHARED));
    return icon != nullptr ? icon
                           : static_cast<HICON>(
                                 ::LoadImageW(nullptr, IDI_APPLICATION, IMAGE_ICON, size, size, LR_SHARED));
}

void registerClass(const wchar_t* name, HBRUSH background, bool withIcon)
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    // Every window of these classes hears its messages through Window's subclass.
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    wc.style = CS_DBLCLKS;
    if (withIcon) {
        wc.hIcon = programIcon(::GetSystemMetrics(SM_CXICON));
        wc.hIconSm = programIcon(::GetSystemMetrics(SM_CXSMICON));
    }
    ::RegisterClassExW(&wc);
}

} // namespace

Win32Toolkit::Win32Toolkit(int&, char**) : m_dialogs([this] { return lastShown(); })
{
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
    // The shell's icons want COM on this thread.
    m_comReady = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
    registerClass(Form::kClassName, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1), true);
    registerClass(Panel::kClassName, nullptr, false);
    registerClass(CopyProgress::kClassName, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1), true);
}

Win32Toolkit::~Win32Toolkit()
{
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    ::UnregisterClassW(CopyProgress::kClassName, instance);
    ::UnregisterClassW(Panel::kClassName, instance);
    ::UnregisterClassW(Form::kClassName, instance);
    if (m_comReady)
        ::CoUninitialize();
}

std::unique_ptr<runtime::Form> Win32Toolkit::createForm(const runtime::FormDefinition& definition,
                                                        runtime::Actions& actions)
{
    return std::make_unique<Form>(*this, definition, actions);
}

void Win32Toolkit::handle(MSG& msg)
{
    for (Form* form : m_loaded) {
        if (form->handleKey(msg) || ::IsDialogMessageW(form->handle(), &msg))
            return;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
}

int Win32Toolkit::run()
{
    MSG msg{};
    while (!m_loaded.empty()) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0)
            return static_cast<int>(msg.wParam); // someone asked the program to end
        if (got < 0)
            return 1;
        handle(msg);
    }
    return 0;
}

HWND Win32Toolkit::lastShown() const
{
    for (auto it = m_loaded.rbegin(); it != m_loaded.rend(); ++it) {
        if ((*it)->isVisible())
            return (*it)->handle();
    }
    return nullptr;
}

void Win32Toolkit::formLoaded(Form* form)
{
    m_loaded.insert(m_loaded.begin(), form);
}

void Win32Toolkit::formShown(Form* form)
{
    formUnloaded(form);
    m_loaded.push_back(form);
}

void Win32Toolkit::formUnloaded(Form* form)
{
    m_loaded.erase(std::remove(m_loaded.begin(), m_loaded.end(), form), m_loaded.end());
}

} // namespace win32
