#include "folder_text.h"

#include "runtime/file_services.h"

namespace engine {

std::string FolderText(const std::string& path)
{
    if (!path.empty() && path.back() == runtime::kFolderSeparator)
        return path;
    return path + runtime::kFolderSeparator;
}

} // namespace engine
