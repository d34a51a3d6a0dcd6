# Runs lumatext-sim through two cycles with each IO-Warrior model: every model's device
# receives the IO-Warrior 24's key sequence at the same times, each report of the model's
# pin report length (report ID and port bytes), port 1 as for the 24 and every further
# port byte FF. The 24's reports stay the three bytes 00 FF xx.
# EMULATOR, when set, runs SIM (Wine for the Windows build).
set(models "24:3" "28:5" "28L:5" "40:5" "56:8" "100:13")

# The write lines of a run with the model $model: "TIME PORT1" per report into ${keys},
# and into ${bad} the first report that is not ${length} bytes 00 FF PORT1 FF....
function(run_model model length keys bad)
  execute_process(COMMAND ${EMULATOR} ${SIM} --headless --speed 0 --time-of-day 12:00:00 --iowarrior ${model}
                          --at 0:Messen --at 400:Ende --log -
                  RESULT_VARIABLE status OUTPUT_VARIABLE out)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "--iowarrior ${model}: exit status ${status}")
  endif()
  string(REPLACE "\r" "" out "${out}")
  string(REGEX MATCHALL "[0-9.]+ write 0[ 0-9A-F]*" writes "${out}")
  set(sequence "")
  set(wrong "")
  foreach(write IN LISTS writes)
    string(REPLACE " " ";" fields "${write}")
    list(GET fields 0 time)
    list(SUBLIST fields 3 -1 bytes)
    list(LENGTH bytes count)
    list(GET bytes 2 port1)
    list(APPEND sequence "${time} ${port1}")
    list(REMOVE_AT bytes 2)
    list(REMOVE_DUPLICATES bytes)
    if(NOT wrong AND (NOT count EQUAL length OR NOT bytes STREQUAL "00;FF"))
      set(wrong "${write}")
    endif()
  endforeach()
  set(${keys} "${sequence}" PARENT_SCOPE)
  set(${bad} "${wrong}" PARENT_SCOPE)
endfunction()

run_model(24 3 expected bad)
list(LENGTH expected count)
if(count LESS 1000 OR bad)
  message(FATAL_ERROR "--iowarrior 24: ${count} reports; not 00 FF xx: ${bad}")
endif()
set(failures "")
foreach(row IN LISTS models)
  string(REPLACE ":" ";" row "${row}")
  list(GET row 0 model)
  list(GET row 1 length)
  run_model(${model} ${length} keys bad)
  if(bad)
    string(APPEND failures "--iowarrior ${model}: a report that is not ${length} bytes 00 FF xx FF...: ${bad}\n")
  elseif(NOT keys STREQUAL expected)
    string(APPEND failures "--iowarrior ${model}: the key sequence or its times differ from the IO-Warrior 24's\n")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "${failures}")
endif()
