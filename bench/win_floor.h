#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace bench {

/// The kernel time this process has used so far, in milliseconds.
double KernelMs();

/// Throws with the Win32 error when `ok` is false.
void CheckWin32(bool ok, const std::string& what);

/// An upgrade file of `size` bytes of noise, so that nothing below can shortcut the copy.
void MakeNoiseFile(const std::filesystem::path& path, std::uint64_t size);

/// Whether both files hold the same bytes, read 1 MiB at a time.
bool SameBytes(const std::filesystem::path& a, const std::filesystem::path& b);

/// What the plainest program that could be called a swap spends in each of its steps.
struct FloorStages {
    double copying{0};  ///< CopyFileW
    double flushing{0}; ///< FlushFileBuffers
    double checking{0}; ///< the compare, 1 MiB at a time, and MoveFileExW
    double total() const { return copying + flushing + checking; }
};

/// The floor of the Windows swap rows: CopyFileW of `source` to `part` beside `target`,
/// FlushFileBuffers, a compare of both files 1 MiB at a time, MoveFileExW to `target`.
/// Throws when any step fails or the copy differs.
FloorStages CopyFlushCompareMove(const std::filesystem::path& source, const std::filesystem::path& part,
                                 const std::filesystem::path& target);

} // namespace bench
