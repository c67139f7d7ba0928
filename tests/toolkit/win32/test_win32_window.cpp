// The window frmFile on the Win32 toolkit: its layout, keys, what screen readers see and how
// the real controls deliver the messages the system sends them. What the window does is
// tested once, on the toolkit stand-in (tests/window).

#include "support/app_folders.h"
#include "support/program.h"
#include "support/recording_dialogs.h"
#include "toolkit/win32/drive_list.h"
#include "toolkit/win32/form.h"
#include "toolkit/win32/text.h"
#include "toolkit/win32/toolkit.h"
#include "window/frm_file.h"
#include "window/frm_file_definition.h"

#include <algorithm>
#include <memory>
#include <oleacc.h>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using testsupport::writeFile;

/// The toolkit with message boxes that are remembered instead of shown.
class RecordingToolkit : public win32::Toolkit {
public:
    RecordingToolkit() : Toolkit(s_argc, nullptr, testsupport::kProgram) {}
    runtime::Dialogs& dialogs() override { return recorded; }
    testsupport::RecordingDialogs recorded;

private:
    static inline int s_argc = 0;
};

std::wstring textOf(HWND hwnd)
{
    wchar_t text[512] = {};
    ::GetWindowTextW(hwnd, text, 512);
    return text;
}

std::vector<std::wstring> rows(HWND list)
{
    std::vector<std::wstring> texts;
    const auto count = ::SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT row = 0; row < count; ++row) {
        wchar_t text[512] = {};
        ::SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(text));
        texts.emplace_back(text);
    }
    return texts;
}

int rowOf(HWND list, const std::wstring& text)
{
    const auto all = rows(list);
    for (std::size_t row = 0; row < all.size(); ++row) {
        if (all[row] == text)
            return static_cast<int>(row);
    }
    return -1;
}

/// A list's accessible object, as a screen reader gets it.
IAccessible* accessibleOf(HWND list)
{
    IAccessible* object = nullptr;
    if (FAILED(::AccessibleObjectFromWindow(list, OBJID_CLIENT, __uuidof(IAccessible),
                                            reinterpret_cast<void**>(&object))))
        return nullptr;
    return object;
}

VARIANT childId(LONG child)
{
    VARIANT id{};
    id.vt = VT_I4;
    id.lVal = child;
    return id;
}

/// A text a screen reader asks of `child` of `object` (get_accName, get_accDescription).
std::wstring said(IAccessible* object, LONG child,
                  HRESULT (STDMETHODCALLTYPE IAccessible::*ask)(VARIANT, BSTR*))
{
    BSTR text = nullptr;
    (object->*ask)(childId(child), &text);
    std::wstring out(text != nullptr ? text : L"");
    ::SysFreeString(text);
    return out;
}

/// A number a screen reader asks of `child` of `object` (get_accRole, get_accState); 0 for none.
LONG asked(IAccessible* object, LONG child, HRESULT (STDMETHODCALLTYPE IAccessible::*ask)(VARIANT, VARIANT*))
{
    VARIANT value{};
    (object->*ask)(childId(child), &value);
    return value.vt == VT_I4 ? value.lVal : 0;
}

/// What a screen reader reads of a list's rows: their names and states, child by child.
struct ReadRows {
    std::vector<std::wstring> names;
    std::vector<LONG> states;
};

ReadRows readRows(HWND list)
{
    ReadRows read;
    IAccessible* object = accessibleOf(list);
    if (object == nullptr)
        return read;
    LONG count = 0;
    object->get_accChildCount(&count);
    for (LONG child = 1; child <= count; ++child) {
        read.names.push_back(said(object, child, &IAccessible::get_accName));
        read.states.push_back(asked(object, child, &IAccessible::get_accState));
    }
    object->Release();
    return read;
}

// What a mouse click on a row sends: press and release, on the left of the row, where the
// panel never covers the folder list.
void clickRow(HWND list, int row, bool twice = false)
{
    RECT box{};
    ::SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&box));
    const LPARAM at = MAKELPARAM(box.left + 12, (box.top + box.bottom) / 2);
    ::SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::SendMessageW(list, WM_LBUTTONUP, 0, at);
    if (twice) {
        ::SendMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
        ::SendMessageW(list, WM_LBUTTONUP, 0, at);
    }
}

