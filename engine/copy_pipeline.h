#pragma once

#include "runtime/file_services.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace engine {

/// How a copy runs. The defaults suit a local disk; tests change them to walk every path.
struct CopyOptions {
    unsigned workers{4};                       ///< chunks in flight at once; 0 copies in the calling thread
    std::size_t chunkSize{4u << 20};           ///< bytes per chunk at most; rounded up to the alignment
    std::chrono::milliseconds reportEvery{40}; ///< how often a long stage is reported
    std::uint64_t flushEvery{64u << 20}; ///< bytes written between flushes during the copy; 0 flushes once
};

/// Copies the regular file `from` to `to`, which must not exist, through the file services'
/// block files. `to` appears only when the copy is complete and flushed to disk, and has been
/// read back and compared equal to the source read once more, and the source kept its stamp
/// throughout: a source changed during the copy, even where its stamp does not tell, is
/// refused. Where the file system cannot create an unnamed file the copy is written under
/// `partPath` first. Nothing is left behind on failure. Every failure is a runtime::Failure,
/// running out of memory or threads included.
void CopyAndCheck(runtime::FileServices& files, const std::string& from, const std::string& to,
                  const std::string& partPath, const runtime::CopyProgress& progress,
                  const CopyOptions& options = {});

/// Whether the files `a` and `b` hold the same bytes: their sizes first, so that files of
/// different sizes are not read. A file that cannot be read is taken for a different one.
bool SameContents(runtime::FileServices& files, const std::string& a, const std::string& b);

} // namespace engine
