#pragma once

#include "toolkit/actions.h"
#include "toolkit/list_contents.h"
#include "toolkit/toolkit.h"

#include <functional>
#include <string>
#include <vector>

namespace runtime {

/// What every toolkit's folder list does the same way: the rows it shows for its folder,
/// going to a folder or a drive, and opening a row. `shown` gets the rows and the row of
/// the current folder after each read that succeeds.
class FolderListState {
public:
    using Shown = std::function<void(const std::vector<FolderRow>& rows, int current)>;

    FolderListState(Actions& actions, Shown shown)
        : change(actions), click(actions), openFailed(actions), m_actions(actions), m_shown(std::move(shown))
    {}
    FolderListState(const FolderListState&) = delete;
    FolderListState& operator=(const FolderListState&) = delete;

    std::string path() const { return m_path; }
    const std::vector<FolderRow>& rows() const { return m_rows; }
    /// The full path of the folder in `row`; "" when there is no such row.
    std::string entryPath(int row) const;

    /// Goes to `path` (a trailing separator is ignored), reading its subfolders, and raises
    /// change when that is a different folder. A folder that cannot be read fails and
    /// leaves the list as it was.
    void setPath(const std::string& path);
    /// Goes to the drive's current folder, as setPath does.
    void goToDrive(const Drive& drive);
    /// The user opened `row`, by a double click or Enter: one action, whose file list
    /// shares the read. A folder that cannot be read raises openFailed instead, and then the
    /// current folder is read again, so a folder deleted meanwhile leaves the list.
    void open(int row);

    UserEvent<> change;
    UserEvent<> click;
    UserEvent<const std::string&, const Failure&> openFailed;

private:
    Actions& m_actions;
    Shown m_shown;
    std::string m_path;
    std::vector<FolderRow> m_rows;
};

} // namespace runtime
