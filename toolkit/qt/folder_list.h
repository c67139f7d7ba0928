#pragma once

#include "row_list.h"
#include "runtime/file_services.h"
#include "toolkit/actions.h"
#include "toolkit/folder_list_state.h"
#include "toolkit/list_contents.h"
#include "toolkit/toolkit.h"

#include <string>
#include <vector>

namespace qt {

/// The folder list: the folders from the top of the tree down to the current folder, then
/// the current folder's subfolders, indented like a tree and sorted without regard to
/// letter case. Dot folders are left out.
///
/// A single click selects an entry and raises click() with the path unchanged; a double
/// click opens it, which changes the path and raises change(). With the keys, moving to an
/// entry is a click and Enter opens it.
class FolderList : public RowList, public runtime::FolderList {
    Q_OBJECT

public:
    explicit FolderList(runtime::Actions& actions, QWidget* parent = nullptr);

    std::string path() const override { return m_state.path(); }
    void setPath(const std::string& path) override { m_state.setPath(path); }
    void goToDrive(const runtime::Drive& drive) override { m_state.goToDrive(drive); }
    void onChange(runtime::Event handler) override { m_state.change.bind(std::move(handler)); }
    void onClick(runtime::Event handler) override { m_state.click.bind(std::move(handler)); }
    void onOpenFailed(OpenFailed handler) override { m_state.openFailed.bind(std::move(handler)); }

    /// The bytes of the entry at `row`'s folder path; "" when there is no such row.
    std::string entryPath(int row) const { return m_state.entryPath(row); }
    /// How deep the entry at `row` sits in the tree, 0 for the top.
    int entryLevel(int row) const;
    /// Whether the entry at `row` is the top or a folder down to the current one.
    bool entryOpen(int row) const;

    bool isTree() const override { return true; }
    bool rowOpen(int row) const override { return entryOpen(row); }
    QString rowDescription(int row) const override;

protected:
    QString rowText(int row) const override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showRows(const std::vector<runtime::FolderRow>& rows, int current);

    std::vector<runtime::FolderRow> m_rows; ///< one a row, as shown
    runtime::FolderListState m_state;
};

} // namespace qt
