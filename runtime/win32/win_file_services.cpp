// File services on Windows. Every call goes straight to Win32 with wide-character texts;
// nothing is cached.

#include "runtime/win32/win_file_services.h"

#include "runtime/errors.h"
#include "runtime/failure.h"
#include "runtime/win32/owned_handle.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <cwctype>
#include <exception>
#include <optional>
#include <utility>
#include <vector>

namespace runtime {

const char kFolderSeparator = '\\';

int win32ErrorNumber(unsigned long code)
{
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
        return kFileNotFound;
    case ERROR_PATH_NOT_FOUND:
        return kPathNotFound;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return kFileAlreadyExists;
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_DISK_FULL:
        return kDiskFull;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return kPermissionDenied;
    case ERROR_NOT_READY:
        return kDiskNotReady;
    default:
        return kPathFileAccessError;
    }
}

std::wstring toWide(const std::string& text)
{
    // A NUL inside the text would make Win32 see a shorter, different path.
    if (text.find('\0') != std::string::npos)
        throw Failure(kPathFileAccessError);
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (n <= 0)
        throw Failure(kPathFileAccessError);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), n);
    return wide;
}

std::string toUtf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        throw Failure(kPathFileAccessError);
    std::string utf8(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, utf8.data(), n, nullptr, nullptr);
    return utf8;
}

