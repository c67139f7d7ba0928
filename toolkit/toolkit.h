#pragma once

#include "runtime/dialogs.h"
#include "runtime/failure.h"
#include "runtime/file_services.h"
#include "toolkit/form_definition.h"

#include <functional>
#include <memory>
#include <string>

namespace runtime {

class Actions;

/// An event of a control: runs the handler bound to it, if any.
using Event = std::function<void()>;

/// A control's operations that the window's code uses. Each toolkit implements them over
/// its own widgets; texts are UTF-8 bytes of program text or of file names.
class Label {
public:
    virtual ~Label() = default;
    virtual std::string caption() const = 0;
    virtual void setCaption(const std::string& text) = 0;
};

class PushButton {
public:
    virtual ~PushButton() = default;
    /// Pressed, by a click, or by Space or Enter while it has the focus.
    virtual void onClick(Event handler) = 0;
};

/// A picture box used as a panel: shown and hidden with everything in it.
class Panel {
public:
    virtual ~Panel() = default;
    virtual bool isShown() const = 0;
    virtual void show() = 0;
    virtual void hide() = 0;
};

/// The drive list. It starts on the drive of the folder the program was started in.
class DriveList {
public:
    virtual ~DriveList() = default;
    virtual Drive currentDrive() const = 0;
    /// Makes the drive that holds `path` current (only the drive at the start of the text
    /// counts). Raises the change event before returning when that is a different drive;
    /// setting the current drive raises nothing. A failure of the services propagates and
    /// leaves the list as it was.
    virtual void setDrive(const std::string& path) = 0;
    /// The current drive changed, by the user or by setDrive.
    virtual void onChange(Event handler) = 0;
};

/// The folder list: the folders from the top of the tree down to the current folder,
/// then its subfolders, indented. A click selects an entry (the path does not change); a
/// double click, or Enter on the selected entry, opens it.
class FolderList {
public:
    using OpenFailed = std::function<void(const std::string& path, const Failure& failure)>;

    virtual ~FolderList() = default;
    /// The current folder, without a trailing separator except at a root; "" before one is set.
    virtual std::string path() const = 0;
    /// Goes to `path` (a trailing separator is ignored), reading its subfolders, and raises
    /// the change event when that is a different folder. A folder that cannot be read
    /// fails and leaves the list as it was.
    virtual void setPath(const std::string& path) = 0;
    /// Goes to the drive's current folder, as setPath does.
    virtual void goToDrive(const Drive& drive) = 0;
    virtual void onChange(Event handler) = 0;
    virtual void onClick(Event handler) = 0;
    /// The user tried to open a folder that could not be read; the list stayed where it was.
    virtual void onOpenFailed(OpenFailed handler) = 0;
};

/// The file list: the files of one folder that match a pattern ("*" until set).
///
/// Setting the path or the pattern, and refreshing, only mark the list as out of date: it
/// reads its folder once, when the action that marked it has ended (see Actions), or
/// straight away when it is asked for its selection while out of date.
class FileList {
public:
    using ReadFailed = std::function<void(const std::string& path, const Failure& failure)>;

    virtual ~FileList() = default;
    /// The folder asked for last, without a trailing separator except at a root.
    virtual std::string path() const = 0;
    /// The folder whose files the list shows: path() once it has been read.
    virtual std::string shownPath() const = 0;
    virtual void setPath(const std::string& path) = 0;
    virtual void setPattern(const std::string& pattern) = 0;
    virtual void refresh() = 0;
    /// The bare name of the selected file, as bytes; "" when none is selected.
    virtual std::string fileName() = 0;
    /// The user selected a file, by mouse or keys.
    virtual void onClick(Event handler) = 0;
    /// Reading the folder failed; the list goes back to the folder it showed before.
    virtual void onReadFailed(ReadFailed handler) = 0;
};

/// A top-level window built from a definition.
class Form {
public:
    virtual ~Form() = default;

    virtual std::string caption() const = 0;
    virtual void setCaption(const std::string& text) = 0;

    /// The controls by the names of the definition. Asking for a name the definition does
    /// not give that kind throws std::out_of_range.
    virtual Label& label(const char* name) = 0;
    virtual PushButton& pushButton(const char* name) = 0;
    virtual Panel& panel(const char* name) = 0;
    virtual DriveList& driveList(const char* name) = 0;
    virtual FolderList& folderList(const char* name) = 0;
    virtual FileList& fileList(const char* name) = 0;

    /// Shows the window centred on the screen, the focus on the visible control with the
    /// lowest tab index that takes it.
    virtual void showCentred() = 0;
    /// Closes the window for good; when no window is left, Toolkit::run returns. Closing
    /// it by the title bar does the same, and runs no handler.
    virtual void unload() = 0;
    virtual bool isLoaded() const = 0;
};

/// A window toolkit: builds windows, shows messages and runs the program's events.
class Toolkit {
public:
    virtual ~Toolkit() = default;

    /// Builds a window, hidden. Its lists read folders through `actions`.
    virtual std::unique_ptr<Form> createForm(const FormDefinition& definition, Actions& actions) = 0;

    /// Message boxes and copy progress, over the window shown last.
    virtual Dialogs& dialogs() = 0;

    /// Delivers events, one at a time, until no window is loaded; returns the exit code.
    virtual int run() = 0;
};

/// What the toolkit shows of the program on its windows and boxes.
struct Program {
    const char* title{""};               ///< the caption of message boxes and of the copy's progress
    const char* version{""};             ///< as "1.00"
    const char* const* iconXpm{nullptr}; ///< the icon as an XPM image, for a toolkit that draws it
    int iconResource{0};                 ///< the icon's resource id, for one whose executable carries it
};

/// The toolkit this program was built with; each platform's toolkit defines it.
std::unique_ptr<Toolkit> createToolkit(int& argc, char** argv, const Program& program);

} // namespace runtime
