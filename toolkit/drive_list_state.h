#pragma once

#include "runtime/file_services.h"
#include "toolkit/actions.h"

#include <functional>
#include <string>
#include <vector>

namespace runtime {

/// What every toolkit's drive list does the same way: which drives it offers and which one
/// is current. It starts on the drive of the folder the program was started in, so setting
/// that drive raises nothing. The current drive stays listed even when it has gone, so the
/// list never jumps by itself. `shown` is called after the drives or the current one
/// changed, before change is raised, for the toolkit to show drives() and current(); the
/// toolkit shows them once itself when the list is made.
class DriveListState {
public:
    DriveListState(Actions& actions, std::function<void()> shown);
    DriveListState(const DriveListState&) = delete;
    DriveListState& operator=(const DriveListState&) = delete;

    const std::vector<Drive>& drives() const { return m_drives; }
    /// The row of the current drive; -1 before one is set.
    int current() const { return m_current; }
    /// The current drive; a drive with empty texts before one is set.
    Drive currentDrive() const;

    /// Reads the drives again, as before the list drops down, keeping the current one. A
    /// failure keeps the drives read last.
    void reread();
    /// Makes the drive that holds `path` current, adding it when it is not listed, and
    /// raises change when that is a different drive. A failure of the services propagates
    /// and leaves the list as it was.
    void setDrive(const std::string& path);
    /// The user chose the drive in `row`; raises change when that is a different drive.
    void choose(int row);

    UserEvent<> change;

private:
    int rowOf(const Drive& drive) const;
    int add(const Drive& drive);

    FileServices& m_files;
    std::function<void()> m_shown;
    std::vector<Drive> m_drives;
    int m_current{-1};
};

} // namespace runtime
