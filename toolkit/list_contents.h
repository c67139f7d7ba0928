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

/// What a screen reader says of a folder row besides its name, since the list is a tree
/// only to the eye: "open, level 1" for the root, "closed, level 3" for a subfolder of a
/// folder one below the root. Levels count from 1, as readers say them.
std::string FolderRowDescription(const FolderRow& row);

/// Where typing a letter goes in a list of `rows` rows whose caret is at `caret` (-1: none):
/// the first row after the caret, going round, for which `startsWithIt(row)` holds; -1 when
/// none does. Each letter moves on from the caret, so the same letter typed again goes to
/// the next row that starts with it, however quickly it comes.
template <typename StartsWithIt> int NextStartingWith(int caret, int rows, StartsWithIt startsWithIt)
{
    if (rows <= 0)
        return -1;
    const int from = caret >= 0 && caret < rows ? caret : -1;
    for (int i = 1; i <= rows; ++i) {
        const int row = (from + i + rows) % rows;
        if (startsWithIt(row))
            return row;
    }
    return -1;
}

/// What the folder list shows at `path` (trimmed): the folders from the root down to it,
/// open, then its subfolders from `entries`, closed, sorted with NameLess. Files and
/// hidden folders are left out.
std::vector<FolderRow> FolderRows(const std::string& path, const std::vector<FolderEntry>& entries);

/// The names the file list shows from `entries`: files that are not hidden and match
/// `pattern`, sorted with NameLess.
std::vector<std::string> FileNames(const std::vector<FolderEntry>& entries, const std::string& pattern);

} // namespace runtime
