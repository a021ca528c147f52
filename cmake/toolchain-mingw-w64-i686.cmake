# Cross-building the 32-bit Windows programs on Debian with mingw-w64 (package
# g++-mingw-w64-i686-posix). They run on 32-bit Windows and, through WoW64, on 64-bit Windows.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(VELMORA_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-w64-common.cmake)
