#include "form.h"

#include "check_box.h"
#include "drive_list.h"
#include "file_list.h"
#include "folder_list.h"
#include "label.h"
#include "panel.h"
#include "push_button.h"
#include "text.h"
#include "text_box.h"
#include "toolkit.h"
#include "toolkit/label_names.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace win32 {

namespace {

constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kFormExStyle = 0;
// Control ids start above IDOK, IDCANCEL and the other ids the dialog manager sends.
constexpr int kFirstId = 100;

} // namespace

Form::Form(Toolkit& toolkit, const runtime::FormDefinition& definition, runtime::Actions& actions)
    : m_toolkit(toolkit), m_definition(definition), m_actions(actions), m_caption(definition.caption)
{
    m_dpi = static_cast<int>(::GetDpiForSystem());
    if (!create(kFormExStyle, kClassName, widen(m_caption).c_str(), kFormStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                100, 100, nullptr, nullptr))
        throw std::runtime_error("The system refused to create the window.");
    m_dpi = static_cast<int>(::GetDpiForWindow(handle()));
    build();
    applyZOrder();
    layout(m_dpi);
    m_toolkit.formLoaded(this);
}

Form::~Form()
{
    // Destroyed here, while the controls and the toolkit still hear the window go.
    destroy();
}

void Form::build()
{
    for (const auto& def : m_definition.controls) {
        Control* container = nullptr;
        if (def.container != nullptr) {
            const auto found = m_byName.find(def.container);
            if (found == m_byName.end() || found->second.kind != runtime::ControlKind::Panel)
                throw std::out_of_range(std::string("no panel ") + def.container);
            container = found->second.control;
        }
        std::unique_ptr<Control> control;
        switch (def.kind) {
        case runtime::ControlKind::Label:
            control = std::make_unique<Label>(def, m_palette, container);
            break;
        case runtime::ControlKind::PushButton:
            control = std::make_unique<PushButton>(def, m_palette, container, m_actions);
            break;
        case runtime::ControlKind::CheckBox:
            control = std::make_unique<CheckBox>(def, m_palette, container);
            break;
        case runtime::ControlKind::TextBox:
            control = std::make_unique<TextBox>(def, m_palette, container);
            break;
        case runtime::ControlKind::Panel: {
            auto made = std::make_unique<Panel>(def, m_palette, container);
            made->onFocusLost([this] { focusFirst(); });
            control = std::move(made);
            break;
        }
        case runtime::ControlKind::DriveList:
            control = std::make_unique<DriveList>(def, m_palette, container, m_actions);
            break;
        case runtime::ControlKind::FolderList:
            control = std::make_unique<FolderList>(def, m_palette, container, m_actions);
            break;
        case runtime::ControlKind::FileList:
            control = std::make_unique<FileList>(def, m_palette, container, m_actions);
            break;
        }
        HWND parent = container != nullptr ? container->handle() : handle();
        if (!control->build(parent, kFirstId + static_cast<int>(m_controls.size())))
            throw std::runtime_error(std::string("The system refused to create the control ") + def.name +
                                     ".");
        m_byName[def.name] = Named{def.kind, control.get()};
        m_controls.push_back(std::move(control));
    }
    // A panel without a caption of its own is known by its label's, which screen readers
    // read when it takes the focus.
    for (const auto& control : m_controls) {
        const auto& def = control->definition();
        if (def.kind != runtime::ControlKind::Panel || def.caption[0] != '\0')
            continue;
        if (const auto* label = runtime::NamingLabel(m_definition, def))
            control->setText(widen(label->caption));
    }
}

