#include "faulty_file_services.h"

#include "runtime/errors.h"
#include "runtime/failure.h"

#include <atomic>
#include <iterator>
#include <mutex>
#include <set>
#include <type_traits>

namespace testsupport {

namespace {

// A copy that tells each of its steps, and whose reads give back the first byte changed
// on a damaging disk.
class FaultyCopy : public runtime::CopyTarget {
public:
    FaultyCopy(std::unique_ptr<runtime::CopyTarget> real, const std::function<void()>& onStep, bool damaging,
               std::size_t preferred, std::atomic<std::size_t>& largest)
        : m_real(std::move(real)), m_onStep(onStep), m_damaging(damaging), m_preferred(preferred),
          m_largest(largest)
    {}
    std::size_t alignment() const override { return m_real->alignment(); }
    std::size_t preferredTransfer() const override
    {
        return m_preferred > 0 ? m_preferred : m_real->preferredTransfer();
    }
    runtime::FileStamp stamp() override { return m_real->stamp(); }
    std::size_t readAt(std::uint64_t offset, char* buffer, std::size_t size) override
    {
        step();
        const std::size_t n = m_real->readAt(offset, buffer, size);
        if (m_damaging && n > 0)
            buffer[0] = static_cast<char>(buffer[0] ^ 0x20);
        return n;
    }
    void writeAt(std::uint64_t offset, const char* data, std::size_t size) override
    {
        step();
        for (std::size_t seen = m_largest; seen < size && !m_largest.compare_exchange_weak(seen, size);) {
        }
        m_real->writeAt(offset, data, size);
    }
    void setLength(std::uint64_t length) override
    {
        step();
        m_real->setLength(length);
    }
    void flush() override
    {
        step();
        m_real->flush();
    }
    void dropCache() override { m_real->dropCache(); }
    bool checkAfterFlush() const override { return m_real->checkAfterFlush(); }
    void name() override
    {
        step();
        m_real->name();
    }

private:
    void step()
    {
        if (m_onStep)
            m_onStep();
    }

