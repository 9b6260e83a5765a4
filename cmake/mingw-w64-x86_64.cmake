# Cross toolchain for the 64-bit Windows product: MinGW-w64, x86_64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZORVI_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
