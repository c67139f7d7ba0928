// The window frmFile on the Win32 toolkit: the driver the shared promises
// (test_toolkit_window.cpp) run through, its real controls given the messages the system sends
// them, and what only Win32 does: its dots per inch, the drop-down's refusal, what a screen
// reader does with a list's rows beyond reading them.

#include "support/program.h"
#include "support/window_driver.h"
#include "toolkit/win32/drive_list.h"
#include "toolkit/win32/form.h"
#include "toolkit/win32/text.h"
#include "toolkit/win32/toolkit.h"
#include "window/frm_file_definition.h"

#include <functional>
#include <map>
#include <memory>
#include <oleacc.h>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using testsupport::Key;
using testsupport::Role;

std::wstring textOf(HWND hwnd)
{
    wchar_t text[512] = {};
    ::GetWindowTextW(hwnd, text, 512);
    return text;
}

VARIANT childId(LONG child)
{
    VARIANT id{};
    id.vt = VT_I4;
    id.lVal = child;
    return id;
}

/// A window's accessible object, as a screen reader gets it, and what the reader asks of it.
class Accessible {
public:
    explicit Accessible(HWND hwnd)
    {
        if (FAILED(::AccessibleObjectFromWindow(hwnd, OBJID_CLIENT, __uuidof(IAccessible),
                                                reinterpret_cast<void**>(&m_object))))
            m_object = nullptr;
    }
    ~Accessible()
    {
        if (m_object != nullptr)
            m_object->Release();
    }
    Accessible(const Accessible&) = delete;
    Accessible& operator=(const Accessible&) = delete;
    IAccessible* operator->() const { return m_object; }
    bool exists() const { return m_object != nullptr; }

    /// A text of `child` (get_accName, get_accDescription); "" for none.
    std::string said(LONG child, HRESULT (STDMETHODCALLTYPE IAccessible::*ask)(VARIANT, BSTR*)) const
    {
        BSTR text = nullptr;
        if (m_object != nullptr)
            (m_object->*ask)(childId(child), &text);
        const std::wstring out(text != nullptr ? text : L"");
        ::SysFreeString(text);
        return win32::narrow(out);
    }
    /// A number of `child` (get_accRole, get_accState); 0 for none.
    LONG asked(LONG child, HRESULT (STDMETHODCALLTYPE IAccessible::*ask)(VARIANT, VARIANT*)) const
    {
        VARIANT value{};
        if (m_object != nullptr)
            (m_object->*ask)(childId(child), &value);
        return value.vt == VT_I4 ? value.lVal : 0;
    }
    LONG children() const
    {
        LONG count = 0;
        if (m_object != nullptr)
            m_object->get_accChildCount(&count);
        return count;
    }

private:
    IAccessible* m_object{nullptr};
};

Role roleOf(LONG asked)
{
    const std::pair<LONG, Role> roles[] = {{ROLE_SYSTEM_GROUPING, Role::Grouping},
                                           {ROLE_SYSTEM_LIST, Role::List},
                                           {ROLE_SYSTEM_LISTITEM, Role::ListItem},
                                           {ROLE_SYSTEM_OUTLINE, Role::Tree},
                                           {ROLE_SYSTEM_OUTLINEITEM, Role::TreeItem}};
    for (const auto& [code, role] : roles) {
        if (asked == code)
            return role;
    }
    return Role::Other;
}

std::function<void()> g_firstAction;

/// The box of this program's thread that shows, or null.
HWND shownBox()
{
    const HWND box = ::FindWindowW(L"#32770", nullptr);
    return box != nullptr && ::GetWindowThreadProcessId(box, nullptr) == ::GetCurrentThreadId() &&
                   ::IsWindowVisible(box)
               ? box
               : nullptr;
}

/// The answers waiting for a box, by their timers, each with where to tell what it saw.
std::map<UINT_PTR, testsupport::BoxSeen*> g_answers;

