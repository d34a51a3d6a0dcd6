# Runs lumatext with command lines it must refuse: each exits 2, prints nothing on
# standard output, and names the argument in its first line of standard error, followed
# by the usage. Arguments of one row are separated by "|". EMULATOR, when set, runs
# PROGRAM (Wine for the Windows build).
set(rows
  "--bogus"             "--bogus"
  "--headless|-x"       "-x"
  "--check|--headles"   "--headles"
  "--type|Größe"        "--type"
  "--type|a\tb"         "--type"
  "--type"              "--type"
)
list(LENGTH rows count)
math(EXPR last "${count} - 1")
set(failures "")
foreach(i RANGE 0 ${last} 2)
  math(EXPR j "${i} + 1")
  list(GET rows ${i} line)
  list(GET rows ${j} named)
  string(REPLACE "|" ";" args "${line}")
  execute_process(COMMAND ${EMULATOR} ${PROGRAM} ${args}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  string(REPLACE "\r" "" err "${err}")
  string(REGEX MATCH "^[^\n]*" first "${err}")
  if(NOT status EQUAL 2)
    string(APPEND failures "${line}: exit status ${status}, not 2\n")
  elseif(NOT out STREQUAL "")
    string(APPEND failures "${line}: wrote to standard output:\n${out}\n")
  elseif(NOT first MATCHES "^lumatext: ${named}[: ]")
    string(APPEND failures "${line}: first line does not name ${named}: ${first}\n")
  elseif(NOT err MATCHES "\nAufruf: lumatext ")
    string(APPEND failures "${line}: no usage after the error\n")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "${failures}")
endif()
