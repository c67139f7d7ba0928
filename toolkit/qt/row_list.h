#pragma once

#include <functional>
#include <utility>

#include <QListView>

namespace qt {

/// A list whose rows the list itself describes: it says how many there are and gives each
/// row's text when the row is drawn or read. No item is made per row, so a folder of many
/// thousands of entries shows about as fast as it is read. Single selection, rows of one
/// height, and a frame in the highlight colour while it has the focus.
class RowList : public QListView {
    Q_OBJECT

public:
    explicit RowList(QWidget* parent = nullptr);

    int count() const;
    /// The text shown in `row`; empty when there is no such row.
    QString text(int row) const;
    /// Where `row` is drawn, in the viewport's coordinates.
    QRect rowRect(int row) const;
    void scrollToRow(int row);
    /// The row with the focus outline, or -1.
    int currentRow() const;
    void setCurrentRow(int row);
    /// The current row when it is also selected, else -1.
    int selectedRow() const;
    void selectCurrentRow();

    /// What screen readers are told of the rows beyond their texts: whether they are the
    /// items of a tree, whether `row` is open, and a description of it.
    virtual bool isTree() const { return false; }
    virtual bool rowOpen(int row) const;
    virtual QString rowDescription(int row) const;
    /// Changes each time the rows are replaced: what was said of a row before is void.
    unsigned rowGeneration() const { return m_generation; }

    /// A typed letter goes to the next row that starts with it (runtime::NextStartingWith),
    /// also when the same letter comes again at once.
    void keyboardSearch(const QString& search) override;
    /// Whether a letter typed since the last call found a row (perhaps the one already
    /// selected): that is a click, as on Windows, even where the selection stays.
    bool takeTypedRow() { return std::exchange(m_typedRow, false); }

signals:
    /// A row was clicked, or double-clicked.
    void rowClicked(int row);
    void rowDoubleClicked(int row);

protected:
    /// The text of `row`, which is in range.
    virtual QString rowText(int row) const = 0;
    /// Runs `replace`, which changes what the rows are and returns how many there are now;
    /// the list then shows them, asking rowText() afresh, with nothing selected.
    void replaceRows(const std::function<int()>& replace);

    void paintEvent(QPaintEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    bool m_typedRow{false};
    class Rows;
    Rows* m_rows;
    unsigned m_generation{0};
};

} // namespace qt