void CALLBACK answerBox(HWND, UINT, UINT_PTR timer, DWORD)
{
    const HWND box = shownBox();
    if (box == nullptr)
        return; // tries again
    ::KillTimer(nullptr, timer);
    testsupport::BoxSeen* seen = g_answers[timer];
    g_answers.erase(timer);
    if (seen != nullptr) {
        seen->title = win32::narrow(textOf(box));
        seen->text = win32::narrow(textOf(::GetDlgItem(box, 0xFFFF)));
        for (std::size_t at; (at = seen->text.find("\r\n")) != std::string::npos;)
            seen->text.erase(at, 1);
        // The picture in the body: the static control with id 20 on Windows, 0x440 under Wine.
        HICON icon = nullptr;
        for (const int id : {20, 0x440}) {
            if (icon == nullptr)
                icon = reinterpret_cast<HICON>(::SendDlgItemMessageW(box, id, STM_GETICON, 0, 0));
        }
        seen->picture = icon == ::LoadIconW(nullptr, IDI_WARNING) ? std::optional(runtime::MsgKind::Warning)
                        : icon == ::LoadIconW(nullptr, IDI_INFORMATION)
                            ? std::optional(runtime::MsgKind::Information)
                            : std::nullopt;
        for (HWND child = ::GetWindow(box, GW_CHILD); child != nullptr;
             child = ::GetWindow(child, GW_HWNDNEXT)) {
            wchar_t kind[16] = {};
            ::GetClassNameW(child, kind, 16);
            seen->buttons += std::wstring(kind) == L"Button" && ::IsWindowVisible(child) ? 1 : 0;
        }
    }
    ::SendMessageW(::GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
}

class Win32WindowDriver : public testsupport::WindowDriver {
public:
    ~Win32WindowDriver() override
    {
        window.reset(); // before the toolkit it was made with
        for (const auto& [timer, seen] : g_answers)
            ::KillTimer(nullptr, timer);
        g_answers.clear();
    }
    runtime::Toolkit& toolkit() override { return m_toolkit; }
    win32::Toolkit& win32Toolkit() { return m_toolkit; }
    win32::Form& form() { return dynamic_cast<win32::Form&>(window->form()); }
    HWND control(const char* name) { return form().handleOf(name); }

    testsupport::Box client() override
    {
        RECT r{};
        ::GetClientRect(form().handle(), &r);
        return {0, 0, r.right, r.bottom};
    }
    bool fixedFrame() override
    {
        const LONG style = ::GetWindowLongW(form().handle(), GWL_STYLE);
        return (style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX)) == 0 && (style & WS_SYSMENU) != 0;
    }
    std::string title() override { return win32::narrow(textOf(form().handle())); }
    std::string containerOf(const char* name) override
    {
        try {
            const HWND parent = ::GetParent(control(name));
            return parent == form().handle() ? "" : nameOf(parent);
        } catch (const std::out_of_range&) {
            return "?";
        }
    }
    testsupport::Box box(const char* name) override
    {
        return boxIn(::GetParent(control(name)), control(name));
    }
    testsupport::Box boxInWindow(const char* name) override { return boxIn(form().handle(), control(name)); }
    bool visible(const char* name) override { return ::IsWindowVisible(control(name)) != FALSE; }
    std::string text(const char* name) override
    {
        std::string shown = win32::narrow(textOf(control(name)));
        for (std::size_t at; (at = shown.find("\r\n")) != std::string::npos;)
            shown.erase(at, 1);
        return shown;
    }
    testsupport::FontSeen font(const char* name) override
    {
        LOGFONTW f{};
        const auto font = reinterpret_cast<HFONT>(::SendMessageW(control(name), WM_GETFONT, 0, 0));
        ::GetObjectW(font, sizeof f, &f);
        return {win32::narrow(f.lfFaceName), -f.lfHeight * 72.0 / form().dpi(), static_cast<int>(f.lfWeight),
                f.lfItalic != 0 || f.lfUnderline != 0};
    }
    std::string hitAtCentreOf(const char* name) override { return nameOf(hitAt(centreOf(name))); }

    std::string focused() override { return nameOf(::GetFocus()); }
    void focus(const char* name) override { ::SetFocus(control(name)); }
    // Gives a key to the program's message handling, as its loop does.
    void press(Key key) override
    {
        if (key == Key::LetterO) {
            ::SendMessageW(::GetFocus(), WM_CHAR, L'O', 0);
            return;
        }
        const UINT vk = key == Key::Tab || key == Key::BackTab ? VK_TAB
                        : key == Key::Down                     ? VK_DOWN
                        : key == Key::Space                    ? VK_SPACE
                        : key == Key::Escape                   ? VK_ESCAPE
                                                               : VK_RETURN;
        BYTE keys[256] = {};
        ::GetKeyboardState(keys);
        keys[VK_SHIFT] = key == Key::BackTab ? 0x80 : 0;
        ::SetKeyboardState(keys);
        const LPARAM extended = key == Key::Enter ? 1 << 24 : 0; // the keypad's Enter
        MSG msg{::GetFocus(), WM_KEYDOWN, vk, 1 | extended, 0, {}};
        m_toolkit.handle(msg);
        msg.message = WM_KEYUP;
        m_toolkit.handle(msg);
        keys[VK_SHIFT] = 0;
        ::SetKeyboardState(keys);
    }
    void clickButton(const char* name) override { ::SendMessageW(control(name), BM_CLICK, 0, 0); }
    void clickCentreOf(const char* name) override
    {
        POINT at = centreOf(name);
        const HWND hit = hitAt(at);
        ::MapWindowPoints(form().handle(), hit, &at, 1);
        ::SendMessageW(hit, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
        ::SendMessageW(hit, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
    }
    std::vector<std::string> rows(const char* name) override
    {
        std::vector<std::string> texts;
        const auto count = ::SendMessageW(control(name), LB_GETCOUNT, 0, 0);
        for (LRESULT row = 0; row < count; ++row) {
            wchar_t text[512] = {};
            ::SendMessageW(control(name), LB_GETTEXT, static_cast<WPARAM>(row),
                           reinterpret_cast<LPARAM>(text));
            texts.push_back(win32::narrow(text));
        }
        return texts;
    }
    int selectedRow(const char* name) override
    {
        return static_cast<int>(::SendMessageW(control(name), LB_GETCURSEL, 0, 0));
    }
    // Press and release where the row shows, twice for a double click.
    void mouseOnRow(const char* name, int row, bool twice) override
    {
        RECT box{};
        ::SendMessageW(control(name), LB_GETITEMRECT, static_cast<WPARAM>(row),
                       reinterpret_cast<LPARAM>(&box));
        const LPARAM at = MAKELPARAM(box.left + 12, (box.top + box.bottom) / 2);
        ::SendMessageW(control(name), WM_LBUTTONDOWN, MK_LBUTTON, at);
        ::SendMessageW(control(name), WM_LBUTTONUP, 0, at);
        if (twice) {
            ::SendMessageW(control(name), WM_LBUTTONDBLCLK, MK_LBUTTON, at);
            ::SendMessageW(control(name), WM_LBUTTONUP, 0, at);
        }
    }

    // Windows names a list after the label just before it in the z order; Wine's object for a
    // list names none, so that rule is read here. Other objects say their own names.
    std::string accessibleName(const char* name) override
    {
        const HWND hwnd = control(name);
        if (classOf(hwnd) == L"ListBox" || classOf(hwnd) == L"ComboBox") {
            const HWND before = ::GetWindow(hwnd, GW_HWNDPREV);
            return classOf(before) == L"Static" ? win32::narrow(textOf(before)) : "";
        }
        return Accessible(hwnd).said(CHILDID_SELF, &IAccessible::get_accName);
    }
    Role role(const char* name) override
    {
        return roleOf(Accessible(control(name)).asked(CHILDID_SELF, &IAccessible::get_accRole));
    }
    bool readAsInvisible(const char* name) override
    {
        return (Accessible(control(name)).asked(CHILDID_SELF, &IAccessible::get_accState) &
                STATE_SYSTEM_INVISIBLE) != 0;
    }
    std::vector<testsupport::RowRead> readRows(const char* name) override
    {
        std::vector<testsupport::RowRead> read;
        const Accessible o(control(name));
        for (LONG child = 1; child <= o.children(); ++child) {
            const LONG state = o.asked(child, &IAccessible::get_accState);
            read.push_back({o.said(child, &IAccessible::get_accName),
                            o.said(child, &IAccessible::get_accDescription),
                            roleOf(o.asked(child, &IAccessible::get_accRole)),
                            (state & STATE_SYSTEM_SELECTED) != 0, (state & STATE_SYSTEM_FOCUSED) != 0,
                            (state & STATE_SYSTEM_EXPANDED) != 0, (state & STATE_SYSTEM_COLLAPSED) != 0});
        }
        return read;
    }

    void closeByTitleBar() override { ::SendMessageW(form().handle(), WM_CLOSE, 0, 0); }
    // The action comes from a timer inside the loop; another ends the loop after a while.
    bool loopEndsAfter(const std::function<void()>& action) override
    {
        g_firstAction = action;
        ::SetTimer(nullptr, 0, 0, [](HWND, UINT, UINT_PTR timer, DWORD) {
            ::KillTimer(nullptr, timer);
            g_firstAction();
        });
        const UINT_PTR guard =
            ::SetTimer(nullptr, 0, 10'000, [](HWND, UINT, UINT_PTR, DWORD) { ::PostQuitMessage(1); });
        const int ended = m_toolkit.run();
        ::KillTimer(nullptr, guard);
        return ended == 0;
    }

    void answerABox(int afterMs, testsupport::BoxSeen* seen) override
    {
        g_answers[::SetTimer(nullptr, 0, static_cast<UINT>(afterMs), answerBox)] = seen;
    }
    bool aBoxShows() override { return shownBox() != nullptr; }

protected:
    void shown() override { ASSERT_EQ(form().dpi(), 96); } // the shared layout's division by 15

private:
    testsupport::Box boxIn(HWND container, HWND hwnd)
    {
        RECT r{};
        ::GetWindowRect(hwnd, &r);
        ::MapWindowPoints(HWND_DESKTOP, container, reinterpret_cast<POINT*>(&r), 2);
        return {r.left, r.top, r.right - r.left, r.bottom - r.top};
    }
    POINT centreOf(const char* name)
    {
        const testsupport::Box b = boxInWindow(name);
        return {b.left + b.width / 2, b.top + b.height / 2};
    }
    /// The deepest visible window at `at`, in the window's client coordinates.
    HWND hitAt(POINT at)
    {
        HWND hit = form().handle();
        for (;;) {
            POINT local = at;
            ::MapWindowPoints(form().handle(), hit, &local, 1);
            const HWND child = ::ChildWindowFromPointEx(hit, local, CWP_SKIPINVISIBLE);
            if (child == nullptr || child == hit)
                return hit;
            hit = child;
        }
    }
    static std::wstring classOf(HWND hwnd)
    {
        wchar_t name[64] = {};
        ::GetClassNameW(hwnd, name, 64);
        return name;
    }
    /// The control `hwnd` is or lies in; "" for none.
    std::string nameOf(HWND hwnd)
    {
        for (; hwnd != nullptr && hwnd != form().handle(); hwnd = ::GetParent(hwnd)) {
            for (const auto& c : frmFileDefinition().controls) {
                if (control(c.name) == hwnd)
                    return c.name;
            }
        }
        return {};
    }

    static inline int s_argc = 0;
    win32::Toolkit m_toolkit{s_argc, nullptr, testsupport::kProgram};
};

class Win32Window : public ::testing::Test {
protected:
    void SetUp() override { d.start(); }
    Win32WindowDriver d;
};

// A screen reader finds a row where it shows, chooses one as a click does, and an object held
// past the window reaches nothing.
TEST_F(Win32Window, AScreenReaderFindsAndChoosesRowsAndHeldPastTheWindowReachesNothing)
{
    testsupport::writeFile(d.app / L"Mise \u00e0 jour.ugx", "another upgrade\n");
    d.clickRow("Dir1", d.selectedRow("Dir1")); // reads the folder again
    HWND fileList = d.control("FileList1");
    const Accessible object(fileList);
    ASSERT_TRUE(object.exists());
    LONG x = 0, y = 0, width = 0, height = 0;
    EXPECT_EQ(object->accLocation(&x, &y, &width, &height, childId(2)), S_OK);
    VARIANT hit{};
    EXPECT_EQ(object->accHitTest(x + width / 2, y + height / 2, &hit), S_OK);
    EXPECT_EQ(hit.lVal, 2);
    EXPECT_EQ(object->accSelect(SELFLAG_TAKEFOCUS | SELFLAG_TAKESELECTION, childId(1)), S_OK);
    for (MSG msg; ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);)
        d.win32Toolkit().handle(msg);
    EXPECT_EQ(d.title(), "Open... Mise \xc3\xa0 jour.ugx");
    // The panel, a group, holds its controls.
    EXPECT_GE(Accessible(d.control("picFileOpen")).children(), 4);

    d.clickButton("cmdOpenCancel");
    ASSERT_FALSE(::IsWindow(fileList));
    LONG count = 0;
    EXPECT_EQ(object->get_accChildCount(&count), RPC_E_DISCONNECTED);
}

TEST(Win32DriveList, AnUnavailableDriveChosenInTheDropDownShowsTheFormerDriveAgain)
{
    Win32WindowDriver d;
    d.files.addUnreadyDrive({"Q:", "Q:\\"});
    d.start();
    HWND drive1 = d.control("Drive1");
    auto& drives = static_cast<win32::DriveList&>(d.window->form().driveList("Drive1"));
    const int before = drives.selected();
    int q = -1;
    for (int row = 0; row < drives.count(); ++row) {
        if (drives.entryText(row) == L"q:")
            q = row;
    }
    ASSERT_GE(q, 0);
    ::SendMessageW(drive1, CB_SETCURSEL, static_cast<WPARAM>(q), 0);
    ::SendMessageW(d.form().handle(), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(drive1), CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(drive1));
    EXPECT_EQ(d.dialogs.messages.back(), "This Drive is currently unavailable.");
    EXPECT_EQ(drives.selected(), before);
}

} // namespace

std::unique_ptr<testsupport::WindowDriver> testsupport::makeWindowDriver()
{
    return std::make_unique<Win32WindowDriver>();
}
