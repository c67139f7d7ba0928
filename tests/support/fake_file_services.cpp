#include "fake_file_services.h"

#include "runtime/errors.h"
#include "runtime/failure.h"

#include <mutex>
#include <set>

namespace testsupport {

namespace {

// A copy whose reads give back the first byte changed.
class DamagedCopy : public runtime::CopyTarget {
public:
    explicit DamagedCopy(std::unique_ptr<runtime::CopyTarget> real) : m_real(std::move(real)) {}
    std::size_t alignment() const override { return m_real->alignment(); }
    runtime::FileStamp stamp() override { return m_real->stamp(); }
    std::size_t readAt(std::uint64_t offset, char* buffer, std::size_t size) override
    {
        const std::size_t n = m_real->readAt(offset, buffer, size);
        if (n > 0)
            buffer[0] = static_cast<char>(buffer[0] ^ 0x20);
        return n;
    }
    void writeAt(std::uint64_t offset, const char* data, std::size_t size) override
    {
        m_real->writeAt(offset, data, size);
    }
    void setLength(std::uint64_t length) override { m_real->setLength(length); }
    void flush() override { m_real->flush(); }
    void dropCache() override { m_real->dropCache(); }
    void name() override { m_real->name(); }

private:
    std::unique_ptr<runtime::CopyTarget> m_real;
};

// A file whose bytes at an offset read before come back with the first one changed.
class ChangedSource : public runtime::BlockFile {
public:
    explicit ChangedSource(std::unique_ptr<runtime::BlockFile> real) : m_real(std::move(real)) {}
    std::size_t alignment() const override { return m_real->alignment(); }
    runtime::FileStamp stamp() override { return m_real->stamp(); }
    std::size_t readAt(std::uint64_t offset, char* buffer, std::size_t size) override
    {
        const std::size_t n = m_real->readAt(offset, buffer, size);
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_read.insert(offset).second && n > 0)
            buffer[0] = static_cast<char>(buffer[0] ^ 0x20);
        return n;
    }

private:
    std::unique_ptr<runtime::BlockFile> m_real;
    std::mutex m_mutex;
    std::set<std::uint64_t> m_read;
};

} // namespace

const char* opName(Op op)
{
    switch (op) {
    case Op::AppFolder:
        return "appFolder";
    case Op::DirSearch:
        return "dirSearch";
    case Op::SetAttrNormal:
        return "setAttrNormal";
    case Op::DeleteFile:
        return "deleteFile";
    case Op::RenameFile:
        return "renameFile";
    case Op::LinkFile:
        return "linkFile";
    case Op::ReplaceFile:
        return "replaceFile";
    case Op::ExchangeFiles:
        return "exchangeFiles";
    case Op::IsRegularFile:
        return "isRegularFile";
    case Op::FileInfo:
        return "fileInfo";
    case Op::LockFolder:
        return "lockFolder";
    case Op::OpenToCopy:
        return "openToCopy";
    case Op::CopyFile:
        return "copyFile";
    case Op::MatchPermissions:
        return "matchPermissions";
    case Op::FlushFolder:
        return "flushFolder";
    case Op::FileInUse:
        return "fileInUse";
    case Op::AppendText:
        return "appendText";
    case Op::Drives:
        return "drives";
    case Op::DriveOf:
        return "driveOf";
    case Op::DriveCurrentFolder:
        return "driveCurrentFolder";
    case Op::ListFolder:
        return "listFolder";
    }
    return "?";
}

void FakeFileServices::failOn(Op op, int nth, int number, std::string description)
{
    m_faults[{op, nth}] = Fault{number, std::move(description)};
}

void FakeFileServices::failOnPath(Op op, std::string path, int number, std::string description)
{
    m_pathFaults[{op, std::move(path)}] = Fault{number, std::move(description)};
}

int FakeFileServices::calls(Op op) const
{
    const auto it = m_calls.find(op);
    return it == m_calls.end() ? 0 : it->second;
}

void FakeFileServices::enter(Op op, const std::string& what)
{
    const int nth = ++m_calls[op];
    m_log.push_back(std::string(opName(op)) + " " + what);
    if (onCall)
        onCall(m_log.back());
    const Fault* fault = nullptr;
    if (const auto it = m_faults.find({op, nth}); it != m_faults.end())
        fault = &it->second;
    else if (const auto at = m_pathFaults.find({op, what}); at != m_pathFaults.end())
        fault = &at->second;
    if (fault == nullptr)
        return;
    if (fault->description.empty())
        throw runtime::Failure(fault->number);
    throw runtime::Failure(fault->number, fault->description);
}

