#include "folder_list_box.h"

#include "display_text.h"
#include "runtime/failure.h"
#include "runtime/list_contents.h"

#include <algorithm>

#include <QEvent>
#include <QKeyEvent>
#include <QStyle>
#include <QStyledItemDelegate>

namespace toolkit {

namespace {

constexpr int kIndent = 10;

// Shifts each entry right by its depth, so the list reads as a tree, and gives it the open
// or closed folder picture, both taken from the list's rows.
class IndentDelegate : public QStyledItemDelegate {
public:
    explicit IndentDelegate(FolderListBox* list)
        : QStyledItemDelegate(list), m_list(list),
          m_open(list->style()->standardIcon(QStyle::SP_DirOpenIcon)),
          m_closed(list->style()->standardIcon(QStyle::SP_DirClosedIcon))
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

    FolderListBox* m_list;
    QIcon m_open;
    QIcon m_closed;
};

} // namespace

FolderListBox::FolderListBox(runtime::Actions& actions, QWidget* parent) : RowList(parent), m_actions(actions)
{
    setItemDelegate(new IndentDelegate(this));
    connect(this, &RowList::rowClicked, this, [this] { emit click(); });
    connect(this, &RowList::rowDoubleClicked, this, &FolderListBox::open);
}

void FolderListBox::setPath(const std::string& path)
{
    const std::string target = runtime::TrimSeparator(path);
    const auto entries = m_actions.listFolder(target);
    const bool changed = target != m_path;
    fill(target, *entries);
    if (changed)
        emit change();
}

void FolderListBox::goToDrive(const runtime::Drive& drive)
{
    setPath(m_actions.files().driveCurrentFolder(drive));
}

void FolderListBox::onChange(runtime::Event handler)
{
    connect(this, &FolderListBox::change, this, [handler = std::move(handler)] { handler(); });
}

void FolderListBox::onClick(runtime::Event handler)
{
    connect(this, &FolderListBox::click, this, [handler = std::move(handler)] { handler(); });
}

void FolderListBox::onOpenFailed(OpenFailed handler)
{
    connect(
        this, &FolderListBox::openFailed, this,
        [handler = std::move(handler)](const std::string& path, int number, const std::string& description) {
            handler(path, runtime::Failure(number, description));
        });
}

std::string FolderListBox::entryPath(int row) const
{
    return row >= 0 && static_cast<std::size_t>(row) < m_rows.size()
               ? m_rows[static_cast<std::size_t>(row)].path
               : std::string();
}

int FolderListBox::entryLevel(int row) const
{
    return row >= 0 && static_cast<std::size_t>(row) < m_rows.size()
               ? m_rows[static_cast<std::size_t>(row)].level
               : 0;
}

bool FolderListBox::entryOpen(int row) const
{
    return row >= 0 && static_cast<std::size_t>(row) < m_rows.size() &&
           m_rows[static_cast<std::size_t>(row)].open;
}

void FolderListBox::keyPressEvent(QKeyEvent* event)
{
    // Enter opens the selected folder, as a double click does, so the keyboard alone can
    // browse. The key goes no further: it presses no button.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (selectedRow() >= 0)
            open(selectedRow());
        event->accept();
        return;
    }
    const int before = currentRow();
    RowList::keyPressEvent(event);
    if (currentRow() != before)
        emit click();
}

void FolderListBox::fill(const std::string& path, const std::vector<runtime::FolderEntry>& entries)
{
    auto rows = runtime::FolderRows(path, entries);
    int current = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].open)
            current = static_cast<int>(i);
    }
    m_path = path;
    replaceRows([&] {
        m_rows = std::move(rows);
        return static_cast<int>(m_rows.size());
    });
    // The current folder is the highlighted entry, as long as the user has not picked another.
    setCurrentRow(current);
}

QString FolderListBox::rowText(int row) const
{
    return DisplayText(m_rows[static_cast<std::size_t>(row)].label);
}

void FolderListBox::open(int row)
{
    const std::string target = entryPath(row);
    // Opening a folder is one action: the file list that follows shares this read.
    runtime::Actions::Scope action(m_actions);
    try {
        setPath(target);
    } catch (const runtime::Failure& failure) {
        emit openFailed(target, failure.number(), failure.description());
    }
}

} // namespace toolkit
