#pragma once

#include "support/platform_file_services.h"

#include <filesystem>
#include <string>
#include <utility>

namespace bench {

/// The file services of the platform, with the application folder wherever the run wants it.
class ServicesIn : public testsupport::PlatformFileServices {
public:
    explicit ServicesIn(std::filesystem::path app) : m_app(std::move(app)) {}
    std::string appFolder() override { return m_app.string(); }

private:
    std::filesystem::path m_app;
};

} // namespace bench