void Form::applyZOrder()
{
    // Each label that names a list or a text box goes right before it; everything else by
    // its tab index. Labels take no focus, so Tab still follows the tab indexes.
    struct Place {
        int key;
        int labelFirst;
        Control* control;
    };
    std::vector<Place> places;
    for (const auto& control : m_controls)
        places.push_back(Place{control->definition().tabIndex, 1, control.get()});
    for (const auto& control : m_controls) {
        const auto& def = control->definition();
        const auto* label =
            def.kind == runtime::ControlKind::Panel ? nullptr : runtime::NamingLabel(m_definition, def);
        if (label == nullptr)
            continue;
        for (Place& place : places) {
            if (&place.control->definition() == label)
                place = Place{def.tabIndex, 0, place.control};
        }
    }
    std::stable_sort(places.begin(), places.end(), [](const Place& a, const Place& b) {
        return a.key != b.key ? a.key < b.key : a.labelFirst < b.labelFirst;
    });
    // From the top down: each goes just below the one before it, among its siblings.
    std::map<HWND, HWND> above;
    for (const Place& place : places) {
        HWND parent = ::GetParent(place.control->handle());
        const auto previous = above.find(parent);
        const HWND after = previous == above.end() ? HWND_TOP : previous->second;
        ::SetWindowPos(place.control->handle(), after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        above[parent] = place.control->handle();
    }
}

HFONT Form::fontFor(const runtime::Font& given)
{
    // A control that names no font has the window's, which the definition names.
    const runtime::Font& font = given.face != nullptr ? given : m_definition.font;
    const std::string key =
        font.face == nullptr
            ? std::string()
            : std::string(font.face) + "/" + std::to_string(font.points) + "/" + std::to_string(font.weight);
    if (auto found = m_fonts.find(key); found != m_fonts.end())
        return found->second.get();
    LOGFONTW logFont{};
    if (font.face == nullptr) {
        // The dialog font at its usual 8 points, at this window's dots per inch.
        ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof logFont, &logFont);
        logFont.lfHeight = -::MulDiv(8, m_dpi, 72);
    } else {
        const std::wstring face = widen(font.face);
        face.copy(logFont.lfFaceName, LF_FACESIZE - 1);
        logFont.lfHeight = -static_cast<LONG>(std::lround(font.points * m_dpi / 72.0));
        logFont.lfWeight = font.weight;
        logFont.lfCharSet = ANSI_CHARSET;
    }
    return m_fonts.emplace(key, FontHandle(logFont)).first->second.get();
}

