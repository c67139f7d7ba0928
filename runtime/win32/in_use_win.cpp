// Which process holds a program file, the log's appends, and the program's arguments, on Windows.

#include "runtime/arguments.h"
#include "runtime/errors.h"
#include "runtime/failure.h"
#include "runtime/win32/owned_handle.h"
#include "runtime/win32/win_file_services.h"

// After windows.h, which they need.
#include <restartmanager.h>
#include <shellapi.h>
#include <vector>

namespace runtime {

namespace {

// The process the Restart Manager finds using `path`, if it can tell.
FileInUse restartManagerAnswer(const std::wstring& path)
{
    DWORD session = 0;
    WCHAR key[CCH_RM_SESSION_KEY + 1]{};
    if (::RmStartSession(&session, 0, key) != ERROR_SUCCESS)
        return {};
    FileInUse answer;
    LPCWSTR files[] = {path.c_str()};
    if (::RmRegisterResources(session, 1, files, 0, nullptr, 0, nullptr) == ERROR_SUCCESS) {
        std::vector<RM_PROCESS_INFO> found(4);
        UINT needed = 0;
        UINT count = static_cast<UINT>(found.size());
        DWORD reasons = 0;
        DWORD status = ::RmGetList(session, &needed, &count, found.data(), &reasons);
        if (status == ERROR_MORE_DATA) {
            found.resize(needed);
            count = needed;
            status = ::RmGetList(session, &needed, &count, found.data(), &reasons);
        }
        if (status == ERROR_SUCCESS && count > 0) {
            answer.inUse = true;
            answer.process = toUtf8(found[0].strAppName);
            answer.processId = found[0].Process.dwProcessId;
        }
    }
    ::RmEndSession(session);
    return answer;
}

// Whether Windows refuses to open the file as replacing it would: a running program cannot
// be written, and a file held open without leave to delete cannot be renamed or deleted.
bool refusedForReplacing(const std::wstring& path, DWORD access)
{
    constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const Handle file(::CreateFileW(path.c_str(), access, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
    if (file.valid())
        return false;
    const DWORD err = ::GetLastError();
    return err == ERROR_SHARING_VIOLATION || err == ERROR_LOCK_VIOLATION;
}

} // namespace

FileInUse WinFileServices::fileInUse(const std::string& path)
{
    const std::wstring wide = toWide(path), full = winPath(path);
    if (::GetFileAttributesW(full.c_str()) == INVALID_FILE_ATTRIBUTES) {
        const DWORD err = ::GetLastError();
        if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND)
            return {};
        throw Failure(win32ErrorNumber(err));
    }
    if (FileInUse answer = restartManagerAnswer(wide); answer.inUse)
        return answer;
    // Where the Restart Manager cannot tell (Wine has only its outline), the file's sharing
    // says it without a name. A read-only file refuses writing for its attribute, not for a
    // process: then asking to delete alone still shows a holder.
    if (refusedForReplacing(full, FILE_WRITE_DATA | DELETE) || refusedForReplacing(full, DELETE))
        return FileInUse{true, {}, 0};
    return {};
}

void WinFileServices::appendText(const std::string& path, const std::string& text)
{
    const Handle file(::CreateFileW(winPath(path).c_str(), FILE_APPEND_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid())
        throw Failure(win32ErrorNumber(::GetLastError()));
    DWORD written = 0;
    const BOOL ok = ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    const DWORD err = ::GetLastError();
    if (!ok || written != text.size())
        throw Failure(ok ? kDiskFull : win32ErrorNumber(err));
}

std::vector<std::string> programArguments(int, char**)
{
    // The narrow arguments are in the system's code page, which cannot spell every name.
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    if (wide == nullptr)
        return arguments;
    for (int i = 1; i < count; ++i)
        arguments.push_back(toUtf8(wide[i]));
    ::LocalFree(wide);
    return arguments;
}

} // namespace runtime
