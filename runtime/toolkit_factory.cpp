// The one place that picks the window toolkit of the build.

#include "runtime/toolkit.h"

#if defined(_WIN32)
#include "runtime/win32/win32_toolkit.h"
using PlatformToolkit = win32::Win32Toolkit;
#else
#include "runtime/qt/qt_toolkit.h"
using PlatformToolkit = toolkit::QtToolkit;
#endif

namespace runtime {

std::unique_ptr<Toolkit> createToolkit(int& argc, char** argv)
{
    return std::make_unique<PlatformToolkit>(argc, argv);
}

} // namespace runtime