// Gives a key to the program's message handling, as its loop does.
void press(win32::Toolkit& toolkit, UINT key, bool shift = false)
{
    BYTE keys[256] = {};
    ::GetKeyboardState(keys);
    keys[VK_SHIFT] = shift ? 0x80 : 0;
    ::SetKeyboardState(keys);
    MSG msg{::GetFocus(), WM_KEYDOWN, key, 1, 0, {}};
    toolkit.handle(msg);
    msg.message = WM_KEYUP;
    toolkit.handle(msg);
    keys[VK_SHIFT] = 0;
    ::SetKeyboardState(keys);
}

// The window on the application folder "app" (see AppFolders).
class Win32Window : public ::testing::Test, protected testsupport::AppFolders {
protected:
    void start()
    {
        window = std::make_unique<frmFile>(toolkit, files);
        window->load();
        window->show();
    }

    win32::Form& form() { return dynamic_cast<win32::Form&>(window->form()); }
    HWND control(const char* name) { return form().handleOf(name); }
    std::string caption() { return window->form().caption(); }

    void checkEveryControl(bool chosen);

    std::vector<std::string> tabRound(bool backwards)
    {
        std::vector<std::string> visited;
        for (int step = 0; step < 8; ++step) {
            press(toolkit, VK_TAB, backwards);
            visited.push_back(nameOf(::GetFocus()));
        }
        return visited;
    }

    std::string nameOf(HWND hwnd)
    {
        for (const char* name : {"picFileOpen", "cmdOpenOK", "cmdOpenBack", "cmdOpenCancel", "FileList1",
                                 "Dir1", "Drive1", "lblHelp"}) {
            if (control(name) == hwnd)
                return name;
        }
        return "?";
    }

    void clickFile(const std::wstring& name)
    {
        const int row = rowOf(control("FileList1"), name);
        ASSERT_GE(row, 0);
        clickRow(control("FileList1"), row);
    }

    RecordingToolkit toolkit;
    std::unique_ptr<frmFile> window;
};

// Each control as the definition makes it: in its container, where it puts it (twips divided
// by 15), showing the caption the window gave it, and shown as the definition says, the
// panel's controls once a file is chosen. A label that fits its caption keeps its corner; its
// size comes from "MS Sans Serif" bold, which Wine makes up to a pixel wider a letter.
void Win32Window::checkEveryControl(bool chosen)
{
    ASSERT_EQ(form().dpi(), 96);
    RECT client{};
    ::GetClientRect(form().handle(), &client);
    EXPECT_EQ(client.right, frmFileDefinition().clientWidth / 15);
    EXPECT_EQ(client.bottom, frmFileDefinition().clientHeight / 15);
    EXPECT_EQ(textOf(form().handle()), win32::widen(caption()));
    for (const auto& c : frmFileDefinition().controls) {
        HWND hwnd = control(c.name);
        ASSERT_NE(hwnd, nullptr) << c.name;
        EXPECT_EQ(::GetParent(hwnd), c.container != nullptr ? control(c.container) : form().handle())
            << c.name;
        RECT box{};
        ::GetWindowRect(hwnd, &box);
        ::MapWindowPoints(HWND_DESKTOP, ::GetParent(hwnd), reinterpret_cast<POINT*>(&box), 2);
        const auto& t = c.geometry;
        EXPECT_EQ(box.left, t.left / 15) << c.name;
        EXPECT_EQ(box.top, t.top / 15) << c.name;
        const int letters = static_cast<int>(std::string(c.caption).size());
        EXPECT_NEAR(box.right - box.left, t.width / 15, c.autoSize ? std::max(10, letters) : 0) << c.name;
        EXPECT_NEAR(box.bottom - box.top, t.height / 15, c.autoSize ? 3 : 0) << c.name;
        const bool inPanel = c.kind == runtime::ControlKind::Panel || c.container != nullptr;
        EXPECT_EQ(::IsWindowVisible(hwnd) != FALSE,
                  inPanel ? chosen && (c.container == nullptr || c.visible) : c.visible)
            << c.name;
        if (c.kind == runtime::ControlKind::Label) {
            EXPECT_EQ(textOf(hwnd), win32::widen(window->form().label(c.name).caption())) << c.name;
        } else if (c.kind == runtime::ControlKind::PushButton || c.kind == runtime::ControlKind::CheckBox) {
            EXPECT_EQ(textOf(hwnd), win32::widen(c.caption)) << c.name;
        }
    }
}

