// The one place that picks the platform's implementation of each service.

#include "runtime/file_services.h"

#if defined(_WIN32)
#include "runtime/win32/win_file_services.h"
using PlatformFileServices = runtime::WinFileServices;
#else
#include "runtime/posix/posix_file_services.h"
using PlatformFileServices = runtime::PosixFileServices;
#endif

namespace runtime {

std::unique_ptr<FileServices> createFileServices()
{
    return std::make_unique<PlatformFileServices>();
}

} // namespace runtime
