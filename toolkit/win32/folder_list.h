#pragma once

#include "row_list.h"
#include "toolkit/actions.h"
#include "toolkit/folder_list_state.h"
#include "toolkit/list_contents.h"
#include "toolkit/toolkit.h"

#include <commctrl.h>
#include <string>
#include <vector>

namespace win32 {

/// The folder list: an owner-drawn list box of the folders from the root down to the
/// current one, open, then its subfolders, closed, each indented by its level beside its
/// folder picture. A click or an arrow key selects an entry; a double click, or Enter on
/// the selected entry, opens it; a typed letter selects the next entry that starts with it.
/// The list box holds only the number of rows: each is drawn from the rows kept here.
class FolderList : public RowList, public runtime::FolderList {
public:
    FolderList(const runtime::ControlDefinition& definition, Palette& palette, Control* container,
               runtime::Actions& actions)
        : RowList(definition, palette, container),
          m_state(actions, [this](const auto& rows, int current) { showRows(rows.size(), current); })
    {
        setClickEvent(m_state.click, true);
    }

    bool build(HWND parent, int id) override;
    void layout(int dpi, HFONT font) override;

    std::string path() const override { return m_state.path(); }
    void setPath(const std::string& path) override { m_state.setPath(path); }
    void goToDrive(const runtime::Drive& drive) override { m_state.goToDrive(drive); }
    void onChange(runtime::Event handler) override { m_state.change.bind(std::move(handler)); }
    void onClick(runtime::Event handler) override { m_state.click.bind(std::move(handler)); }
    void onOpenFailed(OpenFailed handler) override { m_state.openFailed.bind(std::move(handler)); }

    /// The full path of the entry in `row`, or "".
    std::string entryPath(int row) const { return m_state.entryPath(row); }

protected:
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool onNotification(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    int rowCount() const override { return static_cast<int>(m_state.rows().size()); }
    const std::string& rowLabel(int row) const override
    {
        return m_state.rows()[static_cast<std::size_t>(row)].label;
    }
    bool isTree() const override { return true; }
    bool rowOpen(int row) const override { return m_state.rows()[static_cast<std::size_t>(row)].open; }
    std::wstring rowDescription(int row) const override;
    void onDrawItem(const DRAWITEMSTRUCT& item) override;

    runtime::FolderListState m_state;
    HIMAGELIST m_icons{nullptr}; ///< the program's pictures: shared, never freed here
    int m_indent{10};
};

} // namespace win32
