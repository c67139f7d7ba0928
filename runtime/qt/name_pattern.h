#pragma once

#include <string>

namespace toolkit {

/// Whether the bare file name `name` matches `pattern`, in which '*' stands for any run of
/// characters and '?' for any one; letters match without regard to case (ASCII letters
/// only: other bytes must be equal), as names did on the system the file list comes from.
bool MatchesPattern(const std::string& name, const std::string& pattern);

/// Orders two names without regard to letter case; names that differ only in case are
/// ordered by their bytes, so the order is total.
bool NameLess(const std::string& a, const std::string& b);

/// `path` without trailing separators, except that a root ("/", "C:\\") keeps its own.
std::string TrimSeparator(std::string path);

} // namespace toolkit
