#pragma once

#include "toolkit/list_contents.h"

#include <string>

namespace win32 {

/// UTF-8 bytes as the UTF-16 text a Win32 call takes. Bytes that are not valid UTF-8 show
/// as replacement characters; the caller keeps the original bytes, never this text.
std::wstring widen(const std::string& text);

/// UTF-16 text from a Win32 call as UTF-8 bytes.
std::string narrow(const std::wstring& text);

/// The first character of `text` as shown, in capitals (0 for no text).
wchar_t initial(const std::string& text);

/// What typing `letter` in a list finds (runtime::NextStartingWith): the next row whose text
/// `textOf(row)` starts with that letter in either case; -1 when there is none.
template <typename TextOf> int nextStartingWith(wchar_t letter, int caret, int rows, TextOf textOf)
{
    const wchar_t wanted = initial(narrow(std::wstring(1, letter)));
    return runtime::NextStartingWith(caret, rows, [&](int row) { return initial(textOf(row)) == wanted; });
}

} // namespace win32
