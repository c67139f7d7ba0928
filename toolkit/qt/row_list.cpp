#include "row_list.h"

#include "accessible.h"
#include "focus_frame.h"
#include "toolkit/list_contents.h"

#include <QAbstractListModel>

namespace qt {

class RowList::Rows : public QAbstractListModel {
public:
    explicit Rows(RowList* list) : QAbstractListModel(list), m_list(list) {}

    int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : m_count; }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || index.row() >= m_count)
            return {};
        if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
            return m_list->rowText(index.row());
        return {};
    }

    void replace(const std::function<int()>& rows)
    {
        beginResetModel();
        m_count = rows();
        endResetModel();
    }

private:
    RowList* m_list;
    int m_count{0};
};

RowList::RowList(QWidget* parent) : QListView(parent), m_rows(new Rows(this))
{
    InstallAccessibleFactory();
    setModel(m_rows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    connect(this, &QAbstractItemView::clicked, this,
            [this](const QModelIndex& at) { emit rowClicked(at.row()); });
    connect(this, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& at) { emit rowDoubleClicked(at.row()); });
}

int RowList::count() const
{
    return m_rows->rowCount({});
}

QString RowList::text(int row) const
{
    return row >= 0 && row < count() ? rowText(row) : QString();
}

QRect RowList::rowRect(int row) const
{
    return visualRect(m_rows->index(row));
}

void RowList::scrollToRow(int row)
{
    scrollTo(m_rows->index(row));
}

int RowList::currentRow() const
{
    return currentIndex().isValid() ? currentIndex().row() : -1;
}

void RowList::setCurrentRow(int row)
{
    setCurrentIndex(m_rows->index(row));
}

int RowList::selectedRow() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() && selectionModel()->isSelected(current) ? current.row() : -1;
}

void RowList::selectCurrentRow()
{
    if (currentIndex().isValid())
        selectionModel()->select(currentIndex(), QItemSelectionModel::ClearAndSelect);
}

void RowList::replaceRows(const std::function<int()>& replace)
{
    ++m_generation;
    m_rows->replace(replace);
}

bool RowList::rowOpen(int) const
{
    return false;
}

QString RowList::rowDescription(int) const
{
    return {};
}

void RowList::keyboardSearch(const QString& search)
{
    // Space (which selects) and control characters search for nothing, as on Windows.
    if (search.isEmpty() || search.at(0) <= QLatin1Char(' '))
        return;
    // The first character only, a surrogate pair whole.
    const QStringView letter = QStringView(search).left(search.at(0).isHighSurrogate() ? 2 : 1);
    const int row = runtime::NextStartingWith(
        currentRow(), count(), [&](int r) { return rowText(r).startsWith(letter, Qt::CaseInsensitive); });
    if (row >= 0) {
        setCurrentRow(row);
        m_typedRow = true;
    }
}

void RowList::paintEvent(QPaintEvent* event)
{
    QListView::paintEvent(event);
    if (hasFocus())
        DrawFocusFrame(viewport());
}

void RowList::scrollContentsBy(int dx, int dy)
{
    QListView::scrollContentsBy(dx, dy);
    // Scrolling moves the pixels, the focus frame's among them: draw it afresh.
    if (hasFocus())
        viewport()->update();
}

void RowList::focusInEvent(QFocusEvent* event)
{
    QListView::focusInEvent(event);
    viewport()->update();
}

void RowList::focusOutEvent(QFocusEvent* event)
{
    QListView::focusOutEvent(event);
    viewport()->update();
}

} // namespace qt
