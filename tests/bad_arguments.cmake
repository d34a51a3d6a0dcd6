# Runs lumatext-sim with command lines it must refuse: each exits 2, prints nothing on
# standard output (nothing was simulated), and names the argument in its first line of
# standard error, followed by the usage. Arguments of one row are separated by "|".
# EMULATOR, when set, runs SIM (Wine for the Windows build).
set(rows
  "--temperature|abc"          "--temperature"
  "--temperature|256"          "--temperature"
  "--temperature|-3"           "--temperature"
  "--fan-count|1,,2"           "--fan-count"
  "--fan-count|99999999999"    "--fan-count"
  "--time-of-day|25:00:00"     "--time-of-day"
  "--time-of-day|12:00"        "--time-of-day"
  "--time-of-day|noon"         "--time-of-day"
  "--at|5:Starten"             "--at"
  "--at|5Messen"               "--at"
  "--at|-1:Ende"               "--at"
  "--speed|-1"                 "--speed"
  "--speed|schnell"            "--speed"
  "--max-time|1e400"           "--max-time"
  "--unplug-at|x"              "--unplug-at"
  "--iowarrior|27"             "--iowarrior"
  "--bogus"                    "--bogus"
  "--log"                      "--log"
  "--headless|--at"            "--at"
  "--type|Größe"               "--type"
  "--type|a\tb"                "--type"
  "--type|A|--unattended"      "--type"
  "--test-keys|--at|1:Ende"    "--test-keys"
  "--test-keys|--type|A"       "--test-keys"
)
list(LENGTH rows count)
math(EXPR last "${count} - 1")
set(failures "")
foreach(i RANGE 0 ${last} 2)
  math(EXPR j "${i} + 1")
  list(GET rows ${i} line)
  list(GET rows ${j} named)
  string(REPLACE "|" ";" args "${line}")
  execute_process(COMMAND ${EMULATOR} ${SIM} --headless --speed 0 --log - ${args}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  string(REGEX MATCH "^[^\n]*" first "${err}")
  if(NOT status EQUAL 2)
    string(APPEND failures "${line}: exit status ${status}, not 2\n")
  elseif(NOT out STREQUAL "")
    string(APPEND failures "${line}: simulated something:\n${out}\n")
  elseif(NOT first MATCHES "^lumatext-sim: ${named}[: ]")
    string(APPEND failures "${line}: first line does not name ${named}: ${first}\n")
  elseif(NOT err MATCHES "\nAufruf: lumatext-sim")
    string(APPEND failures "${line}: no usage after the error\n")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "${failures}")
endif()
