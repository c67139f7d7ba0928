#pragma once

#include <string>

namespace win32 {

/// UTF-8 bytes as the UTF-16 text a Win32 call takes. Bytes that are not valid UTF-8 show
/// as replacement characters; the caller keeps the original bytes, never this text.
std::wstring widen(const std::string& text);

/// UTF-16 text from a Win32 call as UTF-8 bytes.
std::string narrow(const std::wstring& text);

} // namespace win32
