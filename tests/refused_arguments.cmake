# Included by the scripts that run a program with command lines it must refuse.
# check_refused_arguments(NAME ROWS COMMAND...): runs COMMAND followed by each row's
# arguments (separated by "|"; ROWS pairs each row with the argument it must name) and
# checks that the program exits 2, prints nothing on standard output, and names the
# argument in the first line of standard error ("NAME: argument..."), followed by one
# line that points at the help ("Alle Optionen: NAME --help") and nothing else.
function(check_refused_arguments name rows)
  list(LENGTH rows count)
  math(EXPR last "${count} - 1")
  set(failures "")
  foreach(i RANGE 0 ${last} 2)
    math(EXPR j "${i} + 1")
    list(GET rows ${i} line)
    list(GET rows ${j} named)
    string(REPLACE "|" ";" args "${line}")
    execute_process(COMMAND ${ARGN} ${args} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
    string(REPLACE "\r" "" err "${err}")
    # The first line (REGEX MATCH refuses to match an empty one).
    set(first "${err}")
    string(FIND "${err}" "\n" newline)
    if(newline GREATER_EQUAL 0)
      string(SUBSTRING "${err}" 0 ${newline} first)
    endif()
    if(NOT status EQUAL 2)
      string(APPEND failures "${line}: exit status ${status}, not 2; standard error: ${err}\n")
    elseif(NOT out STREQUAL "")
      string(APPEND failures "${line}: wrote to standard output:\n${out}\n")
    elseif(NOT first MATCHES "^${name}: ${named}[: ]")
      string(APPEND failures "${line}: first line does not name ${named}: ${first}\n")
    elseif(NOT err STREQUAL "${first}\nAlle Optionen: ${name} --help\n")
      string(APPEND failures "${line}: not the error and the pointer at --help alone:\n${err}\n")
    endif()
  endforeach()
  if(failures)
    message(FATAL_ERROR "${failures}")
  endif()
endfunction()
