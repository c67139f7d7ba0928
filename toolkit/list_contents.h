#pragma once

#include "runtime/file_services.h"

#include <string>
#include <vector>

namespace runtime {

/// Whether the bare file name `name` matches `pattern`, in which '*' stands for any run of
/// characters and '?' for any one; letters match without regard to case (ASCII letters
/// only: other bytes must be equal), as names did on the system the file list comes from.
bool MatchesPattern(const std::string& name, const std::string& pattern);

/// Orders two names without regard to letter case; names that differ only in case are
/// ordered by their bytes, so the order is total.
bool NameLess(const std::string& a, const std::string& b);

/// `path` without trailing separators, except that a root ("/", "C:\\") keeps its own.
std::string TrimSeparator(std::string path);

/// One entry of the folder list.
struct FolderRow {
    std::string path;  ///< the folder's full path, no trailing separator except at a root
    std::string label; ///< what the list shows: the root's text, else the folder's name
    int level{0};      ///< how far it is indented: 0 for the root
    bool open{false};  ///< the root and the folders down to the current one are open
};

/// What the folder list shows at `path` (trimmed): the folders from the root down to it,
/// open, then its subfolders from `entries`, closed, sorted with NameLess. Files and
/// hidden folders are left out.
std::vector<FolderRow> FolderRows(const std::string& path, const std::vector<FolderEntry>& entries);

/// The names the file list shows from `entries`: files that are not hidden and match
/// `pattern`, sorted with NameLess.
std::vector<std::string> FileNames(const std::vector<FolderEntry>& entries, const std::string& pattern);

} // namespace runtime
