// Fuzzes the handling of folder texts and file names: the folder-text rule, trimming a
// path for display, and the file list's pattern matching, which is checked against a
// plain recursive matcher.

#include "engine/folder_text.h"
#include "runtime/file_services.h"
#include "toolkit/list_contents.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

char fold(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The obvious definition, exponential in the worst case; inputs are kept short for it.
bool reference(const char* name, std::size_t n, const char* pattern, std::size_t p)
{
    if (p == 0)
        return n == 0;
    if (*pattern == '*')
        return reference(name, n, pattern + 1, p - 1) || (n > 0 && reference(name + 1, n - 1, pattern, p));
    if (n == 0)
        return false;
    return (*pattern == '?' || fold(*pattern) == fold(*name)) &&
           reference(name + 1, n - 1, pattern + 1, p - 1);
}

void check(bool ok)
{
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const char sep = runtime::kFolderSeparator;

    const std::string folder = engine::FolderText(input);
    check(!folder.empty() && folder.back() == sep);
    check(folder.compare(0, input.size(), input) == 0 && folder.size() - input.size() <= 1);
    check(engine::FolderText(folder) == folder);

    const std::string trimmed = runtime::TrimSeparator(input);
    check(trimmed.size() <= input.size() && input.compare(0, trimmed.size(), trimmed) == 0);
    if (trimmed.size() > 1 && trimmed.size() != 3)
        check(trimmed.back() != sep || input.empty());

    // The first byte splits the rest into a pattern and a name.
    if (size < 1)
        return 0;
    const std::size_t split = data[0] % (size);
    const std::string rest = input.substr(1);
    const std::string pattern = rest.substr(0, split < rest.size() ? split : rest.size());
    const std::string name = rest.substr(pattern.size());
    const bool fast = runtime::MatchesPattern(name, pattern);
    if (name.size() <= 24 && pattern.size() <= 12)
        check(fast == reference(name.data(), name.size(), pattern.data(), pattern.size()));
    if (pattern == "*")
        check(fast);
    return 0;
}
