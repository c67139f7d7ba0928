#pragma once

#include <string>

namespace engine {

/// A folder text: the path of a folder ending in exactly one separator, so that a file
/// name can be appended to it directly. `path` is a folder as the platform reports it,
/// without a trailing separator except at a root; a root is taken unchanged.
std::string FolderText(const std::string& path);

/// The application-folder rule: the folder of the running executable as a folder text.
inline std::string AppFolderText(const std::string& reportedFolder)
{
    return FolderText(reportedFolder);
}

} // namespace engine
