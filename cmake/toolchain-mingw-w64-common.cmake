# What both Windows toolchains share. The including file sets VELMORA_MINGW_PREFIX (the
# compiler's target triple) and CMAKE_SYSTEM_PROCESSOR first. The posix thread model gives
# std::thread and std::mutex; the runtime is linked statically, so the programs need no
# libstdc++, libgcc or winpthread DLL.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${VELMORA_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELMORA_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VELMORA_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VELMORA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Tests and helper programs are run under Wine; the same loader runs 32- and 64-bit programs.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
