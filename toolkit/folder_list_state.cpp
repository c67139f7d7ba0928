#include "toolkit/folder_list_state.h"

#include "runtime/failure.h"

namespace runtime {

std::string FolderListState::entryPath(int row) const
{
    return row >= 0 && static_cast<std::size_t>(row) < m_rows.size()
               ? m_rows[static_cast<std::size_t>(row)].path
               : std::string();
}

void FolderListState::setPath(const std::string& path)
{
    const std::string target = TrimSeparator(path);
    const auto entries = m_actions.listFolder(target); // a failure leaves the list as it was
    const bool changed = target != m_path;
    m_path = target;
    m_rows = FolderRows(target, *entries);
    int current = 0;
    for (std::size_t row = 0; row < m_rows.size(); ++row) {
        if (m_rows[row].open)
            current = static_cast<int>(row);
    }
    m_shown(m_rows, current);
    if (changed)
        change.raise();
}

void FolderListState::goToDrive(const Drive& drive)
{
    setPath(m_actions.files().driveCurrentFolder(drive));
}

void FolderListState::open(int row)
{
    const std::string target = entryPath(row);
    if (target.empty())
        return;
    const Actions::Scope action(m_actions);
    try {
        setPath(target);
    } catch (const Failure& failure) {
        openFailed.raise(target, failure);
        // The row that failed is most likely gone: read the current folder again, so the
        // list stops offering it. When even that fails, the list stays as it was.
        try {
            setPath(m_path);
        } catch (const Failure&) {
        }
    }
}

} // namespace runtime
