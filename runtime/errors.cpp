#include "runtime/errors.h"

namespace runtime {

std::string errorDescription(int number)
{
    switch (number) {
    case kOutOfMemory:
        return "Out of memory";
    case kFileNotFound:
        return "File not found";
    case kFileAlreadyExists:
        return "File already exists";
    case kDiskFull:
        return "Disk full";
    case kPermissionDenied:
        return "Permission denied";
    case kDiskNotReady:
        return "Disk not ready";
    case kPathNotFound:
        return "Path not found";
    case kPathFileAccessError:
    default:
        return "Path/File access error";
    }
}

} // namespace runtime