    std::unique_ptr<runtime::CopyTarget> m_real;
    const std::function<void()>& m_onStep;
    bool m_damaging;
    std::size_t m_preferred;
    std::atomic<std::size_t>& m_largest;
};

// A file whose bytes at an offset read before come back with the first one changed.
class ChangedSource : public runtime::BlockFile {
public:
    explicit ChangedSource(std::unique_ptr<runtime::BlockFile> real) : m_real(std::move(real)) {}
    std::size_t alignment() const override { return m_real->alignment(); }
    std::size_t preferredTransfer() const override { return m_real->preferredTransfer(); }
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
    // In the order of Op; a call is logged under its name.
    static constexpr const char* kNames[] = {
        "appFolder",  "startFolder", "dirSearch",          "setAttrNormal", "deleteFile", "renameFile",
        "linkFile",   "replaceFile", "exchangeFiles",      "isRegularFile", "fileInfo",   "lockFolder",
        "openToCopy", "copyFile",    "matchPermissions",   "flushFolder",   "fileInUse",  "appendText",
        "drives",     "driveOf",     "driveCurrentFolder", "listFolder"};
    static_assert(std::size(kNames) == static_cast<std::size_t>(Op::ListFolder) + 1);
    return kNames[static_cast<std::size_t>(op)];
}

void FaultyFileServices::failOn(Op op, int nth, int number, std::string description)
{
    m_faults[{op, nth}] = Fault{number, std::move(description)};
}

void FaultyFileServices::failOnPath(Op op, std::string path, int number, std::string description)
{
    m_pathFaults[{op, std::move(path)}] = Fault{number, std::move(description)};
}

int FaultyFileServices::calls(Op op) const
{
    const auto it = m_calls.find(op);
    return it == m_calls.end() ? 0 : it->second;
}

void FaultyFileServices::enter(Op op, const std::string& what)
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

template <typename F> auto FaultyFileServices::pass(Op op, const std::string& what, F&& f)
{
    enter(op, what);
    if constexpr (std::is_void_v<decltype(f())>) {
        f();
        if (afterCall)
            afterCall();
    } else {
        auto answer = f();
        if (afterCall)
            afterCall();
        return answer;
    }
}

// A call that goes straight through to the real services once it is counted, logged as
// `what` and let fail.
#define ORVALIS_FORWARD(Ret, name, op, what, params, ...)                                                    \
    Ret FaultyFileServices::name params                                                                      \
    {                                                                                                        \
        return pass(Op::op, what, [&] { return m_real.name(__VA_ARGS__); });                                 \
    }

std::string FaultyFileServices::appFolder()
{
    return pass(Op::AppFolder, "", [&] { return m_appFolder ? *m_appFolder : m_real.appFolder(); });
}

ORVALIS_FORWARD(std::string, startFolder, StartFolder, "", ())
ORVALIS_FORWARD(std::string, dirSearch, DirSearch, path, (const std::string& path, int attrMask), path,
                attrMask)
ORVALIS_FORWARD(void, setAttrNormal, SetAttrNormal, path, (const std::string& path), path)
ORVALIS_FORWARD(void, deleteFile, DeleteFile, path, (const std::string& path), path)
ORVALIS_FORWARD(void, renameFile, RenameFile, from + " -> " + to,
                (const std::string& from, const std::string& to), from, to)

bool FaultyFileServices::linkFile(const std::string& from, const std::string& to)
{
    return pass(Op::LinkFile, from + " -> " + to,
                [&] { return !m_noHardLinks && m_real.linkFile(from, to); });
}

ORVALIS_FORWARD(void, replaceFile, ReplaceFile, from + " -> " + to,
                (const std::string& from, const std::string& to), from, to)

bool FaultyFileServices::exchangeFiles(const std::string& a, const std::string& b)
{
    return pass(Op::ExchangeFiles, a + " <-> " + b,
                [&] { return !m_noExchange && m_real.exchangeFiles(a, b); });
}

ORVALIS_FORWARD(bool, isRegularFile, IsRegularFile, path, (const std::string& path), path)
ORVALIS_FORWARD(std::optional<runtime::FileInfo>, fileInfo, FileInfo, path, (const std::string& path), path)

std::unique_ptr<runtime::FolderLock> FaultyFileServices::lockFolder(const std::string& folder)
{
    return pass(Op::LockFolder, folder, [&] { return m_real.lockFolder(folder); });
}

std::unique_ptr<runtime::BlockFile> FaultyFileServices::openToCopy(const std::string& path)
{
    return pass(Op::OpenToCopy, path, [&]() -> std::unique_ptr<runtime::BlockFile> {
        auto file = m_real.openToCopy(path);
        if (m_sourceChangedUnseen)
            return std::make_unique<ChangedSource>(std::move(file));
        return file;
    });
}

std::unique_ptr<runtime::CopyTarget> FaultyFileServices::createCopy(const std::string& to,
                                                                    const std::string& partPath)
{
    return pass(Op::CopyFile, to, [&]() -> std::unique_ptr<runtime::CopyTarget> {
        return std::make_unique<FaultyCopy>(m_real.createCopy(to, partPath), onCopyStep, m_damagingDisk,
                                            m_preferredTransfer, m_largestWrite);
    });
}

unsigned FaultyFileServices::matchPermissions(const std::string& reference, const std::string& target,
                                              const runtime::FileId& expected)
{
    return pass(Op::MatchPermissions, reference + " -> " + target,
                [&] { return m_real.matchPermissions(reference, target, expected); });
}

ORVALIS_FORWARD(void, flushFolder, FlushFolder, folder, (const std::string& folder), folder)

runtime::FileInUse FaultyFileServices::fileInUse(const std::string& path)
{
    return pass(Op::FileInUse, path, [&] { return m_inUse ? *m_inUse : m_real.fileInUse(path); });
}

ORVALIS_FORWARD(void, appendText, AppendText, path, (const std::string& path, const std::string& text), path,
                text)

std::vector<runtime::Drive> FaultyFileServices::drives()
{
    return pass(Op::Drives, "", [&] {
        auto all = m_real.drives();
        all.insert(all.end(), m_unreadyDrives.begin(), m_unreadyDrives.end());
        return all;
    });
}

runtime::Drive FaultyFileServices::driveOf(const std::string& path)
{
    return pass(Op::DriveOf, path, [&] {
        for (const auto& drive : m_unreadyDrives) {
            if (path.rfind(drive.name, 0) == 0)
                return drive;
        }
        return m_real.driveOf(path);
    });
}

std::string FaultyFileServices::driveCurrentFolder(const runtime::Drive& drive)
{
    return pass(Op::DriveCurrentFolder, drive.name, [&] {
        for (const auto& unready : m_unreadyDrives) {
            if (unready == drive)
                throw runtime::Failure(runtime::kDiskNotReady);
        }
        return m_real.driveCurrentFolder(drive);
    });
}

ORVALIS_FORWARD(std::vector<runtime::FolderEntry>, listFolder, ListFolder, folder,
                (const std::string& folder), folder)

} // namespace testsupport