std::string FakeFileServices::appFolder()
{
    enter(Op::AppFolder, "");
    return m_appFolder ? *m_appFolder : m_real.appFolder();
}

std::string FakeFileServices::dirSearch(const std::string& path, int attrMask)
{
    enter(Op::DirSearch, path);
    return m_real.dirSearch(path, attrMask);
}

void FakeFileServices::setAttrNormal(const std::string& path)
{
    enter(Op::SetAttrNormal, path);
    m_real.setAttrNormal(path);
}

void FakeFileServices::deleteFile(const std::string& path)
{
    enter(Op::DeleteFile, path);
    m_real.deleteFile(path);
}

void FakeFileServices::renameFile(const std::string& from, const std::string& to)
{
    enter(Op::RenameFile, from + " -> " + to);
    m_real.renameFile(from, to);
}

bool FakeFileServices::linkFile(const std::string& from, const std::string& to)
{
    enter(Op::LinkFile, from + " -> " + to);
    return !m_noHardLinks && m_real.linkFile(from, to);
}

void FakeFileServices::replaceFile(const std::string& from, const std::string& to)
{
    enter(Op::ReplaceFile, from + " -> " + to);
    m_real.replaceFile(from, to);
}

bool FakeFileServices::exchangeFiles(const std::string& a, const std::string& b)
{
    enter(Op::ExchangeFiles, a + " <-> " + b);
    return !m_noExchange && m_real.exchangeFiles(a, b);
}

bool FakeFileServices::isRegularFile(const std::string& path)
{
    enter(Op::IsRegularFile, path);
    return m_real.isRegularFile(path);
}

std::optional<runtime::FileInfo> FakeFileServices::fileInfo(const std::string& path)
{
    enter(Op::FileInfo, path);
    return m_real.fileInfo(path);
}

std::unique_ptr<runtime::FolderLock> FakeFileServices::lockFolder(const std::string& folder)
{
    enter(Op::LockFolder, folder);
    if (m_folderLocked)
        return nullptr;
    return m_real.lockFolder(folder);
}

std::unique_ptr<runtime::BlockFile> FakeFileServices::openToCopy(const std::string& path)
{
    enter(Op::OpenToCopy, path);
    auto file = m_real.openToCopy(path);
    if (m_sourceChangedUnseen)
        return std::make_unique<ChangedSource>(std::move(file));
    return file;
}

std::unique_ptr<runtime::CopyTarget> FakeFileServices::createCopy(const std::string& to,
                                                                  const std::string& partPath)
{
    enter(Op::CopyFile, to);
    auto copy = m_real.createCopy(to, partPath);
    if (m_damagingDisk)
        return std::make_unique<DamagedCopy>(std::move(copy));
    return copy;
}

unsigned FakeFileServices::matchPermissions(const std::string& reference, const std::string& target,
                                            const runtime::FileId& expected)
{
    enter(Op::MatchPermissions, reference + " -> " + target);
    return m_real.matchPermissions(reference, target, expected);
}

void FakeFileServices::flushFolder(const std::string& folder)
{
    enter(Op::FlushFolder, folder);
    m_real.flushFolder(folder);
}

runtime::FileInUse FakeFileServices::fileInUse(const std::string& path)
{
    enter(Op::FileInUse, path);
    return m_inUse ? *m_inUse : m_real.fileInUse(path);
}

void FakeFileServices::appendText(const std::string& path, const std::string& text)
{
    enter(Op::AppendText, path);
    m_real.appendText(path, text);
}

std::vector<runtime::Drive> FakeFileServices::drives()
{
    enter(Op::Drives, "");
    auto all = m_real.drives();
    all.insert(all.end(), m_unreadyDrives.begin(), m_unreadyDrives.end());
    return all;
}

runtime::Drive FakeFileServices::driveOf(const std::string& path)
{
    enter(Op::DriveOf, path);
    for (const auto& drive : m_unreadyDrives) {
        if (path.rfind(drive.name, 0) == 0)
            return drive;
    }
    return m_real.driveOf(path);
}

std::string FakeFileServices::driveCurrentFolder(const runtime::Drive& drive)
{
    enter(Op::DriveCurrentFolder, drive.name);
    for (const auto& unready : m_unreadyDrives) {
        if (unready == drive)
            throw runtime::Failure(runtime::kDiskNotReady);
    }
    return m_real.driveCurrentFolder(drive);
}

std::vector<runtime::FolderEntry> FakeFileServices::listFolder(const std::string& folder)
{
    enter(Op::ListFolder, folder);
    return m_real.listFolder(folder);
}

} // namespace testsupport