void Form::layout(int dpi)
{
    m_dpi = dpi;
    // The new fonts are in place before the old ones go.
    std::map<std::string, FontHandle> old;
    old.swap(m_fonts);
    for (const auto& control : m_controls)
        control->layout(dpi, fontFor(control->definition().font));
    RECT frame{0, 0, Control::scale(m_definition.clientWidth, dpi),
               Control::scale(m_definition.clientHeight, dpi)};
    ::AdjustWindowRectExForDpi(&frame, kFormStyle, FALSE, kFormExStyle, static_cast<UINT>(dpi));
    ::SetWindowPos(handle(), nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form::setCaption(const std::string& text)
{
    m_caption = text;
    setText(widen(text));
}

template <typename T> T& Form::find(const char* name, runtime::ControlKind kind)
{
    const auto found = m_byName.find(name);
    if (found == m_byName.end() || found->second.kind != kind)
        throw std::out_of_range(std::string("no such control: ") + name);
    return *static_cast<T*>(found->second.control);
}

runtime::Label& Form::label(const char* name)
{
    return find<Label>(name, runtime::ControlKind::Label);
}

runtime::PushButton& Form::pushButton(const char* name)
{
    return find<PushButton>(name, runtime::ControlKind::PushButton);
}

runtime::Panel& Form::panel(const char* name)
{
    return find<Panel>(name, runtime::ControlKind::Panel);
}

runtime::DriveList& Form::driveList(const char* name)
{
    return find<DriveList>(name, runtime::ControlKind::DriveList);
}

runtime::FolderList& Form::folderList(const char* name)
{
    return find<FolderList>(name, runtime::ControlKind::FolderList);
}

runtime::FileList& Form::fileList(const char* name)
{
    return find<FileList>(name, runtime::ControlKind::FileList);
}

HWND Form::handleOf(const char* name) const
{
    const auto found = m_byName.find(name);
    if (found == m_byName.end())
        throw std::out_of_range(std::string("no such control: ") + name);
    return found->second.control->handle();
}

void Form::showCentred()
{
    if (!exists())
        return;
    RECT frame;
    ::GetWindowRect(handle(), &frame);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoW(::MonitorFromWindow(handle(), MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& area = monitor.rcWork;
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const int x = area.left + (area.right - area.left - width) / 2;
    const int y = area.top + (area.bottom - area.top - height) / 2;
    ::SetWindowPos(handle(), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::ShowWindow(handle(), SW_SHOW);
    ::SetForegroundWindow(handle());
    focusFirst();
    m_toolkit.formShown(this);
}

std::vector<Control*> Form::focusOrder() const
{
    std::vector<Control*> order;
    for (const auto& control : m_controls) {
        if (control->takesFocus() && control->isVisible() && control->isEnabled())
            order.push_back(control.get());
    }
    std::stable_sort(order.begin(), order.end(), [](const Control* a, const Control* b) {
        return a->definition().tabIndex < b->definition().tabIndex;
    });
    return order;
}

Control* Form::focusedControl() const
{
    for (HWND at = ::GetFocus(); at != nullptr && at != handle(); at = ::GetParent(at)) {
        for (const auto& control : m_controls) {
            if (control->handle() == at)
                return control.get();
        }
    }
    return nullptr;
}

void Form::focusFirst()
{
    const auto order = focusOrder();
    if (!order.empty())
        ::SetFocus(order.front()->handle());
}

void Form::focusNext(bool backwards)
{
    const auto order = focusOrder();
    if (order.empty())
        return;
    const auto at = std::find(order.begin(), order.end(), focusedControl());
    std::size_t next = 0;
    if (at == order.end()) {
        next = backwards ? order.size() - 1 : 0;
    } else {
        const std::size_t here = static_cast<std::size_t>(at - order.begin());
        next = backwards ? (here + order.size() - 1) % order.size() : (here + 1) % order.size();
    }
    ::SetFocus(order[next]->handle());
}

bool Form::handleKey(const MSG& msg)
{
    if (msg.message != WM_KEYDOWN || !exists() || (msg.hwnd != handle() && !::IsChild(handle(), msg.hwnd)))
        return false;
    if (msg.wParam == VK_TAB) {
        if ((::GetKeyState(VK_CONTROL) & 0x8000) != 0 || (::GetKeyState(VK_MENU) & 0x8000) != 0)
            return false;
        // From now on the focus is shown, as the dialog manager does when Tab is pressed.
        send(WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS));
        focusNext((::GetKeyState(VK_SHIFT) & 0x8000) != 0);
        return true;
    }
    if (msg.wParam != VK_RETURN && msg.wParam != VK_ESCAPE)
        return false;
    // A control that asks for the key gets it: the folder list opens with Enter, the drive
    // list closes with Enter or Escape while it is down.
    const LRESULT code = ::SendMessageW(msg.hwnd, WM_GETDLGCODE, msg.wParam, reinterpret_cast<LPARAM>(&msg));
    if ((code & (DLGC_WANTALLKEYS | DLGC_WANTMESSAGE)) != 0)
        return false;
    if (msg.wParam == VK_RETURN) {
        if (Control* focused = focusedControl();
            focused != nullptr && focused->definition().kind == runtime::ControlKind::PushButton &&
            focused->handle() == msg.hwnd)
            static_cast<PushButton*>(focused)->click();
    }
    return true; // no default button and no cancel button: nothing else is pressed
}

void Form::onActivate(bool active)
{
    if (!active) {
        const HWND focus = ::GetFocus();
        if (focus != nullptr && ::IsChild(handle(), focus))
            m_lastFocus = focus;
        return;
    }
    // Back from a message box or another program: the focus goes where it was.
    if (m_lastFocus != nullptr && ::IsWindow(m_lastFocus) && ::IsWindowVisible(m_lastFocus) &&
        ::IsChild(handle(), m_lastFocus))
        ::SetFocus(m_lastFocus);
    else
        focusFirst();
}

void Form::onDpiChanged(int dpi, const RECT& suggested)
{
    layout(dpi);
    ::SetWindowPos(handle(), nullptr, suggested.left, suggested.top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT Form::onMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        // IDOK and IDCANCEL from the dialog manager, for Enter and Escape: nothing to press.
        return 0;
    case WM_CLOSE:
        unload(); // the title bar's close: no handler runs
        return 0;
    case WM_ACTIVATE:
        onActivate(LOWORD(wParam) != WA_INACTIVE);
        return 0;
    case WM_DPICHANGED:
        onDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    default:
        return passOn(message, wParam, lParam);
    }
}

void Form::onDestroy()
{
    m_toolkit.formUnloaded(this);
}

} // namespace win32