std::wstring winPath(const std::string& path)
{
    std::wstring wide = toWide(path);
    if (wide.size() < MAX_PATH - 12 || wide.rfind(L"\\\\?\\", 0) == 0)
        return wide;
    const DWORD need = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (need == 0)
        return wide;
    std::wstring full(need, L'\0');
    const DWORD n = ::GetFullPathNameW(wide.c_str(), need, full.data(), nullptr);
    if (n == 0 || n >= need)
        return wide;
    full.resize(n);
    if (full.rfind(L"\\\\", 0) == 0)
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

namespace {

[[noreturn]] void throwError(DWORD code)
{
    throw Failure(win32ErrorNumber(code));
}

[[noreturn]] void throwLastError()
{
    throwError(::GetLastError());
}

// An empty card reader would otherwise make Windows ask the user to insert a disk; the
// call should just fail with "not ready".
class QuietDriveErrors {
public:
    QuietDriveErrors() { ::SetThreadErrorMode(SEM_FAILCRITICALERRORS, &m_old); }
    ~QuietDriveErrors() { ::SetThreadErrorMode(m_old, nullptr); }
    QuietDriveErrors(const QuietDriveErrors&) = delete;
    QuietDriveErrors& operator=(const QuietDriveErrors&) = delete;

private:
    DWORD m_old{0};
};

bool isSeparator(char c)
{
    return c == '\\' || c == '/';
}

// The bare name at the end of a path ("" when the path ends in a separator).
std::string lastName(const std::string& path)
{
    const auto sep = path.find_last_of("\\/");
    std::string name = sep == std::string::npos ? path : path.substr(sep + 1);
    if (name.size() >= 2 && name[1] == ':' && sep == std::string::npos)
        name.erase(0, 2); // "C:name" is "name" in C:'s current folder
    return name;
}

DWORD attributesOf(const std::wstring& path)
{
    const DWORD attrs = ::GetFileAttributesW(path.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES)
        throwLastError();
    return attrs;
}

void removeQuietly(const std::wstring& path)
{
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(path.c_str());
}

// What unbuffered transfers are aligned to: the page, a multiple of every disk's sector.
constexpr std::size_t kSectorAlignment = 4096;

// The transfers of a copy, at most: a multiple of every sector, large enough for unbuffered
// transfers to keep a disk busy. Where the writes go through a cache after all (a share that
// refuses unbuffered files; Wine, which opens every file buffered), several threads writing
// larger pieces cost the system more per byte: the Linux kernel below Wine, timed on its own,
// took up to twice as long and twice the system time for 4 MiB writes from four threads.
constexpr std::size_t kPreferredTransfer = 1u << 20;

FileStamp stampOf(HANDLE file)
{
    // The change time as well: a writer that puts the last write time back (SetFileTime)
    // changes it.
    FILE_BASIC_INFO times{};
    LARGE_INTEGER size{};
    if (!::GetFileInformationByHandleEx(file, FileBasicInfo, &times, sizeof times) ||
        !::GetFileSizeEx(file, &size))
        throwLastError();
    return {static_cast<std::uint64_t>(size.QuadPart), times.LastWriteTime.QuadPart,
            times.ChangeTime.QuadPart};
}

// Opens a file of a copy for overlapped transfers at offsets from several threads, without
// the system's cache where the volume allows (network shares may refuse it).
HANDLE openBlockFile(const std::wstring& path, DWORD access, DWORD share, DWORD disposition, DWORD flags)
{
    constexpr DWORD kOverlapped = FILE_FLAG_OVERLAPPED;
    HANDLE h = ::CreateFileW(path.c_str(), access, share, nullptr, disposition,
                             flags | kOverlapped | FILE_FLAG_NO_BUFFERING, nullptr);
    if (h == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_INVALID_PARAMETER)
        h = ::CreateFileW(path.c_str(), access, share, nullptr, disposition, flags | kOverlapped, nullptr);
    return h;
}

// The event this thread waits on for its transfers, made once: ReadFile and WriteFile reset
// it as each transfer begins, and it is closed when the thread ends.
HANDLE threadEvent()
{
    thread_local Handle event(nullptr);
    if (!event.valid() && !(event = Handle(::CreateEventW(nullptr, TRUE, FALSE, nullptr))).valid())
        throwLastError();
    return event.get();
}

// One transfer at `offset` on an overlapped handle, waited for: the calling thread's own,
// while other threads have theirs in flight on the same handle.
DWORD transfer(HANDLE file, bool write, std::uint64_t offset, char* buffer, DWORD size)
{
    OVERLAPPED overlapped{};
    overlapped.Offset = static_cast<DWORD>(offset);
    overlapped.OffsetHigh = static_cast<DWORD>(offset >> 32);
    overlapped.hEvent = threadEvent();
    DWORD n = 0;
    const BOOL started = write ? ::WriteFile(file, buffer, size, &n, &overlapped)
                               : ::ReadFile(file, buffer, size, &n, &overlapped);
    if (!started) {
        DWORD err = ::GetLastError();
        if (err == ERROR_IO_PENDING && ::GetOverlappedResult(file, &overlapped, &n, TRUE))
            return n;
        if (err == ERROR_IO_PENDING)
            err = ::GetLastError();
        if (err == ERROR_HANDLE_EOF && !write)
            return 0;
        throwError(err);
    }
    return n;
}

std::size_t readBlocks(HANDLE file, std::uint64_t offset, char* buffer, std::size_t size)
{
    std::size_t got = 0;
    while (got < size) {
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - got, 1u << 30));
        const DWORD n = transfer(file, false, offset + got, buffer + got, want);
        if (n == 0)
            break;
        got += n;
        if (n < want)
            break; // the end of the file
    }
    return got;
}

class WinSource : public BlockFile {
public:
    explicit WinSource(Handle file) : m_file(std::move(file)) {}
    std::size_t alignment() const override { return kSectorAlignment; }
    std::size_t preferredTransfer() const override { return kPreferredTransfer; }
    FileStamp stamp() override { return stampOf(m_file.get()); }
    std::size_t readAt(std::uint64_t offset, char* buffer, std::size_t size) override
    {
        return readBlocks(m_file.get(), offset, buffer, size);
    }

private:
    Handle m_file;
};

// The copy, written under its temporary name, which is renamed once it is complete; never
// over another file.
class WinCopy : public CopyTarget {
public:
    WinCopy(Handle file, std::wstring part, std::wstring target)
        : m_file(std::move(file)), m_part(std::move(part)), m_target(std::move(target))
    {}
    ~WinCopy() override
    {
        m_file.reset(); // closed first: an open file cannot be removed
        if (!m_named)
            removeQuietly(m_part);
    }
    WinCopy(const WinCopy&) = delete;
    WinCopy& operator=(const WinCopy&) = delete;

