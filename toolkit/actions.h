#pragma once

#include "runtime/file_services.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace runtime {

/// What one user action does with folders. A click or a key can move the drive, folder
/// and file lists together, and each would read the same folder; within one action a
/// folder is read once and its listing shared, and work the lists put off runs when the
/// action ends. Nothing is kept from one action to the next, so every action sees the
/// folder as it is.
class Actions {
public:
    explicit Actions(FileServices& files) : m_files(files) {}
    Actions(const Actions&) = delete;
    Actions& operator=(const Actions&) = delete;

    /// Marks one action for as long as it lives. Scopes nest; the outermost one is the
    /// action, and when it ends the deferred work runs and the listings are dropped.
    class Scope {
    public:
        explicit Scope(Actions& actions);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        Actions& m_actions;
    };

    FileServices& files() { return m_files; }

    /// The entries of `folder`: read once in an action and shared, not copied, until it
    /// ends; read afresh each time outside an action. Fails as FileServices::listFolder
    /// does (a failure is not kept: the next call reads again).
    std::shared_ptr<const std::vector<FolderEntry>> listFolder(const std::string& folder);

    /// Runs `work` when the current action ends, or at once outside an action. Work
    /// deferred again under the same `key` before it ran replaces the earlier work. Work
    /// must not throw; work it defers in turn runs in the same ending.
    void defer(const void* key, std::function<void()> work);

private:
    void begin();
    void end();

    FileServices& m_files;
    int m_depth{0};
    std::map<std::string, std::shared_ptr<const std::vector<FolderEntry>>> m_listings;
    std::vector<std::pair<const void*, std::function<void()>>> m_deferred;
};

/// A control's event as the toolkit delivers it: raising it runs the handler bound to it,
/// if any, as one user action (inside an Actions::Scope), so no handler opens one itself.
template <typename... Args> class UserEvent {
public:
    explicit UserEvent(Actions& actions) : m_actions(actions) {}
    void bind(std::function<void(Args...)> handler) { m_handler = std::move(handler); }
    void raise(Args... args)
    {
        const Actions::Scope action(m_actions);
        if (m_handler)
            m_handler(args...);
    }

private:
    Actions& m_actions;
    std::function<void(Args...)> m_handler;
};

} // namespace runtime
