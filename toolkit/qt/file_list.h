#pragma once

#include "row_list.h"
#include "toolkit/actions.h"
#include "toolkit/file_list_state.h"
#include "toolkit/toolkit.h"

#include <string>
#include <vector>

namespace qt {

/// The file list: the files of one folder whose names match a pattern, sorted without
/// regard to letter case. Only regular files and links to them are listed, dot files not.
/// The pattern starts as "*", which matches every file.
///
/// A new path or pattern, or a refresh, marks the list out of date; it reads its folder
/// once, when the action ends, or when it is asked for its selection or entries first.
class FileList : public RowList, public runtime::FileList {
    Q_OBJECT

public:
    explicit FileList(runtime::Actions& actions, QWidget* parent = nullptr);

    std::string path() const override { return m_state.path(); }
    std::string shownPath() const override { return m_state.shownPath(); }
    std::string pattern() const { return m_state.pattern(); }

    void setPath(const std::string& path) override { m_state.setPath(path); }
    void setPattern(const std::string& pattern) override { m_state.setPattern(pattern); }
    void refresh() override { m_state.refresh(); }

    std::string fileName() override;
    void onClick(runtime::Event handler) override { m_state.click.bind(std::move(handler)); }
    void onReadFailed(ReadFailed handler) override { m_state.readFailed.bind(std::move(handler)); }

protected:
    QString rowText(int row) const override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showNames(std::vector<std::string> names);
    std::string selectedName() const;

    std::vector<std::string> m_names; ///< the bytes of each row's name
    runtime::FileListState m_state;
};

} // namespace qt
