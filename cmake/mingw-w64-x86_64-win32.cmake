# Cross-compiles for Windows x64 with MinGW-w64's win32 thread model: the
# download. Its runtime brings no winpthread, so the programs import only
# what they call themselves.
set(KESTREL_MINGW_THREAD_MODEL win32)
include("${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64.cmake")
