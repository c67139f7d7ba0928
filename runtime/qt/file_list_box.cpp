#include "file_list_box.h"

#include "display_text.h"
#include "runtime/list_contents.h"

#include <QEvent>
#include <QKeyEvent>

namespace toolkit {

FileListBox::FileListBox(runtime::Actions& actions, QWidget* parent) : RowList(parent), m_actions(actions)
{
    connect(this, &RowList::rowClicked, this, [this] { emit click(); });
}

void FileListBox::setPath(const std::string& path)
{
    m_path = runtime::TrimSeparator(path);
    markStale();
}

void FileListBox::setPattern(const std::string& pattern)
{
    m_pattern = pattern;
    markStale();
}

void FileListBox::refresh()
{
    markStale();
}

std::string FileListBox::fileName()
{
    readIfStale();
    return selectedName();
}

void FileListBox::onClick(runtime::Event handler)
{
    connect(this, &FileListBox::click, this, [handler = std::move(handler)] { handler(); });
}

void FileListBox::onReadFailed(ReadFailed handler)
{
    connect(
        this, &FileListBox::readFailed, this,
        [handler = std::move(handler)](const std::string& path, int number, const std::string& description) {
            handler(path, runtime::Failure(number, description));
        });
}

void FileListBox::readIfStale()
{
    if (m_stale)
        load();
}

void FileListBox::keyPressEvent(QKeyEvent* event)
{
    // Moving with the keys selects, as a click does; a single entry that has the focus
    // but no selection is selected by Up or Down as well.
    const std::string before = selectedName();
    const int row = currentRow();
    RowList::keyPressEvent(event);
    const bool arrow = event->key() == Qt::Key_Up || event->key() == Qt::Key_Down;
    if (arrow && selectedRow() < 0)
        selectCurrentRow();
    const std::string after = selectedName();
    if (!after.empty() && (after != before || currentRow() != row))
        emit click();
}

void FileListBox::markStale()
{
    // Before a path is set there is nothing to read.
    if (m_path.empty())
        return;
    m_stale = true;
    m_actions.defer(this, [this] { readIfStale(); });
}

void FileListBox::load()
{
    m_stale = false;
    std::vector<std::string> names;
    try {
        names = runtime::FileNames(*m_actions.listFolder(m_path), m_pattern);
    } catch (const runtime::Failure& failure) {
        const std::string failed = m_path;
        // The list goes back to what it shows, which is still on the screen.
        m_path = m_shownPath;
        m_pattern = m_shownPattern;
        emit readFailed(failed, failure.number(), failure.description());
        return;
    }
    m_shownPath = m_path;
    m_shownPattern = m_pattern;
    replaceRows([&] {
        m_names = std::move(names);
        return static_cast<int>(m_names.size());
    });
}

QString FileListBox::rowText(int row) const
{
    return DisplayText(m_names[static_cast<std::size_t>(row)]);
}

std::string FileListBox::selectedName() const
{
    const int row = selectedRow();
    if (row < 0 || static_cast<std::size_t>(row) >= m_names.size())
        return {};
    return m_names[static_cast<std::size_t>(row)];
}

} // namespace toolkit
