#include "mod_no_case.h"

#include "runtime/failure.h"

namespace modNoCase {

namespace {
constexpr int kFileAttributes = runtime::kAttrReadOnly | runtime::kAttrHidden | runtime::kAttrSystem |
                                runtime::kAttrArchive; // 39: any file, never a folder or a volume label
} // namespace

bool FileExists(runtime::FileServices& files, const std::string& folder, const std::string& name)
{
    return !files.dirSearch(folder + name, kFileAttributes).empty();
}

void RemoveFile(runtime::FileServices& files, runtime::Dialogs& dialogs, const std::string& folder,
                const std::string& name)
{
    const std::string path = folder + name;
    try {
        if (FileExists(files, folder, name))
            files.setAttrNormal(path);
        files.deleteFile(path); // also when the search found nothing, so the user learns why
    } catch (const runtime::Failure& failure) {
        dialogs.msgBox(RemoveFailedMessage(failure.number(), failure.description()),
                       runtime::MsgKind::Warning);
    }
}

std::string RemoveFailedMessage(int number, const std::string& description)
{
    return "An Error occurred trying to delete the file.\r\nNumber: " + std::to_string(number) +
           "\r\nDescription: " + description;
}

} // namespace modNoCase
