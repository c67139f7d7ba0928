#pragma once

#include "row_list.h"
#include "runtime/actions.h"
#include "runtime/file_services.h"
#include "runtime/list_contents.h"
#include "runtime/toolkit.h"

#include <string>
#include <vector>

namespace toolkit {

/// The folder list: the folders from the top of the tree down to the current folder, then
/// the current folder's subfolders, indented like a tree and sorted without regard to
/// letter case. Dot folders are left out.
///
/// A single click selects an entry and raises click() with the path unchanged; a double
/// click opens it, which changes the path and raises change(). With the keys, moving to an
/// entry is a click and Enter opens it.
class FolderListBox : public RowList, public runtime::FolderList {
    Q_OBJECT

public:
    explicit FolderListBox(runtime::Actions& actions, QWidget* parent = nullptr);

    /// The current folder, without a trailing separator except at a root; "" before one is set.
    std::string path() const override { return m_path; }

    /// Goes exactly to `path` (a trailing separator is ignored), reading its subfolders
    /// afresh, and raises change() before returning when that is a different folder. When the folder cannot
    /// be read the failure propagates and the list stays as it was.
    void setPath(const std::string& path) override;

    /// Goes to the drive's current folder, as setPath does. Fails as the services do, with
    /// 71 "Disk not ready" for a drive that is not there.
    void goToDrive(const runtime::Drive& drive) override;

    void onChange(runtime::Event handler) override;
    void onClick(runtime::Event handler) override;
    void onOpenFailed(OpenFailed handler) override;

    /// The bytes of the entry at `row`'s folder path; "" when there is no such row.
    std::string entryPath(int row) const;
    /// How deep the entry at `row` sits in the tree, 0 for the top.
    int entryLevel(int row) const;
    /// Whether the entry at `row` is the top or a folder down to the current one.
    bool entryOpen(int row) const;

signals:
    /// The path changed, by a double click or by the program.
    void change();
    /// The user selected an entry; the path did not change.
    void click();
    /// A double click could not open a folder. The list stays where it was.
    void openFailed(const std::string& path, int number, const std::string& description);

protected:
    QString rowText(int row) const override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void fill(const std::string& path, const std::vector<runtime::FolderEntry>& entries);
    void open(int row);

    runtime::Actions& m_actions;
    std::vector<runtime::FolderRow> m_rows; ///< one a row
    std::string m_path;
};

} // namespace toolkit
