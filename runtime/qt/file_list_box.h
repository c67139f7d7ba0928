#pragma once

#include "row_list.h"
#include "runtime/actions.h"
#include "runtime/toolkit.h"

#include <string>
#include <vector>

namespace toolkit {

/// The file list: the files of one folder whose names match a pattern, sorted without
/// regard to letter case. Only regular files and links to them are listed, dot files not.
/// The pattern starts as "*", which matches every file.
///
/// A new path or pattern, or a refresh, marks the list out of date; it reads its folder
/// once, when the action ends, or when it is asked for its selection or entries first.
class FileListBox : public RowList, public runtime::FileList {
    Q_OBJECT

public:
    explicit FileListBox(runtime::Actions& actions, QWidget* parent = nullptr);

    std::string path() const override { return m_path; }
    std::string shownPath() const override { return m_shownPath; }
    std::string pattern() const { return m_pattern; }

    void setPath(const std::string& path) override;
    void setPattern(const std::string& pattern) override;
    void refresh() override;

    std::string fileName() override;
    void onClick(runtime::Event handler) override;
    void onReadFailed(ReadFailed handler) override;

    /// Reads the folder now if the list is out of date.
    void readIfStale();

signals:
    /// The user selected a file, by mouse or keys.
    void click();
    void readFailed(const std::string& path, int number, const std::string& description);

protected:
    QString rowText(int row) const override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void markStale();
    void load();
    std::string selectedName() const;

    runtime::Actions& m_actions;
    std::vector<std::string> m_names; ///< the bytes of each row's name
    std::string m_path;
    std::string m_shownPath;
    std::string m_pattern{"*"};
    std::string m_shownPattern{"*"};
    bool m_stale{false};
};

} // namespace toolkit