    std::size_t alignment() const override { return kSectorAlignment; }
    std::size_t preferredTransfer() const override { return kPreferredTransfer; }
    FileStamp stamp() override { return stampOf(m_file.get()); }
    std::size_t readAt(std::uint64_t offset, char* buffer, std::size_t size) override
    {
        return readBlocks(m_file.get(), offset, buffer, size);
    }
    void writeAt(std::uint64_t offset, const char* data, std::size_t size) override
    {
        for (std::size_t put = 0; put < size;) {
            const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - put, 1u << 30));
            const DWORD n = transfer(m_file.get(), true, offset + put, const_cast<char*>(data + put), want);
            if (n == 0)
                throw Failure(kDiskFull);
            put += n;
        }
    }
    void setLength(std::uint64_t length) override
    {
        LARGE_INTEGER at{};
        at.QuadPart = static_cast<LONGLONG>(length);
        if (!::SetFilePointerEx(m_file.get(), at, nullptr, FILE_BEGIN) || !::SetEndOfFile(m_file.get()))
            throwLastError();
    }
    void flush() override
    {
        if (!::FlushFileBuffers(m_file.get()))
            throwLastError();
    }
    void dropCache() override {} // unbuffered, or no way to ask
    // Written through to the disk and read back past the cache, or through the cache and
    // read back from it: either way the same bytes while the flush runs as after it.
    bool checkAfterFlush() const override { return false; }
    void name() override
    {
        // Closed first: a file open without sharing cannot be renamed.
        m_file.reset();
        if (!::MoveFileExW(m_part.c_str(), m_target.c_str(), MOVEFILE_WRITE_THROUGH))
            throwLastError();
        m_named = true;
    }

private:
    Handle m_file;
    std::wstring m_part;
    std::wstring m_target;
    bool m_named{false};
};

std::wstring currentFolder()
{
    const DWORD need = ::GetCurrentDirectoryW(0, nullptr);
    std::wstring cwd(need, L'\0');
    const DWORD n = ::GetCurrentDirectoryW(need, cwd.data());
    if (n == 0 || n >= need)
        return L"C:\\";
    cwd.resize(n);
    return cwd;
}

// Drops the "\\?\" prefix that a long path may carry, for the user's eyes.
std::string withoutLongPrefix(std::string path)
{
    if (path.rfind("\\\\?\\UNC\\", 0) == 0)
        return "\\\\" + path.substr(8);
    if (path.rfind("\\\\?\\", 0) == 0)
        return path.substr(4);
    return path;
}

std::string withoutTrailingSeparator(std::string path, const std::string& root)
{
    while (path.size() > root.size() && isSeparator(path.back()))
        path.pop_back();
    return path;
}

} // namespace

std::unique_ptr<FileServices> createFileServices()
{
    return std::make_unique<WinFileServices>();
}

WinFileServices::WinFileServices()
{
    const DWORD n = ::GetCurrentDirectoryW(0, nullptr);
    std::wstring folder(n, L'\0');
    if (n == 0 || ::GetCurrentDirectoryW(n, folder.data()) != n - 1)
        return; // the system cannot say
    folder.resize(n - 1);
    try {
        m_startFolder = toUtf8(folder);
    } catch (const Failure&) {
        // not a name UTF-8 can carry: the system cannot say
    }
}

std::string WinFileServices::appFolder()
{
    std::wstring exe(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size()));
        if (n == 0)
            throwLastError();
        if (n < exe.size()) {
            exe.resize(n);
            break;
        }
        exe.resize(exe.size() * 2);
    }
    const std::string path = withoutLongPrefix(toUtf8(exe));
    const auto sep = path.find_last_of('\\');
    if (sep == std::string::npos)
        throw Failure(kPathNotFound);
    std::string folder = path.substr(0, sep);
    if (folder.size() == 2 && folder[1] == ':')
        folder += '\\'; // a drive root keeps its backslash
    return folder;
}

