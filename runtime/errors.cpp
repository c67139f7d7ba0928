#include "errors.h"

#include "failure.h"

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

Failure::Failure(int number, std::string description)
    : m_number(number), m_description(std::move(description))
{}

Failure::Failure(int number) : Failure(number, errorDescription(number)) {}

} // namespace runtime
