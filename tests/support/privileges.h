#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace testsupport {

/// Whether the tests run as root, where file permissions stop nothing.
bool runningAsRoot();

/// Runs `body` in a child process that has dropped to the unprivileged user "nobody"
/// (or stays as it is when not root) and returns the child's exit status; a signal gives
/// 128 plus its number.
int runUnprivileged(const std::function<int()>& body);

/// A small tmpfs mounted over a folder for as long as the object lives. Needs root;
/// `mounted()` says whether it worked and `reason()` why not.
class TmpfsMount {
public:
    TmpfsMount(const std::filesystem::path& where, std::size_t bytes);
    ~TmpfsMount();
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;

    bool mounted() const { return m_mounted; }
    const std::string& reason() const { return m_reason; }
    /// Makes the mount read-only (true on success).
    bool remountReadOnly();

private:
    std::filesystem::path m_where;
    bool m_mounted{false};
    std::string m_reason;
};

} // namespace testsupport
