#include "folder_list_box.h"

#include "display_text.h"
#include "name_pattern.h"
#include "runtime/failure.h"

#include <algorithm>

#include <QKeyEvent>
#include <QStyle>
#include <QStyledItemDelegate>

namespace toolkit {

namespace {

constexpr int kIndent = 10;

// Shifts each entry right by its depth, so the list reads as a tree.
class IndentDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

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

private:
    static int indent(const QModelIndex& index)
    {
        return index.data(FolderListBox::kLevelRole).toInt() * kIndent;
    }
};

QByteArray toBytes(const std::string& s)
{
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

// The folders from the top of the tree down to `path`, each as its full path and the
// name the list shows for it.
std::vector<std::pair<std::string, std::string>> ancestry(const std::string& path)
{
    std::vector<std::pair<std::string, std::string>> chain;
    const std::size_t firstSep = path.find(runtime::kFolderSeparator);
    if (firstSep == std::string::npos) {
        chain.emplace_back(path, path);
        return chain;
    }
    std::string top = path.substr(0, firstSep + 1);
    chain.emplace_back(top, top);
    std::string sofar = top;
    std::size_t start = firstSep + 1;
    while (start < path.size()) {
        std::size_t end = path.find(runtime::kFolderSeparator, start);
        if (end == std::string::npos)
            end = path.size();
        const std::string name = path.substr(start, end - start);
        if (!name.empty()) {
            if (sofar.back() != runtime::kFolderSeparator)
                sofar += runtime::kFolderSeparator;
            sofar += name;
            chain.emplace_back(sofar, name);
        }
        start = end + 1;
    }
    return chain;
}

} // namespace

FolderListBox::FolderListBox(runtime::FileServices& files, QWidget* parent)
    : QListWidget(parent), m_files(files)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setItemDelegate(new IndentDelegate(this));
    connect(this, &QListWidget::itemClicked, this, [this] { emit click(); });
    connect(this, &QListWidget::itemDoubleClicked, this, &FolderListBox::onDoubleClicked);
}

void FolderListBox::setPath(const std::string& path)
{
    const std::string target = TrimSeparator(path);
    auto entries = m_files.listFolder(target);
    const bool changed = target != m_path;
    fill(target, std::move(entries));
    if (changed)
        emit change();
}

void FolderListBox::goToDrive(const runtime::Drive& drive)
{
    setPath(m_files.driveCurrentFolder(drive));
}

std::string FolderListBox::entryPath(int row) const
{
    const QListWidgetItem* entry = item(row);
    if (entry == nullptr)
        return {};
    return entry->data(kPathRole).toByteArray().toStdString();
}

void FolderListBox::keyPressEvent(QKeyEvent* event)
{
    // Enter opens the selected folder, as a double click does, so the keyboard alone can
    // browse. The key goes no further: it presses no button.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (QListWidgetItem* entry = currentItem(); entry != nullptr && entry->isSelected())
            onDoubleClicked(entry);
        event->accept();
        return;
    }
    const int before = currentRow();
    QListWidget::keyPressEvent(event);
    if (currentRow() != before)
        emit click();
}

void FolderListBox::fill(const std::string& path, std::vector<runtime::FolderEntry> entries)
{
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [](const runtime::FolderEntry& e) { return !e.folder || e.hidden; }),
                  entries.end());
    std::sort(entries.begin(), entries.end(),
              [](const runtime::FolderEntry& a, const runtime::FolderEntry& b) {
                  return NameLess(a.name, b.name);
              });

    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    auto add = [this](const QIcon& icon, const std::string& full, const std::string& name, int level) {
        auto* entry = new QListWidgetItem(icon, DisplayText(name), this);
        entry->setData(kPathRole, toBytes(full));
        entry->setData(kLevelRole, level);
    };

    m_path = path;
    clear();
    const auto chain = ancestry(path);
    int level = 0;
    for (const auto& [full, name] : chain)
        add(open, full, name, level++);
    const std::string prefix =
        path.back() == runtime::kFolderSeparator ? path : path + runtime::kFolderSeparator;
    for (const auto& e : entries)
        add(closed, prefix + e.name, e.name, level);
    // The current folder is the highlighted entry, as long as the user has not picked another.
    setCurrentRow(static_cast<int>(chain.size()) - 1);
}

void FolderListBox::onDoubleClicked(QListWidgetItem* item)
{
    const std::string target = item->data(kPathRole).toByteArray().toStdString();
    try {
        setPath(target);
    } catch (const runtime::Failure& failure) {
        emit openFailed(target, failure.number(), failure.description());
    }
}

} // namespace toolkit
