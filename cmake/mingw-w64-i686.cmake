# Cross build for 32-bit Windows (7 and later) with Debian's MinGW-w64
# (g++-mingw-w64-i686-posix): the 64-bit toolchain file for the i686 processor.
# Code for the processors of Windows 7's time, among them the Athlon XP and the early
# Pentium 4: i686 without SSE2 (no SSE at all), floating point on the x87 unit. These
# are the compiler's defaults too (-march=pentiumpro, -mfpmath=387); named here so that
# a compiler built with other defaults cannot raise the baseline unnoticed. The static
# runtime libraries are Debian's, built for the same baseline.
set(LUMATEXT_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
set(CMAKE_C_FLAGS_INIT "-march=i686 -mfpmath=387")
set(CMAKE_CXX_FLAGS_INIT "-march=i686 -mfpmath=387")
