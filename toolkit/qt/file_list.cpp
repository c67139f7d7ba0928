#include "file_list.h"

#include "display_text.h"

#include <QEvent>
#include <QKeyEvent>

namespace qt {

FileList::FileList(runtime::Actions& actions, QWidget* parent)
    : RowList(parent),
      m_state(actions, [this](std::vector<std::string> names) { showNames(std::move(names)); })
{
    connect(this, &RowList::rowClicked, this, [this] { m_state.click.raise(); });
}

std::string FileList::fileName()
{
    m_state.readIfStale();
    return selectedName();
}

void FileList::keyPressEvent(QKeyEvent* event)
{
    // Moving with the keys selects, as a click does; a single entry that has the focus
    // but no selection is selected by Up or Down as well, and Space or a typed letter is a
    // click on the entry it leaves selected (after "Return to List" the keys can choose the
    // only file again).
    const std::string before = selectedName();
    const int row = currentRow();
    takeTypedRow();
    RowList::keyPressEvent(event);
    const bool typed = takeTypedRow();
    const bool arrow = event->key() == Qt::Key_Up || event->key() == Qt::Key_Down;
    if (arrow && selectedRow() < 0)
        selectCurrentRow();
    const std::string after = selectedName();
    if (!after.empty() && (after != before || currentRow() != row || event->key() == Qt::Key_Space || typed))
        m_state.click.raise();
}

void FileList::showNames(std::vector<std::string> names)
{
    replaceRows([&] {
        m_names = std::move(names);
        return static_cast<int>(m_names.size());
    });
}

QString FileList::rowText(int row) const
{
    return DisplayText(m_names[static_cast<std::size_t>(row)]);
}

std::string FileList::selectedName() const
{
    const int row = selectedRow();
    if (row < 0 || static_cast<std::size_t>(row) >= m_names.size())
        return {};
    return m_names[static_cast<std::size_t>(row)];
}

} // namespace qt