std::string WinFileServices::dirSearch(const std::string& path, int attrMask)
{
    const std::string name = lastName(path);
    // Wildcards would turn the search for one name into a pattern; no file has them in its name.
    if (name.empty() || name.find_first_of("*?<>\"") != std::string::npos)
        return {};
    std::wstring wide;
    try {
        wide = winPath(path);
    } catch (const Failure&) {
        return {}; // not UTF-8, or a NUL: no file can have that name
    }
    const QuietDriveErrors quiet;
    WIN32_FIND_DATAW found{};
    const FindHandle find(
        ::FindFirstFileExW(wide.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0));
    if (!find.valid()) {
        const DWORD err = ::GetLastError();
        if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND || err == ERROR_NO_MORE_FILES ||
            err == ERROR_INVALID_NAME || err == ERROR_INVALID_DRIVE || err == ERROR_BAD_PATHNAME ||
            err == ERROR_DIRECTORY)
            return {};
        throwError(err);
    }
    const DWORD attrs = found.dwFileAttributes;
    if ((attrs & FILE_ATTRIBUTE_DIRECTORY) && !(attrMask & kAttrDirectory))
        return {};
    if ((attrs & FILE_ATTRIBUTE_HIDDEN) && !(attrMask & kAttrHidden))
        return {};
    if ((attrs & FILE_ATTRIBUTE_SYSTEM) && !(attrMask & kAttrSystem))
        return {};
    return toUtf8(found.cFileName); // as the file system spells it, which may differ in case
}

void WinFileServices::setAttrNormal(const std::string& path)
{
    if (!::SetFileAttributesW(winPath(path).c_str(), FILE_ATTRIBUTE_NORMAL))
        throwLastError();
}

void WinFileServices::deleteFile(const std::string& path)
{
    if (!::DeleteFileW(winPath(path).c_str()))
        throwLastError();
}

void WinFileServices::renameFile(const std::string& from, const std::string& to)
{
    if (!::MoveFileExW(winPath(from).c_str(), winPath(to).c_str(), MOVEFILE_WRITE_THROUGH))
        throwLastError();
}

namespace {

// A handle on the entry itself, never through a link, for looking at it: a folder as well as
// a file.
Handle openEntry(const std::wstring& path, DWORD access, DWORD flags = FILE_FLAG_OPEN_REPARSE_POINT)
{
    return Handle(::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr));
}

FileInfo infoOf(HANDLE entry)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(entry, &info))
        throwLastError();
    constexpr DWORD kNotAFile =
        FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
    // A file's number may be given to the next new file once the file is gone (under Wine,
    // where it is the inode's); its creation time tells the two apart.
    return FileInfo{{info.dwVolumeSerialNumber,
                     (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow,
                     (static_cast<std::uint64_t>(info.ftCreationTime.dwHighDateTime) << 32) |
                         info.ftCreationTime.dwLowDateTime},
                    (info.dwFileAttributes & kNotAFile) == 0,
                    info.nNumberOfLinks};
}

} // namespace

bool WinFileServices::linkFile(const std::string& from, const std::string& to)
{
    const std::wstring source = winPath(from);
    if (::CreateHardLinkW(winPath(to).c_str(), source.c_str(), nullptr))
        return true;
    const DWORD err = ::GetLastError();
    if (err == ERROR_TOO_MANY_LINKS)
        return false; // no better than a volume without links
    if (err == ERROR_ALREADY_EXISTS || err == ERROR_FILE_EXISTS || err == ERROR_FILE_NOT_FOUND ||
        err == ERROR_PATH_NOT_FOUND)
        throwError(err);
    // A volume without hard links (FAT, exFAT, some shares) refuses them with errors that
    // also mean "permission denied" or "not found": its flags tell which it is. They are
    // asked only now, since Wine makes links where its flags say it cannot.
    const Handle file = openEntry(source, FILE_READ_ATTRIBUTES);
    DWORD flags = 0;
    if (file.valid() &&
        ::GetVolumeInformationByHandleW(file.get(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) &&
        !(flags & FILE_SUPPORTS_HARD_LINKS))
        return false;
    throwError(err);
}

void WinFileServices::replaceFile(const std::string& from, const std::string& to)
{
    const std::wstring source = winPath(from), target = winPath(to);
    constexpr DWORD kFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (::MoveFileExW(source.c_str(), target.c_str(), kFlags))
        return;
    const DWORD err = ::GetLastError();
    // Windows will not replace a read-only file, where a POSIX rename would; the file
    // replaced is going anyway, so its attribute must not stand in the way.
    const DWORD attrs = ::GetFileAttributesW(target.c_str());
    if (err != ERROR_ACCESS_DENIED || attrs == INVALID_FILE_ATTRIBUTES || !(attrs & FILE_ATTRIBUTE_READONLY))
        throwError(err);
    if (!::SetFileAttributesW(target.c_str(), attrs & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY)))
        throwError(err);
    if (::MoveFileExW(source.c_str(), target.c_str(), kFlags))
        return;
    const DWORD again = ::GetLastError();
    ::SetFileAttributesW(target.c_str(), attrs);
    throwError(again);
}

