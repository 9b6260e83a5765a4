# The part of the MinGW-w64 cross toolchains that both architectures share; the
# toolchain file of an architecture sets CMAKE_SYSTEM_PROCESSOR and
# ZORVI_MINGW_PREFIX, then includes this. The posix thread variant: the default
# win32 variant lacks std::mutex and std::thread.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${ZORVI_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZORVI_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ZORVI_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZORVI_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Windows programs run under Wine when CTest starts them.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine/wine-run.sh)
