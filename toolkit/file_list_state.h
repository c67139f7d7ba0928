#pragma once

#include "toolkit/actions.h"
#include "toolkit/toolkit.h"

#include <functional>
#include <string>
#include <vector>

namespace runtime {

/// What every toolkit's file list does the same way: which folder and pattern it shows, and
/// when it reads them. A new path or pattern, or a refresh, marks the list out of date; it
/// reads its folder once, when the action that changed it ends, or when it is asked for its
/// names before then. A read that fails puts the list back on the folder and pattern it shows.
class FileListState {
public:
    using Shown = std::function<void(std::vector<std::string> names)>;

    /// `shown` gets the matching names, sorted, after each read that succeeds; readFailed is
    /// raised with the folder and the failure after one that does not.
    FileListState(Actions& actions, Shown shown)
        : click(actions), readFailed(actions), m_actions(actions), m_shown(std::move(shown))
    {}
    FileListState(const FileListState&) = delete;
    FileListState& operator=(const FileListState&) = delete;

    std::string path() const { return m_path; }
    std::string shownPath() const { return m_shownPath; }
    std::string pattern() const { return m_pattern; }

    void setPath(const std::string& path);
    void setPattern(const std::string& pattern);
    void refresh() { markStale(); }

    /// Reads the folder now if the list is out of date.
    void readIfStale();

    /// The user selected a file, by mouse or keys.
    UserEvent<> click;
    UserEvent<const std::string&, const Failure&> readFailed;

private:
    void markStale();

    Actions& m_actions;
    Shown m_shown;
    std::string m_path;
    std::string m_shownPath;
    std::string m_pattern{"*"};
    std::string m_shownPattern{"*"};
    bool m_stale{false};
};

} // namespace runtime
