#include "platform_file_services.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace testsupport {

#ifdef _WIN32

std::vector<PlatformFileServices::Options> allVariants()
{
    return std::vector<PlatformFileServices::Options>(1);
}

bool tradesNames()
{
    return false;
}

std::string hiddenName(const std::string& name)
{
    return name;
}

void hide(const std::filesystem::path& path)
{
    ::SetFileAttributesW(path.c_str(), ::GetFileAttributesW(path.c_str()) | FILE_ATTRIBUTE_HIDDEN);
}

#else

std::vector<PlatformFileServices::Options> allVariants()
{
    return {{true, true, true, true}, {false, false, true, true}, {false, false, false, false, true, false}};
}

bool tradesNames()
{
    return true;
}

std::string hiddenName(const std::string& name)
{
    return "." + name;
}

void hide(const std::filesystem::path&) {}

#endif

} // namespace testsupport
