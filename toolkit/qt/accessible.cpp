#include "accessible.h"

#include "panel.h"
#include "row_list.h"

#include <map>

#include <QAccessibleWidget>
#include <QPointer>

namespace qt {

namespace {

// One row of a RowList as a reader sees it. The list describes each row only by its number;
// a row that is no longer the same (the rows were replaced) is no longer valid.
class RowAccessible : public QAccessibleInterface {
public:
    RowAccessible(RowList* list, int row, unsigned generation)
        : m_list(list), m_row(row), m_generation(generation)
    {}

    bool isValid() const override
    {
        return m_list != nullptr && m_list->rowGeneration() == m_generation && m_row < m_list->count();
    }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override
    {
        return m_list != nullptr && m_list->window() != nullptr ? m_list->window()->windowHandle() : nullptr;
    }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(m_list); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    QString text(QAccessible::Text t) const override
    {
        if (!isValid())
            return {};
        if (t == QAccessible::Name)
            return m_list->text(m_row);
        if (t == QAccessible::Description)
            return m_list->rowDescription(m_row);
        return {};
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QRect at = m_list->rowRect(m_row);
        return QRect(m_list->viewport()->mapToGlobal(at.topLeft()), at.size());
    }

    QAccessible::Role role() const override
    {
        return m_list != nullptr && m_list->isTree() ? QAccessible::TreeItem : QAccessible::ListItem;
    }

    QAccessible::State state() const override
    {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        s.selectable = true;
        s.focusable = true;
        s.selected = m_row == m_list->selectedRow();
        // Only the list that has the focus has a focused row: a reader must not hear two.
        s.focused = m_list->hasFocus() && m_row == m_list->currentRow();
        if (!m_list->isVisible() || !m_list->viewport()->rect().intersects(m_list->rowRect(m_row))) {
            s.invisible = true;
            s.offscreen = true;
        }
        if (m_list->isTree()) {
            s.expandable = true;
            const bool open = m_list->rowOpen(m_row);
            s.expanded = open;
            s.collapsed = !open;
        }
        return s;
    }

private:
    QPointer<RowList> m_list;
    int m_row;
    unsigned m_generation;
};

// A RowList as a list, or a tree, whose children are its rows: child i is row i, as the
// list view numbers them in its focus and selection events.
class RowListAccessible : public QAccessibleWidget {
public:
    explicit RowListAccessible(RowList* list) : QAccessibleWidget(list, QAccessible::List) {}
    ~RowListAccessible() override { dropRows(); }

    // Asked each time: the interface can be made while the list is still being built, when
    // it does not yet know it is a tree.
    QAccessible::Role role() const override
    {
        return list()->isTree() ? QAccessible::Tree : QAccessible::List;
    }

    int childCount() const override { return list()->count(); }

    QAccessibleInterface* child(int index) const override
    {
        if (index < 0 || index >= list()->count())
            return nullptr;
        if (m_generation != list()->rowGeneration()) {
            dropRows();
            m_generation = list()->rowGeneration();
        }
        auto found = m_rows.find(index);
        if (found == m_rows.end()) {
            auto* row = new RowAccessible(list(), index, m_generation);
            found = m_rows.emplace(index, QAccessible::registerAccessibleInterface(row)).first;
        }
        return QAccessible::accessibleInterface(found->second);
    }

    int indexOfChild(const QAccessibleInterface* child) const override
    {
        const QAccessible::Id id = QAccessible::uniqueId(const_cast<QAccessibleInterface*>(child));
        for (const auto& [row, rowId] : m_rows) {
            if (rowId == id && m_generation == list()->rowGeneration())
                return row;
        }
        return -1;
    }

    QAccessibleInterface* childAt(int x, int y) const override
    {
        const QPoint at = list()->viewport()->mapFromGlobal(QPoint(x, y));
        const QModelIndex index = list()->indexAt(at);
        return index.isValid() ? child(index.row()) : nullptr;
    }

    QAccessibleInterface* focusChild() const override
    {
        const int row = list()->currentRow();
        return list()->hasFocus() && row >= 0 ? child(row) : nullptr;
    }

private:
    RowList* list() const { return static_cast<RowList*>(widget()); }

    void dropRows() const
    {
        for (const auto& [row, id] : m_rows)
            QAccessible::deleteAccessibleInterface(id);
        m_rows.clear();
    }

    mutable std::map<int, QAccessible::Id> m_rows;
    mutable unsigned m_generation{0};
};

QAccessibleInterface* accessibleFor(const QString& className, QObject* object)
{
    if (!object->isWidgetType())
        return nullptr;
    auto* widget = static_cast<QWidget*>(object);
    if (className == QLatin1String("qt::Form"))
        return new QAccessibleWidget(widget, QAccessible::Dialog);
    if (className == QLatin1String("qt::Panel"))
        return new QAccessibleWidget(widget, QAccessible::Grouping);
    if (className == QLatin1String("qt::RowList"))
        return new RowListAccessible(static_cast<RowList*>(widget));
    return nullptr;
}

} // namespace

void InstallAccessibleFactory()
{
    static const bool installed = [] {
        QAccessible::installFactory(accessibleFor);
        return true;
    }();
    (void)installed;
}

} // namespace qt
