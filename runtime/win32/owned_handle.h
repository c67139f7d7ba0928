#pragma once

// windows.h as the Win32 services take it: without its min and max macros and its rarely
// used parts.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <utility>
#include <windows.h>

namespace runtime {

/// Owns a handle from CreateFileW or CreateMutexW (closed with CloseHandle) or from
/// FindFirstFileExW (FindClose); null and INVALID_HANDLE_VALUE hold nothing.
template <BOOL(WINAPI* Close)(HANDLE)> class Owned {
public:
    explicit Owned(HANDLE h) : m_handle(h) {}
    ~Owned() { reset(); }
    Owned(Owned&& other) noexcept : m_handle(other.release()) {}
    Owned& operator=(Owned&& other) noexcept
    {
        if (this != &other) {
            reset();
            m_handle = other.release();
        }
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    HANDLE get() const { return m_handle; }
    /// Gives the handle up without closing it.
    HANDLE release() { return std::exchange(m_handle, nullptr); }
    /// Closes the handle now.
    void reset()
    {
        if (valid())
            Close(m_handle);
        m_handle = nullptr;
    }
    bool valid() const { return m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_handle;
};

using Handle = Owned<::CloseHandle>;
using FindHandle = Owned<::FindClose>;

} // namespace runtime
