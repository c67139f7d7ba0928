#pragma once

#include <string>

namespace runtime {

/// Failure numbers shared by every platform. Support staff know these numbers, so each
/// platform maps its own error codes onto them instead of inventing its own.
enum ErrorNumber : int {
    kOutOfMemory = 7,
    kFileNotFound = 53,
    kFileAlreadyExists = 58,
    kDiskFull = 61,
    kPermissionDenied = 70,
    kDiskNotReady = 71,
    kPathFileAccessError = 75,
    kPathNotFound = 76,
};

/// The description of a number from the table; "Path/File access error" for any other.
std::string errorDescription(int number);

} // namespace runtime
