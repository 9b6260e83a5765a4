# Cross toolchain for the 32-bit Windows product (PE32, for 32-bit Windows):
# MinGW-w64, i686. Its tests run under Wine's 32-bit side.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(ZORVI_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)

# Floating point in SSE2 registers, as on x64, not on the x87 stack: x87 keeps
# intermediate results at 80 bits, so the same double computed twice can compare
# unequal with itself once one copy has been stored. The extraction component
# compares an archive's file date taken now with the one taken with its directory;
# under x87 the two differed, the directory was read again before extracting, and
# an archive whose directory had been rebuilt from its local headers then failed
# as damaged. Every processor since the Pentium 4 and the Athlon 64 has SSE2;
# Windows 8 and later need it themselves.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
