#pragma once

#include "runtime/dialogs.h"
#include "runtime/file_services.h"

#include <string>

/// The file routines of the upgrade swap. Each takes a folder text and a bare file name
/// and joins them itself.
namespace modNoCase {

/// Whether a file (read-only, hidden and system ones included; never a folder) of that
/// name lies in that folder. A failure of the search itself (a drive that is not ready,
/// a folder that cannot be searched) passes to the caller.
bool FileExists(runtime::FileServices& files, const std::string& folder, const std::string& name);

/// Deletes the file, clearing its attributes first so that read-only, hidden and system
/// files go too. A failure is shown to the user as "An Error occurred trying to delete
/// the file." with its number and description, and is not passed on.
void RemoveFile(runtime::FileServices& files, runtime::Dialogs& dialogs, const std::string& folder,
                const std::string& name);

/// The message RemoveFile shows for a failure.
std::string RemoveFailedMessage(int number, const std::string& description);

} // namespace modNoCase