TEST_F(Win32Window, LaysOutTheDefinitionAt96DotsPerInchInBothStates)
{
    start();
    checkEveryControl(false);
    const LONG style = ::GetWindowLongW(form().handle(), GWL_STYLE);
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
    EXPECT_EQ(nameOf(::GetFocus()), "FileList1");

    clickRow(control("Dir1"), rowOf(control("Dir1"), L"downloads"), true);
    clickFile(L"Orvalis.ugx");
    checkEveryControl(true);
    EXPECT_EQ(textOf(control("picFileOpen")), L"Upgrade with this file...");
    // Where "OK" lies over the folder list, the panel and its button are what the mouse hits.
    RECT ok{};
    ::GetWindowRect(control("cmdOpenOK"), &ok);
    POINT overList{(ok.left + ok.right) / 2, (ok.top + ok.bottom) / 2};
    ::MapWindowPoints(HWND_DESKTOP, form().handle(), &overList, 1);
    RECT dir1{};
    ::GetWindowRect(control("Dir1"), &dir1);
    ::MapWindowPoints(HWND_DESKTOP, form().handle(), reinterpret_cast<POINT*>(&dir1), 2);
    ASSERT_TRUE(::PtInRect(&dir1, overList));
    HWND hit = ::ChildWindowFromPointEx(form().handle(), overList, CWP_SKIPINVISIBLE);
    ASSERT_EQ(hit, control("picFileOpen"));
    ::MapWindowPoints(form().handle(), hit, &overList, 1);
    EXPECT_EQ(::ChildWindowFromPointEx(hit, overList, CWP_SKIPINVISIBLE), control("cmdOpenOK"));
}

TEST_F(Win32Window, TabFollowsTheTabIndexesAndEnterOrEscapePressNothing)
{
    start();
    using Names = std::vector<std::string>;
    EXPECT_EQ(tabRound(false),
              (Names{"Dir1", "Drive1", "FileList1", "Dir1", "Drive1", "FileList1", "Dir1", "Drive1"}));

    ::SetFocus(control("FileList1"));
    press(toolkit, VK_SPACE); // selects the file: a click
    ASSERT_EQ(caption(), "Open... older.UGX");
    ::SetFocus(control("FileList1"));
    EXPECT_EQ(tabRound(true), (Names{"cmdOpenCancel", "cmdOpenBack", "cmdOpenOK", "picFileOpen", "Drive1",
                                     "Dir1", "FileList1", "cmdOpenCancel"}));
    EXPECT_EQ(tabRound(false), (Names{"FileList1", "Dir1", "Drive1", "picFileOpen", "cmdOpenOK",
                                      "cmdOpenBack", "cmdOpenCancel", "FileList1"}));

    for (const char* focus : {"FileList1", "Dir1", "picFileOpen"}) {
        ::SetFocus(control(focus));
        press(toolkit, VK_RETURN);
        press(toolkit, VK_ESCAPE);
        EXPECT_TRUE(window->form().isLoaded()) << focus;
        EXPECT_EQ(caption(), "Open... older.UGX") << focus;
        EXPECT_TRUE(::IsWindowVisible(control("picFileOpen"))) << focus;
    }
    EXPECT_EQ(toolkit.recorded.messages.size(), 1u); // the warning only: no upgrade was tried

    ::SetFocus(control("cmdOpenBack"));
    press(toolkit, VK_RETURN); // a focused button is pressed
    EXPECT_FALSE(::IsWindowVisible(control("picFileOpen")));
    EXPECT_EQ(caption(), "Open File From...");
    EXPECT_EQ(nameOf(::GetFocus()), "FileList1");           // the focus did not vanish with the panel
    ::SendMessageW(control("FileList1"), WM_CHAR, L'O', 0); // its first letter, in another case
    EXPECT_EQ(caption(), "Open... older.UGX");
}

TEST_F(Win32Window, AClickOnAFolderSelectsItADoubleClickOpensItEachOneAction)
{
    start();
    const std::string appText = testsupport::pathText(app);
    HWND dir1 = control("Dir1");
    const int row = rowOf(dir1, L"downloads");
    ASSERT_GE(row, 0);
    clickRow(dir1, row);
    EXPECT_EQ(window->form().folderList("Dir1").path(), appText); // a single click stays
    EXPECT_EQ(::SendMessageW(dir1, LB_GETCURSEL, 0, 0), row);

    const int readsBefore = files.calls(testsupport::Op::ListFolder);
    clickRow(dir1, row, true);
    EXPECT_EQ(window->form().folderList("Dir1").path(), appText + "\\downloads");
    EXPECT_EQ(rows(control("FileList1")), std::vector<std::wstring>{L"Orvalis.ugx"});
    // The click of the double click reads the folder shown, the opening the new one once.
    EXPECT_EQ(files.calls(testsupport::Op::ListFolder) - readsBefore, 2);
}

