# Fails when PROGRAM, a 32-bit build for the processors of Windows 7's time and of
# Debian's i386 (i686: the Athlon XP, the early Pentium 4 and older), executes an MMX,
# SSE or later instruction anywhere: in our code, or in the static libraries linked in
# with it. The whole program is disassembled; the exception tables that the linker puts
# into .text are data, not code, and are left out. FORMAT, if given, is the object
# format objdump must name (elf32-i386).
#   cmake -DOBJDUMP=... -DPROGRAM=... [-DFORMAT=...] -P check_no_sse.cmake
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${OBJDUMP} -d --no-show-raw-insn ${PROGRAM} OUTPUT_VARIABLE code RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -d ${PROGRAM} failed")
endif()
if(FORMAT AND NOT code MATCHES "file format ${FORMAT}\n")
  message(FATAL_ERROR "${PROGRAM} is not ${FORMAT}")
endif()
string(LENGTH "${code}" size)
if(size LESS 100000)
  message(FATAL_ERROR "${OBJDUMP} -d ${PROGRAM} gave almost no code")
endif()
# Blocks of data, each from its label to the next.
string(REGEX REPLACE "\n[0-9a-f]+ <\\.(gcc_except_table|ctors|dtors)[^>]*>:\n([^\n]+\n)*" "\n" code "${code}")
# xmm/mm registers and MXCSR (MMX, SSE and later), the fences and non-temporal stores
# (SSE, SSE2), fisttp (SSE3), the prefetches (SSE, 3DNow!).
string(REGEX MATCHALL "[^\n]*(%xmm|%ymm|%mm[0-7]|mxcsr|[lms]fence|movnti|fisttp|prefetch|emms)[^\n]*" found "${code}")
list(LENGTH found count)
if(count GREATER 0)
  list(SUBLIST found 0 10 first)
  list(JOIN first "\n" shown)
  message(FATAL_ERROR "${PROGRAM} holds ${count} instructions beyond i686, e.g.:\n${shown}")
endif()
message(STATUS "${PROGRAM}: no MMX, SSE or later instruction")
