#include "toolkit.h"

#include "copy_progress.h"
#include "form.h"
#include "panel.h"

#include <algorithm>
#include <commctrl.h>
#include <objbase.h>
#include <stdexcept>
#include <utility>

namespace win32 {

namespace {

// The program's icon from the executable; the system's when it has none (tests).
HICON programIcon(int resource, int size)
{
    auto* icon =
        resource == 0
            ? nullptr
            : static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resource),
                                              IMAGE_ICON, size, size, LR_SHARED));
    return icon != nullptr ? icon
                           : static_cast<HICON>(
                                 ::LoadImageW(nullptr, IDI_APPLICATION, IMAGE_ICON, size, size, LR_SHARED));
}

bool registerClass(const wchar_t* name, HBRUSH background, int icon)
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    // Every window of these classes hears its messages through HandleOwner's subclass.
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    wc.style = CS_DBLCLKS;
    if (icon >= 0) {
        wc.hIcon = programIcon(icon, ::GetSystemMetrics(SM_CXICON));
        wc.hIconSm = programIcon(icon, ::GetSystemMetrics(SM_CXSMICON));
    }
    return ::RegisterClassExW(&wc) != 0;
}

} // namespace

Toolkit::Toolkit(int&, char**, const runtime::Program& program)
    : m_dialogs(
          program, [this] { return lastShown(); }, [this] { return classesReady(); }),
      m_iconResource(program.iconResource)
{}

bool Toolkit::classesReady()
{
    // Registered with the first window, not before the start's warning box, which needs none
    // of them: the box shows as soon as a program that shows only the box would.
    if (!std::exchange(m_classesTried, true)) {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
        ::InitCommonControlsEx(&controls);
        const auto face = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        m_classesReady = registerClass(Form::kClassName, face, m_iconResource) &&
                         registerClass(Panel::kClassName, nullptr, -1) &&
                         registerClass(CopyProgress::kClassName, face, m_iconResource);
    }
    return m_classesReady;
}

Toolkit::~Toolkit()
{
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    if (m_classesTried) {
        ::UnregisterClassW(CopyProgress::kClassName, instance);
        ::UnregisterClassW(Panel::kClassName, instance);
        ::UnregisterClassW(Form::kClassName, instance);
    }
    if (m_comReady)
        ::CoUninitialize();
}

std::unique_ptr<runtime::Form> Toolkit::createForm(const runtime::FormDefinition& definition,
                                                   runtime::Actions& actions)
{
    if (!classesReady())
        throw std::runtime_error("The system refused to register the program's window classes.");
    // The lists' objects for screen readers are COM objects, handed over on this thread. COM
    // (and ole32, loaded at its first call) is started with the first window, not before the
    // start's warning box, which needs neither.
    if (!m_comTried) {
        m_comTried = true;
        m_comReady = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
    }
    return std::make_unique<Form>(*this, definition, actions);
}

void Toolkit::handle(MSG& msg)
{
    for (Form* form : m_loaded) {
        if (form->handleKey(msg) || ::IsDialogMessageW(form->handle(), &msg))
            return;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
}

int Toolkit::run()
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

HWND Toolkit::lastShown() const
{
    for (auto it = m_loaded.rbegin(); it != m_loaded.rend(); ++it) {
        if ((*it)->isVisible())
            return (*it)->handle();
    }
    return nullptr;
}

void Toolkit::formLoaded(Form* form)
{
    m_loaded.insert(m_loaded.begin(), form);
}

void Toolkit::formShown(Form* form)
{
    formUnloaded(form);
    m_loaded.push_back(form);
}

void Toolkit::formUnloaded(Form* form)
{
    m_loaded.erase(std::remove(m_loaded.begin(), m_loaded.end(), form), m_loaded.end());
}

} // namespace win32

std::unique_ptr<runtime::Toolkit> runtime::createToolkit(int& argc, char** argv, const Program& program)
{
    return std::make_unique<win32::Toolkit>(argc, argv, program);
}