bool WinFileServices::exchangeFiles(const std::string&, const std::string&)
{
    return false; // no call trades two names in one step
}

bool WinFileServices::isRegularFile(const std::string& path)
{
    const DWORD attrs = ::GetFileAttributesW(winPath(path).c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES) {
        const DWORD err = ::GetLastError();
        if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND || err == ERROR_INVALID_NAME)
            return false;
        throwError(err);
    }
    constexpr DWORD kNotAFile =
        FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
    return (attrs & kNotAFile) == 0;
}

std::optional<FileInfo> WinFileServices::fileInfo(const std::string& path)
{
    const Handle entry = openEntry(winPath(path), FILE_READ_ATTRIBUTES);
    if (!entry.valid()) {
        const DWORD err = ::GetLastError();
        if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND || err == ERROR_INVALID_NAME)
            return std::nullopt;
        throwError(err);
    }
    return infoOf(entry.get());
}

namespace {

std::wstring hexDigits(std::uint64_t value, int count)
{
    std::wstring digits(static_cast<std::size_t>(count), L'0');
    for (int i = count - 1; i >= 0; --i, value >>= 4)
        digits[static_cast<std::size_t>(i)] = L"0123456789abcdef"[value & 15];
    return digits;
}

} // namespace

std::wstring folderLockName(const std::string& folder)
{
    // The folder itself, through whatever path: a mapped drive letter, a short name, a link.
    {
        const Handle dir = openEntry(winPath(folder), FILE_READ_ATTRIBUTES, 0);
        BY_HANDLE_FILE_INFORMATION info{};
        if (dir.valid() && ::GetFileInformationByHandle(dir.get(), &info))
            return L"Global\\OrvalisUpgrade-" + hexDigits(info.dwVolumeSerialNumber, 8) + L"-" +
                   hexDigits((static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow,
                             16);
    }
    std::wstring path = winPath(folder);
    const DWORD need = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (need > 0) {
        std::wstring full(need, L'\0');
        const DWORD n = ::GetFullPathNameW(path.c_str(), need, full.data(), nullptr);
        if (n > 0 && n < need)
            path = full.substr(0, n);
    }
    path = toWide(withoutLongPrefix(toUtf8(path)));
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/'))
        path.pop_back();
    std::replace(path.begin(), path.end(), L'/', L'\\');
    // Names ignore letter case as the file system does.
    if (!path.empty()) {
        std::wstring upper(path.size(), L'\0');
        if (::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, path.data(),
                            static_cast<int>(path.size()), upper.data(), static_cast<int>(upper.size()),
                            nullptr, nullptr, 0) > 0)
            path = upper;
    }
    // A mutex name may not hold a backslash and is limited in length: a hash of the path.
    std::uint64_t hash = 14695981039346656037ULL;
    for (const wchar_t c : path) {
        hash ^= static_cast<std::uint16_t>(c);
        hash *= 1099511628211ULL;
    }
    return L"Global\\OrvalisUpgrade-" + hexDigits(hash, 16);
}

namespace {

class MutexFolderLock : public FolderLock {
public:
    explicit MutexFolderLock(HANDLE mutex) : m_mutex(mutex) {}

private:
    Handle m_mutex; // the mutex lives while a handle to it is open; null holds nothing
};

} // namespace

