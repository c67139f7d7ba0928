#include "toolkit/file_list_state.h"

#include "toolkit/list_contents.h"

namespace runtime {

void FileListState::setPath(const std::string& path)
{
    m_path = TrimSeparator(path);
    markStale();
}

void FileListState::setPattern(const std::string& pattern)
{
    m_pattern = pattern;
    markStale();
}

void FileListState::markStale()
{
    // Before a path is set there is nothing to read.
    if (m_path.empty())
        return;
    m_stale = true;
    m_actions.defer(this, [this] { readIfStale(); });
}

void FileListState::readIfStale()
{
    if (!m_stale)
        return;
    m_stale = false;
    std::vector<std::string> names;
    try {
        names = FileNames(*m_actions.listFolder(m_path), m_pattern);
    } catch (const Failure& failure) {
        const std::string failed = m_path;
        // Back to what the list shows, which is still on the screen.
        m_path = m_shownPath;
        m_pattern = m_shownPattern;
        readFailed.raise(failed, failure);
        return;
    }
    m_shownPath = m_path;
    m_shownPattern = m_pattern;
    m_shown(std::move(names));
}

} // namespace runtime
