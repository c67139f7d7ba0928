#include "text.h"

#include <windows.h>

namespace win32 {

std::wstring widen(const std::string& text)
{
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    // Without MB_ERR_INVALID_CHARS each invalid byte becomes U+FFFD instead of failing.
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), n);
    return wide;
}

std::string narrow(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, bytes.data(), n, nullptr, nullptr);
    return bytes;
}

wchar_t initial(const std::string& text)
{
    if (text.empty())
        return 0;
    wchar_t letter = static_cast<unsigned char>(text[0]);
    if (letter >= 0x80) {
        // Four bytes hold any first character; a sequence cut after it does not change it.
        const std::wstring start = widen(text.substr(0, 4));
        letter = start.empty() ? 0 : start[0];
    }
    ::CharUpperBuffW(&letter, 1);
    return letter;
}

} // namespace win32