std::unique_ptr<FolderLock> WinFileServices::lockFolder(const std::string& folder)
{
    // The mutex exists exactly as long as a swap of the folder holds it open: finding it
    // there, or made by another user so that it cannot be opened, means the folder is taken.
    Handle mutex(::CreateMutexW(nullptr, FALSE, folderLockName(folder).c_str()));
    const DWORD err = ::GetLastError();
    if (mutex.valid() ? err == ERROR_ALREADY_EXISTS : err == ERROR_ACCESS_DENIED)
        return nullptr;
    return std::make_unique<MutexFolderLock>(mutex.release()); // no mutex to be had: go on without
}

std::unique_ptr<BlockFile> WinFileServices::openToCopy(const std::string& path)
{
    const std::wstring source = winPath(path);
    if (attributesOf(source) & FILE_ATTRIBUTE_DIRECTORY)
        throw Failure(kPathFileAccessError); // only files are copied
    Handle file(openBlockFile(source, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN));
    if (!file.valid())
        throwLastError();
    return std::make_unique<WinSource>(std::move(file));
}

std::unique_ptr<CopyTarget> WinFileServices::createCopy(const std::string& to, const std::string& partPath)
{
    std::wstring part = winPath(partPath), target = winPath(to);
    Handle file(openBlockFile(part, GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH));
    if (!file.valid())
        throwLastError(); // an existing part file is not ours to remove
    try {
        return std::make_unique<WinCopy>(std::move(file), part, std::move(target));
    } catch (...) {
        file.reset();
        removeQuietly(part);
        throw;
    }
}

unsigned WinFileServices::matchPermissions(const std::string& reference, const std::string& target,
                                           const FileId& expected)
{
    // The new file already has the folder's inherited access rights, as the old one had;
    // what is left to carry over is the read-only attribute, set through the handle that
    // checked the file.
    const DWORD ref = attributesOf(winPath(reference));
    const Handle file = openEntry(winPath(target), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES);
    if (!file.valid())
        throwLastError();
    const FileInfo info = infoOf(file.get());
    if (!info.regular || info.links != 1 || !(info.id == expected))
        throw Failure(kPathFileAccessError);
    FILE_BASIC_INFO basic{};
    if (!::GetFileInformationByHandleEx(file.get(), FileBasicInfo, &basic, sizeof basic))
        throwLastError();
    const DWORD attrs = basic.FileAttributes;
    DWORD wanted = (attrs & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY)) | (ref & FILE_ATTRIBUTE_READONLY);
    if (wanted == attrs)
        return kKeptAll;
    if (wanted == 0)
        wanted = FILE_ATTRIBUTE_NORMAL;
    FILE_BASIC_INFO change{}; // times of 0 are left as they are
    change.FileAttributes = wanted;
    if (!::SetFileInformationByHandle(file.get(), FileBasicInfo, &change, sizeof change))
        throwLastError();
    return kKeptAll;
}

void WinFileServices::flushFolder(const std::string& folder)
{
    const Handle dir(::CreateFileW(winPath(folder).c_str(), GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!dir.valid())
        throwLastError();
    if (::FlushFileBuffers(dir.get()))
        return;
    const DWORD err = ::GetLastError();
    // Some file systems cannot flush a folder; the renames were written through already.
    if (err != ERROR_INVALID_FUNCTION && err != ERROR_NOT_SUPPORTED && err != ERROR_INVALID_PARAMETER &&
        err != ERROR_ACCESS_DENIED)
        throwError(err);
}

std::vector<Drive> WinFileServices::drives()
{
    const DWORD letters = ::GetLogicalDrives();
    if (letters == 0)
        throwLastError();
    wchar_t windows[MAX_PATH] = {};
    const UINT n = ::GetSystemWindowsDirectoryW(windows, MAX_PATH);
    const char systemLetter =
        n >= 2 && windows[1] == L':' ? static_cast<char>(std::towupper(windows[0])) : 'C';

    std::vector<Drive> result;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        if (!(letters & (1u << (letter - 'A'))))
            continue;
        const Drive drive{std::string(1, letter) + ':', std::string(1, letter) + ":\\"};
        if (letter == systemLetter)
            result.insert(result.begin(), drive);
        else
            result.push_back(drive);
    }
    // A program started from a network share has no drive letter there; offer the share.
    for (const std::string& path : {appFolder(), toUtf8(currentFolder())}) {
        const Drive drive = driveOf(path);
        if (std::find(result.begin(), result.end(), drive) == result.end())
            result.push_back(drive);
    }
    return result;
}

