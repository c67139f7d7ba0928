# Windows programs from Linux with Debian's mingw-w64 cross compiler (g++-mingw-w64-x86-64-posix),
# run by Wine: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake ...
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(orvalis_mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${orvalis_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${orvalis_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${orvalis_mingw}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${orvalis_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static runtime libraries, so that Wine needs no DLLs from the cross compiler's folders.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs and test discovery run under Wine; WINEDEBUG=-all keeps Wine's own
# diagnostics out of the test output.
set(CMAKE_CROSSCOMPILING_EMULATOR env WINEDEBUG=-all /usr/lib/wine/wine64)
