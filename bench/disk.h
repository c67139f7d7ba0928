#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace bench {

/// Throws with errno's text when `ok` is false.
void Check(bool ok, const std::string& what);

/// Writes `size` bytes that no file system can compress or share, and flushes them.
void MakeUpgradeFile(const std::filesystem::path& path, std::uint64_t size);

/// Writes a small executable file.
void WriteSmall(const std::filesystem::path& path, const std::string& text);

/// Drops the file's pages from the cache, so the next run reads it from the disk as the
/// first read of a file saved some time ago would.
void Evict(const std::filesystem::path& path);

/// Writes out whatever earlier runs left dirty on the file system holding `folder`, so it
/// does not land on the next run's flush.
void Quieten(const std::filesystem::path& folder);

/// Runs `command` with /bin/sh and returns how long it took in milliseconds; throws when
/// it fails.
double RunShell(const std::string& command);

/// `path` in single quotes, for RunShell.
std::string Quoted(const std::filesystem::path& path);

/// The floor of a swap from another folder: `cp SRC DST && sync DST && cmp SRC DST`.
double CopySyncCompare(const std::filesystem::path& source, const std::filesystem::path& target);

/// The system CPU this process and the children it waited for have used, in milliseconds.
double SystemCpuMs();

/// Reads the whole file once from the device, past the cache (O_DIRECT), and returns how
/// long it took in milliseconds.
double ReadFromDevice(const std::filesystem::path& path);

/// Throws unless the file system under `folder` has room for `bytes` and 1 GiB to spare.
void CheckFreeSpace(const std::filesystem::path& folder, std::uint64_t bytes);

} // namespace bench
