#include "name_pattern.h"

#include "runtime/file_services.h"

#include <cstddef>

namespace toolkit {

namespace {

char fold(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

bool MatchesPattern(const std::string& name, const std::string& pattern)
{
    // Greedy match with one backtrack point: the last '*' seen and where it started eating.
    std::size_t n = 0;
    std::size_t p = 0;
    std::size_t star = std::string::npos;
    std::size_t resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || fold(pattern[p]) == fold(name[n]))) {
            ++p;
            ++n;
        } else if (star != std::string::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

bool NameLess(const std::string& a, const std::string& b)
{
    const std::size_t common = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < common; ++i) {
        const char x = fold(a[i]);
        const char y = fold(b[i]);
        if (x != y)
            return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

std::string TrimSeparator(std::string path)
{
    const auto isRoot = [&path] {
        return path.size() == 1 || (path.size() == 3 && path[1] == ':');
    };
    while (path.size() > 1 && path.back() == runtime::kFolderSeparator && !isRoot())
        path.pop_back();
    return path;
}

} // namespace toolkit
