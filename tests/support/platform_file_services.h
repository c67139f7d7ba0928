#pragma once

// The real file services of the platform the tests run on, for tests that hold on every
// platform, and what the shared tests need to know of the platform. The one place in the
// tests that picks a platform (with its .cpp).

#include <filesystem>
#include <string>
#include <vector>

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

namespace testsupport {

/// Every variant of the services: all kernel features, and each fallback.
std::vector<PlatformFileServices::Options> allVariants();

/// Whether exchangeFiles can trade two names here.
bool tradesNames();

/// The name a hidden entry called `name` takes: a dot file on POSIX, the name itself on Windows.
std::string hiddenName(const std::string& name);

/// Makes the entry at `path` (named by hiddenName) hidden: the hidden attribute on Windows.
void hide(const std::filesystem::path& path);

} // namespace testsupport