TEST_F(Win32Window, ScreenReadersReadTheRowsOfBothListsFromTheLists)
{
    writeFile(app / L"Mise \u00e0 jour.ugx", "another upgrade\n");
    start();
    HWND fileList = control("FileList1");
    EXPECT_EQ(readRows(fileList).names, (std::vector<std::wstring>{L"Mise \u00e0 jour.ugx", L"older.UGX"}));
    clickFile(L"older.UGX");
    const ReadRows read = readRows(fileList);
    ASSERT_EQ(read.states.size(), 2u);
    EXPECT_EQ(read.states[0] & STATE_SYSTEM_SELECTED, 0);
    EXPECT_NE(read.states[1] & STATE_SYSTEM_SELECTED, 0);
    const ReadRows folders = readRows(control("Dir1"));
    EXPECT_EQ(folders.names, rows(control("Dir1")));
    ASSERT_FALSE(folders.names.empty());
    EXPECT_EQ(folders.names.back(), L"folder.ugx");

    // The folder list is a tree: its rows say whether they are open and their level, and the
    // current folder's row, selected, is not focused while the file list has the focus.
    IAccessible* tree = accessibleOf(control("Dir1"));
    ASSERT_NE(tree, nullptr);
    const auto last = static_cast<LONG>(folders.names.size());
    EXPECT_EQ(asked(tree, CHILDID_SELF, &IAccessible::get_accRole), ROLE_SYSTEM_OUTLINE);
    EXPECT_EQ(asked(tree, last, &IAccessible::get_accRole), ROLE_SYSTEM_OUTLINEITEM);
    EXPECT_EQ(said(tree, 1, &IAccessible::get_accDescription), L"open, level 1");
    EXPECT_EQ(said(tree, last, &IAccessible::get_accDescription),
              L"closed, level " + std::to_wstring(last - 1));
    tree->Release();
    EXPECT_NE(folders.states[0] & STATE_SYSTEM_EXPANDED, 0);
    EXPECT_NE(folders.states.back() & STATE_SYSTEM_COLLAPSED, 0);
    const auto current = static_cast<std::size_t>(last - 3); // the application folder, above its two
    EXPECT_NE(folders.states[current] & STATE_SYSTEM_SELECTED, 0);
    EXPECT_EQ(folders.states[current] & STATE_SYSTEM_FOCUSED, 0);
    // The panel the click showed is a group, named by its label, holding its controls.
    IAccessible* panel = accessibleOf(control("picFileOpen"));
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(asked(panel, CHILDID_SELF, &IAccessible::get_accRole), ROLE_SYSTEM_GROUPING);
    EXPECT_EQ(said(panel, CHILDID_SELF, &IAccessible::get_accName), L"Upgrade with this file...");
    LONG children = 0;
    panel->get_accChildCount(&children);
    EXPECT_GE(children, 4);
    panel->Release();

    // The reader finds a row where it shows, and choosing a row is a click on it.
    IAccessible* object = accessibleOf(fileList);
    ASSERT_NE(object, nullptr);
    LONG x = 0, y = 0, width = 0, height = 0;
    EXPECT_EQ(object->accLocation(&x, &y, &width, &height, childId(2)), S_OK);
    VARIANT hit{};
    EXPECT_EQ(object->accHitTest(x + width / 2, y + height / 2, &hit), S_OK);
    EXPECT_EQ(hit.lVal, 2);
    EXPECT_EQ(object->accSelect(SELFLAG_TAKEFOCUS | SELFLAG_TAKESELECTION, childId(1)), S_OK);
    for (MSG msg; ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);)
        toolkit.handle(msg);
    EXPECT_EQ(caption(), "Open... Mise \xc3\xa0 jour.ugx");

    // Held past the window, the object reaches nothing.
    ::SendMessageW(control("cmdOpenCancel"), BM_CLICK, 0, 0);
    ASSERT_FALSE(::IsWindow(fileList));
    LONG count = 0;
    EXPECT_EQ(object->get_accChildCount(&count), RPC_E_DISCONNECTED);
    object->Release();
}

