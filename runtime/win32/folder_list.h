#pragma once

#include "row_list.h"
#include "runtime/actions.h"
#include "runtime/list_contents.h"
#include "runtime/toolkit.h"

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
        : RowList(definition, palette, container), m_actions(actions)
    {}

    bool build(HWND parent, int id) override;
    bool takesFocus() const override { return true; }
    void layout(int dpi, HFONT font) override;

    std::string path() const override { return m_path; }
    void setPath(const std::string& path) override;
    void goToDrive(const runtime::Drive& drive) override;
    void onChange(runtime::Event handler) override { m_change = std::move(handler); }
    void onClick(runtime::Event handler) override { setClickHandler(std::move(handler)); }
    void onOpenFailed(OpenFailed handler) override { m_openFailed = std::move(handler); }

    /// The full path of the entry in `row`, or "".
    std::string entryPath(int row) const;

protected:
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool onNotification(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    int rowCount() const override { return static_cast<int>(m_rows.size()); }
    const std::string& rowLabel(int row) const override
    {
        return m_rows[static_cast<std::size_t>(row)].label;
    }
    void fill(const std::string& path, const std::vector<runtime::FolderEntry>& entries);
    void open(int row);
    void onDrawItem(const DRAWITEMSTRUCT& item);

    runtime::Actions& m_actions;
    std::string m_path;
    std::vector<runtime::FolderRow> m_rows;
    runtime::Event m_change;
    OpenFailed m_openFailed;
    HIMAGELIST m_icons{nullptr}; ///< the system's small icons: shared, never freed here
    int m_closedIcon{-1};
    int m_openIcon{-1};
    int m_indent{10};
    bool m_pressed{false};   ///< a mouse button is down on the list: the release is the click
    bool m_afterOpen{false}; ///< the release that ends a double click is no click
};

} // namespace win32
