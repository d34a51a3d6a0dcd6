# Build for 32-bit x86 Linux (Debian's i386: the PCs of the ITE 8705's time, Athlon XP,
# Duron, Pentium 4) the Debian way, multiarch: the cross compiler g++-i686-linux-gnu
# with the :i386 development packages (libfltk1.3-dev:i386, libgtest-dev:i386 and the
# X libraries) installed beside the amd64 ones: what Debian itself uses to build for a
# foreign architecture. gcc-multilib (gcc -m32) would be the other way, but Debian's
# packages let only one of the two be installed. The cross compiler brings its own i386 C library
# (libc6-dev-i386-cross) and finds the :i386 packages in the multiarch tree
# (/usr/include/i386-linux-gnu, /usr/lib/i386-linux-gnu). tools/install-deps --tests
# installs all of it.
# Code for i686 without MMX, SSE or SSE2, floating point on the x87 unit: Debian's i386
# baseline and the compiler's default; named here so that a compiler with other defaults
# cannot raise it unnoticed. time_t and file offsets are 64 bits wide (glibc's
# _TIME_BITS=64 needs _FILE_OFFSET_BITS=64): the time of day stays right after 2038.
# The programs run here where the kernel runs i386 programs (IA32 emulation); the
# tests/CMakeLists.txt check says so and skips them where it does not.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

find_program(CMAKE_C_COMPILER i686-linux-gnu-gcc)
find_program(CMAKE_CXX_COMPILER i686-linux-gnu-g++)
if(NOT CMAKE_CXX_COMPILER OR NOT CMAKE_C_COMPILER)
  message(FATAL_ERROR "i686-linux-gnu-g++ not found: install it and the :i386 libraries with "
                      "'tools/install-deps --tests' (g++-i686-linux-gnu, libfltk1.3-dev:i386 ...).")
endif()

set(lumatext_i386_flags "-march=i686 -mfpmath=387 -D_FILE_OFFSET_BITS=64 -D_TIME_BITS=64")
set(CMAKE_C_FLAGS_INIT "${lumatext_i386_flags}")
set(CMAKE_CXX_FLAGS_INIT "${lumatext_i386_flags}")

# Headers and libraries from the multiarch tree (/usr/include/i386-linux-gnu,
# /usr/lib/i386-linux-gnu), the architecture-independent headers from /usr/include;
# programs (objdump aside) from the host.
set(CMAKE_FIND_ROOT_PATH /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config (FindFontconfig asks it) reads the i386 packages' .pc files.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/i386-linux-gnu/pkgconfig:/usr/share/pkgconfig)