Drive WinFileServices::driveOf(const std::string& path)
{
    const std::string plain = withoutLongPrefix(path);
    if (plain.size() >= 2 && plain[1] == ':' && std::isalpha(static_cast<unsigned char>(plain[0]))) {
        const std::string name{static_cast<char>(std::toupper(static_cast<unsigned char>(plain[0]))), ':'};
        return Drive{name, name + '\\'};
    }
    if (plain.size() > 2 && isSeparator(plain[0]) && isSeparator(plain[1])) {
        // \\server\share\...: the share is the drive.
        const auto server = plain.find_first_of("\\/", 2);
        if (server != std::string::npos && server + 1 < plain.size()) {
            const auto share = plain.find_first_of("\\/", server + 1);
            std::string name = plain.substr(0, share);
            std::replace(name.begin(), name.end(), '/', '\\');
            return Drive{name, name + '\\'};
        }
    }
    // A relative path, or one rooted on the current drive.
    return driveOf(toUtf8(currentFolder()));
}

std::string WinFileServices::driveCurrentFolder(const Drive& drive)
{
    const QuietDriveErrors quiet;
    std::wstring root;
    try {
        root = toWide(drive.root);
    } catch (const Failure&) {
        throw Failure(kDiskNotReady);
    }
    // Reading the root is what tells an empty card reader from a drive with a disk in it.
    WIN32_FIND_DATAW found{};
    const FindHandle find(::FindFirstFileExW((root + L"*").c_str(), FindExInfoBasic, &found,
                                             FindExSearchNameMatch, nullptr, 0));
    if (!find.valid() && ::GetLastError() != ERROR_FILE_NOT_FOUND)
        throw Failure(kDiskNotReady);

    const bool letter = drive.name.size() == 2 && drive.name[1] == ':';
    if (!letter)
        return drive.root;
    // "X:" alone is the drive's current folder: the process's own on its current drive,
    // else the one Windows keeps for that drive, else the root.
    const std::wstring relative = toWide(drive.name);
    wchar_t buffer[MAX_PATH + 1] = {};
    const DWORD n = ::GetFullPathNameW(relative.c_str(), MAX_PATH + 1, buffer, nullptr);
    std::wstring folder = n > 0 && n <= MAX_PATH ? std::wstring(buffer, n) : root;
    const DWORD attrs = ::GetFileAttributesW(folder.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES || !(attrs & FILE_ATTRIBUTE_DIRECTORY))
        folder = root; // removed since it became current
    return withoutTrailingSeparator(toUtf8(folder), drive.root);
}

std::vector<FolderEntry> WinFileServices::listFolder(const std::string& folder)
{
    std::string pattern = folder;
    if (pattern.empty() || !isSeparator(pattern.back()))
        pattern += '\\';
    pattern += '*';
    const QuietDriveErrors quiet;
    WIN32_FIND_DATAW found{};
    const FindHandle find(::FindFirstFileExW(winPath(pattern).c_str(), FindExInfoBasic, &found,
                                             FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    std::vector<FolderEntry> entries;
    if (!find.valid()) {
        const DWORD err = ::GetLastError();
        if (err == ERROR_FILE_NOT_FOUND || err == ERROR_NO_MORE_FILES)
            return entries; // an empty drive root has not even "." and ".."
        throwError(err);
    }
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        const DWORD attrs = found.dwFileAttributes;
        entries.push_back({toUtf8(name), (attrs & FILE_ATTRIBUTE_DIRECTORY) != 0,
                           (attrs & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0});
    } while (::FindNextFileW(find.get(), &found));
    const DWORD err = ::GetLastError();
    if (err != ERROR_NO_MORE_FILES)
        throwError(err);
    return entries;
}

} // namespace runtime
