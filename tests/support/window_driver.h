#pragma once

#include "support/app_folders.h"
#include "support/recording_dialogs.h"
#include "window/frm_file.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

/// A place in pixels: a control's in its container's client area, or in the window's.
struct Box {
    int left{0};
    int top{0};
    int width{0};
    int height{0};
    bool operator==(const Box&) const = default;
    bool contains(int x, int y) const
    {
        return x >= left && x < left + width && y >= top && y < top + height;
    }
};

/// The font a control draws with.
struct FontSeen {
    std::string face;
    double points{0};
    int weight{0}; ///< 400 regular, 700 bold
    bool italicOrUnderlined{false};
};

/// What a screen reader is told an object is.
enum class Role { Grouping, List, ListItem, Tree, TreeItem, Other };

/// What a screen reader reads of a row of a list.
struct RowRead {
    std::string name;
    std::string description;
    Role role{Role::Other};
    bool selected{false};
    bool focused{false};
    bool expanded{false};
    bool collapsed{false};
};

/// A message box as the user sees it.
struct BoxSeen {
    std::string title;
    std::string text;                        ///< a line break as "\n"
    std::optional<runtime::MsgKind> picture; ///< the system's picture of that kind, or none
    int buttons{0};
};

enum class Key { Tab, BackTab, Down, Space, Return, Enter, Escape, LetterO };

/// The real window frmFile on one toolkit, on the application folder "app" of AppFolders,
/// driven as a user drives it and read as a screen reader reads it. Controls go by their
/// names in the definition; "" names none (the window itself where a place is asked).
/// Each toolkit's tests give one (makeWindowDriver); test_toolkit_window.cpp holds the
/// promises every toolkit keeps.
class WindowDriver : public AppFolders {
public:
    virtual ~WindowDriver() = default;

    /// Makes the window, loads it and shows it, as the program's start does.
    void start()
    {
        window = std::make_unique<frmFile>(toolkit(), files, dialogs);
        window->load();
        window->show();
        shown();
    }

    virtual runtime::Toolkit& toolkit() = 0;

    virtual Box client() = 0;        ///< the window's client area
    virtual bool fixedFrame() = 0;   ///< no resizing, minimise or maximise; a close box
    virtual std::string title() = 0; ///< what its title bar shows
    virtual std::string containerOf(const char* control) = 0; ///< "" for the window, "?" for no such control
    virtual Box box(const char* control) = 0;                 ///< in its container
    virtual Box boxInWindow(const char* control) = 0;
    virtual bool visible(const char* control) = 0;
    virtual std::string text(const char* control) = 0; ///< what it shows, a line break as "\n"
    virtual FontSeen font(const char* control) = 0;
    /// The control the mouse hits at the centre of `control`.
    virtual std::string hitAtCentreOf(const char* control) = 0;

    virtual std::string focused() = 0;
    virtual void focus(const char* control) = 0;
    /// A key to the control with the focus, through the program's key handling.
    virtual void press(Key key) = 0;
    virtual void clickButton(const char* control) = 0;
    /// A click on the window where the centre of `control` lies.
    virtual void clickCentreOf(const char* control) = 0;
    virtual std::vector<std::string> rows(const char* list) = 0; ///< what the list shows
    virtual int selectedRow(const char* list) = 0;
    /// A click near the left end of a row, where the panel never covers the folder list; twice
    /// is what the system delivers for a double click: a click, then the double click.
    virtual void mouseOnRow(const char* list, int row, bool twice) = 0;
    void clickRow(const char* list, int row) { mouseOnRow(list, row, false); }
    void doubleClickRow(const char* list, int row) { mouseOnRow(list, row, true); }

    virtual std::string accessibleName(const char* control) = 0;
    virtual Role role(const char* control) = 0;
    virtual bool readAsInvisible(const char* control) = 0;
    virtual std::vector<RowRead> readRows(const char* list) = 0;

    /// What the title bar's close button does.
    virtual void closeByTitleBar() = 0;
    /// Runs the toolkit's loop with `action` as the first thing the user does; true when the
    /// loop ended, within seconds, because the last window went.
    virtual bool loopEndsAfter(const std::function<void()>& action) = 0;

    /// Once one of this program's message boxes shows, `afterMs` from now at the soonest,
    /// reads it into `seen` (if given) and presses its button, as a user would.
    virtual void answerABox(int afterMs, BoxSeen* seen) = 0;
    virtual bool aBoxShows() = 0;

    int rowOf(const char* list, const std::string& text)
    {
        const auto all = rows(list);
        for (std::size_t row = 0; row < all.size(); ++row) {
            if (all[row] == text)
                return static_cast<int>(row);
        }
        return -1;
    }

    RecordingDialogs dialogs;
    std::unique_ptr<frmFile> window;

protected:
    virtual void shown() {}
};

/// The driver of the toolkit this build draws with.
std::unique_ptr<WindowDriver> makeWindowDriver();

} // namespace testsupport
