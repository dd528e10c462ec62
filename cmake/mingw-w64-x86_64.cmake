# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64-posix).
# Use: cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(RCPROG_MINGW_PREFIX x86_64-w64-mingw32)
# The posix thread model provides std::thread and std::mutex through winpthreads.
set(CMAKE_C_COMPILER ${RCPROG_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RCPROG_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${RCPROG_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${RCPROG_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Lets the build run its Windows programs (tests, probes) through Wine when it is installed.
find_program(RCPROG_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(RCPROG_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${RCPROG_WINE64})
endif()
