#include "toolkit/actions.h"

#include <algorithm>
#include <utility>

namespace runtime {

Actions::Scope::Scope(Actions& actions) : m_actions(actions)
{
    m_actions.begin();
}

Actions::Scope::~Scope()
{
    m_actions.end();
}

void Actions::begin()
{
    if (m_depth++ == 0)
        m_listings.clear();
}

void Actions::end()
{
    if (m_depth > 1) {
        --m_depth;
        return;
    }
    // Still inside the action while its deferred work runs, so that work shares the
    // listings and what it defers runs here too. Work that keeps deferring more is cut
    // off rather than looping for ever.
    for (int round = 0; round < 64 && !m_deferred.empty(); ++round) {
        auto [key, work] = std::move(m_deferred.front());
        m_deferred.erase(m_deferred.begin());
        work();
    }
    m_deferred.clear();
    m_listings.clear();
    m_depth = 0;
}

std::shared_ptr<const std::vector<FolderEntry>> Actions::listFolder(const std::string& folder)
{
    if (m_depth > 0) {
        if (auto found = m_listings.find(folder); found != m_listings.end())
            return found->second;
    }
    auto entries = std::make_shared<const std::vector<FolderEntry>>(m_files.listFolder(folder));
    if (m_depth > 0)
        m_listings.emplace(folder, entries);
    return entries;
}

void Actions::defer(const void* key, std::function<void()> work)
{
    if (m_depth == 0) {
        work();
        return;
    }
    auto same =
        std::find_if(m_deferred.begin(), m_deferred.end(), [key](const auto& d) { return d.first == key; });
    if (same != m_deferred.end())
        same->second = std::move(work);
    else
        m_deferred.emplace_back(key, std::move(work));
}

} // namespace runtime
