#pragma once

// The real file services of the platform the tests run on, for tests that hold on every
// platform. The one place in the tests that picks a platform.

#ifdef _WIN32
#include "runtime/win32/win_file_services.h"

namespace testsupport {

class PlatformFileServices : public runtime::WinFileServices {
public:
    /// Windows has no kernel features to switch off.
    struct Options {};

    PlatformFileServices() = default;
    explicit PlatformFileServices(Options) {}
};

} // namespace testsupport
#else
#include "runtime/posix/posix_file_services.h"

namespace testsupport {

using PlatformFileServices = runtime::PosixFileServices;

} // namespace testsupport
#endif
