# Cross-building for 64-bit Windows with Debian's mingw-w64. The -posix compilers:
# the win32-thread ones have no std::mutex or std::thread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
# The cross-built libraries (scripts/windows) are named by the environment, which
# CMake's own test builds see too.
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 $ENV{PENVALE_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# No DLL beside the program: the compiler's own libraries and winpthreads linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Tests run under Wine.
find_program(PENVALE_WINE NAMES wine64 wine)
if(PENVALE_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${PENVALE_WINE})
endif()
