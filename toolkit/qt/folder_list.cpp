#include "folder_list.h"

#include "display_text.h"
#include "pictures.h"
#include "runtime/failure.h"
#include "toolkit/list_contents.h"

#include <algorithm>

#include <QEvent>
#include <QKeyEvent>
#include <QStyle>
#include <QStyledItemDelegate>

namespace qt {

namespace {

constexpr int kIndent = 10;

// Shifts each entry right by its depth, so the list reads as a tree, and gives it the open
// or closed folder picture, both taken from the list's rows.
class IndentDelegate : public QStyledItemDelegate {
public:
    explicit IndentDelegate(FolderList* list)
        : QStyledItemDelegate(list), m_list(list), m_open(PictureIcon(runtime::Picture::FolderOpen)),
          m_closed(PictureIcon(runtime::Picture::FolderClosed))
    {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem shifted(option);
        shifted.rect.adjust(indent(index), 0, 0, 0);
        QStyledItemDelegate::paint(painter, shifted, index);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        return QStyledItemDelegate::sizeHint(option, index) + QSize(indent(index), 0);
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->icon = m_list->entryOpen(index.row()) ? m_open : m_closed;
        option->features |= QStyleOptionViewItem::HasDecoration;
        const int side = m_list->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, m_list);
        option->decorationSize = QSize(side, side);
    }

private:
    int indent(const QModelIndex& index) const { return m_list->entryLevel(index.row()) * kIndent; }

    FolderList* m_list;
    QIcon m_open;
    QIcon m_closed;
};

} // namespace

FolderList::FolderList(runtime::Actions& actions, QWidget* parent)
    : RowList(parent), m_state(actions, [this](const auto& rows, int current) { showRows(rows, current); })
{
    setItemDelegate(new IndentDelegate(this));
    connect(this, &RowList::rowClicked, this, [this] { m_state.click.raise(); });
    connect(this, &RowList::rowDoubleClicked, this, [this](int row) { m_state.open(row); });
}

int FolderList::entryLevel(int row) const
{
    return row >= 0 && static_cast<std::size_t>(row) < m_rows.size()
               ? m_rows[static_cast<std::size_t>(row)].level
               : 0;
}

bool FolderList::entryOpen(int row) const
{
    return row >= 0 && static_cast<std::size_t>(row) < m_rows.size() &&
           m_rows[static_cast<std::size_t>(row)].open;
}

void FolderList::keyPressEvent(QKeyEvent* event)
{
    // Enter opens the selected folder, as a double click does, so the keyboard alone can
    // browse. The key goes no further: it presses no button.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (selectedRow() >= 0)
            m_state.open(selectedRow());
        event->accept();
        return;
    }
    const int before = currentRow();
    takeTypedRow();
    RowList::keyPressEvent(event);
    if (currentRow() != before || takeTypedRow()) // a typed letter is a click, as on Windows
        m_state.click.raise();
}

void FolderList::showRows(const std::vector<runtime::FolderRow>& rows, int current)
{
    replaceRows([&] {
        m_rows = rows;
        return static_cast<int>(m_rows.size());
    });
    // The current folder is the highlighted entry, as long as the user has not picked another.
    setCurrentRow(current);
}

QString FolderList::rowDescription(int row) const
{
    return row >= 0 && static_cast<std::size_t>(row) < m_rows.size()
               ? QString::fromUtf8(runtime::FolderRowDescription(m_rows[static_cast<std::size_t>(row)]))
               : QString();
}

QString FolderList::rowText(int row) const
{
    return DisplayText(m_rows[static_cast<std::size_t>(row)].label);
}

} // namespace qt