TEST_F(Win32Window, CancelAndTheTitleBarUnloadAndTheLoopEnds)
{
    start();
    clickFile(L"older.UGX");
    ::SendMessageW(control("cmdOpenCancel"), BM_CLICK, 0, 0);
    EXPECT_FALSE(window->form().isLoaded());

    start();
    ::SendMessageW(form().handle(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(window->form().isLoaded());
    EXPECT_EQ(toolkit.run(), 0); // nothing left to run
}

TEST_F(Win32Window, AnUnavailableDriveChosenInTheDropDownShowsTheFormerDriveAgain)
{
    files.addUnreadyDrive({"Q:", "Q:\\"});
    start();
    HWND drive1 = control("Drive1");
    auto& drives = static_cast<win32::DriveList&>(window->form().driveList("Drive1"));
    const int before = drives.selected();
    int q = -1;
    for (int row = 0; row < drives.count(); ++row) {
        if (drives.entryText(row) == L"q:")
            q = row;
    }
    ASSERT_GE(q, 0);
    ::SendMessageW(drive1, CB_SETCURSEL, static_cast<WPARAM>(q), 0);
    ::SendMessageW(form().handle(), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(drive1), CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(drive1));
    EXPECT_EQ(toolkit.recorded.messages.back(), "This Drive is currently unavailable.");
    EXPECT_EQ(drives.selected(), before);
}

// The real box, answered from a timer on this thread as a user would close it.
std::wstring g_seenText;
std::wstring g_seenCaption;
HICON g_seenIcon = nullptr;

void CALLBACK answerBox(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND box = ::FindWindowW(L"#32770", nullptr);
    if (box == nullptr || ::GetWindowThreadProcessId(box, nullptr) != ::GetCurrentThreadId())
        return;
    ::KillTimer(nullptr, timer);
    g_seenCaption = textOf(box);
    g_seenText = textOf(::GetDlgItem(box, 0xFFFF));
    // The picture in the body: the static control with id 20 on Windows, 0x440 under Wine.
    for (const int id : {20, 0x440}) {
        if (g_seenIcon == nullptr)
            g_seenIcon = reinterpret_cast<HICON>(::SendDlgItemMessageW(box, id, STM_GETICON, 0, 0));
    }
    ::SendMessageW(::GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
}

TEST(Dialogs, ShowAModalBoxWithTheApplicationsTitleAndTheSystemsPictureOfItsKind)
{
    int argc = 0;
    win32::Toolkit toolkit(argc, nullptr, testsupport::kProgram);
    const struct {
        runtime::MsgKind kind;
        const wchar_t* picture;
        const char* text;
    } boxes[] = {{runtime::MsgKind::Warning, IDI_WARNING, "This Drive is currently unavailable."},
                 {runtime::MsgKind::Information, IDI_INFORMATION, "Upgrade successful."}};
    for (const auto& box : boxes) {
        g_seenIcon = nullptr;
        ::SetTimer(nullptr, 0, 50, answerBox);
        toolkit.dialogs().msgBox(box.text, box.kind);
        EXPECT_EQ(g_seenCaption, L"Orvalis Upgrade");
        EXPECT_EQ(g_seenText, win32::widen(box.text));
        EXPECT_EQ(g_seenIcon, ::LoadIconW(nullptr, box.picture)) << box.text;
    }
}

TEST(Dialogs, WorkGivenToTheBoxRunsOnceWhileItShowsAndWhatItThrowsComesAfter)
{
    int argc = 0;
    win32::Toolkit toolkit(argc, nullptr, testsupport::kProgram);
    // Should the work wait for the box to go, the box goes after a while and the test fails.
    const UINT_PTR fallback = ::SetTimer(nullptr, 0, 3000, answerBox);
    int runs = 0;
    bool shown = false;
    toolkit.dialogs().msgBoxMeanwhile("text", runtime::MsgKind::Warning, [&] {
        ++runs;
        const HWND box = ::FindWindowW(L"#32770", nullptr);
        shown = box != nullptr && ::IsWindowVisible(box);
        ::SetTimer(nullptr, 0, 0, answerBox);
    });
    ::KillTimer(nullptr, fallback);
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(shown);
    bool thrownAfterTheBox = false;
    try {
        toolkit.dialogs().msgBoxMeanwhile("text", runtime::MsgKind::Warning, [] {
            ::SetTimer(nullptr, 0, 0, answerBox);
            throw std::runtime_error("no window");
        });
    } catch (const std::runtime_error&) {
        thrownAfterTheBox = ::FindWindowW(L"#32770", nullptr) == nullptr;
    }
    EXPECT_TRUE(thrownAfterTheBox);
}

} // namespace
