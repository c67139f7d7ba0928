#pragma once

#include "runtime/file_services.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

enum class Op {
    AppFolder,
    StartFolder,
    DirSearch,
    SetAttrNormal,
    DeleteFile,
    RenameFile,
    LinkFile,
    ReplaceFile,
    ExchangeFiles,
    IsRegularFile,
    FileInfo,
    LockFolder,
    OpenToCopy,
    CopyFile, ///< createCopy: a copy begun
    MatchPermissions,
    FlushFolder,
    FileInUse,
    AppendText,
    Drives,
    DriveOf,
    DriveCurrentFolder,
    ListFolder,
};

const char* opName(Op op);

/// Wraps the platform's file services in tests: every call goes through to the real
/// services (so tests run on real folders) unless a switch makes it fail first. Every call
/// is counted and logged, whether it fails or not, and hooks see it come and go.
class FaultyFileServices : public runtime::FileServices {
public:
    explicit FaultyFileServices(runtime::FileServices& real) : m_real(real) {}

    /// Makes the `nth` call (from 1) of `op` throw runtime::Failure(number, description)
    /// without doing anything; an empty description takes the number's from the table.
    void failOn(Op op, int nth, int number, std::string description = {});

    /// Makes every call of `op` on exactly `path` fail like failOn does, for operations
    /// that take one path (listFolder, driveCurrentFolder by drive name, dirSearch, ...).
    void failOnPath(Op op, std::string path, int number, std::string description = {});

    /// Makes linkFile answer that the file system has no hard links.
    void setNoHardLinks(bool noLinks) { m_noHardLinks = noLinks; }

    /// Makes exchangeFiles answer that the file system cannot trade names.
    void setNoExchange(bool noExchange) { m_noExchange = noExchange; }

    /// Makes every copy read back other bytes than were written to it, as a disk that
    /// damages what it stores does.
    void setDamagingDisk(bool damaging) { m_damagingDisk = damaging; }

    /// Makes a file opened to be copied read other bytes at an offset read before, its stamp
    /// unchanged, as a file written to through a shared mapping during the copy does.
    void setSourceChangedUnseen(bool changed) { m_sourceChangedUnseen = changed; }

    /// Makes every copy say it takes transfers of at most `bytes` at its best (0: as the real one says).
    void setPreferredTransfer(std::size_t bytes) { m_preferredTransfer = bytes; }

    /// The largest write made to a copy so far.
    std::size_t largestWrite() const { return m_largestWrite; }

    /// Makes fileInUse give this answer instead of the real one.
    void setInUse(runtime::FileInUse answer) { m_inUse = std::move(answer); }

    /// Adds a drive to those the real services report. It holds no folders: asking for
    /// its current folder fails with 71 "Disk not ready", like an empty card reader.
    void addUnreadyDrive(runtime::Drive drive) { m_unreadyDrives.push_back(std::move(drive)); }

    /// Reports this folder as the application folder instead of the real one.
    void setAppFolder(std::string folder) { m_appFolder = std::move(folder); }

    /// Called with each log line as a call comes in, before it does anything.
    std::function<void(const std::string&)> onCall;

    /// Called once a call has returned from the real services, before its answer goes back.
    std::function<void()> afterCall;

    /// Called before each step of a copy on its files (read, write, length, flush, name),
    /// from whichever thread takes it.
    std::function<void()> onCopyStep;

    int calls(Op op) const;
    const std::vector<std::string>& log() const { return m_log; }

    std::string appFolder() override;
    std::string startFolder() override;
    std::string dirSearch(const std::string& path, int attrMask) override;
    void setAttrNormal(const std::string& path) override;
    void deleteFile(const std::string& path) override;
    void renameFile(const std::string& from, const std::string& to) override;
    bool linkFile(const std::string& from, const std::string& to) override;
    void replaceFile(const std::string& from, const std::string& to) override;
    bool exchangeFiles(const std::string& a, const std::string& b) override;
    bool isRegularFile(const std::string& path) override;
    std::optional<runtime::FileInfo> fileInfo(const std::string& path) override;
    std::unique_ptr<runtime::FolderLock> lockFolder(const std::string& folder) override;
    std::unique_ptr<runtime::BlockFile> openToCopy(const std::string& path) override;
    std::unique_ptr<runtime::CopyTarget> createCopy(const std::string& to,
                                                    const std::string& partPath) override;
    unsigned matchPermissions(const std::string& reference, const std::string& target,
                              const runtime::FileId& expected) override;
    void flushFolder(const std::string& folder) override;
    runtime::FileInUse fileInUse(const std::string& path) override;
    void appendText(const std::string& path, const std::string& text) override;
    std::vector<runtime::Drive> drives() override;
    runtime::Drive driveOf(const std::string& path) override;
    std::string driveCurrentFolder(const runtime::Drive& drive) override;
    std::vector<runtime::FolderEntry> listFolder(const std::string& folder) override;

private:
    // Counts and logs a call, and throws when a switch says this call fails.
    void enter(Op op, const std::string& what);

    // Enters, makes the call `f` and tells afterCall; answers what `f` answers.
    template <typename F> auto pass(Op op, const std::string& what, F&& f);

    struct Fault {
        int number;
        std::string description;
    };
    runtime::FileServices& m_real;
    std::map<std::pair<Op, int>, Fault> m_faults;
    std::map<std::pair<Op, std::string>, Fault> m_pathFaults;
    std::map<Op, int> m_calls;
    std::vector<std::string> m_log;
    std::optional<std::string> m_appFolder;
    std::optional<runtime::FileInUse> m_inUse;
    bool m_noHardLinks{false};
    bool m_noExchange{false};
    bool m_damagingDisk{false};
    std::size_t m_preferredTransfer{0};
    std::atomic<std::size_t> m_largestWrite{0};
    bool m_sourceChangedUnseen{false};
    std::vector<runtime::Drive> m_unreadyDrives;
};

} // namespace testsupport
