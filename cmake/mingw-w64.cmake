# Cross build for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64), posix
# thread model: the win32 model has no std::thread. Programs are linked statically so
# that they need nothing beyond the DLLs of Windows itself. Tests run under Wine.
# LUMATEXT_MINGW_PROCESSOR, set before this file is included, picks another processor
# (mingw-w64-i686.cmake: i686).
set(CMAKE_SYSTEM_NAME Windows)
if(NOT LUMATEXT_MINGW_PROCESSOR)
  set(LUMATEXT_MINGW_PROCESSOR x86_64)
endif()
set(CMAKE_SYSTEM_PROCESSOR ${LUMATEXT_MINGW_PROCESSOR})

set(mingw_triple ${LUMATEXT_MINGW_PROCESSOR}-w64-mingw32)
string(REPLACE "_" "-" mingw_package g++-mingw-w64-${LUMATEXT_MINGW_PROCESSOR})
find_program(CMAKE_C_COMPILER ${mingw_triple}-gcc-posix)
find_program(CMAKE_CXX_COMPILER ${mingw_triple}-g++-posix)
find_program(CMAKE_RC_COMPILER ${mingw_triple}-windres)
if(NOT CMAKE_CXX_COMPILER OR NOT CMAKE_C_COMPILER)
  message(FATAL_ERROR "${mingw_triple}-g++-posix not found: install it with "
                      "'apt-get install ${mingw_package}-posix' (tools/install-deps does).")
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${mingw_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# DLLs too (the tests' stand-in for a port I/O DLL): a 32-bit one would otherwise need
# libgcc_s_dw2-1.dll beside it.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# Test executables and the smoke tests run under Wine (Debian's wine64), with Unix
# line ends on their output.
find_program(LUMATEXT_WINE wine)
if(LUMATEXT_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run)
endif()

# GoogleTest is built from source with the cross compiler.
set(LUMATEXT_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to build the tests with")
