#include "file_list_box.h"

#include "display_text.h"

#include <QEvent>
#include <QKeyEvent>

namespace toolkit {

FileListBox::FileListBox(runtime::Actions& actions, QWidget* parent)
    : RowList(parent), m_state(
                           actions, [this](std::vector<std::string> names) { showNames(std::move(names)); },
                           [this](const std::string& path, const runtime::Failure& failure) {
                               emit readFailed(path, failure.number(), failure.description());
                           })
{
    connect(this, &RowList::rowClicked, this, [this] { emit click(); });
}

std::string FileListBox::fileName()
{
    m_state.readIfStale();
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

void FileListBox::showNames(std::vector<std::string> names)
{
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
