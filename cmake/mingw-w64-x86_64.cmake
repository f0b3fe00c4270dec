# Cross-compiles for Windows x64 with Debian's MinGW-w64. The POSIX thread
# model by default, which GoogleTest needs (std::mutex); the download's own
# toolchain, mingw-w64-x86_64-win32.cmake, sets KESTREL_MINGW_THREAD_MODEL to
# win32 before it includes this file. A plain variable, not a cache entry:
# try_compile reads the toolchain file again, without the cache.
if(NOT KESTREL_MINGW_THREAD_MODEL)
  set(KESTREL_MINGW_THREAD_MODEL posix)
endif()
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-${KESTREL_MINGW_THREAD_MODEL})
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-${KESTREL_MINGW_THREAD_MODEL})
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
