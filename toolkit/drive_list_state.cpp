#include "toolkit/drive_list_state.h"

#include "runtime/failure.h"

namespace runtime {

DriveListState::DriveListState(Actions& actions, std::function<void()> shown)
    : change(actions), m_files(actions.files())
{
    reread();
    m_shown = std::move(shown);
    try {
        const std::string started = m_files.startFolder();
        if (!started.empty()) {
            const Drive drive = m_files.driveOf(started);
            m_current = rowOf(drive) >= 0 ? rowOf(drive) : add(drive);
        }
    } catch (const Failure&) {
        // No drive to start on: the first setDrive raises a change.
    }
}

Drive DriveListState::currentDrive() const
{
    return m_current < 0 ? Drive{} : m_drives[static_cast<std::size_t>(m_current)];
}

void DriveListState::reread()
{
    std::vector<Drive> read;
    try {
        read = m_files.drives();
    } catch (const Failure&) {
        return; // nothing of the window covers reading the drives; those read last stay
    }
    const Drive keep = currentDrive();
    m_drives.clear();
    for (const auto& drive : read) {
        if (rowOf(drive) < 0)
            add(drive);
    }
    if (m_current >= 0) {
        m_current = rowOf(keep);
        if (m_current < 0)
            m_current = add(keep);
    }
    if (m_shown)
        m_shown();
}

void DriveListState::setDrive(const std::string& path)
{
    const Drive wanted = m_files.driveOf(path);
    int row = rowOf(wanted);
    if (row < 0) {
        row = add(wanted);
        m_shown();
    }
    choose(row);
}

void DriveListState::choose(int row)
{
    if (row < 0 || static_cast<std::size_t>(row) >= m_drives.size() || row == m_current)
        return;
    m_current = row;
    m_shown();
    change.raise();
}

int DriveListState::rowOf(const Drive& drive) const
{
    for (std::size_t i = 0; i < m_drives.size(); ++i) {
        if (m_drives[i] == drive)
            return static_cast<int>(i);
    }
    return -1;
}

int DriveListState::add(const Drive& drive)
{
    m_drives.push_back(drive);
    return static_cast<int>(m_drives.size()) - 1;
}

} // namespace runtime
