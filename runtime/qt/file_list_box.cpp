#include "file_list_box.h"

#include "display_text.h"
#include "name_pattern.h"

#include <algorithm>
#include <vector>

#include <QKeyEvent>

namespace toolkit {

FileListBox::FileListBox(runtime::FileServices& files, QWidget* parent) : QListWidget(parent), m_files(files)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QListWidget::itemClicked, this, [this] { emit click(); });
}

void FileListBox::setPath(const std::string& path)
{
    load(TrimSeparator(path), m_pattern);
}

void FileListBox::setPattern(const std::string& pattern)
{
    if (m_path.empty())
        m_pattern = pattern;
    else
        load(m_path, pattern);
}

void FileListBox::refresh()
{
    if (!m_path.empty())
        load(m_path, m_pattern);
}

std::string FileListBox::fileName() const
{
    const QListWidgetItem* entry = currentItem();
    if (entry == nullptr || !entry->isSelected())
        return {};
    return entry->data(kNameRole).toByteArray().toStdString();
}

void FileListBox::keyPressEvent(QKeyEvent* event)
{
    // Selecting a file with the keys is a click, as with the mouse.
    const std::string before = fileName();
    const int row = currentRow();
    QListWidget::keyPressEvent(event);
    if (!fileName().empty() && (fileName() != before || currentRow() != row))
        emit click();
}

void FileListBox::load(const std::string& path, const std::string& pattern)
{
    auto entries = m_files.listFolder(path);
    std::vector<std::string> names;
    for (const auto& e : entries) {
        if (!e.folder && !e.hidden && MatchesPattern(e.name, pattern))
            names.push_back(e.name);
    }
    std::sort(names.begin(), names.end(), NameLess);

    m_path = path;
    m_pattern = pattern;
    clear();
    for (const auto& name : names) {
        const QByteArray bytes(name.data(), static_cast<qsizetype>(name.size()));
        auto* entry = new QListWidgetItem(DisplayText(name), this);
        entry->setData(kNameRole, bytes);
    }
}

} // namespace toolkit
