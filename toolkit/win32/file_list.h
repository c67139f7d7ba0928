#pragma once

#include "row_list.h"
#include "toolkit/actions.h"
#include "toolkit/file_list_state.h"
#include "toolkit/toolkit.h"

#include <string>
#include <vector>

namespace win32 {

/// The file list: a list box of the files of one folder that match a pattern. It reads its
/// folder once the action that changed its path, pattern or contents has ended, or when it
/// is asked for its selection before then. The names keep their bytes; the list box holds
/// only their count and draws the rows it shows from them, so a folder of many files fills
/// at once. Typing a letter selects the next name that starts with it.
class FileList : public RowList, public runtime::FileList {
public:
    FileList(const runtime::ControlDefinition& definition, Palette& palette, Control* container,
             runtime::Actions& actions)
        : RowList(definition, palette, container),
          m_state(actions, [this](std::vector<std::string> names) { fill(std::move(names)); })
    {
        setClickEvent(m_state.click);
    }

    void layout(int dpi, HFONT font) override;

    std::string path() const override { return m_state.path(); }
    std::string shownPath() const override { return m_state.shownPath(); }
    void setPath(const std::string& path) override { m_state.setPath(path); }
    void setPattern(const std::string& pattern) override { m_state.setPattern(pattern); }
    void refresh() override { m_state.refresh(); }
    std::string fileName() override;
    void onClick(runtime::Event handler) override { m_state.click.bind(std::move(handler)); }
    void onReadFailed(ReadFailed handler) override { m_state.readFailed.bind(std::move(handler)); }

protected:
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    int rowCount() const override { return static_cast<int>(m_names.size()); }
    const std::string& rowLabel(int row) const override { return m_names[static_cast<std::size_t>(row)]; }
    void fill(std::vector<std::string> names);
    void onKeyDown(WPARAM key);
    void onDrawItem(const DRAWITEMSTRUCT& item) override;

    std::vector<std::string> m_names; ///< the entries' bytes, row by row
    runtime::FileListState m_state;
};

} // namespace win32
