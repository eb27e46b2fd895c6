# Cross-builds the Windows programs and their tests with Debian's mingw-w64 (POSIX thread model,
# so std::thread and std::mutex work), linked statically: no DLL travels with them. 64-bit
# programs for Windows 7 SP1 and later; the tests run under Wine (see windows.cmake).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.1)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Nothing newer than Windows 7 without a run-time check.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 WIN32_LEAN_AND_MEAN NOMINMAX)
# mingw's localtime_r, as on POSIX (over localtime_s).
add_compile_definitions(_POSIX_THREAD_SAFE_FUNCTIONS=200112L)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# The Qt windows are Linux's; the Windows ones are a later step. Of the benchmarks, the Windows
# tree builds the paper's (bench/CMakeLists.txt).
set(BUILD_GUI OFF CACHE BOOL "Build the Qt parts (windows, programs, GUI tests)" FORCE)
