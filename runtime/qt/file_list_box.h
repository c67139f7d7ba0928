#pragma once

#include "runtime/file_services.h"

#include <string>

#include <QListWidget>

namespace toolkit {

/// The file list: the files of one folder whose names match a pattern, sorted without
/// regard to letter case. Only regular files and links to them are listed, dot files not.
/// The pattern starts as "*", which matches every file.
class FileListBox : public QListWidget {
    Q_OBJECT

public:
    /// Item data: the file's bare name, as a QByteArray.
    static constexpr int kNameRole = Qt::UserRole;

    explicit FileListBox(runtime::FileServices& files, QWidget* parent = nullptr);

    /// The folder shown, without a trailing separator except at a root; "" before one is set.
    std::string path() const { return m_path; }
    std::string pattern() const { return m_pattern; }

    /// Shows the files of `path` (a trailing separator is ignored). Each of these three
    /// reads the folder; when it cannot be read the failure propagates and the list keeps
    /// its path, pattern and entries. Before a path is set nothing is read.
    void setPath(const std::string& path);
    void setPattern(const std::string& pattern);
    void refresh();

    /// The bare name of the selected file, as bytes; "" when none is selected.
    std::string fileName() const;

signals:
    /// The user selected a file, by mouse or keys.
    void click();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void load(const std::string& path, const std::string& pattern);

    runtime::FileServices& m_files;
    std::string m_path;
    std::string m_pattern{"*"};
};

} // namespace toolkit
